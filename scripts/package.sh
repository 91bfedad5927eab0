#!/bin/sh
# Builds the Debian package and tries it out: a release build installed under
# /usr, cpack's DEB generator, then the package's fields and files checked,
# the program extracted from it run (--help, --version, a short headless
# render whose habitat file is checked, a short video FFmpeg decodes, and the
# Wayland host present: it names the
# compositor it cannot reach), and, as root on a machine without a
# lumivor package, the package installed with apt-get, run and removed again.
# A lumivor package or program the user has installed is never touched: the
# install step is then skipped, with the reason.
#
#   scripts/package.sh          leaves build/package/lumivor_VERSION_ARCH.deb
# Environment: LUMIVOR_PACKAGE_BUILD (build folder, default build/package),
# LUMIVOR_JOBS (build jobs, default 2), LUMIVOR_CMAKE_ARGS (extra configure arguments).
set -eu
cd "$(dirname "$0")/.."

build=${LUMIVOR_PACKAGE_BUILD:-build/package}
jobs=${LUMIVOR_JOBS:-2}
case $build in /*) ;; *) build=$PWD/$build ;; esac

fail() {
    echo "package.sh: $*" >&2
    exit 1
}
start=$(date +%s)

# shellcheck disable=SC2086
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DLUMIVOR_WERROR=ON -DLUMIVOR_BUILD_TESTS=OFF -DLUMIVOR_BUILD_BENCH=OFF -DLUMIVOR_VIDEO=ON \
      ${LUMIVOR_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$jobs"
rm -f "$build"/lumivor_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$build"/lumivor_*.deb)
echo "== $deb =="
dpkg-deb --field "$deb" Package Version Architecture Section Depends Recommends
contents=$(dpkg-deb --contents "$deb")
for f in ./usr/bin/lumivor ./usr/libexec/xscreensaver/lumivor \
         ./usr/share/xscreensaver/config/lumivor.xml ./usr/share/man/man6/lumivor.6 \
         ./usr/share/applications/lumivor.desktop ./usr/share/doc/lumivor/wayland-protocols.md \
         ./usr/lib/systemd/user/lumivor-idle.service ./etc/xdg/autostart/lumivor-idle.desktop; do
    echo "$contents" | grep -q " $f\$" || fail "the package lacks $f"
done
# lumivor idle stays off until the user turns it on: the autostart entry is hidden.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./etc/xdg/autostart/lumivor-idle.desktop | grep -qx 'Hidden=true' ||
    fail "the package's autostart entry for lumivor idle is not hidden"
dpkg-deb --field "$deb" Depends | grep -q libxss1 ||
    fail "the package does not depend on libxss1: the X11 idle watcher was not built"
dpkg-deb --field "$deb" Depends | grep -q libc6 || fail "no library dependencies were found"
dpkg-deb --field "$deb" Depends | grep -q libwayland-client0 ||
    fail "the package does not depend on libwayland-client0: the Wayland host was not built"
# render --video loads FFmpeg's libraries itself: the package recommends those of
# the release it was built on, and that release must have them.
recommends=$(dpkg-deb --field "$deb" Recommends)
echo "$recommends" | grep -q libavcodec || fail "the package does not recommend FFmpeg's libraries"
for p in $(echo "$recommends" | tr -d ','); do
    [ -n "$(apt-cache policy "$p" 2>/dev/null | grep 'Candidate: [^(]')" ] ||
        fail "the package recommends $p, which this release does not have"
done
version=$(dpkg-deb --field "$deb" Version)

tmp=$(mktemp -d)
installed_here=false
cleanup() {
    rm -rf "$tmp"
    if [ "$installed_here" = true ]; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -q --purge lumivor >"$build/remove.log" 2>&1 ||
            echo "package.sh: could not remove the package (see $build/remove.log)" >&2
    fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Runs the program under prefix $1 (/ or the extracted tree) and checks what it says and writes.
try_program() {
    bin=$1/usr/bin/lumivor
    "$bin" --help >"$tmp/help" || fail "$bin --help failed"
    grep -q "^usage: lumivor" "$tmp/help" || fail "$bin --help shows no usage"
    [ "$("$bin" --version)" = "lumivor $version" ] || fail "$bin --version does not say $version"
    "$1/usr/libexec/xscreensaver/lumivor" --help >/dev/null || fail "the hack under $1 does not run"
    rm -f "$tmp/x.ppm"
    "$bin" render --no-gl --ticks 10 --size 64x48 --habitat "$tmp/x.ppm" \
        >"$tmp/out" 2>"$tmp/err" || { cat "$tmp/err" >&2; fail "$bin render failed"; }
    # The header lines, then 64 x 48 cells of three bytes.
    [ "$(head -c 26 "$tmp/x.ppm")" = "$(printf 'P6\n#quib habitat\n64 48\n255')" ] ||
        fail "the habitat file of $bin has a wrong header"
    [ "$(wc -c <"$tmp/x.ppm")" -eq $((27 + 64 * 48 * 3)) ] ||
        fail "the habitat file of $bin has a wrong size"
    # A short video, decoded by FFmpeg where its tools are: two VP8 frames (lossy WebM).
    "$bin" render --quiet --no-gl --ticks 30 --every 15 --size 64x48 --video "$tmp/x.webm" \
        2>"$tmp/err" || { cat "$tmp/err" >&2; fail "$bin render --video failed"; }
    if command -v ffprobe >/dev/null 2>&1; then
        [ "$(ffprobe -v error -count_frames -show_entries stream=codec_name,nb_read_frames \
            -of csv=p=0 "$tmp/x.webm")" = vp8,2 ] || fail "FFmpeg does not decode the video of $bin"
    fi
    # With no compositor to reach, the Wayland host (not a build without one) says so.
    XDG_RUNTIME_DIR=$tmp WAYLAND_DISPLAY=none "$bin" --wayland 2>"$tmp/err" >/dev/null &&
        fail "$bin --wayland ran without a compositor"
    grep -q "no Wayland compositor answers" "$tmp/err" || fail "$bin has no Wayland host"
}

echo "== running the program extracted from the package =="
dpkg-deb -x "$deb" "$tmp/root" || fail "dpkg-deb cannot extract $deb"
try_program "$tmp/root"

# The install step would replace, and its removal delete, what the user has
# installed: a package (even one removed but not purged) or files of the same name.
skip=""
state=$(dpkg-query -W -f='${db:Status-Status}' lumivor 2>/dev/null || true)
if [ "$(id -u)" -ne 0 ]; then
    skip="installing needs root"
elif [ -n "$state" ] && [ "$state" != not-installed ]; then
    skip="a lumivor package is on this machine ($state) and stays as it was"
elif [ -e /usr/bin/lumivor ] || [ -e /usr/libexec/xscreensaver/lumivor ]; then
    skip="a lumivor program not from a package is in /usr and stays as it was"
fi
if [ -n "$skip" ]; then
    echo "package.sh: install step skipped: $skip"
    echo "package.sh: $(basename "$deb") builds, holds its files and runs" \
        "($(( $(date +%s) - start )) s)"
    exit 0
fi

echo "== installing =="
installed_here=true
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$build/install.log" 2>&1 ||
    { cat "$build/install.log" >&2; fail "apt-get install failed"; }
echo "== running the installed program =="
try_program ""
dpkg -L lumivor | grep -q '^/usr/share/man/man6/lumivor.6' || fail "the manual page is not installed"
for p in $(echo "$recommends" | tr -d ','); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" ||
        fail "$p, which the package recommends, was not installed with it"
done

echo "== removing =="
installed_here=false
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q --purge lumivor >"$build/remove.log" 2>&1 ||
    fail "apt-get remove failed"
[ ! -e /usr/bin/lumivor ] || fail "/usr/bin/lumivor is still there after removal"
echo "package.sh: $(basename "$deb") builds, holds its files, installs, runs and removes" \
    "($(( $(date +%s) - start )) s)"
