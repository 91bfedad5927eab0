# Pictures in and videos out for `lumivor render`: the start picture reader
# (PNG through libpng when it is there, BMP, PPM) and the video writer (FFmpeg's
# libraries). Included from host/render/CMakeLists.txt after lumivor_render.
#
# LUMIVOR_VIDEO: AUTO builds video support when pkg-config finds FFmpeg's
# libraries, ON requires them (the Debian package), OFF leaves it out. Without
# it the program builds, and --video is a usage error that says what to install.
set(LUMIVOR_VIDEO AUTO CACHE STRING "Video output through FFmpeg: AUTO, ON or OFF")

add_library(lumivor_media STATIC
  ${CMAKE_CURRENT_LIST_DIR}/picture_reader.cpp ${CMAKE_CURRENT_LIST_DIR}/video_writer.cpp)
target_include_directories(lumivor_media PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(lumivor_media PUBLIC lumivor_world)
if(PNG_FOUND)
  target_link_libraries(lumivor_media PRIVATE PNG::PNG)
  target_compile_definitions(lumivor_media PRIVATE LUMIVOR_HAVE_PNG=1)
endif()

set(LUMIVOR_HAVE_FFMPEG OFF CACHE INTERNAL "Whether render --video is built")
if(NOT LUMIVOR_VIDEO STREQUAL "OFF" AND NOT WIN32)
  find_package(PkgConfig)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(LUMIVOR_FFMPEG libavformat libavcodec libavutil libswscale libavfilter)
  endif()
  # The releases the writer is built and tested against, by libavutil's major
  # version: 57 is FFmpeg 5.1 (Debian 12), 59 is FFmpeg 7.1 (Debian 13). The
  # writer's table (kTestedFfmpeg) holds all five libraries of each.
  string(REGEX MATCH "^[0-9]+" avutil_major "${LUMIVOR_FFMPEG_libavutil_VERSION}")
  if(LUMIVOR_FFMPEG_FOUND AND NOT avutil_major MATCHES "^(57|59)$")
    set(LUMIVOR_FFMPEG_FOUND OFF)
    set(untested "FFmpeg's libavutil ${LUMIVOR_FFMPEG_libavutil_VERSION} is of a release the "
      "video writer was not tested against (5.1 and 7.1 are)")
    if(LUMIVOR_VIDEO STREQUAL "ON")
      message(FATAL_ERROR ${untested})
    endif()
    message(STATUS ${untested})
  endif()
  if(LUMIVOR_FFMPEG_FOUND)
    set(LUMIVOR_HAVE_FFMPEG ON CACHE INTERNAL "Whether render --video is built")
  elseif(LUMIVOR_VIDEO STREQUAL "ON")
    message(FATAL_ERROR "LUMIVOR_VIDEO=ON needs pkg-config and FFmpeg's libraries: "
      "apt-get install pkg-config libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libavfilter-dev")
  else()
    message(STATUS "No FFmpeg libraries: lumivor render --video is left out")
  endif()
endif()
# Only FFmpeg's headers are used at build time: the writer loads the libraries
# of the same major versions with dlopen when a video is asked for, so that
# the program does not map them (over a hundred libraries with what they
# need) on every start. The Debian package recommends them.
set(LUMIVOR_VIDEO_PACKAGES "" CACHE INTERNAL "Debian packages of FFmpeg's libraries")
if(LUMIVOR_HAVE_FFMPEG)
  find_package(Threads REQUIRED)
  # zlib packs the GIF's frames while they wait for the palette.
  find_package(ZLIB REQUIRED)
  target_sources(lumivor_media PRIVATE ${CMAKE_CURRENT_LIST_DIR}/gif_frames.cpp)
  target_include_directories(lumivor_media PRIVATE ${LUMIVOR_FFMPEG_INCLUDE_DIRS})
  target_link_libraries(lumivor_media PRIVATE Threads::Threads ZLIB::ZLIB ${CMAKE_DL_LIBS})
  target_compile_definitions(lumivor_media PUBLIC LUMIVOR_HAVE_FFMPEG=1)
  set(packages "")
  foreach(module libavformat libavcodec libavutil libswscale libavfilter)
    string(REGEX MATCH "^[0-9]+" major "${LUMIVOR_FFMPEG_${module}_VERSION}")
    list(APPEND packages "${module}${major}")
  endforeach()
  list(JOIN packages ", " packages)
  set(LUMIVOR_VIDEO_PACKAGES "${packages}" CACHE INTERNAL "Debian packages of FFmpeg's libraries")
endif()

target_link_libraries(lumivor_render PUBLIC lumivor_media)
