"""The page in headless Chromium, served from 127.0.0.1.

  python3 tests/web/browser_test.py build/web

- the check mode's habitat hash and final state equal the native no-GL render's
  for several communities, seeds and sizes, and bad addresses are refused;
- a screenshot of the check mode equals the display habitat pixel for pixel;
- the saver page runs at its window's size and keeps its world on a resize;
- the gallery shows ten named canvases that change over time;
- the pages request nothing outside their folder and name no other site.
"""

import os
import re
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NATIVE = os.path.join(ROOT, "build", "release", "cli", "lumivor")

# (preset or None for the seed's choice, seed, width, height, ticks)
CHECK_CASES = [
    (2, "1765000074", 320, 200, 60),
    (None, "1765000037", 97, 61, 101),   # the community from the seed, as the saver picks it
    (5, "9999999999", 64, 48, 200),      # a seed beyond 32 bits
    (1, "0", 130, 70, 30),
    (9, "1765000333", 1, 1, 3),          # a world too small for any step
    (7, "1765000259", 1920, 1080, 4),
]
SCREENSHOT_CASE = (3, "1765000111", 640, 480, 40)

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def fnv1a(data):
    h = 0xCBF29CE484222325
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return f"{h:016x}"


def ppm_pixels(path):
    """Pixel bytes of a binary PPM (header fields separated by white space,
    comment lines skipped)."""
    data = open(path, "rb").read()
    pos, fields = 0, 0
    while fields < 4:
        while fields > 0 and data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields += 1
    return data[pos + 1:]


def png_rgb(path):
    """RGB bytes of an 8-bit, non-interlaced RGB or RGBA PNG, top row first."""
    data = open(path, "rb").read()
    pos, idat, width, height, channels = 8, b"", 0, 0, 0
    while pos < len(data):
        length = int.from_bytes(data[pos:pos + 4], "big")
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height = int.from_bytes(body[0:4], "big"), int.from_bytes(body[4:8], "big")
            if body[8] != 8 or body[9] not in (2, 6) or body[12] != 0:
                raise ValueError("unexpected PNG kind")
            channels = 3 if body[9] == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride = zlib.decompress(idat), width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = prev[i], prev[i - channels] if i >= channels else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    pixels = b"".join(rows)
    if channels == 4:
        pixels = b"".join(pixels[i:i + 3] for i in range(0, len(pixels), 4))
    return width, height, pixels


def native_build():
    """The native command-line program, built when its build folder lacks it."""
    if not os.access(NATIVE, os.X_OK):
        build = os.path.join(ROOT, "build", "release")
        subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                        "-DLUMIVOR_WERROR=ON"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", build, "--target", "lumivor", "-j2"], check=True,
                       stdout=subprocess.DEVNULL)
    return NATIVE


def native_render(preset, seed, width, height, ticks, tmp):
    """(habitat pixels, final line) of the native no-GL render."""
    habitat = os.path.join(tmp, "native.ppm")
    args = [native_build(), "render", "--no-gl", "--seed", seed, "--size", f"{width}x{height}",
            "--ticks", str(ticks), "--habitat", habitat, "--final-state"]
    if preset is not None:
        args += ["--preset", str(preset)]
    done = subprocess.run(args, capture_output=True, text=True, check=True)
    final = [line for line in done.stdout.splitlines() if line.startswith("final ")]
    return ppm_pixels(habitat), final[-1] if final else ""


def check_url(server, preset, seed, width, height, ticks):
    query = f"seed={seed}&size={width}x{height}&ticks={ticks}"
    if preset is not None:
        query = f"preset={preset}&" + query
    return server.url("index.html?" + query)


def dump_dom(url):
    return browser.run_chromium(["--virtual-time-budget=30000", "--dump-dom", url])


def element(dom, ident):
    found = re.search(rf'id="{ident}"[^>]*>([^<]*)<', dom)
    return found.group(1).strip() if found else ""


def test_check_mode(server, tmp):
    for preset, seed, width, height, ticks in CHECK_CASES:
        name = f"preset {preset} seed {seed} {width}x{height} {ticks} ticks"
        dom = dump_dom(check_url(server, preset, seed, width, height, ticks))
        pixels, final = native_render(preset, seed, width, height, ticks, tmp)
        digest = element(dom, "digest")
        check(digest == fnv1a(pixels),
              f"check mode hash equals the native habitat's, {name} ({digest or element(dom, 'error')})")
        check(element(dom, "final") == final, f"check mode final state equals the native one, {name}")
    for query, reason in [("preset=10", "preset"), ("seed=12x", "seed"),
                          ("size=0x5&ticks=3", "size"), ("size=8x8&ticks=0", "ticks"),
                          ("seed=9999999999999999999&size=8x8&ticks=2", "seed")]:
        dom = dump_dom(server.url("index.html?" + query))
        error = element(dom, "error")
        check(reason in error and element(dom, "digest") == "",
              f"address {query} refused with a reason ({error})")


