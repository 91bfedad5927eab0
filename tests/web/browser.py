"""Headless Chromium and a local web server for the page's tests.

The server serves one folder on 127.0.0.1 at a free port and records every
request. The browser is driven through its DevTools protocol over a pipe
(file descriptors 3 and 4 of the child), so no extra package is needed.
"""

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
    "--force-device-scale-factor=1",
]


def chromium_path():
    for name in ("chromium", "chromium-browser"):
        found = shutil.which(name)
        if found:
            return found
    raise RuntimeError("chromium not found (install the chromium package)")


class Server:
    """Serves `folder` on 127.0.0.1; `requests` lists (path, status) in order.

    Every answer is the whole file with `Cache-Control: no-store`, and
    conditional requests are answered in full too: whether the browser would
    revalidate a cached file (a 304) depends on its cache and the files' ages,
    which a test must not depend on."""

    def __init__(self, folder):
        self.requests = []
        outer = self

        class Handler(http.server.SimpleHTTPRequestHandler):
            def send_head(self):
                for name in ("If-Modified-Since", "If-None-Match"):
                    del self.headers[name]
                return super().send_head()

            def end_headers(self):
                self.send_header("Cache-Control", "no-store")
                super().end_headers()

            def log_request(self, code="-", size="-"):
                outer.requests.append((self.path, int(code) if str(code).isdigit() else 0))

            def log_message(self, *args):
                pass

        handler = functools.partial(Handler, directory=folder)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        return f"http://127.0.0.1:{self.port}/{path}"

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class Browser:
    """A headless Chromium driven over the DevTools protocol."""

    def __init__(self, width, height):
        self.profile = tempfile.TemporaryDirectory()
        to_child_r, self.to_child = os.pipe()
        self.from_child, from_child_w = os.pipe()

        def give_pipes():
            os.dup2(to_child_r, 3)
            os.dup2(from_child_w, 4)

        self.proc = subprocess.Popen(
            [chromium_path(), *CHROMIUM_FLAGS, f"--user-data-dir={self.profile.name}",
             "--remote-debugging-pipe", f"--window-size={width},{height}", "about:blank"],
            preexec_fn=give_pipes, close_fds=False, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_child_r)
        os.close(from_child_w)
        self.pending = b""
        self.last_id = 0

    def _message(self, timeout):
        while b"\0" not in self.pending:
            ready, _, _ = select.select([self.from_child], [], [], timeout)
            if not ready:
                raise RuntimeError("the browser did not answer in time")
            chunk = os.read(self.from_child, 1 << 16)
            if not chunk:
                raise RuntimeError("the browser closed its pipe")
            self.pending += chunk
        raw, self.pending = self.pending.split(b"\0", 1)
        return json.loads(raw)

    def call(self, method, params=None, session=None, timeout=60):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_child, json.dumps(message).encode() + b"\0")
        while True:
            reply = self._message(timeout)
            if reply.get("id") == self.last_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error'].get('message')}")
                return reply.get("result", {})

    def open(self, url, viewport=None):
        """A new tab at `url`, its viewport (width, height) in CSS pixels at scale 1
        when given; returns its session."""
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = self.call("Target.attachToTarget", {"targetId": target,
                                                      "flatten": True})["sessionId"]
        if viewport:
            self.resize(session, *viewport)
        self.call("Page.navigate", {"url": url}, session)
        return session

    def resize(self, session, width, height):
        """The tab's viewport to width x height CSS pixels at scale 1."""
        self.call("Emulation.setDeviceMetricsOverride", {"width": width, "height": height,
                  "deviceScaleFactor": 1, "mobile": False}, session)

    def wait_for(self, session, expression, timeout):
        """Polls `expression` until it is truthy; returns its value."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = self.eval(session, expression)
            if value:
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
        except (RuntimeError, OSError):
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        os.close(self.to_child)
        os.close(self.from_child)
        self.profile.cleanup()
