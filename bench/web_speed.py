"""Ticks per second of the saver page in headless Chromium, from the page's own
counters, and the native program's time per tick for comparison. Prints
figures; judges nothing (the machine may be shared).

  python3 bench/web_speed.py build/web [SECONDS]
"""

import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))
import browser  # noqa: E402  (the page's test server and headless Chromium)

NATIVE = os.path.join(ROOT, "build", "release", "cli", "lumivor")
PRESET, SEED = 0, "1765000000"
STATS = "[window.lumivorStats.ticks, window.lumivorStats.simMs, window.lumivorStats.drawMs," \
        " performance.now(), window.lumivorStats.uploads, window.lumivorStats.uploadedPixels]"


def page_speed(chrome, server, width, height, seconds):
    session = chrome.open(server.url(f"index.html?preset={PRESET}&seed={SEED}"), (width, height))
    chrome.wait_for(session, "window.lumivorStats && window.lumivorStats.ticks > 10", 60)
    time.sleep(1)  # past the start and the first frames
    t0, sim0, draw0, now0, calls0, area0 = chrome.eval(session, STATS)
    time.sleep(seconds)
    t1, sim1, draw1, now1, calls1, area1 = chrome.eval(session, STATS)
    chrome.call("Page.navigate", {"url": "about:blank"}, session)
    ticks = t1 - t0
    per_second = ticks * 1000 / (now1 - now0)
    sim, draw = (sim1 - sim0) / max(ticks, 1), (draw1 - draw0) / max(ticks, 1)
    print(f"web {width}x{height}: {per_second:.1f} ticks/s; per tick {sim:.2f} ms simulation + "
          f"{draw:.2f} ms upload = {100 * (sim + draw) * 75 / 1000:.0f}% of the 1/75 s budget "
          f"(simulation {100 * sim / max(sim + draw, 1e-9):.0f}% of the work); "
          f"{(calls1 - calls0) / max(ticks, 1):.0f} uploads of "
          f"{100 * (area1 - area0) / max(ticks, 1) / (width * height):.0f}% of the picture a tick")


def native_speed(width, height, ticks=301):
    if not os.access(NATIVE, os.X_OK):
        print("native: no build/release/cli/lumivor, no native figure")
        return
    def run(count):
        start = time.monotonic()
        subprocess.run([NATIVE, "render", "--no-gl", "--preset", str(PRESET), "--seed", SEED,
                        "--size", f"{width}x{height}", "--ticks", str(count), "--final-state"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return time.monotonic() - start

    # A one-tick run measures the start, which the longer run also pays.
    per_tick = (run(ticks) - run(1)) * 1000 / (ticks - 1)
    print(f"native {width}x{height}: {per_tick:.2f} ms simulation per tick,"
          f" {100 * per_tick * 75 / 1000:.0f}% of the 1/75 s budget")


def main():
    folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/web")
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 5
    server = browser.Server(folder)
    chrome = browser.Browser(1024, 768)
    try:
        for width, height in ((1920, 1080), (3840, 2160)):
            page_speed(chrome, server, width, height, seconds)
            native_speed(width, height)
    finally:
        chrome.close()
        server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
