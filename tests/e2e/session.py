"""One end-to-end test session: a private X server, session bus and program folder,
the real viewer started in it, and the tools a user's scripts would use to watch it.

Observation is from outside only: the accessibility tree (captions, visibility,
enabled state), WebKit's remote inspector (which document is shown, where it is
scrolled), vellum-host (host traffic), X11 (geometry, window state), xdotool (real
clicks and drags), xclip (the clipboard) and the Vellum.ini a close writes.
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

import websocket

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testenv import start_xvfb, stop_processes  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.join(ROOT, "build", "linux")
LIBRARY = os.path.join(ROOT, "samples", "library")
PROBE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "atspi_probe.py")


def wait_until(predicate, timeout=10.0, interval=0.05, what="condition"):
    """Polls predicate until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        try:
            last = predicate()
        except Exception as error:  # the viewer may be between pages
            last = error
        if last and not isinstance(last, Exception):
            return last
        time.sleep(interval)
    raise AssertionError(f"timed out waiting for {what} (last: {last!r})")


def free_port():
    """A port for the inspector, outside the range of ports the system hands out to
    outgoing connections, so that no closing connection still holds it."""
    import random
    for _ in range(100):
        port = random.randint(20000, 30000)
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
                return port
            except OSError:
                continue
    raise RuntimeError("no free port for the inspector")


class PageGone(Exception):
    """The page the inspector talked to was replaced by another."""


class Inspector:
    """One lasting connection to WebKit's remote inspector. Opening and closing a
    connection while pages come and go is what the inspector copes with worst, so a
    session keeps one and follows the page targets it announces."""

    def __init__(self, port):
        self.ws = websocket.create_connection(f"ws://127.0.0.1:{port}/socket/1/1/WebPage",
                                              timeout=5)
        self.target = None
        self.next_id = 1

    def close(self):
        try:
            self.ws.close()
        except Exception:
            pass

    def _handle_event(self, message):
        method = message.get("method")
        if method == "Target.targetCreated":
            self.target = message["params"]["targetInfo"]["targetId"]
        elif method == "Target.targetDestroyed" and \
                message["params"].get("targetId") == self.target:
            self.target = None

    def evaluate(self, expression):
        while self.target is None:
            self._handle_event(json.loads(self.ws.recv()))
        request_id = self.next_id
        self.next_id += 1
        inner = {"id": request_id, "method": "Runtime.evaluate",
                 "params": {"expression": f"JSON.stringify({expression})", "returnByValue": True}}
        self.ws.send(json.dumps({"id": request_id, "method": "Target.sendMessageToTarget",
                                 "params": {"targetId": self.target,
                                            "message": json.dumps(inner)}}))
        while True:
            message = json.loads(self.ws.recv())
            if message.get("id") == request_id and "error" in message:
                raise PageGone(message["error"])
            if message.get("method") == "Target.dispatchMessageFromTarget":
                reply = json.loads(message["params"]["message"])
                if reply.get("id") == request_id:
                    result = reply["result"]["result"]
                    if result.get("type") != "string":
                        raise RuntimeError(f"page evaluation failed: {result}")
                    return json.loads(result["value"])
            else:
                self._handle_event(message)
                if self.target is None:
                    raise PageGone("the page was replaced")


