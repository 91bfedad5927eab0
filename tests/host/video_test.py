#!/usr/bin/env python3
# `lumivor render --video` against real FFmpeg, file systems and Chromium. Usage: video_test.py LUMIVOR [unittest arguments].

import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

LUMIVOR = ""


# Every frame decoded as given, neither dropped nor repeated, as RGB bytes (through `vf`).
def ffmpeg_rgb(path, vf="null"):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-fps_mode", "passthrough", "-vf",
                           vf, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], capture_output=True,
                          check=True).stdout


# (codec, width, height, frames) of the video's stream.
def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_entries",
                          "stream=codec_name,width,height,nb_read_frames", "-of", "csv=p=0",
                          path], capture_output=True, text=True, check=True).stdout
    return tuple(int(v) if v.isdigit() else v for v in out.strip().split(","))


class Video(unittest.TestCase):  # each test with a temporary folder of its own
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def ok(self, *args, **kw):
        return self.ends(0, b"", *args, **kw)

    # `lumivor render --quiet ARGS` ends with `status` and says `reason`.
    def ends(self, status, reason, *args, **kw):
        kw.setdefault("stdout", subprocess.PIPE)
        r = subprocess.run([LUMIVOR, "render", "--quiet", *map(str, args)],
                           stderr=subprocess.PIPE, timeout=300, **kw)
        self.assertEqual(r.returncode, status, r.stderr.decode())
        self.assertIn(reason, r.stderr)
        return r

    # A GIF of `n` frames that loops, with one global palette (FFmpeg 5.1 repeats it in the
    # first frame, the others have none of their own), whose frames are `pictures` within its error.
    def assert_gif(self, path, pictures, n):
        data, frames = Path(path).read_bytes(), ffmpeg_rgb(path)
        # Each frame's graphic control extension, then its image: the top bit of the image's flags
        # says it has a palette of its own.
        own = [flags[0] >> 7 for flags in re.findall(rb"!\xf9\x04.{4}\x00,.{8}(.)", data, re.S)]
        errors = [abs(a - b) for a, b in zip(frames, pictures)]
        mean, worst = sum(errors) / len(errors), max(errors)  # measured: at most 1.6 and 5
        self.assertIn(b"NETSCAPE2.0\x03\x01\x00\x00", data)  # loops forever
        self.assertEqual((data[10] >> 7, own[1:], len(frames)), (1, [0] * (n - 1), len(pictures)))
        self.assertTrue(mean <= 2.5 and worst <= 12, f"mean error {mean:.3f}, largest {worst}")

    def test_lossless_and_gif_frames_are_the_pngs_of_their_ticks(self):
        start = self.path("start.ppm")
        self.ok("--no-gl", "--seed", 11, "--size", "53x29", "--ticks", 40, "--habitat", start)
        # (arguments, ticks, every): communities, odd sizes, both renderers, a start picture
        cases = [(["--no-gl", "--preset", 1, "--seed", 5, "--size", "161x97"], 37, 12),
                 (["--preset", 6, "--seed", 8, "--size", "63x47"], 30, 10),
                 (["--no-gl", "--preset", 9, "--seed", 3, "--start-from", start], 20, 7)]
        for args, ticks, every in cases:
            with self.subTest(args=args):
                for video, options in [("v.webm", ["--lossless"]), ("v.gif", []),
                                       ("s.gif", ["--scale", 0.4])]:  # sides rounded: 161 to 64
                    self.ok(*args, "--ticks", ticks, "--every", every, "--video", self.path(video),
                            *options)
                frame_ticks = sorted({*range(every, ticks + 1, every), ticks})
                pngs = shrunk = b""
                for t in frame_ticks:  # and each PNG is the habitat saved
                    self.ok(*args, "--ticks", t, "--png", self.path("p.png"), "--habitat",
                            self.path("p.ppm"))
                    pngs += ffmpeg_rgb(self.path("p.png"))
                    shrunk += ffmpeg_rgb(self.path("p.png"), "scale=round(iw*.4):round(ih*.4):"
                                         "flags=area+accurate_rnd+full_chroma_int+full_chroma_inp")
                    habitat = Path(self.path("p.ppm")).read_bytes().split(b"\n255\n", 1)[1]
                    self.assertTrue(pngs.endswith(habitat), f"PNG of tick {t} is not the habitat")
                self.assertTrue(ffmpeg_rgb(self.path("v.webm")) == pngs, f"frames of {frame_ticks}")
                self.assert_gif(self.path("v.gif"), pngs, len(frame_ticks))
                self.assert_gif(self.path("s.gif"), shrunk, len(frame_ticks))

    def test_lossy_videos_have_the_frames_and_size_asked_and_play(self):
        run = ["--no-gl", "--seed", 2, "--size", "65x33", "--ticks", 40, "--every", 15]
        for name, codec, size in [("v.webm", "vp8", (65, 33)), ("v.mkv", "vp8", (65, 33)),
                                  ("v.mp4", "h264", (66, 34))]:
            self.ok(*run, "--video", self.path(name))
            self.assertEqual(probe(self.path(name)), (codec, *size, 3), name)
        # WebM on standard output, a pipe that cannot seek.
        Path(self.path("out.webm")).write_bytes(self.ok(*run, "--video", "-").stdout)
        self.assertEqual(probe(self.path("out.webm")), ("vp8", 65, 33, 3))
        os.mkfifo(self.path("fifo.mp4"))
        self.ends(1, b"MP4 needs a file that can seek", *run, "--video", self.path("fifo.mp4"))
        # Standard output under another container's name (the shell's `> o.mp4`) would get WebM.
        for name in ["o.mkv", "o.mp4", "o.gif"]:
            with open(self.path(name), "wb") as out:
                self.ends(2, b"is standard output, which gets WebM", *run, "--video",
                          self.path(name), stdout=out)
        # Sides the encoders cannot take are refused before the first tick; a full standard
        # output is one message.
        self.ends(1, b"at most 16384 pixels a side, not 8x16385", "--no-gl", "--size", "8x16385",
                  "--ticks", 1, "--video", self.path("tall.webm"))
        with open("/dev/full", "wb") as full:
            failed = self.ends(1, b"No space left on device", *run, "--video", "-", stdout=full)
        self.assertEqual(failed.stderr.count(b"\n"), 1, failed.stderr)
        # Without FFmpeg's libraries (hidden in a mount namespace, as root) the message names
        # the libraries looked for and what provides them.
        hide = "".join(f"mount --bind /dev/null {lib} && "
                       for lib in glob.glob("/usr/lib/*/libavutil.so.*"))
        if os.getuid() == 0 and hide and shutil.which("unshare") and shutil.which("mount"):
            r = subprocess.run(["unshare", "-m", "sh", "-c", hide + 'exec "$@"', "sh", LUMIVOR,
                                "render", *map(str, run), "--video", self.path("v.webm")],
                               capture_output=True, timeout=60)
            if not r.stderr.startswith(b"unshare:"):  # a root that is no mount point cannot
                self.assertEqual(r.returncode, 1, r.stderr)
                self.assertRegex(r.stderr, rb"cannot load FFmpeg [57]\.1's libavutil\.so\.[0-9]+, "
                                 rb"libavcodec\.so\.[0-9]+, .*\); (install|Debian)")
        # Headless Chromium plays the first frames of the WebM and the MP4.
        sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "web"))
        import browser
        if not (shutil.which("chromium") or shutil.which("chromium-browser")):
            self.skipTest("no chromium")
        server, chrome = browser.Server(self.dir.name), browser.Browser(200, 200)
        self.addCleanup(server.close)
        self.addCleanup(chrome.close)  # first
        session = chrome.open(server.url(""))
        for name, size in [("v.webm", [65, 33]), ("v.mp4", [66, 34])]:
            shown = chrome.eval(session, f"""new Promise(done => {{
                const v = document.createElement('video'), url = '{server.url(name)}';
                v.onloadeddata = () => done([v.videoWidth, v.videoHeight, v.readyState >= 2]);
                v.onerror = () => done('error ' + v.error.code); v.src = url; }})""")
            self.assertEqual(shown, size + [True], name)

    def assert_kept(self, target):  # the old file, and no temporary beside it
        self.assertLessEqual(set(os.listdir(os.path.dirname(target))), {"v.gif", "v.webm"})
        self.assertEqual(Path(target).read_bytes(), b"old")

    def test_failures_keep_what_was_there(self):
        run = ["--no-gl", "--size", "320x240", "--every", 2, "--lossless"]
        folder, small = self.path("out"), self.path("small")
        os.mkdir(folder)
        os.mkdir(small)
        mount = ["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", small]
        mounted = os.getuid() == 0 and subprocess.run(mount, capture_output=True).returncode == 0
        if mounted:
            self.addCleanup(subprocess.run, ["umount", small], check=True)
        # A full disk: a small tmpfs when it can be mounted, else a link to /dev/full. A GIF's
        # frames wait beside it, on that disk. (A folder the user cannot write is refused
        # before the first tick, as for every output: the file writer's and command line's tests.)
        for args, name in [(run[:-1], "v.gif"), (run, "v.webm")]:
            full = os.path.join(small, name)
            Path(full).write_bytes(b"old") if mounted else os.symlink("/dev/full", full)
            self.ends(1, b"No space left on device", *args, "--ticks", 200, "--video", full)
            if mounted:
                self.assert_kept(full)
        # A signal mid-encode: once frames are being written, SIGTERM ends the run. The
        # target has a second name, which must see the old video as well.
        target, other_name = os.path.join(folder, "v.webm"), self.path("v-link.webm")
        Path(target).write_bytes(b"old")
        os.link(target, other_name)
        child = subprocess.Popen([LUMIVOR, "render", "--quiet", *map(str, run),
                                  "--ticks", "1000000", "--video", target],
                                 stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and not any(
                n != "v.webm" and os.path.getsize(os.path.join(folder, n)) > 100000
                for n in os.listdir(folder)):
            time.sleep(0.05)
        child.send_signal(signal.SIGTERM)
        self.assertEqual(child.wait(60), -signal.SIGTERM)
        self.assert_kept(target)
        self.assertEqual(Path(other_name).read_bytes(), b"old")
        # Completed, the video is copied into the file, so both names show it.
        self.ok(*run, "--ticks", 4, "--video", target)
        self.assertTrue(os.path.samefile(target, other_name))
        self.assertEqual(probe(other_name), ("vp9", 320, 240, 2))


if __name__ == "__main__":
    LUMIVOR = sys.argv.pop(1)
    # No leak checks in a sanitized child, as in tests/support/child.cpp: Mesa's driver,
    # unloaded at exit, leaves leaks in a module no suppression can name.
    os.environ["ASAN_OPTIONS"] = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"),
                                                        "detect_leaks=0"]))
    unittest.main()
