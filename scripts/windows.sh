#!/bin/sh
# The Windows programs, cross-built with MinGW-w64 and tested under Wine.
#
#   scripts/windows.sh build   build/windows/lumivor.scr, lumivor.exe and
#                              lumivor-windows.zip (the download)
#   scripts/windows.sh test    the build, then the tests under Wine on Xvfb; their
#                              outputs are compared with the Linux program
#                              (LUMIVOR_LINUX_PROGRAM, default build/release/cli/lumivor)
set -eu
cd "$(dirname "$0")/.."

out=build/windows
jobs=${LUMIVOR_JOBS:-2}

build() {
    cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DLUMIVOR_WERROR=ON -DLUMIVOR_BUILD_HOST=OFF \
        -DLUMIVOR_BUILD_TESTS=OFF -DLUMIVOR_BUILD_BENCH=OFF -DLUMIVOR_WINDOWS_TESTS=ON >/dev/null
    cmake --build "$out" -j "$jobs" --target lumivor lumivor_scr preview_parent
    # Single files without symbols: the download carries nothing else.
    x86_64-w64-mingw32-strip -o "$out/lumivor.exe" "$out/cli/lumivor.exe"
    x86_64-w64-mingw32-strip -o "$out/lumivor.scr" "$out/host/windows/lumivor.scr"
    for program in "$out/lumivor.exe" "$out/lumivor.scr"; do
        # Only DLLs that every Windows installation has.
        extra=$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p' |
            grep -viE '^(kernel32|user32|gdi32|opengl32|advapi32|winmm|shell32|msvcrt)\.dll$' || true)
        if [ -n "$extra" ]; then
            echo "lumivor: $program needs DLLs Windows does not have: $extra" >&2
            exit 1
        fi
    done
    rm -f "$out/lumivor-windows.zip"
    zip -q -j -X "$out/lumivor-windows.zip" "$out/lumivor.scr" "$out/lumivor.exe"
    # The text with Windows line ends, for every editor there.
    zip -q -j -X -l "$out/lumivor-windows.zip" host/windows/README-windows.txt
    echo "lumivor: $out/lumivor.scr, $out/lumivor.exe, $out/lumivor-windows.zip"
}

case "${1:-}" in
    build) build ;;
    test)
        build
        tests/windows/wine_tests.sh "$out" "${LUMIVOR_LINUX_PROGRAM:-build/release/cli/lumivor}"
        ;;
    *)
        echo "usage: scripts/windows.sh build|test" >&2
        exit 2
        ;;
esac
