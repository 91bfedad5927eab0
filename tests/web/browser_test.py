# The page served from 127.0.0.1: its check mode reproduces the reference runs
# and the native render in headless Chromium, Firefox ESR and WebKitGTK. In
# Chromium also: its screenshots, a world too large for memory, the saver page
# live and resized, the gallery, the page's requests, and the page as an app,
# installable and running offline.
#
#   python3 tests/web/browser_test.py build/web [REFERENCE_DIR]

import json
import os
import re
import subprocess
import sys
import tempfile
from urllib.parse import parse_qsl

import browser  # beside this file, so on the path of a script run from here

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NATIVE = os.path.join(ROOT, "build", "release", "cli", "lumivor")
GOLDEN = os.environ.get("LUMIVOR_GOLDEN_DIR", os.path.join(ROOT, "..", "shared", "golden"))

# Check-mode addresses beyond the reference runs, each parameter also an option
# of the native render, and addresses the page refuses with its message.
EXTRA_CASES = [
    "seed=9999999999&size=97x61&ticks=101",  # the community from a seed beyond 32 bits
    "preset=9&seed=0&size=1x1&ticks=3",  # a world too small for any step
    "preset=7&seed=1765000259&size=1920x1080&ticks=4",  # larger than the window
]
REFUSALS = [
    ("seed=%2B5&size=8x8&ticks=2",
     "Lumivor: --seed needs a clock reading (a non-negative integer), not '+5'"),
    ("colour=red&preset=1", "Lumivor: unknown parameter 'colour'"),
]

# The check mode's result, or the page's error, once the page at `query` shows it.
RESULT = ("location.search === {} && (window.lumivorCheck || "
          "document.getElementById('error')?.textContent)")

# Pixels that differ between the shown picture (the canvas, or a PNG screenshot
# of the page given in base64) and, where the world is shown (its bottom-left
# corner at the canvas's), the module's picture and the display habitat; the
# page's error when it shows none.
DIFFERING = """(async (png) => {
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
    for (let r = 0; r < Math.min(h, ch); r++) for (let x = 0; x < Math.min(w, cw); x++) {
        const s = ((ch - 1 - r) * cw + x) * 4;  // r: rows from the bottom
        wrong += differ(shown, s, picture, ((h - 1 - r) * w + x) * 4);
        older += differ(shown, s, habitat, (r * w + x) * 3);
    }
    return [wrong, older];
})"""

# The saver's canvas size, title and world.
STATE = """[document.getElementById('screen').width, document.getElementById('screen').height,
            document.title, ...Object.values(window.lumivorWorld)]"""

failures = []


def check(ok, what):
    if not ok:
        print("FAIL " + what)
        failures.append(what)


