#!/usr/bin/python3
"""Reads the running client through a screen reader's eyes.

The built client runs as a real process against its own demo store, on an X
display, with a private accessibility bus (at-spi-bus-launcher on the
journey's private session bus) and the toolkit's bridge on (NO_AT_BRIDGE
unset). An independent AT-SPI client (pyatspi) then checks what a screen
reader finds: the main window's frame with its title, the six tabs with
their texts and one of them selected, a name on every button that shows,
the web views beside the controls; it clicks "btnLogin" and the pop-up's
"立即登录" through their default actions and finds the login dialog with
its two edits and their hints; it types a number too long for the mobile
edit through the editable-text interface and reads back what the edit's
limit kept. The tree it read is saved as a11y-tree.txt in the artefacts.

  a11y.py --bin DIR [--notifier PROGRAM] [--artefacts DIR] [--timeout S]

Exit status 0 when every check passed, 1 when one failed, 77 when this
Python has no pyatspi. The sandbox, the store, the session bus and the
client come from the journey's driver (tests/journey/journey.py).
"""

import argparse
import os
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "journey"))
import journey  # noqa: E402

try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi
    import pyatspi
except (ImportError, ValueError):
    print("pyatspi is missing (python3-pyatspi)")
    sys.exit(77)

TABS = ["PPT模板", "Word模板", "Excel模板", "推荐专题", "我的收藏", "我的下载"]
MOBILE_HINT = "输入手机号码"
CODE_HINT = "填写验证码"
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
MAX_NODES = 4000  # a runaway tree fails the walk instead of hanging it


def control_id(node):
    try:
        return node.get_attributes().get("id", "")
    except Exception:  # an object that went away meanwhile
        return ""


def states(node):
    return node.getState()


