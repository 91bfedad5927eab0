#!/bin/sh
# The saver as a web page: builds it with Emscripten into build/web/, tests it
# (Node and headless Chromium), or serves it on 127.0.0.1.
#
#   scripts/web.sh build          build/web/: index.html, gallery.html, page.js,
#                                 lumivor.css, lumivor.js + lumivor.wasm
#   scripts/web.sh test           build, then the page's tests
#   scripts/web.sh serve [PORT]   build, then serve build/web on 127.0.0.1 (default 8000)
#   scripts/web.sh speed          build, then ticks per second in headless Chromium
set -eu
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/web
obj=$root/build/web-obj
jobs=${LUMIVOR_JOBS:-2}

# Emscripten's optimiser needs acorn, which Debian keeps here; a node on PATH
# that is not Debian's would not find it.
export NODE_PATH="${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs"

# Optimised as one program (-flto): the module is a closed world, so a virtual
# call with one possible target becomes a direct one (-fwhole-program-vtables)
# and code only such a call could reach is dropped, among it the render's trail
# walks, which the saver's cadence names but the page never runs (+180 KB).
cxxflags="-O3 -std=c++20 -ffp-contract=off -flto -fwhole-program-vtables -fvisibility=hidden \
-I$root -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Werror"

# The core without its OpenGL drawing, the saver's heart, the pixel painter
# with its changed tiles, the option table that reads the page's address, and
# this host. Nothing here includes OpenGL (checked below).
sources() {
    ls "$root"/colour/*.cpp "$root"/image/*.cpp "$root"/bots/*.cpp "$root"/behaviour/*.cpp \
        "$root"/world/*.cpp "$root"/saver/saver.cpp "$root"/host/shared/pixel_trails.cpp \
        "$root"/host/shared/damage_grid.cpp "$root"/host/shared/options.cpp "$root"/host/web/*.cpp |
        grep -v -e '_gl\.cpp$'
}

# The object of a source, and whether it must be built again.
object() { echo "$obj/$(echo "${1#"$root"/}" | tr / _).o"; }
stale() {
    [ -f "$1" ] && [ -f "${1%.o}.d" ] && [ "$1" -nt "$obj/cxxflags" ] || return 0
    for dep in $(sed -e 's/^[^:]*://' -e 's/\\$//' "${1%.o}.d"); do
        [ "$dep" -nt "$1" ] && return 0
    done
    return 1
}

build() {
    command -v em++ >/dev/null || { echo "web.sh: em++ not found (install emscripten)" >&2; exit 1; }
    mkdir -p "$obj" "$out"
    # New flags make every object stale.
    [ "$(cat "$obj/cxxflags" 2>/dev/null)" = "$cxxflags" ] || echo "$cxxflags" >"$obj/cxxflags"
    # Every source to its own object, two at a time, with the list of files it
    # was built from (-MD); an object is rebuilt when any of them is newer.
    sources | while read -r src; do
        o=$(object "$src")
        if stale "$o"; then echo "$src $o"; fi
    done | xargs -r -n 2 -P "$jobs" sh -c 'echo "em++ $1"; em++ $0 -MD -c "$1" -o "$2"' "$cxxflags"
    objects=$(sources | while read -r src; do object "$src"; done)
    # Emscripten ships OpenGL headers, so an include of one would compile:
    # the lists of what was compiled must name none.
    # shellcheck disable=SC2086
    if gl=$(grep -l '/GL/' $(echo "$objects" | sed 's/\.o$/.d/')); then
        echo "web.sh: the web build links no OpenGL, but these include it:" $gl >&2
        exit 1
    fi
    # One module for the page, the gallery (ten instances) and Node: it grows
    # its memory for large screens and starts small for the gallery.
    # shellcheck disable=SC2086
    em++ -O3 -std=c++20 -flto $objects -o "$out/lumivor.js" \
        -sMODULARIZE=1 -sEXPORT_NAME=createLumivor -sENVIRONMENT=web,node \
        -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=4MB -sNODEJS_CATCH_EXIT=0 -sNODEJS_CATCH_REJECTION=0 -sTOTAL_STACK=512KB -sFILESYSTEM=0 \
        -sEXPORTED_RUNTIME_METHODS=ccall,UTF8ToString -sINCOMING_MODULE_JS_API=print,printErr,wasmBinary
    cp "$root"/web/index.html "$root"/web/gallery.html "$root"/web/page.js \
        "$root"/web/lumivor.css "$out"/
    echo "web.sh: page in $out"
    ls -l "$out"/index.html "$out"/gallery.html "$out"/page.js "$out"/lumivor.css \
        "$out"/lumivor.js "$out"/lumivor.wasm
}

case "${1:-}" in
    build) build ;;
    test)
        echo "== web page: WebAssembly build, reference runs under Node, headless Chromium"
        build
        node "$root"/tests/web/node_test.js "$out/lumivor.js" "${LUMIVOR_GOLDEN_DIR:-$root/../shared/golden}" \
            "$root"/build/release/cli/lumivor
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
