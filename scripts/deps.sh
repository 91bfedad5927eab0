#!/bin/sh
# Installs the Debian packages a command needs, read from scripts/packages/:
#
#   scripts/deps.sh run       run.txt: build and run the saver
#   scripts/deps.sh package   run.txt and package.txt: build and check the Debian package
#   scripts/deps.sh test      every list in scripts/packages/ but desktops.txt
#                             (the default)
#   scripts/deps.sh desktops  desktops.txt: KDE's and GNOME's compositors, large,
#                             for the test command's part of that name only
#
# A list holds one package per line, "name  # reason"; blank lines and
# comment lines are ignored. The lists hold for Debian 12 and 13; where the
# two name a package differently, each name has its line, marked with the
# release that has it: "name [13]  # reason" (VERSION_ID of /etc/os-release).
# As root it installs what is missing; otherwise it prints the command to run
# and exits 1.
set -eu
cd "$(dirname "$0")/.."

case "${1:-test}" in
    run) lists=scripts/packages/run.txt ;;
    package) lists="scripts/packages/run.txt scripts/packages/package.txt" ;;
    test)
        lists=""
        for list in scripts/packages/*.txt; do
            [ "$list" = scripts/packages/desktops.txt ] || lists="$lists $list"
        done ;;
    desktops) lists=scripts/packages/desktops.txt ;;
    *) echo "usage: scripts/deps.sh [run|package|test|desktops]" >&2; exit 2 ;;
esac
release=$(. /etc/os-release 2>/dev/null && echo "${VERSION_ID:-}")

packages=""
for list in $lists; do
    if [ ! -r "$list" ]; then
        echo "deps.sh: cannot read the package list $list" >&2
        exit 1
    fi
    packages="$packages $(sed -e 's/#.*//' "$list" |
        awk -v mark="[$release]" 'NF == 1 || (NF > 1 && $2 == mark) { print $1 }')"
done

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "lumivor: missing packages; install them with:" >&2
    echo "  sudo apt-get install -y --no-install-recommends$missing" >&2
    exit 1
fi

echo "lumivor: installing$missing" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
