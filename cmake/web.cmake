# The browser page, configured with Emscripten's CMake toolchain
# (emcmake cmake, which scripts/web.sh runs): the core without its OpenGL
# drawing, the pixel painter and option table of host/shared, and the browser
# host in host/web, from the same target lists as every other build.
#
# Optimised as one program (-flto): the module is a closed world, so a virtual
# call with one possible target becomes a direct one (-fwhole-program-vtables)
# and code only such a call could reach is dropped, among it the render's trail
# walks, which the saver's cadence names but the page never runs (+180 KB).
# The float conversions give the same bits as every other build without fused
# multiply-adds (-ffp-contract=off).
add_compile_options(-ffp-contract=off -flto -fwhole-program-vtables -fvisibility=hidden)
add_link_options(-flto)

# The core's OpenGL libraries are declared by their folders but never built
# here (EXCLUDE_FROM_ALL, and the page does not link them); this stand-in only
# lets them be declared. host/web checks that nothing it builds includes OpenGL.
add_library(OpenGL::OpenGL INTERFACE IMPORTED)
foreach(dir colour image bots behaviour world saver host/shared)
  add_subdirectory(${dir} EXCLUDE_FROM_ALL)
endforeach()
add_subdirectory(host/web)