def test_screenshot(server, tmp):
    preset, seed, width, height, ticks = SCREENSHOT_CASE
    shot = os.path.join(tmp, "shot.png")
    browser.run_chromium(["--virtual-time-budget=30000", f"--window-size={width},{height}",
                          f"--screenshot={shot}", check_url(server, *SCREENSHOT_CASE)])
    pixels, _ = native_render(preset, seed, width, height, ticks, tmp)
    w, h, shown = png_rgb(shot) if os.path.exists(shot) else (0, 0, b"")
    differing = sum(1 for i in range(0, min(len(shown), len(pixels)), 3)
                    if shown[i:i + 3] != pixels[i:i + 3])
    check((w, h) == (width, height) and shown == pixels,
          f"screenshot {w}x{h} equals the habitat pixel for pixel ({differing} pixels differ)")


def canvas_hashes(chrome, session):
    """A hash of every canvas's pixels, read back through a 2D context copy."""
    return chrome.eval(session, """[...document.querySelectorAll('canvas')].map((c) => {
        const copy = document.createElement('canvas');
        [copy.width, copy.height] = [c.width, c.height];
        const ctx = copy.getContext('2d');
        ctx.drawImage(c, 0, 0);
        const d = ctx.getImageData(0, 0, c.width, c.height).data;
        let h = 0;
        for (let i = 0; i < d.length; i++) h = (Math.imul(h, 31) + d[i]) | 0;
        return h;
    })""")


