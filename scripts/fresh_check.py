#!/usr/bin/env python3
"""The clean-room check: proves that the README's two commands work on a fresh
Debian 12 and a fresh Debian 13 that have nothing but what they install
themselves.

For each release it bootstraps a minimal root (mmdebstrap, variant apt, plus git
and ca-certificates), clones the committed tree into it beside a copy of
../shared, binds /proc, /sys, /dev and /dev/pts, mounts a /dev/shm for every
user, and runs there, in order:
  run      scripts/run.sh without a display: a PNG must be written
  test     scripts/test.sh --clean-room under CI=true (skips become failures)
or, on the release that does not get the whole test command this time,
  package  scripts/deps.sh package, then scripts/package.sh: the Debian package
           built there, installed, and its video decoded by FFmpeg
The whole test command runs on one release and the package check on the other,
which keeps the test command within its time. --full chooses: 12 (the default
for now: on Debian 13 the Wayland host's tests do not pass yet), 13, "both", or
"alternate": Debian 12 gets the test command when the number of commits up to
HEAD is even, Debian 13 when it is odd. Once they pass on both, "alternate"
becomes the default (DEFAULT_FULL).

It prints the time of each part and, on failure, what failed (the failing
tests' names and the first failure message, scripts/first-failure.sh) and the
full log. Uncommitted changes are not part of the check. Needs root.

  scripts/fresh_check.py [--full 12|13|both|alternate] [--only 12|13]
Environment: LUMIVOR_FRESH_DIR (logs and roots, default build/fresh-check),
LUMIVOR_MIRROR (default http://deb.debian.org/debian),
LUMIVOR_SECURITY_MIRROR (default http://deb.debian.org/debian-security),
LUMIVOR_FRESH_KEEP=1 keeps the roots afterwards (their mounts are released),
LUMIVOR_SHARED (the reference runs' folder, default ../shared beside the checkout).
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

RELEASES = {"12": "bookworm", "13": "trixie"}
DEFAULT_FULL = "12"
TOP = Path(__file__).resolve().parent.parent
# Both commands start from a bare environment: no display, no settings of this machine.
BARE = ["/usr/bin/env", "-i", "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin",
        "HOME=/root"]


def say(text):
    print(f"fresh_check.py: {text}", file=sys.stderr, flush=True)


class Failed(Exception):  # a part failed; its summary is printed
    pass


class Stopped(Exception):  # a signal ends the check, with the shell's status for it
    def __init__(self, what, status):
        super().__init__(what)
        self.status = status


class CleanRoom:
    def __init__(self, base, release):
        self.release, self.suite = release, RELEASES[release]
        self.dir = base / f"debian-{release}"
        self.root = self.dir / "root"
        self.child = None
        self.summary = []

    # Mount points at or below the root, deepest first.
    def mounts(self):
        out = subprocess.run(["findmnt", "-rn", "-o", "TARGET"], capture_output=True, text=True)
        root = str(self.root)
        return sorted((m for m in out.stdout.splitlines()
                       if m == root or m.startswith(root + "/")), reverse=True)

    # Unmounts everything at or below the root (lazily when busy); false if any remains.
    def release_mounts(self):
        for m in self.mounts():
            if subprocess.run(["umount", m], stderr=subprocess.DEVNULL).returncode != 0:
                subprocess.run(["umount", "-l", m])
        return not self.mounts()

    # Stops what still runs inside the root (a server a test left behind).
    def stop_processes(self):
        for p in Path("/proc").glob("[0-9]*"):
            try:
                if os.readlink(p / "root") == str(self.root):
                    os.kill(int(p.name), signal.SIGKILL)
            except OSError:
                pass

    # Removes the root, never across a mount point, and only once nothing is mounted there.
    def remove(self):
        if not self.root.exists():
            return True
        self.stop_processes()
        if not self.release_mounts():
            say(f"still mounted below {self.root}, so it is left in place:")
            print("\n".join(self.mounts()), file=sys.stderr)
            return False
        return subprocess.run(["rm", "-rf", "--one-file-system", str(self.root)]).returncode == 0

    # Releases the root, or keeps it with its mounts released (LUMIVOR_FRESH_KEEP=1).
    def close(self):
        self.stop_child()
        if os.environ.get("LUMIVOR_FRESH_KEEP") == "1":
            self.stop_processes()
            if not self.release_mounts():
                say(f"could not release the mounts below {self.root}")
                return False
            return True
        return self.remove()

    # Stops the running part's process group: TERM, then KILL after a minute
    # (mmdebstrap finishes its current stage before it stops).
    def stop_child(self):
        child, self.child = self.child, None
        if child is None or child.poll() is not None:
            return
        try:
            os.killpg(child.pid, signal.SIGTERM)
            child.wait(60)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
        except ProcessLookupError:
            pass

    # Runs a command in its own process group, so that a signal to this script stops it
    # too, with its output in the log; true when it succeeded.
    def run_logged(self, log, command):
        with open(log, "wb") as out:
            self.child = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT,
                                          stdin=subprocess.DEVNULL, start_new_session=True)
            status = self.child.wait()
        self.child = None
        return status == 0

    # Runs part `name` (announced as `what`); on failure sums up its log and stops.
    def part(self, name, what, command, check=None):
        print(f"== clean room, Debian {self.release}: {what}", flush=True)
        log = self.dir / f"{name}.log"
        began = time.monotonic()
        ok = self.run_logged(log, command) and (check is None or check(log))
        seconds = int(time.monotonic() - began)
        self.summary.append(f"  {self.release}  {name:<10} {'ok' if ok else 'FAILED':<7} "
                            f"{seconds:5d} s")
        if not ok:
            print("\n".join(self.summary), flush=True)
            say(f"{name} on Debian {self.release} failed after {seconds} s:")
            first = subprocess.run([str(TOP / "scripts/first-failure.sh"), str(log)],
                                   capture_output=True, text=True).stdout
            print("".join("    " + line for line in first.splitlines(True)), file=sys.stderr)
            say(f"full log: {log}")
            raise Failed()

    def bootstrap(self, mirror, security):
        # The host's downloaded packages are linked into the new root's cache, so that
        # apt there downloads only what this machine has never fetched.
        cache_hook = ('mkdir -p "$1/var/cache/apt/archives" && { cp -l '
                      '/var/cache/apt/archives/*.deb "$1/var/cache/apt/archives/" '
                      '2>/dev/null || true; }')
        s = self.suite
        self.part("bootstrap", f"bootstrap a minimal Debian {self.release} ({s}; mmdebstrap "
                  "--variant=apt, git, ca-certificates)",
                  ["mmdebstrap", "--variant=apt", "--include=git,ca-certificates",
                   "--dpkgopt=force-unsafe-io", "--skip=download/empty", "--skip=cleanup/apt",
                   f"--setup-hook={cache_hook}", s, str(self.root), f"deb {mirror} {s} main",
                   f"deb {mirror} {s}-updates main", f"deb {security} {s}-security main"])

    def clone(self, head, shared):
        self.part("tree", "clone the committed tree beside a copy of ../shared",
                  ["sh", "-c", 'git clone -q --no-hardlinks "$1" "$2/src/lumivor" && '
                   'git -C "$2/src/lumivor" checkout -q --detach "$3" && cp -a "$4" "$2/src/shared"',
                   "sh", str(TOP), str(self.root), head, str(shared)])
        # The root bound onto itself is a mount point, as / is on a real machine (tests
        # that make / private in a mount namespace of their own need that).
        mounts = [["--bind", str(self.root), str(self.root)]]
        mounts += [["--bind", f"/{d}", str(self.root / d)] for d in ["proc", "sys", "dev", "dev/pts"]]
        # Shared memory for every user, as a booted Debian has it (a compositor that runs
        # as an unprivileged user makes its buffers there).
        mounts.append(["-t", "tmpfs", "-o", "mode=1777,nosuid,nodev", "tmpfs",
                       str(self.root / "dev/shm")])
        for m in mounts:
            done = subprocess.run(["mount", *m], capture_output=True, text=True)
            if done.returncode != 0:
                say(f"cannot mount {m[-1]}: {done.stderr.strip()}")
                raise Failed()

    # `script` run in the clone inside the root, from a bare environment.
    def inside(self, script, *env):
        return ["chroot", str(self.root), *BARE, *env, "sh", "-c", f"cd /src/lumivor && {script}"]

    def check(self, full):
        png = self.root / "src/lumivor/lumivor.png"

        def wrote_png(log):
            if png.exists() and png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n":
                return True
            with open(log, "a") as out:
                print("error: scripts/run.sh did not write a PNG picture to "
                      "/src/lumivor/lumivor.png", file=out)
            return False

        self.part("run", "run command without a display (scripts/run.sh)",
                  self.inside("scripts/run.sh"), wrote_png)
        if full:
            self.part("test", "test command, clean-room form (scripts/test.sh --clean-room)",
                      self.inside("scripts/test.sh --clean-room", "CI=true"))
        else:
            self.part("package", "the Debian package built, installed and run "
                      "(scripts/package.sh)",
                      self.inside("scripts/deps.sh package && scripts/package.sh", "CI=true"))


def main():
    parser = argparse.ArgumentParser(description="Both commands on fresh Debian 12 and 13.")
    parser.add_argument("--full", choices=[*RELEASES, "both", "alternate"], default=DEFAULT_FULL,
                        help=f"where the whole test command runs (default {DEFAULT_FULL}; "
                        "alternate: by the commit count)")
    parser.add_argument("--only", choices=[*RELEASES],
                        help="check this release alone (a developer's quicker look)")
    args = parser.parse_args()
    if os.getuid() != 0:
        say("bootstrapping and entering a root needs root")
        return 2
    for tool in ["mmdebstrap", "git", "chroot", "findmnt", "mount"]:
        if shutil.which(tool) is None:
            say(f"{tool} is missing (scripts/deps.sh test)")
            return 2
    shared = Path(os.environ.get("LUMIVOR_SHARED", TOP.parent / "shared")).resolve()
    if not (shared / "golden").is_dir():
        say(f"no reference runs at {shared}/golden; the clean room needs ../shared beside the "
            "checkout")
        return 2
    base = Path(os.environ.get("LUMIVOR_FRESH_DIR", "build/fresh-check"))
    base = base if base.is_absolute() else TOP / base
    if any(c.isspace() for c in str(base)):
        say(f"the folder '{base}' must not hold white space")
        return 2
    mirror = os.environ.get("LUMIVOR_MIRROR", "http://deb.debian.org/debian")
    security = os.environ.get("LUMIVOR_SECURITY_MIRROR", "http://deb.debian.org/debian-security")

    git = ["git", "-C", str(TOP)]
    head = subprocess.run([*git, "rev-parse", "HEAD"], capture_output=True, text=True,
                          check=True).stdout.strip()
    commits = int(subprocess.run([*git, "rev-list", "--count", head], capture_output=True,
                                 text=True, check=True).stdout)
    full = args.full if args.full != "alternate" else "12" if commits % 2 == 0 else "13"
    if subprocess.run([*git, "status", "--porcelain", "--untracked-files=no"],
                      capture_output=True, text=True).stdout:
        say("note: uncommitted changes are not part of the check")
    print("   " + subprocess.run([*git, "log", "-1", "--format=%h %s", head], capture_output=True,
                                 text=True).stdout.strip())
    print(f"   the whole test command on Debian {full} ({commits} commits, --full "
          f"{args.full}), the run command and the package check on the other", flush=True)

    stops = {signal.SIGINT: ("interrupted", 130), signal.SIGTERM: ("terminated", 143),
             signal.SIGHUP: ("hung up", 129)}

    def stop(number, _frame):
        raise Stopped(*stops[number])

    for number in stops:
        signal.signal(number, stop)
    summary = []
    for release in [args.only] if args.only else RELEASES:
        room = CleanRoom(base, release)
        status = 0
        try:
            room.dir.mkdir(parents=True, exist_ok=True)
            if not room.remove():  # leftovers of an earlier run
                return 1
            for log in room.dir.glob("*.log"):
                log.unlink()
            room.bootstrap(mirror, security)
            room.clone(head, shared)
            room.check(full in (release, "both"))
        except Failed:
            status = 1
        except Stopped as stopped:
            say(f"{stopped}; releasing the clean room")
            status = stopped.status
        finally:
            for number in stops:  # the clean-up itself is not cut short
                signal.signal(number, signal.SIG_IGN)
            if not room.close() and status == 0:
                status = 1
            for number in stops:
                signal.signal(number, stop)
        summary += room.summary
        if status != 0:
            return status
    print("\n".join(summary))
    print(f"fresh_check.py: both commands work on fresh Debian "
          f"{args.only or ' and '.join(RELEASES)} (logs in {base})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
