#!/bin/sh
# Builds the Debian package and tries it out: a release build installed under
# /usr, cpack's DEB generator, then the package installed with apt-get, the
# installed program run (--help, --version and a short headless render whose
# habitat file is checked), and the package removed again. Needs root.
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
if [ "$(id -u)" -ne 0 ]; then
    echo "package.sh: installing the package needs root" >&2
    exit 2
fi
if dpkg-query -W -f='${Status}' lumivor 2>/dev/null | grep -q "ok installed"; then
    echo "package.sh: a lumivor package is already installed; remove it first" >&2
    exit 2
fi
start=$(date +%s)

# shellcheck disable=SC2086
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DLUMIVOR_WERROR=ON -DLUMIVOR_BUILD_TESTS=OFF -DLUMIVOR_BUILD_BENCH=OFF \
      ${LUMIVOR_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$jobs"
rm -f "$build"/lumivor_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$build"/lumivor_*.deb)
echo "== $deb =="
dpkg-deb --field "$deb" Package Version Architecture Section Depends
contents=$(dpkg-deb --contents "$deb")
for f in ./usr/bin/lumivor ./usr/libexec/xscreensaver/lumivor \
         ./usr/share/xscreensaver/config/lumivor.xml ./usr/share/man/man6/lumivor.6 \
         ./usr/share/applications/lumivor.desktop; do
    echo "$contents" | grep -q " $f\$" || fail "the package lacks $f"
done
dpkg-deb --field "$deb" Depends | grep -q libc6 || fail "no library dependencies were found"

tmp=$(mktemp -d)
cleanup() {
    rm -rf "$tmp"
    if dpkg-query -W -f='${Status}' lumivor 2>/dev/null | grep -q "ok installed"; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -q --purge lumivor >"$build/remove.log" 2>&1 ||
            echo "package.sh: could not remove the package (see $build/remove.log)" >&2
    fi
}
trap cleanup EXIT
echo "== installing =="
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$build/install.log" 2>&1 ||
    { cat "$build/install.log" >&2; fail "apt-get install failed"; }

echo "== running the installed program =="
/usr/bin/lumivor --help >"$tmp/help" || fail "lumivor --help failed"
grep -q "^usage: lumivor" "$tmp/help" || fail "lumivor --help shows no usage"
version=$(dpkg-deb --field "$deb" Version)
[ "$(/usr/bin/lumivor --version)" = "lumivor $version" ] ||
    fail "lumivor --version does not say $version"
/usr/libexec/xscreensaver/lumivor --help >/dev/null || fail "the hack does not run"
/usr/bin/lumivor render --no-gl --ticks 10 --size 64x48 --habitat "$tmp/x.ppm" \
    >"$tmp/out" 2>"$tmp/err" || { cat "$tmp/err" >&2; fail "lumivor render failed"; }
# The header lines, then 64 x 48 cells of three bytes.
[ "$(head -c 26 "$tmp/x.ppm")" = "$(printf 'P6\n#quib habitat\n64 48\n255')" ] ||
    fail "the habitat file has a wrong header"
[ "$(wc -c <"$tmp/x.ppm")" -eq $((27 + 64 * 48 * 3)) ] || fail "the habitat file has a wrong size"
dpkg -L lumivor | grep -q '^/usr/share/man/man6/lumivor.6' || fail "the manual page is not installed"

echo "== removing =="
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q --purge lumivor >"$build/remove.log" 2>&1 ||
    fail "apt-get remove failed"
[ ! -e /usr/bin/lumivor ] || fail "/usr/bin/lumivor is still there after removal"
echo "package.sh: $(basename "$deb") builds, installs, runs and removes ($(( $(date +%s) - start )) s)"