class ScreenReaderCheck(journey.Journey):
    def prepare(self):
        super().prepare()
        # The toolkit's bridge on, on a bus of this run only.
        self.env.pop("NO_AT_BRIDGE", None)
        bus_log = open(os.path.join(self.work, "a11y-bus.log"), "wb")
        self.start_helper("accessibility bus", [LAUNCHER, "--launch-immediately"], env=self.env,
                          stdout=bus_log, stderr=subprocess.STDOUT)
        address = self.wait("the accessibility bus", self.a11y_address)
        for env in (self.env, os.environ):
            env["AT_SPI_BUS_ADDRESS"] = address
            env["DBUS_SESSION_BUS_ADDRESS"] = self.env["DBUS_SESSION_BUS_ADDRESS"]

    def a11y_address(self):
        reply = subprocess.run(
            ["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.a11y.Bus.GetAddress"], env=self.env, capture_output=True, text=True, timeout=10)
        return reply.stdout.strip() if reply.returncode == 0 else None

    # ---- reading the tree ---------------------------------------------------------

    def app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == self.client.pid:
                # Every look asks the client what it says now.
                app.clear_cache()
                return app
        return None

    def walk(self, root):
        """Every object under `root` in the client's own process, in tree
        order, with its depth (the web views' trees are other processes')."""
        found, stack = [], [(root, 0)]
        while stack:
            node, depth = stack.pop()
            found.append((node, depth))
            if len(found) > MAX_NODES:
                raise journey.StepFailed("more than %d accessible objects" % MAX_NODES)
            children = [node.getChildAtIndex(i) for i in range(node.childCount)]
            for child in reversed([c for c in children if c is not None]):
                if child.get_process_id() == self.client.pid:
                    stack.append((child, depth + 1))
                else:
                    found.append((child, depth + 1))
        return found

    def a11y_windows(self, role=None):
        app = self.app()
        if app is None:
            return []
        shown = [app.getChildAtIndex(i) for i in range(app.childCount)]
        return [w for w in shown if w is not None and states(w).contains(pyatspi.STATE_SHOWING) and
                (role is None or w.getRole() == role)]

    def find(self, root, ident, showing=True):
        for node, _ in self.walk(root):
            if control_id(node) == ident and (not showing or states(node).contains(pyatspi.STATE_SHOWING)):
                return node
        return None

    def find_in_windows(self, ident, role=None):
        for window in self.a11y_windows(role):
            node = self.find(window, ident)
            if node is not None:
                return window, node
        return None

    def dump(self, root, out):
        for node, depth in self.walk(root):
            try:
                shown = [s.value_nick for s in states(node).get_states()
                         if s in (pyatspi.STATE_SHOWING, pyatspi.STATE_FOCUSED, pyatspi.STATE_SELECTED,
                                  pyatspi.STATE_CHECKED, pyatspi.STATE_EDITABLE, pyatspi.STATE_SENSITIVE)]
                line = "%s%s %r" % ("  " * depth, node.getRoleName(), node.name)
                if control_id(node):
                    line += " id=" + control_id(node)
                if node.description:
                    line += " description=%r" % node.description
                out.write(line + " [" + ",".join(shown) + "]\n")
            except Exception as problem:  # another process's object may not answer
                out.write("%s(%s)\n" % ("  " * depth, problem))

    def click(self, node):
        action = node.queryAction()
        assert action.nActions >= 1 and action.getName(0) == "click", "no click action"
        assert action.doAction(0), "the click action was refused"

    # ---- the checks --------------------------------------------------------------------

    def main_window(self):
        self.start_client()
        title = self.wait("the main window", lambda: (self.windows(journey.MAIN) or [None])[0])["title"]
        frame = self.wait("the frame %r in the accessible tree" % title, lambda: next(
            (w for w in self.a11y_windows(pyatspi.ROLE_FRAME) if w.name == title), None))
        self.frame = frame
        tabs = self.wait("six page tabs", lambda: [n for n, _ in self.walk(frame)
                                                   if n.getRole() == pyatspi.ROLE_PAGE_TAB] or None)
        assert [t.name for t in tabs] == TABS, "tabs %s" % [t.name for t in tabs]
        selected = [t.name for t in tabs if states(t).contains(pyatspi.STATE_SELECTED)]
        assert selected == ["PPT模板"], "selected tabs %s" % selected
        nodes = self.walk(frame)
        buttons = [n for n, _ in nodes if n.getRole() == pyatspi.ROLE_PUSH_BUTTON and
                   states(n).contains(pyatspi.STATE_SHOWING)]
        nameless = [control_id(b) for b in buttons if not b.name.strip()]
        assert len(buttons) >= 5 and not nameless, "buttons without a name: %s" % nameless
        # The web views sit beside the controls' canvas; each brings its
        # engine's tree from the engine's web process.
        foreign = self.wait("a web view's tree beside the controls", lambda: [
            n for n, _ in self.walk(frame) if n.get_process_id() != self.client.pid])
        with open(os.path.join(self.artefacts, "a11y-tree.txt"), "w") as out:
            out.write("# the main window\n")
            self.dump(frame, out)
        return "frame %r, %d tabs, %d named buttons, %d web objects" % (title, len(tabs), len(buttons),
                                                                         len(foreign))

    def login_dialog(self):
        self.click(self.wait("btnLogin", lambda: self.find(self.frame, "btnLogin")))
        popup, now = self.wait("the pop-up's 立即登录", lambda: next(
            ((w, n) for w in self.a11y_windows() if w != self.frame for n in [self.find(w, "btnLogin")]
             if n is not None and n.name == "立即登录"), None))
        assert popup.getRole() in (pyatspi.ROLE_WINDOW, pyatspi.ROLE_DIALOG), popup.getRoleName()
        assert popup.name == "用户信息", "pop-up named %r" % popup.name
        # Logged out, the pop-up has shrunk over its logout row: out of sight.
        assert self.find(popup, "UserInfoUnLogin", showing=False) is not None, "no logout row in the tree"
        assert self.find(popup, "UserInfoUnLogin") is None, "the logout row shows while logged out"
        with open(os.path.join(self.artefacts, "a11y-tree.txt"), "a") as out:
            out.write("# the user-information pop-up\n")
            self.dump(popup, out)
        self.click(now)
        dialog, mobile = self.wait("the login dialog", lambda: self.find_in_windows("userMobile",
                                                                                     pyatspi.ROLE_DIALOG))
        assert dialog.name == "登录", "login dialog named %r" % dialog.name
        code = self.find(dialog, "verifyCode")
        for edit, hint in ((mobile, MOBILE_HINT), (code, CODE_HINT)):
            assert edit is not None and edit.getRole() == pyatspi.ROLE_ENTRY, "no entry for " + hint
            assert edit.description == hint, "hint %r, %r expected" % (edit.description, hint)
        self.dialog, self.mobile = dialog, mobile
        with open(os.path.join(self.artefacts, "a11y-tree.txt"), "a") as out:
            out.write("# the login dialog\n")
            self.dump(dialog, out)
        return "dialog %r with both hints" % dialog.name

    def type_mobile(self):
        typed = "13800138000123"
        self.mobile.queryEditableText().insertText(0, typed, len(typed.encode()))
        text = self.mobile.queryText()
        kept = self.wait("the mobile number", lambda: text.getText(0, -1) or None)
        assert kept == journey.PHONE, "read back %r" % kept
        assert (self.control(journey.DIALOG, "userMobile") or {}).get("text") == journey.PHONE, \
            "the edit itself holds something else"
        assert text.caretOffset == len(journey.PHONE), "caret at %d" % text.caretOffset
        return "typed %s, read back %s" % (typed, kept)

    def walk_all(self):
        self.prepare()
        for name, action in (("main window", self.main_window), ("login dialog", self.login_dialog),
                             ("type", self.type_mobile)):
            self.step(name, action)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--artefacts")
    parser.add_argument("--notifier")
    parser.add_argument("--timeout", type=float, default=30)
    opts = parser.parse_args()
    for name in ("store_env", "home", "run_dir"):
        setattr(opts, name, None)
    opts.keep = False
    if not os.environ.get("DISPLAY"):
        parser.error("no DISPLAY: run it under tests/gui/with-xvfb.sh")
    check = ScreenReaderCheck(opts)
    failed = True
    try:
        check.walk_all()
        failed = False
    except Exception as problem:
        if not isinstance(problem, (journey.StepFailed, AssertionError)):
            traceback.print_exc()
        print("step %d failed: %s" % (check.step_no, problem or repr(problem)), flush=True)
    finally:
        check.finish(failed)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
