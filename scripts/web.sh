#!/bin/sh
# The saver as a web page: builds it with Emscripten's CMake toolchain into
# build/web/ (CMake's own files in build/web-cmake/), tests it in headless
# Chromium, Firefox ESR and WebKitGTK, or serves it on 127.0.0.1.
#
#   scripts/web.sh build          build/web/: index.html, gallery.html, page.js,
#                                 lumivor.css, lumivor.js + lumivor.wasm, and the
#                                 app's manifest, icons and service worker
#   scripts/web.sh test           build, then the page's tests
#   scripts/web.sh serve [PORT]   build, then serve build/web on 127.0.0.1 (default 8000)
#   scripts/web.sh speed          build, then ticks per second in headless Chromium
set -eu
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/web

# Emscripten's optimiser needs acorn, which Debian keeps here; a node on PATH
# that is not Debian's would not find it.
export NODE_PATH="${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs"

build() {
    command -v emcmake >/dev/null || { echo "web.sh: emcmake not found (install emscripten)" >&2; exit 1; }
    emcmake cmake -S "$root" -B "$root/build/web-cmake" -DCMAKE_BUILD_TYPE=Release \
        -DLUMIVOR_WERROR=ON -DLUMIVOR_WEB_DIR="$out" >/dev/null
    cmake --build "$root/build/web-cmake" -j "${LUMIVOR_JOBS:-2}"
    echo "web.sh: page in $out"
    ls -l "$out"
}

case "${1:-}" in
    build) build ;;
    test)
        echo "== web page: WebAssembly build, headless Chromium, Firefox ESR and WebKitGTK"
        build
        python3 "$root"/tests/web/browser_test.py "$out"
        # Figures only: the machine may be busy with other work.
        python3 "$root"/bench/web_speed.py "$out" 3 || echo "web.sh: no speed figures" >&2
        ;;
    speed)
        build
        python3 "$root"/bench/web_speed.py "$out"
        ;;
    serve)
        build
        port=${2:-8000}
        echo "web.sh: http://127.0.0.1:$port/ (gallery: http://127.0.0.1:$port/gallery.html)"
        exec python3 -m http.server --bind 127.0.0.1 --directory "$out" "$port"
        ;;
    *) echo "usage: scripts/web.sh build|test|serve [PORT]|speed" >&2; exit 2 ;;
esac
