#!/usr/bin/env python3
"""Uses the built client with the keyboard alone, as a user without a mouse.

Every action is an XTest key event (xdotool key and type): no click, no
pointer motion, and the test never hands a window the keyboard focus itself;
the windows the client opens must take the keyboard on their own. The
client's automation channel is only asked where the focus is and what shows.
The journey logs in with the SMS code the demo store sent (read from its
admin interface), opens the main menu, moves through it and closes it, and
walks the tab column with the arrow keys. Screenshots of the focus indicator
go to the artefacts folder as keys-NN-<step>.png.

Interface: as journey.py (--bin, --store-env, --home, --artefacts,
--run-dir, --notifier, --timeout, --keep); exit status 0 when every step
passed, 1 when one failed, 2 on bad usage.
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import journey  # noqa: E402
from journey import DIALOG, MAIN, MENU, PHONE, StepFailed  # noqa: E402

# The controls that take the keyboard in each window, in layout order.
MAIN_STOPS = ["btnToolBox", "btnLogin", "userNickname", "btnKefu", "btnMenu", "btnMin", "btnMax", "restorebtn",
              "btnClose", "Option01", "Option03", "Option02", "Option04", "Option05", "Option06", "btnRefresh"]
ACCOUNT_STOPS = ["UserInfoCopyAccount", "btnLogin", "UserInfoUnLogin"]
LOGIN_STOPS = ["btnClose", "userMobile", "verifyCode", "btnSendVeryfyCode", "btnMobileLogin", "btnWeChat", "btnQQ",
               "btn_service_protocol", "btn_secret_protocol"]
MENU_ENTRIES = ["menuUpdate", "menuFeedback", "menuAbout"]


class KeyboardJourney(journey.Journey):
    # ---- looking ---------------------------------------------------------------------

    def focused(self, window, stops):
        """The name of the control among `stops` that has the keyboard."""
        for name in stops:
            reply = self.auto.ask({"op": "control", "window": window, "name": name})
            if reply and reply.get("ok") and reply.get("focused"):
                return name
        return None

    def hot(self):
        return next((name for name in MENU_ENTRIES
                     if (self.auto.ask({"op": "control", "window": MENU, "name": name}) or {}).get("hot")), None)

    def own_window_has_keyboard(self):
        """Whether the X keyboard focus is on one of the client's windows."""
        focus = subprocess.run(["xdotool", "getwindowfocus"], capture_output=True, timeout=10).stdout.decode().strip()
        return focus in self.xwindows()

    def shoot_around(self, rects, label, margin=48):
        """A screenshot of what `rects` cover and what lies around them."""
        journey.Screen().save(os.path.join(self.artefacts, "keys-%02d-%s.png" % (self.step_no, label)),
                              [min(r[0] for r in rects) - margin, min(r[1] for r in rects) - margin,
                               max(r[2] for r in rects) + margin, max(r[3] for r in rects) + margin])

    def rect_of(self, window, name):
        return self.wait(name, lambda: self.control(window, name))["rect"]

    # ---- keys ------------------------------------------------------------------------

    def key(self, *names):
        self.xdo("key", "--delay", "40", *names)

    def tab_to(self, window, name, stops, backwards=False):
        """Tab (or Shift+Tab) until `name` has the keyboard; each press must
        move the focus."""
        self.wait("the keyboard in a window of the client", self.own_window_has_keyboard)
        for _ in range(len(stops) + 2):
            now = self.focused(window, stops)
            if now == name:
                return
            self.key("shift+Tab" if backwards else "Tab")
            self.wait("the focus to move on from %s towards %s" % (now, name),
                      lambda: self.focused(window, stops) != now)
        raise StepFailed("Tab never reached %s in %s" % (name, window))

    def press_on(self, window, name, stops, key="Return"):
        self.tab_to(window, name, stops)
        self.key(key)

    def type_keys(self, window, name, stops, text):
        self.tab_to(window, name, stops)
        self.xdo("type", "--delay", "30", text)
        self.wait("%s to hold %s" % (name, text), lambda: (self.control(window, name) or {}).get("text") == text)

    def answer_with_return(self, before):
        """Closes the message box that showed since `before` with Return."""
        def box():
            return next((w for w in self.windows(DIALOG) if w["rect"] not in before), None)
        shown = self.wait("a message box", box)
        self.wait("the keyboard in the message box", self.own_window_has_keyboard)
        self.key("Return")
        self.wait("the message box to close", lambda: shown["rect"] not in self.dialog_rects())

    # ---- steps -----------------------------------------------------------------------

    def step(self, name, action):
        self.step_no += 1
        started = time.monotonic()
        note = action()
        self.shoot(os.path.join(self.artefacts, "keys-%02d-%s.png" % (self.step_no, name.split()[0].lower())))
        print("step %d %s: ok (%s; %.1f s)" % (self.step_no, name, note, time.monotonic() - started), flush=True)

    def tabs(self):
        """The tab column from the keyboard: Tab to the first tab, Down to
        the next one, which is chosen as a click would choose it."""
        self.tab_to(MAIN, "Option01", MAIN_STOPS)
        self.key("Down")
        self.wait("Option03 focused", lambda: self.focused(MAIN, MAIN_STOPS) == "Option03")
        word = "http://%s/word.html" % self.env["VANTO_CLIENT_PAGE_HOST"]
        self.wait("the word tab's page", lambda: (self.auto.ask(
            {"op": "url", "window": MAIN, "view": "web_opt03"}) or {}).get("url") == word)
        self.shoot_around([self.rect_of(MAIN, "Option03")], "focused-tab")
        self.key("Up")
        self.wait("Option01 focused again", lambda: self.focused(MAIN, MAIN_STOPS) == "Option01")
        return "Down chose the word tab, Up went back"

    def login(self):
        self.press_on(MAIN, "btnLogin", MAIN_STOPS)
        self.wait("the account pop-up", lambda: self.control(DIALOG, "btnLogin"))
        self.press_on(DIALOG, "btnLogin", ACCOUNT_STOPS)
        self.wait("the login dialog", lambda: self.control(DIALOG, "userMobile"))
        self.type_keys(DIALOG, "userMobile", LOGIN_STOPS, PHONE)
        self.tab_to(DIALOG, "btnSendVeryfyCode", LOGIN_STOPS)
        self.shoot_around([self.rect_of(DIALOG, "btnSendVeryfyCode")], "focused-button")
        before = self.dialog_rects()
        self.key("Return")
        self.answer_with_return(before)
        codes = [c["code"] for c in self.since_start("sms") if c.get("phone") == PHONE]
        assert codes, "the store sent no code to " + PHONE
        self.type_keys(DIALOG, "verifyCode", LOGIN_STOPS, codes[-1])
        before = self.dialog_rects()
        self.press_on(DIALOG, "btnMobileLogin", LOGIN_STOPS)
        self.answer_with_return(before)
        self.wait("the nickname", lambda: PHONE in (self.control(MAIN, "userNickname") or {}).get("text", ""))
        assert self.reg_value("HKCU", "Software\\vanto", "Account"), "no saved login"
        assert self.arrived("store", "phone=%s&code=%s" % (PHONE, codes[-1])), "no code login at the store"
        return "code %s from the keyboard" % codes[-1]

    def menu(self):
        self.press_on(MAIN, "btnMenu", MAIN_STOPS)
        self.wait("the menu", lambda: self.windows(MENU))
        self.wait("the keyboard in the menu", self.own_window_has_keyboard)
        self.wait("the first entry lit", lambda: self.hot() == "menuUpdate")
        self.key("Down")
        self.wait("the second entry lit", lambda: self.hot() == "menuFeedback")
        self.shoot_around([self.rect_of(MAIN, "btnMenu"), self.windows(MENU)[0]["rect"]], "menu-entry")
        self.key("Escape")
        self.wait("the menu to close", lambda: not self.windows(MENU))
        self.wait("the keyboard back on 菜单", lambda: self.focused(MAIN, MAIN_STOPS) == "btnMenu")
        # Shift+Tab goes back from where the focus was left.
        self.key("shift+Tab")
        self.wait("btnKefu focused", lambda: self.focused(MAIN, MAIN_STOPS) == "btnKefu")
        return "opened, entry moved, closed; the focus came back"

    def walk(self):
        self.prepare()
        for name, action in (("main window", self.start), ("tabs", self.tabs), ("SMS login", self.login),
                             ("menu", self.menu), ("SIGTERM", self.terminate)):
            self.step(name, action)


if __name__ == "__main__":
    journey.Journey = KeyboardJourney
    sys.exit(journey.main())
