#!/bin/sh
# The clean-room check: proves that the run command and the test command work
# on a fresh Debian 12 that has nothing but what they install themselves.
# It bootstraps a minimal Debian 12 root (mmdebstrap, variant apt, plus git and
# ca-certificates), clones the committed tree into it beside a copy of
# ../shared, binds /proc, /sys, /dev and /dev/pts, mounts a /dev/shm for every
# user, and runs there, in order:
#   run    scripts/run.sh without a display: a PNG must be written
#   test   scripts/test.sh --clean-room under CI=true (skips become failures)
# It prints the time of each part and, on failure, what failed (the failing
# tests' names and the first failure message, scripts/first-failure.sh) and the
# full log. Uncommitted changes are not part of the check. Needs root.
#
#   scripts/fresh-check.sh
# Environment: LUMIVOR_FRESH_DIR (logs and root, default build/fresh-check),
# LUMIVOR_MIRROR (default http://deb.debian.org/debian),
# LUMIVOR_SECURITY_MIRROR (default http://deb.debian.org/debian-security),
# LUMIVOR_FRESH_KEEP=1 keeps the root afterwards (its mounts are released).
set -eu
cd "$(dirname "$0")/.."
top=$PWD

say() { echo "fresh-check.sh: $*" >&2; }
if [ "$(id -u)" -ne 0 ]; then
    say "bootstrapping and entering a root needs root"
    exit 2
fi
for tool in mmdebstrap git chroot setsid findmnt; do
    command -v "$tool" >/dev/null 2>&1 || { say "$tool is missing (scripts/deps.sh test)"; exit 2; }
done
shared=$(cd .. && pwd)/shared
if [ ! -d "$shared/golden" ]; then
    say "no reference runs at $shared/golden; the clean room needs ../shared beside the checkout"
    exit 2
fi

