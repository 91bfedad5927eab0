# Run after the page's link (cmake -DBUILD_DIR=... -P): Emscripten ships OpenGL
# headers, so an include of one would compile. The compiler's lists of what
# each object of the build was made from (*.o.d) must name none.
file(GLOB_RECURSE lists "${BUILD_DIR}/*.o.d")
if(NOT lists)
  message(FATAL_ERROR "web: no dependency lists in ${BUILD_DIR} to check for OpenGL")
endif()
set(including "")
foreach(list IN LISTS lists)
  file(STRINGS "${list}" gl_lines REGEX "/(GL|EGL|GLES[0-9]*)/")
  if(gl_lines)
    list(APPEND including "${list}")
  endif()
endforeach()
if(including)
  list(JOIN including " " including)
  message(FATAL_ERROR "web: the page links no OpenGL, but these include it: ${including}")
endif()