def test_live_pages(server):
    chrome = browser.Browser(1024, 768)
    try:
        saver = chrome.open(server.url("index.html?preset=6&seed=1765000222"), (800, 600))
        chrome.wait_for(saver, "window.lumivorStats && window.lumivorStats.ticks > 20", 30)
        size = chrome.eval(saver, "[screen.width, document.getElementById('screen').width,"
                                  " document.getElementById('screen').height, document.title]")
        check(size[1:3] == [800, 600] and size[3] == "Lumivor: rock",
              f"saver canvas at the window's size in device pixels ({size})")
        # Counted in ticks, not seconds: a busy machine draws fewer frames a second.
        before = canvas_hashes(chrome, saver)
        ticks = chrome.eval(saver, "window.lumivorStats.ticks")
        chrome.wait_for(saver, f"window.lumivorStats.ticks > {ticks + 20}", 30)
        check(canvas_hashes(chrome, saver) != before, "saver picture changes over 20 ticks")
        # Between two ticks the canvas, built from uploaded tiles only, must
        # equal the display habitat (row 0 at the bottom) pixel for pixel.
        differing = chrome.eval(saver, """(() => {
            const v = window.lumivorView, m = v.m, w = v.width, h = v.height;
            const shown = v.ctx.getImageData(0, 0, w, h).data;
            const habitat = new Uint8Array(m.HEAPU8.buffer, m._lumivor_display_habitat(), w * h * 3);
            let n = 0;
            for (let y = 0; y < h; y++) {
                for (let x = 0; x < w; x++) {
                    const s = (y * w + x) * 4, c = ((h - 1 - y) * w + x) * 3;
                    if (shown[s] !== habitat[c] || shown[s + 1] !== habitat[c + 1] ||
                        shown[s + 2] !== habitat[c + 2]) n++;
                }
            }
            return [n, v.stats.ticks];
        })()""")
        check(differing[0] == 0 and differing[1] > 20,
              f"live canvas equals the display habitat after {differing[1]} ticks"
              f" ({differing[0]} pixels differ)")
        chrome.call("Emulation.setDeviceMetricsOverride", {"width": 500, "height": 400,
                    "deviceScaleFactor": 1, "mobile": False}, saver)
        chrome.wait_for(saver, "document.getElementById('screen').width === 500", 30)
        ticks = chrome.eval(saver, "window.lumivorStats.ticks")
        chrome.wait_for(saver, f"window.lumivorStats.ticks > {ticks + 10}", 30)
        state = chrome.eval(saver, "[document.getElementById('screen').height,"
                                   " window.lumivorWorld.width, window.lumivorWorld.height,"
                                   " window.lumivorWorld.preset, window.lumivorWorld.seed]")
        check(state == [400, 800, 600, 6, "1765000222"],
              f"after a resize the canvas follows the window and the world goes on ({state})")
        # The canvas shows the world's bottom-left 500x400 as the saver's surface
        # after a resize: the clear colour and the trails drawn since, not the
        # habitat's older picture.
        shown = chrome.eval(saver, """(() => {
            const v = window.lumivorView, m = v.m, w = v.width, h = v.height;
            const cw = v.canvas.width, ch = v.canvas.height;
            const shown = v.ctx.getImageData(0, 0, cw, ch).data;
            const surface = new Uint8Array(m.HEAPU8.buffer, m._lumivor_surface(), w * h * 4);
            const habitat = new Uint8Array(m.HEAPU8.buffer, m._lumivor_display_habitat(), w * h * 3);
            let wrong = 0, older = 0;
            for (let r = 0; r < ch; r++) {
                for (let x = 0; x < cw; x++) {
                    const s = (r * cw + x) * 4, u = ((r + h - ch) * w + x) * 4;
                    const c = ((ch - 1 - r) * w + x) * 3;
                    if (shown[s] !== surface[u] || shown[s + 1] !== surface[u + 1] ||
                        shown[s + 2] !== surface[u + 2]) wrong++;
                    if (shown[s] !== habitat[c] || shown[s + 1] !== habitat[c + 1] ||
                        shown[s + 2] !== habitat[c + 2]) older++;
                }
            }
            return [wrong, older];
        })()""")
        check(shown[0] == 0 and shown[1] > 1000,
              f"after a resize the canvas is the cleared surface with the new trails, bottom-left"
              f" ({shown[0]} pixels wrong, {shown[1]} older habitat pixels no longer shown)")

        gallery = chrome.open(server.url("gallery.html"), (1400, 1000))
        chrome.wait_for(gallery, "Array.isArray(window.lumivorStats) && "
                                 "window.lumivorStats.every((s) => s.ticks > 10)", 30)
        links = chrome.eval(gallery, "[...document.querySelectorAll('#communities a')]"
                                     ".map((a) => [a.textContent, a.getAttribute('href'),"
                                     " a.querySelectorAll('canvas').length])")
        names = "amorfwit paarsebergen somspaars fijnwerk geo&vlekkensnel fel rock zoetkoraal " \
                "zwavelgrot tegelswitzwart".split()
        check([text for text, _, _ in links] == [f"{n} {name}" for n, name in enumerate(names)],
              "gallery names the ten communities in order")
        check(all(re.fullmatch(rf"index\.html\?preset={n}&seed=[0-9]+", href) and canvases == 1
                  for n, (_, href, canvases) in enumerate(links)),
              "each gallery canvas links to its community full-window with its seed")
        before = canvas_hashes(chrome, gallery)
        ticks = chrome.eval(gallery, "Math.min(...window.lumivorStats.map((s) => s.ticks))")
        chrome.wait_for(gallery, f"window.lumivorStats.every((s) => s.ticks > {ticks + 20})", 30)
        after = canvas_hashes(chrome, gallery)
        check(len(before) == 10 and all(a != b for a, b in zip(before, after)),
              "all ten gallery canvases change over 20 ticks")
    finally:
        chrome.close()


def test_requests(server, folder):
    # The server answers every request for a file in full; a 304 (a file the
    # browser had cached) would name a file of the folder all the same.
    files = set(os.listdir(folder))
    outside = [(path, status) for path, status in server.requests
               if status not in (200, 304) or path.split("?")[0].lstrip("/") not in files]
    check(server.requests and not outside,
          f"every request is for a file of the page's folder ({len(server.requests)} requests;"
          f" outside: {outside})")
    named = []
    for name in files:
        if name.endswith((".html", ".js", ".css")):
            text = open(os.path.join(folder, name), encoding="utf-8").read()
            named += [f"{name}: {url}" for url in re.findall(r"\b(?:https?:|wss?:)?//[\w.-]+\.\w+",
                                                             text)]
    check(not named, f"the page's files name no other site ({named})")


def main():
    folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/web")
    server = browser.Server(folder)
    try:
        with tempfile.TemporaryDirectory() as tmp:
            test_check_mode(server, tmp)
            test_screenshot(server, tmp)
            test_live_pages(server)
        test_requests(server, folder)
    finally:
        server.close()
    print(f"web browser tests: {len(failures)} failed" if failures else
          "web browser tests: all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