class Server:
    """A running `vellum-host serve`, collecting the lines it prints."""

    def __init__(self, session, args):
        self.lines = []
        self.process = subprocess.Popen(
            [session.tool("vellum-host"), "serve", *args], env=session.env,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        wait_until(lambda: session.xdotool_search("--class", "TFrmORUmain"), what="host window")

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def requests(self):
        return [l[len("REQUEST "):] for l in self.lines if l.startswith("REQUEST ")]

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()


class Session:
    def __init__(self, settings=None, window_manager=False, start=True, books=None):
        self.dir = tempfile.mkdtemp(prefix="vellum-e2e-")
        self.processes = []
        self.servers = []
        self.viewer = None
        self.probe = None
        self.inspector = None
        self._lay_out_program_folder(settings, books)
        self.env = self._environment()
        self._start_x()
        self._start_bus()
        if window_manager:
            self._start_window_manager()
        self.inspector_port = free_port()
        if start:
            self.start_viewer()

    # ---- set-up and tear-down ----

    def _environment(self):
        env = dict(os.environ)
        # The user's own settings folder is the session's too, so that no test
        # reads or writes the real one.
        env["XDG_CONFIG_HOME"] = os.path.join(self.dir, "config")
        # Likewise the user's library folder, which the viewer reads first.
        env["XDG_DATA_HOME"] = os.path.join(self.dir, "data")
        return env

    def as_user(self):
        """A command prefix that runs a command as the session's user: the viewer, its
        session bus and the accessibility probe, which must be the bus's user. None here:
        the tests' own user."""
        return []

    def viewer_path(self):
        return os.path.join(self.program, "vellum")

    def _lay_out_program_folder(self, settings, books):
        self.program = os.path.join(self.dir, "program")
        shutil.copytree(LIBRARY, self.program)
        shutil.copytree(os.path.join(BUILD, "about"), os.path.join(self.program, "about"))
        # A book the catalogue lists without its page: the tests' own entry,
        # which readers of the shipped sample never see.
        with open(os.path.join(self.program, "web.htm", "index.ini"), "a", newline="") as f:
            f.write("DEL=delta.htm\r\n")
        with open(os.path.join(self.program, "books.ini"), "a", newline="") as f:
            f.write("DEL=Delta\r\n")
        if books is not None:  # bytes: books.ini as the test wants it
            with open(os.path.join(self.program, "books.ini"), "wb") as f:
                f.write(books)
        for tool in ("vellum", "vellum-host"):
            shutil.copy2(os.path.join(BUILD, tool), self.program)
        if settings is not None:
            with open(self.settings_path(), "w", newline="") as f:
                f.write(settings)

    def _spawn(self, args, **kwargs):
        process = subprocess.Popen([*self.as_user(), *args], env=self.env, **kwargs)
        self.processes.append(process)
        return process

    def _start_x(self):
        self.processes.append(start_xvfb(self.env))

    def _start_bus(self):
        runtime = os.path.join(self.dir, "run")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        self.env["XDG_RUNTIME_DIR"] = runtime
        self.env.pop("NO_AT_BRIDGE", None)
        bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()

    def _start_window_manager(self):
        self._spawn(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: "window id" in self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]),
                   what="the window manager")

    def start_viewer(self, wait_for_start_page=True, wrap=(), args=(), place=None):
        """Starts the viewer with args on its command line; wrap is a command that runs
        it (and execs it, so that the process keeps its id), e.g. in a mount namespace
        of its own. place, (caption, end of the page's URL), is where a viewer started
        without a host opens again, in place of the start page."""
        if self.inspector is not None:  # it belonged to a viewer that has ended
            self.inspector.close()
            self.inspector = None
        env = dict(self.env, WEBKIT_INSPECTOR_HTTP_SERVER=f"127.0.0.1:{self.inspector_port}")
        self.viewer_log = os.path.join(self.dir, "viewer.log")
        with open(self.viewer_log, "a") as log:
            # VELLUM_E2E_WRAP runs the viewer under a tool, e.g. "gdb -batch -ex run -ex bt --args".
            tool = os.environ.get("VELLUM_E2E_WRAP", "").split()
            self.viewer = subprocess.Popen([*self.as_user(), *wrap, *tool, self.viewer_path(),
                                            *args],
                                           cwd=self.program, env=env, stdout=log, stderr=log)
        self.processes.append(self.viewer)
        self.host("wait", "--timeout", "20", check=True)
        if wait_for_start_page or place:
            # The inspector can take the viewer down when a client connects while the
            # first page loads, so it is asked only once start-up has shown its first
            # start page (the Index button's caption is set right after it).
            wait_until(lambda: self.control("SBtnINDEX")["name"] != "Index", timeout=20,
                       interval=0.2, what="start-up")
            time.sleep(0.5)
            caption, url = place or ("About", "/web.htm/index.htm")
            try:
                wait_until(lambda: self.page_url().endswith(url)
                           and self.control("SpeedButton2")["name"] == caption,
                           timeout=20, interval=0.2, what=f"the first page ({caption})")
            except AssertionError as error:
                listening = subprocess.run(["ss", "-ltnp"], capture_output=True, text=True).stdout
                with open(self.viewer_log) as log:
                    raise AssertionError(f"{error}; inspector port {self.inspector_port}; "
                                         f"viewer exit: {self.viewer.poll()}; "
                                         f"listening:\n{listening}\nviewer log:\n{log.read()}")

    def close(self):
        if self.inspector is not None:
            self.inspector.close()
        if self.probe is not None:
            self.probe.stdin.close()
            self.probe.wait(5)
        for server in self.servers:
            server.stop()
        stop_processes(self.processes)
        shutil.rmtree(self.dir, ignore_errors=True)

    # ---- tools ----

    def tool(self, name):
        return os.path.join(self.program, name)

    def run(self, args, check=False):
        result = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=30)
        if check and result.returncode != 0:
            raise AssertionError(f"{args} failed: {result.stderr}")
        return result.stdout

    def host(self, *args, check=False):
        """Runs vellum-host; returns its exit code."""
        result = subprocess.run([self.tool("vellum-host"), *args], env=self.env,
                                capture_output=True, text=True, timeout=30)
        if check and result.returncode != 0:
            raise AssertionError(f"vellum-host {args} exited {result.returncode}: {result.stderr}")
        return result.returncode

    def serve(self, *args):
        server = Server(self, args)
        self.servers.append(server)
        return server

    def settings_path(self):
        return os.path.join(self.program, "Vellum.ini")

    def settings(self):
        with open(self.settings_path(), newline="") as f:
            return f.read()

    def user_settings_path(self):
        return os.path.join(self.env["XDG_CONFIG_HOME"], "vellum", "Vellum.ini")

    # ---- accessibility ----

    def probe_script(self):
        """The accessibility probe as the session's user can read it."""
        return PROBE

    def _ask_probe(self, command):
        if self.probe is None:
            self.probe = subprocess.Popen([*self.as_user(), "/usr/bin/python3",
                                           self.probe_script()],
                                          env=self.env, text=True,
                                          stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.probe.stdin.write(command + "\n")
        self.probe.stdin.flush()
        answer = json.loads(self.probe.stdout.readline())
        if "error" in answer:
            raise RuntimeError(answer["error"])
        return answer

    def controls(self):
        return self._ask_probe(f"controls {self.viewer.pid}")

    def control(self, designer_name):
        return self.controls()[designer_name]

    def menu_items(self):
        return self._ask_probe(f"menu {self.viewer.pid}")

    def widgets(self):
        """Every named object of the viewer's windows, its dialogs and lists too."""
        return self._ask_probe(f"widgets {self.viewer.pid}")

    def caption(self, designer_name="SpeedButton2"):
        return self.control(designer_name)["name"]

    def wait_caption(self, text, designer_name="SpeedButton2", timeout=10):
        return wait_until(lambda: self.caption(designer_name) == text, timeout=timeout,
                          what=f"{designer_name} to read {text!r}")

    # ---- the page, through WebKit's remote inspector ----

    def page(self, expression, attempts=5):
        """Evaluates a JavaScript expression in the page; returns its JSON value.
        A connection lost to a page that is being replaced is tried again."""
        for attempt in range(attempts):
            try:
                if self.inspector is None:
                    self.inspector = Inspector(self.inspector_port)
                return self.inspector.evaluate(expression)
            except (websocket.WebSocketException, ConnectionError, OSError, PageGone):
                if self.inspector is not None:
                    self.inspector.close()
                    self.inspector = None
                if attempt == attempts - 1:
                    raise
                time.sleep(0.2)

    def page_url(self):
        return self.page("document.URL")

    def anchor_top(self, name):
        """The anchor's distance from the top of the page's view, in pixels."""
        return self.page(
            f"Array.from(document.anchors).find(a => a.name == '{name}').getBoundingClientRect().top")

    def wait_anchor_at_top(self, name, timeout=10):
        return wait_until(lambda: abs(self.anchor_top(name)) <= 2, timeout=timeout,
                          what=f"anchor {name} at the top")

    # ---- X11 ----

    def xdotool(self, *args):
        return self.run(["xdotool", *args])

    def xdotool_search(self, *args):
        return self.xdotool("search", *args).split()

    def viewer_window(self):
        # Only the viewer window has the viewer's class; the title makes sure.
        def find():
            return [w for w in self.xdotool_search("--class", "TfrmHView")
                    if self.xdotool("getwindowname", w).strip() == "Vellum"]
        return wait_until(find, what="viewer")[0]

    def geometry(self, window=None):
        """The window's outer left, top, width and height on the screen."""
        out = self.run(["xwininfo", "-id", window or self.viewer_window()])
        values = {}
        for line in out.splitlines():
            line = line.strip()
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
                if line.startswith(key + ":"):
                    values[key] = int(line.split(":")[1])
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
                values["Width"], values["Height"])

    def net_wm_state(self):
        return self.run(["xprop", "-id", self.viewer_window(), "_NET_WM_STATE"])

    def click(self, x, y, button=1):
        self.xdotool("mousemove", "--sync", str(x), str(y), "click", str(button))

    def click_control(self, designer_name, button=1):
        x, y, w, h = self.control(designer_name)["extents"]
        self.click(x + w // 2, y + h // 2, button)

    def drag_handle(self, *offsets):
        """Presses the left button on the drag handle, moves the mouse through each
        (dx, dy) from where it was pressed, and releases it."""
        x, y, w, h = self.control("Image2")["extents"]
        hx, hy = x + w // 2, y + h // 2
        self.xdotool("mousemove", "--sync", str(hx), str(hy), "mousedown", "1")
        for dx, dy in offsets:
            self.xdotool("mousemove", "--sync", str(hx + dx), str(hy + dy))
        self.xdotool("mouseup", "1")

    def browser_origin(self):
        """Where the page's view starts on the screen: below the title bar,
        inside the window's sizing frame."""
        x, y, _, _ = self.geometry()
        return x + 3, y + 3 + 26

    def click_page_element(self, selector, button=1):
        """Clicks the middle of the first element matching a CSS selector."""
        rect = self.page(f"(function () {{ var r = document.querySelector({json.dumps(selector)})"
                         ".getBoundingClientRect(); return [r.left, r.top, r.width, r.height]; })()")
        x, y = self.browser_origin()
        self.click(int(x + rect[0] + rect[2] / 2), int(y + rect[1] + rect[3] / 2), button)

    def screenshot(self, path):
        self.run(["import", "-window", "root", path])

    def wait_exit(self, timeout=10):
        return self.viewer.wait(timeout)