# The world's size and the check mode's result for `query`: from the reference
# run `base`.out and .ppm, or else from the native render of the same address.
def expected(query, base, tmp):
    size = tuple(int(n) for n in dict(parse_qsl(query))["size"].split("x"))
    if base is None:
        base = os.path.join(tmp, "native")
        words = [word for name, value in parse_qsl(query) for word in (f"--{name}", value)]
        with open(base + ".out", "w") as out:
            subprocess.run([NATIVE, "render", "--no-gl", "--habitat", base + ".ppm",
                            "--final-state", *words], stdout=out, stderr=subprocess.DEVNULL,
                           check=True)
    # 64-bit FNV-1a of the habitat's pixels (the PPM's last W*H*3 bytes).
    digest = 0xCBF29CE484222325
    for b in open(base + ".ppm", "rb").read()[-3 * size[0] * size[1]:]:
        digest = ((digest ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return size, {"digest": f"{digest:016x}", "final": open(base + ".out").read().splitlines()[-1]}


# Every case: (query, world size or None, the page's result).
def expected_cases(tmp):
    rows = [line.split("\t") for line in
            open(os.path.join(GOLDEN, "cases.tsv")).read().splitlines()[1:]]
    runs = [(f"preset={p}&seed={s}&size={z}&ticks={t}", os.path.join(GOLDEN, name))
            for name, p, s, z, t in rows] + [(query, None) for query in EXTRA_CASES]
    return [(q, *expected(q, base, tmp)) for q, base in runs] + \
        [(query, None, message) for query, message in REFUSALS]


# Every case in one engine's page (open(url), eval(expression)). With
# `screenshots` (Chromium) the viewport is the world's size, and a screenshot of
# the page shows exactly the module's picture and the display habitat (pixels
# that differ last).
def test_check_mode(engine, page, server, cases, screenshots=False):
    for query, size, want in cases:
        if shots := screenshots and size:
            page.browser.resize(page.tab, *size)
        page.open(server.url("index.html?" + query))
        got = browser.wait_for(page, RESULT.format(json.dumps("?" + query)), 60)
        if shots:
            shot = page.browser.call("Page.captureScreenshot", {"format": "png"}, page.tab)["data"]
            got, want = [got, page.eval(f"{DIFFERING}('{shot}')")], [want, [0, 0]]
        check(got == want, f"{engine}: the check mode of {query} shows {got}, not {want}")


# 32768 x 32768 needs more than the 2 GiB a module may have: the start fails
# with a message, and a small world still runs afterwards, its first tick after
# a start or a size change only clearing (1). The saver page goes on with it.
TOO_LARGE = """(() => {
    const m = window.lumivorView.m, refused = !m._lumivor_start(32768, 32768);
    const ticks = [m.UTF8ToString(m._lumivor_message()), m._lumivor_start(64, 48),
                   m._lumivor_tick(), m._lumivor_tick(), m._lumivor_changed_count() > 0];
    m._lumivor_surface_changed();
    return refused && [...ticks, m._lumivor_tick(), m._lumivor_tick()].join();
})()"""


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
    ticks = chrome.eval(saver, TOO_LARGE)
    check(ticks == "not enough memory for a world of this size,1,1,0,true,1,0",
          f"a world too large for memory refused, a small one runs ({ticks})")
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


# Every request was for a file of the page's folder, answered in full (the
# server never answers 304), and the page's files name no other site.
def test_requests(server, folder):
    files = set(os.listdir(folder))
    outside = [r for r in server.requests if r[1] != 200 or r[0].split("?")[0][1:] not in files]
    named = [f"{name}: {url}" for name in files if name.endswith((".html", ".js", ".css"))
             for url in re.findall(r"\b(?:https?:|wss?:)?//[\w.-]+\.\w+",
                                   open(os.path.join(folder, name), encoding="utf-8").read())]
    check(server.requests and not outside and not named,
          f"{len(server.requests)} requests, outside the page's folder: {outside}; other sites"
          f" named: {named}")


# The page as an app: Chromium finds it installable (its manifest, icons and
# service worker served), full screen; once the worker runs, the page reloads
# and runs with its server stopped.
def test_app(chrome, folder):
    server = browser.Server(folder)
    tab = chrome.open(server.url("index.html?preset=2&seed=1765000074"), (640, 480))
    chrome.wait_for(tab, "navigator.serviceWorker.controller && window.lumivorStats.ticks > 5", 60)
    manifest = chrome.call("Page.getAppManifest", {}, tab)
    errors = chrome.call("Page.getInstallabilityErrors", {}, tab)["installabilityErrors"]
    check(not errors + manifest["errors"] and '"display": "fullscreen"' in manifest["data"],
          f"an installable full-screen app ({errors}, {manifest})")
    server.close()
    chrome.eval(tab, "window.beforeReload = true")
    chrome.call("Page.reload", {}, tab)
    chrome.wait_for(tab, "!window.beforeReload && window.lumivorStats?.ticks > 5", 60)


def main():
    folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/web")
    with tempfile.TemporaryDirectory() as tmp:
        cases = expected_cases(tmp)
    server, chrome = browser.Server(folder), browser.Browser(1024, 768)
    try:
        test_check_mode("Chromium", browser.ChromiumPage(chrome), server, cases, True)
        test_live_pages(chrome, server)
        test_requests(server, folder)
        test_app(chrome, folder)
    finally:
        chrome.close()
    for engine in (browser.Firefox, browser.WebKit):
        driven = engine()
        try:
            test_check_mode(engine.__name__, driven, server, cases)
        finally:
            driven.close()
    print(f"web browser tests: {len(cases)} cases in three engines; {len(failures)} failed")
    return 1 if failures else 0

if __name__ == "__main__":
    sys.exit(main())