base=${LUMIVOR_FRESH_DIR:-build/fresh-check}
case $base in /*) ;; *) base=$top/$base ;; esac
case $base in *[[:space:]]*) say "the folder '$base' must not hold white space"; exit 2 ;; esac
mkdir -p "$base"
root=$base/root
mirror=${LUMIVOR_MIRROR:-http://deb.debian.org/debian}
security=${LUMIVOR_SECURITY_MIRROR:-http://deb.debian.org/debian-security}

# Mount points at or below the root, deepest first.
mounts_below_root() {
    findmnt -rn -o TARGET | awk -v r="$root" '$0 == r || index($0, r "/") == 1' | sort -r
}

# Unmounts everything at or below the root (lazily when busy); fails if any remains.
release_mounts() {
    for m in $(mounts_below_root); do
        umount "$m" 2>/dev/null || umount -l "$m" || true
    done
    [ -z "$(mounts_below_root)" ]
}

# Stops what still runs inside the root (a server a test left behind).
stop_root_processes() {
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -KILL "${p#/proc/}" 2>/dev/null
    done
    return 0
}

# Removes the root, never across a mount point, and only once nothing is mounted there.
remove_root() {
    [ -e "$root" ] || return 0
    stop_root_processes
    if ! release_mounts; then
        say "still mounted below $root, so it is left in place:"
        mounts_below_root >&2
        return 1
    fi
    rm -rf --one-file-system "$root"
}

# Stops the running part's process group: TERM, then KILL after a minute
# (mmdebstrap finishes its current stage before it stops).
stop_child() {
    [ -n "$child" ] || return 0
    kill -TERM "-$child" 2>/dev/null
    waited=0
    while kill -0 "-$child" 2>/dev/null && [ "$waited" -lt 60 ]; do
        sleep 1
        waited=$((waited + 1))
    done
    kill -KILL "-$child" 2>/dev/null
    return 0
}

child=""
on_exit() {
    status=$?
    set +e
    trap - EXIT INT TERM HUP
    stop_child
    if [ "${LUMIVOR_FRESH_KEEP:-0}" = 1 ]; then
        stop_root_processes
        release_mounts || { say "could not release the mounts below $root"; status=1; }
    else
        remove_root || status=1
    fi
    exit "$status"
}
trap on_exit EXIT
trap 'say "interrupted; releasing the clean room"; exit 130' INT
trap 'say "terminated; releasing the clean room"; exit 143' TERM
trap 'say "hung up; releasing the clean room"; exit 129' HUP

# Runs "$@" in its own process group, so that a signal to this script stops it
# too, with its output in log $1.
run_logged() {
    log=$1
    shift
    setsid "$@" >"$log" 2>&1 </dev/null &
    child=$!
    wait "$child" && rc=0 || rc=$?
    child=""
    return "$rc"
}

summary=""
part_start=0
begin() {
    echo "== clean room: $1"
    part_start=$(date +%s)
}
# Records part $1 with result $2; on failure sums up log $3 (what failed, the first
# failure message) and stops.
end() {
    seconds=$(($(date +%s) - part_start))
    summary="$summary$(printf '  %-10s %-7s %5d s' "$1" "$2" "$seconds")
"
    if [ "$2" != ok ]; then
        printf '%s' "$summary"
        say "$1 failed after $seconds s:"
        scripts/first-failure.sh "$3" | sed 's/^/    /' >&2
        say "full log: $3"
        exit 1
    fi
}

begin "leftovers of an earlier run"
remove_root
rm -f "$base"/*.log
end cleanup ok ""

begin "bootstrap a minimal Debian 12 (mmdebstrap --variant=apt, git, ca-certificates)"
# The host's downloaded packages are linked into the new root's cache, so that
# apt there downloads only what this machine has never fetched.
# shellcheck disable=SC2016
cache_hook='mkdir -p "$1/var/cache/apt/archives" &&
    { cp -l /var/cache/apt/archives/*.deb "$1/var/cache/apt/archives/" 2>/dev/null || true; }'
if run_logged "$base/bootstrap.log" mmdebstrap --variant=apt --include=git,ca-certificates \
        --dpkgopt=force-unsafe-io --skip=download/empty --skip=cleanup/apt \
        --setup-hook="$cache_hook" bookworm "$root" \
        "deb $mirror bookworm main" "deb $mirror bookworm-updates main" \
        "deb $security bookworm-security main"; then
    end bootstrap ok ""
else
    end bootstrap FAILED "$base/bootstrap.log"
fi

begin "clone the committed tree beside a copy of ../shared"
head=$(git rev-parse HEAD)
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    say "note: uncommitted changes are not part of the check"
# shellcheck disable=SC2016
if run_logged "$base/tree.log" sh -c 'git clone -q --no-hardlinks "$1" "$2/src/lumivor" &&
        git -C "$2/src/lumivor" checkout -q --detach "$3" && cp -a "$4" "$2/src/shared"' \
        sh "$top" "$root" "$head" "$shared"; then
    end tree ok ""
else
    end tree FAILED "$base/tree.log"
fi
echo "   $(git log -1 --format='%h %s' "$head")"

# The root bound onto itself is a mount point, as / is on a real machine (tests
# that make / private in a mount namespace of their own need that).
mount --bind "$root" "$root"
for d in proc sys dev dev/pts; do
    mount --bind "/$d" "$root/$d"
done
# Shared memory for every user, as a booted Debian has it (a compositor that runs
# as an unprivileged user makes its buffers there).
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
# Both commands start from a bare environment: no display, no settings of this machine.
path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

begin "run command without a display (scripts/run.sh)"
png=$root/src/lumivor/lumivor.png
if run_logged "$base/run.log" chroot "$root" /usr/bin/env -i PATH=$path HOME=/root \
        sh -c 'cd /src/lumivor && scripts/run.sh'; then
    if [ "$(head -c 8 "$png" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; then
        end run ok ""
    else
        echo "error: scripts/run.sh did not write a PNG picture to /src/lumivor/lumivor.png" \
            >>"$base/run.log"
        end run FAILED "$base/run.log"
    fi
else
    end run FAILED "$base/run.log"
fi

begin "test command, clean-room form (scripts/test.sh --clean-room)"
if run_logged "$base/test.log" chroot "$root" /usr/bin/env -i PATH=$path HOME=/root CI=true \
        sh -c 'cd /src/lumivor && scripts/test.sh --clean-room'; then
    end test ok ""
else
    end test FAILED "$base/test.log"
fi

printf '%s' "$summary"
echo "fresh-check.sh: both commands work on a fresh Debian 12 (logs in $base)"
