# The page in headless Chromium, served from 127.0.0.1: its check mode against
# the native render, the saver page live and resized, the gallery, its requests.
#
#   python3 tests/web/browser_test.py build/web

import os
import re
import subprocess
import sys
import tempfile
from urllib.parse import parse_qsl

import browser  # beside this file, so on the path of a script run from here

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NATIVE = os.path.join(ROOT, "build", "release", "cli", "lumivor")

# Check-mode addresses; each parameter is also an option of the native render.
# node_test.js reproduces every reference run through the same module; these
# add what the page itself parses and shows.
CHECK_CASES = [
    "seed=1765000037&size=97x61&ticks=101",  # the community from the seed, as the saver picks it
    "preset=5&seed=9999999999&size=64x48&ticks=200",  # a seed beyond 32 bits
    "preset=9&seed=0&size=1x1&ticks=3",  # a world too small for any step
    "preset=7&seed=1765000259&size=1920x1080&ticks=4",  # larger than the window
]

# Pixels that differ between the shown picture (the canvas, or a PNG screenshot
# of the page given in base64) and, where the world is shown (its bottom-left
# corner at the canvas's), the module's picture and the display habitat; the
# page's error when it shows none.
DIFFERING = """(async (png) => {
    if (!window.lumivorView) return document.getElementById('error')?.textContent;
    const v = window.lumivorView, m = v.m, w = v.width, h = v.height;
    const [cw, ch] = [v.canvas.width, v.canvas.height];
    const source = png ? await createImageBitmap(
        await (await fetch('data:image/png;base64,' + png)).blob()) : v.canvas;
    if (source.width !== cw || source.height !== ch) return ['size', source.width, source.height];
    const ctx = new OffscreenCanvas(cw, ch).getContext('2d');
    ctx.drawImage(source, 0, 0);
    const shown = ctx.getImageData(0, 0, cw, ch).data;
    const picture = new Uint8Array(m.HEAPU8.buffer, m._lumivor_picture(), w * h * 4);
    const habitat = new Uint8Array(m.HEAPU8.buffer, m._lumivor_display_habitat(), w * h * 3);
    const differ = (a, i, b, j) => a[i] !== b[j] || a[i + 1] !== b[j + 1] || a[i + 2] !== b[j + 2];
    let [wrong, older] = [0, 0];
    for (let r = 0; r < Math.min(h, ch); r++) {  // rows from the bottom
        for (let x = 0; x < Math.min(w, cw); x++) {
            const s = ((ch - 1 - r) * cw + x) * 4;
            wrong += differ(shown, s, picture, ((h - 1 - r) * w + x) * 4);
            older += differ(shown, s, habitat, (r * w + x) * 3);
        }
    }
    return [wrong, older];
})"""

# The saver's canvas size, title and world.
STATE = """[document.getElementById('screen').width, document.getElementById('screen').height,
            document.title, ...Object.values(window.lumivorWorld)]"""

# Every canvas's pixels, as a PNG's address.
CANVASES = "[...document.querySelectorAll('canvas')].map((c) => c.toDataURL())"

failures = []


def check(ok, what):
    if not ok:
        print("FAIL " + what)
        failures.append(what)


