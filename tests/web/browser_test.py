# The page served from 127.0.0.1: its check mode reproduces the reference runs
# and the native render in headless Firefox ESR, WebKitGTK and Chromium. In
# Chromium also: its screenshots, the gallery, the saver page live and resized,
# a world too large for memory, the page as an app, installable and running
# offline, and the page's requests in all three.
#
#   python3 tests/web/browser_test.py build/web [REFERENCE_DIR]

import functools
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

# The saver's canvas size, title and world, and the pixels that differ (above).
STATE = """(async () => [document.getElementById('screen').width,
    document.getElementById('screen').height, document.title,
    ...Object.values(window.lumivorWorld), ...await DIFFERING()])()"""
STATE = STATE.replace("DIFFERING", DIFFERING)

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

failures = []


def check(ok, what):
    if not ok:
        print("FAIL " + what)
        failures.append(what)


# Every case: (query, world size or None, the page's result): a reference run's
# .out and .ppm, or else the native render's of the same address, or a refusal.
def expected_cases(tmp):
    rows = [line.split("\t") for line in
            open(os.path.join(GOLDEN, "cases.tsv")).read().splitlines()[1:]]
    runs = [(f"preset={p}&seed={s}&size={z}&ticks={t}", os.path.join(GOLDEN, name))
            for name, p, s, z, t in rows]
    for n, query in enumerate(EXTRA_CASES):
        runs.append((query, base := os.path.join(tmp, str(n))))
        words = [word for name, value in parse_qsl(query) for word in (f"--{name}", value)]
        with open(base + ".out", "w") as out:
            subprocess.run([NATIVE, "render", "--no-gl", "--habitat", base + ".ppm",
                            "--final-state", *words], stdout=out, stderr=subprocess.DEVNULL,
                           check=True)
    cases = [(query, None, message) for query, message in REFUSALS]
    for query, base in runs:
        size = tuple(int(n) for n in dict(parse_qsl(query))["size"].split("x"))
        # 64-bit FNV-1a of the habitat's pixels (the PPM's last W*H*3 bytes).
        digest = 0xCBF29CE484222325
        for b in open(base + ".ppm", "rb").read()[-3 * size[0] * size[1]:]:
            digest = ((digest ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
        final = open(base + ".out").read().splitlines()[-1]
        cases.append((query, size, {"digest": f"{digest:016x}", "final": final}))
    return cases


# Every case in one engine's page (open(url), evaluate(expression)). In Chromium
# (`chrome` and its `tab`) the viewport is the world's size, and a screenshot of
# the page shows exactly the module's picture and the display habitat.
def test_check_mode(engine, open_url, evaluate, server, cases, chrome=None, tab=None):
    for query, size, want in cases:
        if shots := chrome and size:
            chrome.resize(tab, *size)
        open_url(server.url("index.html?" + query))
        got = browser.wait_for(evaluate, RESULT.format(json.dumps("?" + query)), 60)
        if shots:
            shot = chrome.call("Page.captureScreenshot", {"format": "png"}, tab)["data"]
            got, want = [got, evaluate(f"{DIFFERING}('{shot}')")], [want, [0, 0]]
        check(got == want, f"{engine}: the check mode of {query} shows {got}, not {want}")


def test_chromium(chrome, server, folder, cases):
    tab = chrome.open("about:blank")
    test_check_mode("Chromium", lambda url: chrome.call("Page.navigate", {"url": url}, tab),
                    functools.partial(chrome.eval, tab), server, cases, chrome, tab)

    gallery = chrome.open(server.url("gallery.html"), (1400, 1000))
    chrome.wait_for(gallery, "Array.isArray(window.lumivorStats) && "
                             "window.lumivorStats.every((s) => s.ticks > 10)", 30)
    links = chrome.eval(gallery, """[...document.querySelectorAll('#communities a')].map((a, n) =>
        a.querySelectorAll('canvas').length === 1 &&
        /^([0-9]) \\S+$/.exec(a.textContent)?.[1] == n &&
        /^index\\.html\\?preset=([0-9])&seed=[0-9]+$/.exec(a.getAttribute('href'))?.[1] == n)""")
    check(links == [True] * 10, f"gallery: ten named canvases, each linked full-window with its"
                                f" community and seed ({links})")

    # The saver page live: between two ticks the canvas, built from uploaded
    # tiles only, equals the module's picture and the display habitat. After a
    # resize it shows the world's bottom-left 500x400 of the picture cleared at
    # the resize with the trails drawn since, no longer the habitat's.
    saver = chrome.open(server.url("index.html?preset=6&seed=1765000222"), (800, 600))
    chrome.wait_for(saver, "navigator.serviceWorker.controller && "
                           "window.lumivorStats?.ticks > 20", 60)
    state = chrome.eval(saver, STATE)
    check(state == [800, 600, "Lumivor: rock", 800, 600, 6, "1765000222", 0, 0],
          f"saver canvas and world at the window's size, showing picture and habitat ({state})")
    chrome.resize(saver, 500, 400)
    chrome.wait_for(saver, "document.getElementById('screen').width === 500", 30)
    ticks = chrome.eval(saver, "window.lumivorStats.ticks")
    chrome.wait_for(saver, f"window.lumivorStats.ticks > {ticks + 10}", 30)
    state = chrome.eval(saver, STATE)
    check(state[:-1] == [500, 400, "Lumivor: rock", 800, 600, 6, "1765000222", 0] and
          state[-1] > 1000,
          f"after a resize the canvas follows the window, the world goes on, and it shows the"
          f" cleared picture with the new trails ({state})")
    ticks = chrome.eval(saver, TOO_LARGE)
    check(ticks == "not enough memory for a world of this size,1,1,0,true,1,0",
          f"a world too large for memory refused, a small one runs ({ticks})")

    # The page as an app: Chromium finds it installable (its manifest, icons and
    # service worker served), full screen; the worker runs, so the page reloads
    # and runs with the server stopped.
    manifest = chrome.call("Page.getAppManifest", {}, saver)
    errors = chrome.call("Page.getInstallabilityErrors", {}, saver)["installabilityErrors"]
    check(not errors + manifest["errors"] and '"display": "fullscreen"' in manifest["data"],
          f"an installable full-screen app ({errors}, {manifest})")

    # Every request was for a file of the page's folder (in all three engines),
    # and the page's files name no other site.
    files = set(os.listdir(folder))
    outside = [r for r in server.requests
               if r[1] not in (200, 304) or r[0].split("?")[0][1:] not in files]
    named = [f"{name}: {url}" for name in files if name.endswith((".html", ".js", ".css"))
             for url in re.findall(r"\b(?:https?:|wss?:)?//[\w.-]+\.\w+",
                                   open(os.path.join(folder, name), encoding="utf-8").read())]
    check(server.requests and not outside and not named,
          f"{len(server.requests)} requests, outside the page's folder: {outside}; other sites"
          f" named: {named}")
    server.close()
    chrome.eval(saver, "window.beforeReload = true")
    chrome.call("Page.reload", {}, saver)
    chrome.wait_for(saver, "!window.beforeReload && window.lumivorStats?.ticks > 5", 60)


def main():
    folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/web")
    with tempfile.TemporaryDirectory() as tmp:
        cases = expected_cases(tmp)
    server = browser.Server(folder)
    for engine in (browser.Firefox, browser.WebKit, functools.partial(browser.Browser, 1024, 768)):
        driven = engine()
        try:
            if isinstance(driven, browser.Browser):
                test_chromium(driven, server, folder, cases)
            else:
                test_check_mode(type(driven).__name__, driven.open, driven.eval, server, cases)
        finally:
            driven.close()
    print(f"web browser tests: {len(cases)} cases in three engines; {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
