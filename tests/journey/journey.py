#!/usr/bin/env python3
"""Walks the built client through a user's whole journey on an X display.

The client runs as a real process; every click and key is real input from the
X server (XTest, through xdotool); where things are on screen comes from the
client's read-only automation channel (VANTO_AUTOMATION_SOCKET). After each
step a screenshot is saved and the step's effect is checked where it lives:
the store's records (its admin interface), the files, the registry hives
(vanto-reg), the stand-ins' records and the notification service's record.

Interface (exit status 0 when every step passed, 1 when one failed, 2 on bad
usage; one line per step on standard output, "step N <name>: ok (...)"):

  journey.py --bin DIR [--store-env FILE] [--home DIR] [--artefacts DIR]
             [--run-dir DIR] [--notifier PROGRAM] [--timeout SECONDS] [--keep]

  --bin        the build's program folder (vanto, vanto-reg, demo-store,
               node.so, language/)
  --store-env  ports.env of a demo store that already runs; without it the
               driver starts its own store in its work folder and stops it
  --home       the sandbox home the client runs in (created when missing);
               default: a folder in the work folder. XDG_CONFIG_HOME is
               HOME/.config, the machine hive VANTO_MACHINE_DIR (when set) or
               HOME/.vanto-machine
  --artefacts  where the screenshots go (journey-NN-<step>.png); default:
               the work folder
  --run-dir    the folder the client starts in (its run log, log.txt);
               default: one in the work folder
  --notifier   the notification service stand-in (NAME RECORD READY);
               default: DIR/../tests/notification-server
  --timeout    the deadline of every wait, 30 s by default
  --keep       keep the work folder (printed at the end)

It needs DISPLAY (for instance under tests/gui/with-xvfb.sh or xvfb-run with
a screen of at least 1600x900x24), xdotool, xwd and dbus-run-session. The
client gets a private XDG_RUNTIME_DIR, a private session bus (with the
notification stand-in), a recording `xdg-open` first on PATH, and the store's
host variables. Before the start the journey sets the installed version to
1.0.0 and today's update day, so that the menu's check (not the daily one)
finds the store's newer version. Running the installer does not end the
client, so the whole journey is one run. In a home used before, the journey
first removes what it would look for: the waiting installer, the demo tool
(its folder and its registry value) and the saved template.
"""

import argparse
import datetime
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import traceback
import urllib.parse
import urllib.request
import zlib

PHONE = "13800138000"
DOC_ID = "1001"
DOC_STORE_PATH = "/files/1001_年终总结汇报.pptx"
MAIN = "VANTOWindowClass"
DIALOG = "VANTODialogClass"
MENU = "MenuWnd"
TOOLBOX = "QRNToolbox"
DOWN_BUTTON = 'button.down[data-id="%s"]' % DOC_ID
DELETE_BUTTON = '#downloads li[data-id="%s"] button.delete' % DOC_ID


class StepFailed(Exception):
    pass


def run(args, timeout=15, env=None, check=True):
    """A short helper program's output; failure raises StepFailed."""
    try:
        done = subprocess.run(args, capture_output=True, timeout=timeout, env=env)
    except subprocess.TimeoutExpired:
        raise StepFailed("%s did not end within %s s" % (args[0], timeout))
    if check and done.returncode != 0:
        raise StepFailed("%s failed: %s" % (" ".join(args), done.stderr.decode(errors="replace").strip()))
    return done.stdout.decode(errors="replace")


def read(path, mode="r"):
    try:
        with open(path, mode) as f:
            return f.read()
    except OSError:
        return b"" if "b" in mode else ""


