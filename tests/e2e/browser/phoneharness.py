"""The real program with its web remote on loopback, a controller stand-in, and the page in
headless Chromium driven through DevTools: shared by the browser tests, the latency bench and
the phone screenshot. Loopback only: the controller is 127.0.0.1, the page is opened at
127.0.0.1 whatever address the pairing link names."""

import importlib.util
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

DEADLINE = 15.0  # seconds for anything that is awaited; generous for a loaded machine
KIND_KEY, KIND_MENU_KEY = 172, 175  # the handset's two kinds of key message
NAMED = {"menu": 238, "idle": 239, "up": 14, "down": 15, "left": 16, "right": 17, "select": 4}


def code_of(key):
    return NAMED[key] if key in NAMED else ord(str(key))


def key_line(key):
    """The program's log line for a key of the handset or a phone."""
    code = code_of(key)
    return "Remote: " + chr(code) if chr(code).isdigit() else "RemoteMenu:  %d" % code


def wait_until(test, what, timeout=DEADLINE, every=0.02):
    end = time.monotonic() + timeout
    while True:
        got = test()
        if got:
            return got
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + (what() if callable(what) else what))
        time.sleep(every)


def browser_missing():
    """Why the browser tests cannot run here, or None."""
    for tool in ("chromium", "chromedriver"):
        if not shutil.which(tool):
            return tool + " is not installed (Debian package chromium / chromium-driver)"
    if importlib.util.find_spec("selenium") is None:
        return "selenium is not installed for " + sys.executable + " (python3-selenium)"
    return None


def skip(reason):
    """Exit as skipped (77); under ./dev.sh test (NUVOKRC_NO_SKIPS=1) as failed."""
    if os.environ.get("NUVOKRC_NO_SKIPS") == "1":
        print("FAILED, not run: " + reason, file=sys.stderr)
        sys.exit(1)
    print("SKIP: " + reason, file=sys.stderr)
    sys.exit(77)


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Controller:
    """The LED and door controller on loopback: records what each connection carried."""

    def __init__(self):
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        self.received = []
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            connection, _ = self.server.accept()
            threading.Thread(target=self._read, args=(connection,), daemon=True).start()

    def _read(self, connection):
        with connection:
            while chunk := connection.recv(4096):
                self.received.append(chunk)

    def commands(self):
        return re.findall(rb"[^\r\n]+\r\n", b"".join(self.received))


