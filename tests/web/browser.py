# A local web server and the three browser engines for the page's tests.
#
# The server serves one folder on 127.0.0.1 at a free port and records every
# request. Chromium is driven through its DevTools protocol and Firefox ESR
# through WebDriver BiDi, both on a websocket (Debian's python3-websocket);
# WebKitGTK's MiniBrowser through WebKitWebDriver (W3C WebDriver over HTTP).
# Firefox and WebKit offer open(url) and eval(expression), the expression's
# value given back by value; Chromium's open(url) makes a tab, whose session
# its eval and wait_for take.

import contextlib
import functools
import http.server
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

# Debian's python3-websocket, also for a Python on PATH that is not Debian's.
sys.path.append("/usr/lib/python3/dist-packages")
import websocket  # noqa: E402

CHROMIUM_FLAGS = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-sync",
                  "--disable-background-networking", "--disable-component-update",
                  "--no-first-run", "--hide-scrollbars", "--force-device-scale-factor=1",
                  "--remote-debugging-port=0"]
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"


# Serves `folder` on 127.0.0.1; `requests` lists (path, status) in order. Every
# answer carries `Cache-Control: no-store`, so a page never runs on files cached
# by an earlier test. Only errors are printed: the test judges what was asked.
class Server:
    def __init__(self, folder):
        requests = self.requests = []

        class Handler(http.server.SimpleHTTPRequestHandler):
            def end_headers(self):
                self.send_header("Cache-Control", "no-store")
                super().end_headers()

            def log_request(self, code="-", size="-"):
                requests.append((self.path, int(code)))

        self.httpd = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(Handler, directory=folder))
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.httpd.server_address[1]}/{path}"

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# Polls evaluate(expression) (a page's eval) until it is truthy; returns its value.
def wait_for(evaluate, expression, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if value := evaluate(expression):
            return value
        time.sleep(0.1)
    raise RuntimeError(f"timed out waiting for {expression}")


# A browser started with `args` (PROFILE in them naming a new folder) and asked
# by `attempt`() once it answers, tried for a minute; closed when it never does.
class Driven:
    def __init__(self, args, attempt, **popen):
        self.profile = tempfile.TemporaryDirectory()
        self.driver = subprocess.Popen(
            [arg.replace("PROFILE", self.profile.name) for arg in args],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **popen)
        deadline = time.monotonic() + 60
        while True:
            try:
                self.link = attempt()
                return
            except (OSError, RuntimeError, websocket.WebSocketException) as e:
                if time.monotonic() > deadline or self.driver.poll() is not None:
                    self.close()
                    raise RuntimeError(f"{args[0]} does not answer: {e}") from e
                time.sleep(0.2)

    def close(self):
        try:
            self.quit()
            self.driver.wait(timeout=10)
        except (AttributeError, RuntimeError, OSError, websocket.WebSocketException,
                subprocess.TimeoutExpired):  # no link yet, or no answer
            self.driver.kill()
            self.driver.wait()
        self.profile.cleanup()


# A browser asked over a websocket at url(profile), in numbered messages.
class SocketBrowser(Driven):
    last_id = 0

    def __init__(self, args, url):
        # A page's websocket would name its origin; this client names none.
        super().__init__(args, lambda: websocket.create_connection(
            url(self.profile.name), timeout=60, suppress_origin=True))

    def call(self, method, params=None, session=None, timeout=60):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params or {},
                   **({"sessionId": session} if session else {})}
        self.link.settimeout(timeout)
        self.link.send(json.dumps(message))
        while True:  # events and the answer to this call, which comes last
            reply = json.loads(self.link.recv())
            if reply.get("id") == self.last_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply.get('message') or reply['error']}")
                return reply.get("result", {})

    def quit(self):
        self.call(self.CLOSE, timeout=10)


# A headless Chromium driven over the DevTools protocol; each tab is a session.
class Browser(SocketBrowser):
    CLOSE = "Browser.close"

    def __init__(self, width, height):
        # The port it chose, and the path of its socket, in its profile.
        chromium = shutil.which("chromium") or shutil.which("chromium-browser") or "chromium"
        super().__init__([chromium, *CHROMIUM_FLAGS, "--user-data-dir=PROFILE",
                          f"--window-size={width},{height}", "about:blank"],
                         lambda profile: "ws://127.0.0.1:{}{}".format(
                             *open(os.path.join(profile, "DevToolsActivePort")).read().split()))

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

    def wait_for(self, session, expression, timeout):
        return wait_for(functools.partial(self.eval, session), expression, timeout)

    def eval(self, session, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, session)
        if "exceptionDetails" in result:
            raise RuntimeError(f"page script failed: {result['exceptionDetails'].get('text')}")
        return result["result"].get("value")


# Firefox ESR headless, driven over WebDriver BiDi.
class Firefox(SocketBrowser):
    CLOSE = "browser.close"

    def __init__(self):
        port = free_port()
        super().__init__(["firefox-esr", "--headless", "--no-remote", "--profile", "PROFILE",
                          f"--remote-debugging-port={port}"],
                         lambda profile: f"ws://127.0.0.1:{port}/session")
        self.call("session.new", {"capabilities": {}})
        self.context = self.call("browsingContext.getTree")["contexts"][0]["context"]

    def open(self, url):
        self.call("browsingContext.navigate",
                  {"context": self.context, "url": url, "wait": "complete"})

    def eval(self, expression):
        result = self.call("script.evaluate", {"expression": f"JSON.stringify({expression})",
                                               "awaitPromise": True,
                                               "target": {"context": self.context}})
        return json.loads(result["result"].get("value", "null"))  # no result: the script failed


# WebKitGTK's MiniBrowser under WebKitWebDriver, on an X server of its own
# (xvfb-run), all three in a process group of their own that closing ends.
# Without its compositing mode WebKit draws the page's canvases at the full tick
# rate on Xvfb.
class WebKit(Driven):
    def __init__(self):
        port, options = free_port(), {"binary": MINIBROWSER, "args": ["--automation"]}
        self.base = f"http://127.0.0.1:{port}"
        super().__init__(["xvfb-run", "-a", "-s", "-nolisten tcp", "WebKitWebDriver",
                          f"--port={port}"],
                         lambda: self.request("POST", "/session", {"capabilities": {"alwaysMatch": {
                             "webkitgtk:browserOptions": options}}})["sessionId"],
                         start_new_session=True,
                         env=dict(os.environ, WEBKIT_DISABLE_COMPOSITING_MODE="1"))

    def request(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data, method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=60) as answer:  # an error: HTTPError
            return json.load(answer)["value"]

    def open(self, url):
        self.request("POST", f"/session/{self.link}/url", {"url": url})

    def eval(self, expression):
        return json.loads(self.request("POST", f"/session/{self.link}/execute/sync", {
            "script": f"return JSON.stringify({expression})", "args": []}) or "null")

    def quit(self):
        with contextlib.suppress(AttributeError, OSError):  # no session yet, or no answer
            self.request("DELETE", f"/session/{self.link}")
        with contextlib.suppress(ProcessLookupError):  # the group ended already
            os.killpg(self.driver.pid, signal.SIGTERM)
