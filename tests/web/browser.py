# Headless Chromium and a local web server for the page's tests.
#
# The server serves one folder on 127.0.0.1 at a free port and records every
# request. The browser is driven through its DevTools protocol over a pipe
# (file descriptors 3 and 4 of the child), so no extra package is needed.

import functools
import http.server
import json
import os
import select
import shutil
import subprocess
import tempfile
import threading
import time

CHROMIUM_FLAGS = [
    "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--no-first-run", "--hide-scrollbars",
    "--force-device-scale-factor=1", "--remote-debugging-pipe",
]


def chromium_path():  # "chromium" when there is none: that is what the error names
    return shutil.which("chromium") or shutil.which("chromium-browser") or "chromium"


# Serves `folder` on 127.0.0.1; `requests` lists (path, status) in order. Every
# answer is the whole file with `Cache-Control: no-store`, and conditional
# requests are answered in full too: whether the browser would revalidate a
# cached file (a 304) depends on its cache and the files' ages, which a test
# must not depend on.
class Server:
    def __init__(self, folder):
        requests = self.requests = []

        class Handler(http.server.SimpleHTTPRequestHandler):
            def send_head(self):
                del self.headers["If-Modified-Since"], self.headers["If-None-Match"]
                return super().send_head()

            def end_headers(self):
                self.send_header("Cache-Control", "no-store")
                super().end_headers()

            def log_request(self, code="-", size="-"):
                requests.append((self.path, int(code)))

            def log_message(self, *args):  # nothing printed: the test judges what was asked
                pass

        self.httpd = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(Handler, directory=folder))
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.httpd.server_address[1]}/{path}"

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


# A headless Chromium driven over the DevTools protocol; messages end with a NUL.
class Browser:
    def __init__(self, width, height):
        self.profile = tempfile.TemporaryDirectory()
        to_child_r, self.to_child = os.pipe()
        self.from_child, from_child_w = os.pipe()
        self.proc = subprocess.Popen(
            [chromium_path(), *CHROMIUM_FLAGS, f"--user-data-dir={self.profile.name}",
             f"--window-size={width},{height}", "about:blank"],
            preexec_fn=lambda: (os.dup2(to_child_r, 3), os.dup2(from_child_w, 4)),
            close_fds=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_child_r)
        os.close(from_child_w)
        self.pending = b""
        self.last_id = 0

    def call(self, method, params=None, session=None, timeout=60):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_child, json.dumps(message).encode() + b"\0")
        while True:  # events and the answer to this call, which comes last
            while b"\0" not in self.pending:
                if not select.select([self.from_child], [], [], timeout)[0]:
                    raise RuntimeError(f"{method}: the browser did not answer in time")
                chunk = os.read(self.from_child, 1 << 16)
                if not chunk:
                    raise RuntimeError(f"{method}: the browser closed its pipe")
                self.pending += chunk
            raw, self.pending = self.pending.split(b"\0", 1)
            reply = json.loads(raw)
            if reply.get("id") == self.last_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error'].get('message')}")
                return reply.get("result", {})

    # A new tab at `url`, its viewport (width, height) when given; returns its session.
    def open(self, url, viewport=None):
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = self.call("Target.attachToTarget",
                            {"targetId": target, "flatten": True})["sessionId"]
        if viewport:
            self.resize(session, *viewport)
        self.call("Page.navigate", {"url": url}, session)
        return session

    # The tab's viewport to width x height CSS pixels at scale 1.
    def resize(self, session, width, height):
        self.call("Emulation.setDeviceMetricsOverride", {"width": width, "height": height,
                  "deviceScaleFactor": 1, "mobile": False}, session)

    # Polls `expression` until it is truthy; returns its value.
    def wait_for(self, session, expression, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if value := self.eval(session, expression):
                return value
            time.sleep(0.1)
        raise RuntimeError(f"timed out waiting for {expression}")

    def eval(self, session, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, session)
        if "exceptionDetails" in result:
            raise RuntimeError(f"page script failed: {result['exceptionDetails'].get('text')}")
        return result["result"].get("value")

    def close(self):
        try:
            self.call("Browser.close", timeout=10)
            self.proc.wait(timeout=10)
        except (RuntimeError, OSError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()
        os.close(self.to_child)
        os.close(self.from_child)
        self.profile.cleanup()