class Program:
    """nuvokrc with its settings in a folder of its own, read back from its standard error."""

    def __init__(self, binary, settings="", platform="offscreen"):
        self.binary = binary
        self.config = tempfile.mkdtemp(prefix="nuvokrc-browser.")
        self.web_port, self.udp_port = free_port(), free_port(socket.SOCK_DGRAM)
        self.controller = Controller()
        self.settings_file = os.path.join(self.config, "NUVOKrc.conf")
        with open(self.settings_file, "w") as out:
            out.write("[Settings]\nWebRemote=true\nWebRemotePort=%d\nportNum=%d\nProtocol=UDP\n"
                      "Notifications=false\nControllerHost=127.0.0.1\nControllerPort=%d\n%s"
                      % (self.web_port, self.udp_port, self.controller.port, settings))
        # Offscreen, no display and no session bus: the keys reach no player of the desktop the
        # run was started from. On xcb, the display is a private one (scripts/private-desktop.sh).
        self.env = {name: value for name, value in os.environ.items()
                    if platform == "xcb" or name not in ("DISPLAY", "WAYLAND_DISPLAY",
                                                         "DBUS_SESSION_BUS_ADDRESS")}
        self.env.update(XDG_CONFIG_HOME=self.config, QT_QPA_PLATFORM=platform)
        self.lines, self.times = [], []  # log lines and when each was read (monotonic)
        self.process = None

    def start(self):
        self.process = subprocess.Popen([self.binary, "--log-stderr"], env=self.env,
                                        stdin=subprocess.DEVNULL, stderr=subprocess.PIPE)
        threading.Thread(target=self._read, args=(self.process.stderr,), daemon=True).start()
        self.wait_line("Web remote: the phone page is served on port %d" % self.web_port)
        # Key code 0 does nothing: once one is logged, the handset's port takes keys.
        start = len(self.lines)
        wait_until(lambda: self.handset(None) or self.count("Remote: \u2400", start),
                   "the handset's port", every=0.2)

    def _read(self, stream):
        for raw in stream:
            self.times.append(time.monotonic())
            self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(DEADLINE)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def close(self):
        self.stop()
        shutil.rmtree(self.config, ignore_errors=True)

    def log(self, start=0):
        return "\n".join(self.lines[start:])

    def count(self, line, start=0):
        return self.lines[start:].count(line)

    def wait_line(self, line, start=0, timeout=DEADLINE):
        """The index of the first line equal to `line` (or matching it, a compiled pattern)
        from `start` on."""
        def found():
            for at in range(start, len(self.lines)):
                if self.lines[at] == line or (hasattr(line, "fullmatch")
                                              and line.fullmatch(self.lines[at])):
                    return at + 1
            return 0
        return wait_until(found, lambda: "%r; log from there:\n%s" % (line, self.log(start)),
                          timeout) - 1

    def handset(self, *keys):
        """The handset's keys as UDP datagrams: the key code, then its kind (None: key code 0,
        which does nothing)."""
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp:
            for key in keys:
                kind = KIND_MENU_KEY if key in NAMED else KIND_KEY
                udp.sendto(bytes([0 if key is None else code_of(key), kind]),
                           ("127.0.0.1", self.udp_port))

    def pairing_link(self):
        """A link from `nuvokrc --pair`, on loopback."""
        said = subprocess.run([self.binary, "--pair"], env=self.env, capture_output=True,
                              text=True, timeout=DEADLINE)
        assert said.returncode == 0, "nuvokrc --pair: " + said.stderr
        link = said.stdout.split()[0]
        return re.sub(r"^http://[^/]+/", "http://127.0.0.1:%d/" % self.web_port, link)

    def settings_text(self):
        with open(self.settings_file) as settings:
            return settings.read()

    def restart_with(self, old, new):
        """Stops the program, changes its settings file and starts it again."""
        self.stop()
        text = self.settings_text()
        assert old in text, "%r is not in the settings:\n%s" % (old, text)
        with open(self.settings_file, "w") as out:
            out.write(text.replace(old, new))
        self.start()


class Phone:
    """The page in headless Chromium with a phone's screen and touch."""

    def __init__(self, width=360, height=640):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        self.profile = tempfile.mkdtemp(prefix="nuvokrc-chromium.")
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium")
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                         "--user-data-dir=" + self.profile, "--window-size=%d,%d" % (width, height),
                         "--disable-background-networking", "--lang=en"):
            options.add_argument(argument)
        self.driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")),
                                       options=options)
        self.cdp("Emulation.setDeviceMetricsOverride",
                 width=width, height=height, deviceScaleFactor=1, mobile=True)
        self.cdp("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
        self.cdp("Network.enable")

    def cdp(self, command, **arguments):
        return self.driver.execute_cdp_cmd(command, arguments)

    def js(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def open(self, url):
        self.driver.get(url)

    def reload(self):
        self.driver.refresh()

    def status(self):
        return self.js("return document.getElementById('status').dataset.state")

    def shown(self):
        """The mode and the volume as the page shows them."""
        return tuple(self.js("return ['mode', 'volume'].map("
                             "(id) => document.getElementById(id).textContent)"))

    def wait_connected(self, timeout=DEADLINE):
        wait_until(lambda: self.status() == "connected",
                   lambda: "the page to connect (it says %s)" % self.status(), timeout)

    def centre(self, key):
        box = self.js("const r = document.querySelector('[data-key=\"' + arguments[0] + '\"]')"
                      ".getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]",
                      code_of(key))
        return {"x": box[0], "y": box[1]}

    def touch(self, key):
        """A finger down on the key; the point to lift it at."""
        point = self.centre(key)
        self.cdp("Input.dispatchTouchEvent", type="touchStart", touchPoints=[point])
        return point

    def lift(self):
        self.cdp("Input.dispatchTouchEvent", type="touchEnd", touchPoints=[])

    def press(self, *keys):
        for key in keys:
            self.touch(key)
            self.lift()

    def offline(self, off):
        self.cdp("Network.emulateNetworkConditions", offline=off, latency=0,
                 downloadThroughput=-1, uploadThroughput=-1)

    def close(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)