# The check mode's result for the native no-GL render of the same address: the
# 64-bit FNV-1a hash of the habitat's pixels (its last W*H*3 bytes) and the final line.
def native_render(query, size, tmp):
    habitat = os.path.join(tmp, "native.ppm")
    args = [NATIVE, "render", "--no-gl", "--habitat", habitat, "--final-state"]
    args += [word for name, value in parse_qsl(query) for word in (f"--{name}", value)]
    final = subprocess.run(args, capture_output=True, text=True, check=True).stdout.splitlines()[-1]
    digest = 0xCBF29CE484222325
    for b in open(habitat, "rb").read()[-3 * size[0] * size[1]:]:
        digest = ((digest ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return {"digest": f"{digest:016x}", "final": final}


def test_check_mode(chrome, server, tmp):
    for query in CHECK_CASES:
        size = [int(n) for n in dict(parse_qsl(query))["size"].split("x")]
        tab = chrome.open(server.url("index.html?" + query), size)
        got = [chrome.wait_for(tab, "window.lumivorCheck || document.getElementById('error')?"
                                    ".textContent", 60)]
        shot = chrome.call("Page.captureScreenshot", {"format": "png"}, tab)["data"]
        got.append(chrome.eval(tab, f"{DIFFERING}('{shot}')"))
        check(got == [native_render(query, size, tmp), [0, 0]],
              f"check mode's hash and final state equal the native render's, and its screenshot"
              f" the picture and the display habitat, {query} ({got}: differing pixels last)")
        chrome.call("Page.navigate", {"url": "about:blank"}, tab)
    tab = chrome.open(server.url("index.html?seed=%2B5&size=8x8&ticks=2"))
    error = chrome.wait_for(tab, "document.getElementById('error')?.textContent", 30)
    check(error == "Lumivor: --seed needs a clock reading (a non-negative integer), not '+5'",
          f"a bad address shows the command line's reason ({error})")


def test_live_pages(chrome, server):
    saver = chrome.open(server.url("index.html?preset=6&seed=1765000222"), (800, 600))
    chrome.wait_for(saver, "window.lumivorStats && window.lumivorStats.ticks > 20", 30)
    # Between two ticks the canvas, built from uploaded tiles only, equals the
    # module's picture and the display habitat.
    got = [chrome.eval(saver, STATE), chrome.eval(saver, f"{DIFFERING}()")]
    check(got == [[800, 600, "Lumivor: rock", 800, 600, 6, "1765000222"], [0, 0]],
          f"saver canvas and world at the window's size, showing picture and habitat ({got})")
    chrome.resize(saver, 500, 400)
    chrome.wait_for(saver, "document.getElementById('screen').width === 500", 30)
    ticks = chrome.eval(saver, "window.lumivorStats.ticks")
    chrome.wait_for(saver, f"window.lumivorStats.ticks > {ticks + 10}", 30)
    # The canvas shows the world's bottom-left 500x400 of the picture cleared
    # at the resize with the trails drawn since, no longer the habitat's.
    state, differing = chrome.eval(saver, STATE), chrome.eval(saver, f"{DIFFERING}()")
    check(state == [500, 400, "Lumivor: rock", 800, 600, 6, "1765000222"] and
          differing[0] == 0 and differing[1] > 1000,
          f"after a resize the canvas follows the window, the world goes on ({state}), and it"
          f" shows the cleared picture with the new trails (differing pixels: {differing})")
    chrome.call("Page.navigate", {"url": "about:blank"}, saver)

    gallery = chrome.open(server.url("gallery.html"), (1400, 1000))
    chrome.wait_for(gallery, "Array.isArray(window.lumivorStats) && "
                             "window.lumivorStats.every((s) => s.ticks > 10)", 30)
    links = chrome.eval(gallery, """[...document.querySelectorAll('#communities a')].map((a, n) =>
        a.querySelectorAll('canvas').length === 1 &&
        /^([0-9]) \\S+$/.exec(a.textContent)?.[1] == n &&
        /^index\\.html\\?preset=([0-9])&seed=[0-9]+$/.exec(a.getAttribute('href'))?.[1] == n)""")
    check(links == [True] * 10, f"gallery: ten named canvases, each linked full-window with its"
                                f" community and seed ({links})")
    # Counted in ticks, not seconds: a busy machine draws fewer frames a second.
    before = chrome.eval(gallery, CANVASES)
    ticks = chrome.eval(gallery, "Math.min(...window.lumivorStats.map((s) => s.ticks))")
    chrome.wait_for(gallery, f"window.lumivorStats.every((s) => s.ticks > {ticks + 20})", 30)
    after = chrome.eval(gallery, CANVASES)
    check(len(before) == 10 and all(a != b for a, b in zip(before, after)),
          "all ten gallery canvases change over 20 ticks")


def test_requests(server, folder):
    # The server answers every request for a file in full (never a 304).
    files = set(os.listdir(folder))
    outside = [(path, status) for path, status in server.requests
               if status != 200 or path.split("?")[0].lstrip("/") not in files]
    check(server.requests and not outside,
          f"every request is for a file of the page's folder ({len(server.requests)} requests;"
          f" outside: {outside})")
    named = [f"{name}: {url}" for name in files if name.endswith((".html", ".js", ".css"))
             for url in re.findall(r"\b(?:https?:|wss?:)?//[\w.-]+\.\w+",
                                   open(os.path.join(folder, name), encoding="utf-8").read())]
    check(not named, f"the page's files name no other site ({named})")


def main():
    folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/web")
    server = browser.Server(folder)
    chrome = browser.Browser(1024, 768)
    try:
        with tempfile.TemporaryDirectory() as tmp:
            test_check_mode(chrome, server, tmp)
        test_live_pages(chrome, server)
        test_requests(server, folder)
    finally:
        chrome.close()
        server.close()
    print(f"web browser tests: {len(failures)} failed" if failures else
          "web browser tests: all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