def centre(rect):
    return ((rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2)


def png(width, height, rgb):
    """A PNG file of `rgb` (3 bytes a pixel, rows top to bottom)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    stride = width * 3
    raw = b"".join(b"\0" + rgb[y * stride:(y + 1) * stride] for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 6)) +
            chunk(b"IEND", b""))


class Screen:
    """What the X screen shows now, read with xwd (32 bits a pixel)."""

    def __init__(self):
        data = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, timeout=30).stdout
        if len(data) < 100:
            raise StepFailed("xwd gave no picture")
        fields = struct.unpack(">25I", data[:100])
        self.width, self.height, self.stride = fields[4], fields[5], fields[12]
        if fields[11] != 32:
            raise StepFailed("the screen has %d bits a pixel, 32 expected" % fields[11])
        # Byte order 0: least significant byte first (B, G, R, X); 1: X, R, G, B.
        self.order = (2, 1, 0) if fields[7] == 0 else (1, 2, 3)
        self.pixels = data[fields[0] + 12 * fields[19]:]

    def at(self, x, y):
        offset = y * self.stride + x * 4
        return tuple(self.pixels[offset + i] for i in self.order)

    def save(self, path, crop=None):
        """The screen, or `crop` ([l, t, r, b]) of it, as a PNG file."""
        left, top, right, bottom = crop or (0, 0, self.width, self.height)
        left, top = max(0, left), max(0, top)
        right, bottom = min(self.width, right), min(self.height, bottom)
        rows = b"".join(self.pixels[y * self.stride + left * 4:y * self.stride + right * 4]
                        for y in range(top, bottom))
        rgb = bytearray(len(rows) // 4 * 3)
        for channel, i in enumerate(self.order):
            rgb[channel::3] = rows[i::4]
        with open(path, "wb") as f:
            f.write(png(right - left, bottom - top, bytes(rgb)))


class Automation:
    """The client's read-only automation channel: one JSON line each way."""

    def __init__(self, path):
        self.path = path
        self.sock = None
        self.buffer = b""

    def ask(self, request):
        """The reply to `request`, or None when the channel cannot answer."""
        try:
            if self.sock is None:
                self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self.sock.settimeout(5)
                self.sock.connect(self.path)
            self.sock.sendall(json.dumps(request).encode() + b"\n")
            while b"\n" not in self.buffer:
                more = self.sock.recv(65536)
                if not more:
                    raise OSError("closed")
                self.buffer += more
            line, self.buffer = self.buffer.split(b"\n", 1)
            return json.loads(line)
        except (OSError, ValueError):
            self.close()
            return None

    def close(self):
        if self.sock is not None:
            self.sock.close()
        self.sock, self.buffer = None, b""


class Journey:
    def __init__(self, opts):
        self.opts = opts
        self.work = tempfile.mkdtemp(prefix="vanto-journey.")
        self.bin = os.path.abspath(opts.bin)
        self.home = os.path.abspath(opts.home or os.path.join(self.work, "home"))
        self.config = os.path.join(self.home, ".config")
        self.data = os.path.join(self.config, "vanto")
        self.machine = os.environ.get("VANTO_MACHINE_DIR") or os.path.join(self.home, ".vanto-machine")
        self.artefacts = os.path.abspath(opts.artefacts or self.work)
        self.run_dir = os.path.abspath(opts.run_dir or os.path.join(self.work, "cwd"))
        self.opened = os.path.join(self.work, "opened.txt")
        self.notified = os.path.join(self.work, "notifications.txt")
        self.saved = os.path.join(self.home, "文档", "年终总结-终稿.pptx")
        self.children = []  # (name, Popen) to stop at the end, last first
        self.client = None
        self.step_no = 0
        self.baseline = {}  # what the store had logged before the journey
        self.auto = Automation(os.path.join(self.work, "auto", "vanto.sock"))

    # ---- waiting and looking ------------------------------------------------------

    def wait(self, what, predicate, client_ends=False):
        """Polls `predicate` until it gives a true value (returned) or the
        deadline passes (the step fails); so does an end of the client
        unless `client_ends`."""
        deadline = time.monotonic() + self.opts.timeout
        while True:
            value = predicate()
            if value:
                return value
            if self.client is not None and self.client.poll() is not None and not client_ends:
                raise StepFailed("the client ended (%s) while waiting for %s" % (self.client.returncode, what))
            if time.monotonic() > deadline:
                raise StepFailed("timed out waiting for " + what)
            time.sleep(0.1)

    def control(self, window, name):
        """The control's answer when it shows (all its parents visible)."""
        reply = self.auto.ask({"op": "control", "window": window, "name": name})
        return reply if reply and reply.get("ok") and reply.get("visible") else None

    def windows(self, cls=None):
        reply = self.auto.ask({"op": "windows"}) or {}
        return [w for w in reply.get("windows", []) if w.get("visible") and cls in (None, w.get("class"))]

    def element(self, view, selector, window=MAIN):
        reply = self.auto.ask({"op": "element", "window": window, "view": view, "selector": selector})
        return reply.get("rect") if reply and reply.get("ok") else None

    def admin(self, path):
        with urllib.request.urlopen("http://%s%s" % (self.env["VANTO_DEMO_ADMIN"], path), timeout=10) as reply:
            return json.loads(reply.read())

    def since_start(self, what):
        """What the store logged (requests of a service, or "sms") since the
        journey began: a store the caller runs may have served others."""
        path = "/sms" if what == "sms" else "/requests?service=" + what
        return self.admin(path)[self.baseline.get(what, 0):]

    def arrived(self, service, fragment):
        return any(fragment in r.get("target", "") for r in self.since_start(service))

    def reg(self, *args, check=True):
        return run([os.path.join(self.bin, "vanto-reg")] + list(args), env=self.env, check=check)

    def reg_value(self, root, key, name):
        """A registry value's data as vanto-reg prints it; "" when missing."""
        for line in self.reg("query", root, key, name, check=False).splitlines():
            fields = line.split(None, 2)
            if len(fields) == 3 and fields[0].lower() == name.lower():
                return fields[2]
        return ""

    # ---- input ------------------------------------------------------------------

    def xdo(self, *args):
        run(["xdotool"] + list(args), timeout=10)

    def xwindows(self):
        """The client's X windows on screen: id -> [left, top, right, bottom]."""
        found = {}
        for window in run(["xdotool", "search", "--onlyvisible", "--pid", str(self.client.pid)],
                          check=False).split():
            shape = dict(line.split("=", 1) for line in
                         run(["xdotool", "getwindowgeometry", "--shell", window], check=False).split())
            if "WIDTH" in shape:
                x, y = int(shape["X"]), int(shape["Y"])
                found[window] = [x, y, x + int(shape["WIDTH"]), y + int(shape["HEIGHT"])]
        return found

    def focus(self, window):
        """Gives the keyboard to the X window: with no window manager on the
        display nothing else does when a window maps."""
        run(["xdotool", "windowfocus", "--sync", window], timeout=10)

    def focus_rect(self, rect):
        self.focus(self.wait("the X window at %s" % rect,
                             lambda: next((w for w, r in self.xwindows().items() if r == rect), None)))

    def click(self, rect):
        point = centre(rect)
        # No --sync: it never ends when the pointer is already there. The
        # server handles the motion before the click all the same.
        self.xdo("mousemove", str(point[0]), str(point[1]), "click", "1")

    def click_control(self, window, name):
        self.click(self.wait("%s in %s" % (name, window), lambda: self.control(window, name))["rect"])

    def type_into(self, window, name, text):
        rect = self.wait(name, lambda: self.control(window, name))["rect"]
        self.focus_rect(self.wait("the window of " + name, lambda: next(
            (w["rect"] for w in self.windows(window) if w["rect"][0] <= rect[0] and w["rect"][1] <= rect[1] and
             rect[2] <= w["rect"][2] and rect[3] <= w["rect"][3]), None)))
        self.click(rect)
        self.xdo("type", "--delay", "20", text)
        self.wait("%s to hold %s" % (name, text),
                  lambda: (self.control(window, name) or {}).get("text") == text)

    def dialog_rects(self):
        return [w["rect"] for w in self.windows(DIALOG)]

    def answer_box(self, before, button=None):
        """Answers the message box that showed since `before` (the dialogs'
        rectangles then): a click on `button`, else Return. Its window."""
        def box():
            new = [w for w in self.windows(DIALOG) if w["rect"] not in before]
            return min(new, key=lambda w: (w["rect"][2] - w["rect"][0]) * (w["rect"][3] - w["rect"][1]),
                       default=None)
        shown = self.wait("a message box", box)
        if button:
            self.click_control(DIALOG, button)
        else:
            self.focus_rect(shown["rect"])
            self.xdo("key", "Return")
        self.wait("the message box to close", lambda: shown["rect"] not in self.dialog_rects())
        return shown

    # ---- steps --------------------------------------------------------------------

    def step(self, name, action):
        self.step_no += 1
        started = time.monotonic()
        note = action()
        shot = os.path.join(self.artefacts, "journey-%02d-%s.png" % (self.step_no, name.split()[0].lower()))
        self.shoot(shot)
        print("step %d %s: ok (%s; %.1f s)" % (self.step_no, name, note, time.monotonic() - started), flush=True)

    def shoot(self, path):
        shown = self.windows() if self.client and self.client.poll() is None else []
        crop = None
        if shown:
            crop = [min(w["rect"][0] for w in shown) - 8, min(w["rect"][1] for w in shown) - 8,
                    max(w["rect"][2] for w in shown) + 8, max(w["rect"][3] for w in shown) + 8]
        Screen().save(path, crop)

    # ---- the sandbox, the store, the bus, the client ---------------------------------

    def start_helper(self, name, args, **kw):
        child = subprocess.Popen(args, **kw)
        self.children.append((name, child))
        return child

    def prepare(self):
        for folder in (self.config, self.machine, self.artefacts, os.path.dirname(self.saved)):
            os.makedirs(folder, exist_ok=True)
        for private in ("runtime", "auto", "standins"):
            os.makedirs(os.path.join(self.work, private), mode=0o700)
        os.makedirs(self.run_dir, exist_ok=True)
        opener = os.path.join(self.work, "standins", "xdg-open")
        with open(opener, "w") as f:
            f.write("#!/bin/sh\nprintf '%%s\\n' \"$*\" >> '%s'\n" % self.opened)
        os.chmod(opener, 0o700)

        store_env = self.opts.store_env
        if not store_env:
            store_dir = os.path.join(self.work, "store")
            store_env = os.path.join(store_dir, "ports.env")
            self.start_helper("demo-store", [os.path.join(self.bin, "demo-store"), "--data", store_dir,
                                             "--ephemeral"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.wait("the demo store's ports.env", lambda: "VANTO_DEMO_ADMIN=" in read(store_env))
        hosts = dict(line.split("=", 1) for line in read(store_env).splitlines()
                     if "=" in line and not line.startswith("#"))

        env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "XDG_DATA_DIRS_OVERRIDE", "VANTO_RUNTIME_DIR"):
            env.pop(name, None)
        env.update(hosts)
        env.update({
            "HOME": self.home, "XDG_CONFIG_HOME": self.config, "VANTO_MACHINE_DIR": self.machine,
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_RUNTIME_DIR": os.path.join(self.work, "runtime"),
            "PATH": os.path.join(self.work, "standins") + ":" + os.environ.get("PATH", "/usr/bin:/bin"),
            "VANTO_AUTOMATION_SOCKET": self.auto.path, "VANTO_BACKEND": "gtk",
            "NO_AT_BRIDGE": "1", "GSETTINGS_BACKEND": "memory",
        })
        self.env = env
        self.baseline = {what: len(self.since_start(what)) for what in ("sms", "client", "store", "update", "toolbox")}
        # The installed version, recorded for every user as the package
        # records it (the user has none of their own), is older than the
        # store's, and today's automatic check counts as done: the menu's
        # check downloads.
        self.reg("set", "HKLM", "Software\\vanto", "Version", "REG_SZ", "1.0.0")
        self.reg("delete", "HKCU", "Software\\vanto", "Version", check=False)
        self.reg("set", "HKCU", "Software\\vanto", "UpdateDay", "REG_DWORD", str(datetime.date.today().day))
        # A home used before keeps no trace the journey looks for: no waiting
        # installer, no demo tool, no saved template.
        self.reg("delete", "HKLM", "Software\\VantoDemoTool", "Path", check=False)
        shutil.rmtree(os.path.join(env["XDG_DATA_HOME"], "vanto-demotool"), ignore_errors=True)
        for stale in (os.path.join(self.data, "VANTOSetup.exe"), self.saved):
            if os.path.exists(stale):
                os.remove(stale)
        self.installer_runs = read(os.path.join(self.home, "vanto-demo-installer.log")).count("\n")

        notifier = self.opts.notifier or os.path.join(self.bin, "..", "tests", "notification-server")
        ready = os.path.join(self.work, "bus-address")
        self.start_helper("session bus", ["dbus-run-session", "--", notifier, self.notified, ready],
                          stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                          stderr=open(os.path.join(self.work, "bus.log"), "wb"), env=env)
        env["DBUS_SESSION_BUS_ADDRESS"] = self.wait("the private session bus", lambda: read(ready).strip())

    def start_client(self):
        self.client_out = open(os.path.join(self.work, "client.out"), "wb")
        self.client = subprocess.Popen([os.path.join(self.bin, "vanto")], cwd=self.run_dir,
                                       env=self.env, stdin=subprocess.DEVNULL, stdout=self.client_out,
                                       stderr=subprocess.STDOUT)

    def finish(self, failed):
        if self.client is not None and self.client.poll() is None:
            self.client.kill()
            self.client.wait()
        self.auto.close()
        for name, child in reversed(self.children):
            if child.stdin:
                child.stdin.close()  # the notifier ends, and the bus with it
            else:
                child.terminate()
            try:
                child.wait(timeout=10)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
        if failed:
            for path in (os.path.join(self.run_dir, "log.txt"), os.path.join(self.work, "client.out")):
                print("---- %s (last lines)\n%s" % (path, "\n".join(
                    read(path).splitlines()[-40:])), file=sys.stderr)
        if failed or self.opts.keep:
            print("work folder: " + self.work)
        else:
            shutil.rmtree(self.work, ignore_errors=True)

    # ---- the journey's steps ------------------------------------------------------------

    def store_file(self, service_host, path):
        url = "http://%s%s" % (self.env[service_host], urllib.parse.quote(path))
        with urllib.request.urlopen(url, timeout=30) as reply:
            return reply.read()

    def store_lists(self):
        """Whether the store lists the document among the user's downloads."""
        users = self.admin("/users")
        users = users.get("users", []) if isinstance(users, dict) else users
        return any(int(DOC_ID) in u.get("downloads", []) for u in users if u.get("phone") == PHONE)

    def record(self):
        """The download record of the document, from downloaded.ini."""
        text = read(os.path.join(self.data, "KD_template", "downloaded.ini"), "rb").decode("utf-8", "replace")
        return next((line.split("=", 1)[1].strip() for line in text.splitlines()
                     if line.startswith(DOC_ID + "=")), "")

    def start(self):
        self.start_client()
        self.wait("the main window", lambda: self.windows(MAIN))
        store_page = "http://%s/ppt.html" % self.env["VANTO_CLIENT_PAGE_HOST"]
        self.wait("the first tab at " + store_page, lambda: (self.auto.ask(
            {"op": "url", "window": MAIN, "view": "web_opt01"}) or {}).get("url") == store_page)
        self.wait("the first card's 下载 button", lambda: self.element("web_opt01", DOWN_BUTTON))
        assert self.arrived("client", "/ppt.html"), "the store never served /ppt.html"
        return "main window, " + store_page

    def login(self):
        self.click_control(MAIN, "btnLogin")
        self.wait("the account pop-up", lambda: self.control(DIALOG, "btnLogin"))
        self.click_control(DIALOG, "btnLogin")
        self.type_into(DIALOG, "userMobile", PHONE)
        before = self.dialog_rects()
        self.click_control(DIALOG, "btnSendVeryfyCode")
        self.answer_box(before)
        codes = [c["code"] for c in self.since_start("sms") if c.get("phone") == PHONE]
        assert codes, "the store sent no code to " + PHONE
        self.type_into(DIALOG, "verifyCode", codes[-1])
        before = self.dialog_rects()
        self.click_control(DIALOG, "btnMobileLogin")
        self.answer_box(before)
        self.wait("the nickname", lambda: PHONE in (self.control(MAIN, "userNickname") or {}).get("text", ""))
        token = self.reg_value("HKCU", "Software\\vanto", "Account")
        assert token, "no saved login"
        assert self.reg_value("HKCU", "Software\\vanto", "NickName") == PHONE, "NickName"
        assert self.arrived("store", "phone=%s&code=%s" % (PHONE, codes[-1])), "no code login at the store"
        self.wait("the web login", lambda: self.arrived("client", "refreshWebLogin?X-token=" + token))
        return "code %s, token saved, web login refreshed" % codes[-1]

    def chooser(self):
        """The file chooser on screen: the client's X window that is none of
        the skinned windows."""
        skinned = [w["rect"] for w in self.windows()]
        return next((w for w, r in self.xwindows().items() if r not in skinned), None)

    def download(self):
        self.click(self.wait("下载", lambda: self.element("web_opt01", DOWN_BUTTON)))
        window = self.wait("the file chooser", self.chooser)
        self.focus(window)
        self.xdo("key", "--clearmodifiers", "ctrl+a")
        self.xdo("type", "--delay", "20", self.saved)
        geometry = dict(line.split("=", 1) for line in run(["xdotool", "getwindowgeometry", "--shell",
                                                            window]).split())
        x, y = int(geometry["X"]), int(geometry["Y"])
        Screen().save(os.path.join(self.artefacts, "journey-%02d-save-dialog.png" % self.step_no),
                      [x, y, x + int(geometry["WIDTH"]), y + int(geometry["HEIGHT"])])
        self.xdo("key", "Return")
        self.wait("打开文件", lambda: self.control(DIALOG, "btn_open_file"))
        assert read(self.saved, "rb") == self.store_file("VANTO_CLIENT_PAGE_HOST", DOC_STORE_PATH), \
            "the saved file is not the store's"
        assert not os.path.exists(self.saved + ".tmp"), "the temporary file is left"
        assert self.record() == self.saved, "the record holds " + repr(self.record())
        assert self.store_lists(), "the store does not list the download"
        return "%d bytes as the store's, recorded" % os.path.getsize(self.saved)

    def open_file(self):
        self.click_control(DIALOG, "btn_open_file")
        self.wait("the opener's record", lambda: read(self.opened) == self.saved + "\n")
        self.wait("the download dialog to close", lambda: not self.windows(DIALOG))
        return "the opener got the file"

    def reopen(self):
        fetched = len([r for r in self.since_start("client") if "/files/1001_" in r["target"]])
        self.click(self.wait("下载", lambda: self.element("web_opt01", DOWN_BUTTON)))
        self.wait("the opener's second record", lambda: read(self.opened) == (self.saved + "\n") * 2)
        assert not self.windows(DIALOG) and not self.chooser(), "a dialog showed"
        again = len([r for r in self.since_start("client") if "/files/1001_" in r["target"]])
        assert again == fetched, "the file was fetched again"
        return "opened from disk, no dialog, no transfer"

    def delete(self):
        self.click_control(MAIN, "Option06")
        remove = self.wait("删除 on the downloads page", lambda: self.element("web_opt06", DELETE_BUTTON))
        before = self.dialog_rects()
        self.click(remove)
        self.wait("the deletion's message", lambda: self.control(DIALOG, "context"))
        text = self.control(DIALOG, "context")["text"]
        self.shoot(os.path.join(self.artefacts, "journey-%02d-delete-message.png" % self.step_no))
        self.answer_box(before)
        assert text == "文档已删除。", "the box says " + text
        assert not os.path.exists(self.saved), "the file is still there"
        assert self.record() == "", "the record is still there"
        assert self.arrived("store", "deleteDownLoad?document_id=" + DOC_ID), "no deletion at the store"
        assert not self.store_lists(), "the store still lists the download"
        self.wait("the page without the document", lambda: not self.element("web_opt06", DELETE_BUTTON) and
                  self.element("web_opt06", "#downloads"))
        return "file, record and store entry gone"

    def update(self):
        self.click_control(MAIN, "btnMenu")
        self.click_control(MENU, "menuUpdate")
        self.wait("HasUpdate", lambda: self.control(DIALOG, "btnYes"))
        self.shoot(os.path.join(self.artefacts, "journey-%02d-update-question.png" % self.step_no))
        installer = os.path.join(self.data, "VANTOSetup.exe")
        assert read(installer, "rb") == self.store_file("VANTO_UPDATE_HOST", "/windows/VANTOSetup.exe"), \
            "the installer is not the store's"
        assert "HasNewInstaller=1" in read(os.path.join(self.data, "config.ini")), "no pending installer mark"
        self.wait("the notification", lambda: any(line.startswith("Notify\t") and "\t正在下载更新\t" in line
                                                  for line in read(self.notified).splitlines()))
        self.answer_box([], button="btnYes")
        log = os.path.join(self.home, "vanto-demo-installer.log")
        self.wait("the installer's run", lambda: read(log).splitlines()[self.installer_runs:] and
                  "ran with 0 argument(s)" in read(log).splitlines()[-1])
        assert os.stat(installer).st_mode & 0o777 == 0o700, "the installer's mode"
        assert self.arrived("update", "/windows/VANTOSetup.exe"), "the store never served the installer"
        assert self.client.poll() is None, "the client ended"
        return "installer downloaded, notified, run; the client goes on"

    def toolbox(self):
        self.click_control(MAIN, "btnToolBox")
        first = self.wait("the toolbox panel", lambda: self.control(TOOLBOX, "button"))["rect"]
        tool = self.wait("the demo tool's button", lambda: self.next_button(first))
        self.shoot(os.path.join(self.artefacts, "journey-%02d-toolbox-panel.png" % self.step_no))
        self.click(tool)
        folder = os.path.join(self.env["XDG_DATA_HOME"], "vanto-demotool")
        self.wait("the tool's registration", lambda: self.reg_value("HKLM", "Software\\VantoDemoTool",
                                                                    "Path") == folder)
        program = os.path.join(folder, "demotool")
        self.wait("the demo tool's program", lambda: os.access(program, os.X_OK))
        # Its button takes clicks again once the client heard the installer
        # end (the channel names only the first row's button): a click every
        # two seconds until the tool ran.
        clicked = [0.0]

        def ran():
            if os.path.exists(os.path.join(folder, "last-run.txt")):
                return True
            if time.monotonic() - clicked[0] > 2:
                if not self.windows(TOOLBOX):
                    self.click_control(MAIN, "btnToolBox")
                self.click(tool)
                clicked[0] = time.monotonic()
            return False
        self.wait("the tool's run", ran)
        assert self.arrived("toolbox", "/download/DemoToolSetup.exe"), "the store never served the tool"
        return "demo tool installed into %s and run" % folder

    def next_button(self, first):
        """The panel's button in the row below `first` (the channel names
        the first control of a name only): where the column just inside the
        first button's left edge shows its colour again, below it."""
        screen, panel = Screen(), self.windows(TOOLBOX)
        if not panel:
            return None
        x = first[0] + 3
        colour = screen.at(x, (first[1] + first[3]) // 2)
        below = [y for y in range(first[3] + 1, min(panel[0]["rect"][3], screen.height))
                 if screen.at(x, y) == colour]
        run_end = next((a for a, b in zip(below, below[1:]) if b != a + 1), below[-1] if below else None)
        return [first[0], below[0], first[2], run_end + 1] if below and run_end - below[0] > 8 else None

    def logout(self):
        self.click_control(MAIN, "userNickname")
        self.click_control(DIALOG, "UserInfoUnLogin")
        self.wait("登录 / 注册", lambda: self.control(MAIN, "btnLogin"))
        assert self.reg_value("HKCU", "Software\\vanto", "Account") == "", "the login is kept"
        self.wait("the web logout", lambda: self.arrived("client", "/api/public_api/logout"))
        return "login forgotten, web logout"

    def terminate(self):
        self.client.send_signal(signal.SIGTERM)
        self.wait("the client's end", lambda: self.client.poll() is not None, client_ends=True)
        assert self.client.returncode == 0, "exit code %s" % self.client.returncode
        assert not os.path.exists(os.path.join(self.data, "Error.tmp")), "a crash file"
        assert not os.path.exists(self.auto.path), "the automation socket is left"
        return "exit code 0, no crash file"

    def walk(self):
        self.prepare()
        for name, action in (("main window", self.start), ("SMS login", self.login),
                             ("download", self.download), ("open", self.open_file),
                             ("reopen from disk", self.reopen), ("delete", self.delete),
                             ("update", self.update), ("toolbox", self.toolbox),
                             ("logout", self.logout), ("SIGTERM", self.terminate)):
            self.step(name, action)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--store-env")
    parser.add_argument("--home")
    parser.add_argument("--artefacts")
    parser.add_argument("--run-dir")
    parser.add_argument("--notifier")
    parser.add_argument("--timeout", type=float, default=30)
    parser.add_argument("--keep", action="store_true")
    opts = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        parser.error("no DISPLAY: run it under tests/gui/with-xvfb.sh or xvfb-run")
    journey = Journey(opts)
    failed = True
    try:
        journey.walk()
        failed = False
    except Exception as problem:  # every failure gets its screenshot and the logs
        if not isinstance(problem, (StepFailed, AssertionError)):
            traceback.print_exc()
        print("step %d failed: %s" % (journey.step_no, problem or repr(problem)), flush=True)
        try:
            journey.shoot(os.path.join(journey.artefacts, "journey-%02d-failed.png" % journey.step_no))
        except (StepFailed, OSError):
            pass
    finally:
        journey.finish(failed)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
