#!/bin/sh
# Installs the Debian packages the build, the tests and the saver need.
# As root it installs what is missing; otherwise it prints the command to run.
set -eu

PACKAGES="build-essential cmake pkg-config git ca-certificates \
googletest libgtest-dev libgmock-dev libbenchmark-dev \
libegl-dev libgl-dev libgl1-mesa-dri libegl-mesa0 libglx-mesa0 \
libx11-dev libxext-dev libpng-dev zlib1g-dev xvfb x11-utils clang libclang-rt-14-dev \
valgrind time"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "lumivor: missing packages; install them with:" >&2
    echo "  sudo apt-get install -y$missing" >&2
    exit 1
fi

echo "lumivor: installing$missing" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
