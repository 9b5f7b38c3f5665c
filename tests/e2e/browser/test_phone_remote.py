#!/usr/bin/python3
"""The phone remote in a real browser against the real program, on loopback: pairing from the
link of `nuvokrc --pair`, a reload, keys and the door's tick, a held Up, the handset's keys on
the page, and 30 s asleep and offline. Run under tests/mixer/with-pulseaudio.sh --alsa, so that
the volume keys find a sound server. With --desktop, on a private X desktop
(scripts/private-desktop.sh): the phone forgotten in the settings window, typed into with
xdotool.
    test_phone_remote.py [--desktop] NUVOKRC_BINARY"""

import hashlib
import os
import re
import statistics
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from phoneharness import (DEADLINE, Phone, Program, browser_missing, key_line,  # noqa: E402
                          skip, wait_until)

PAIRED = re.compile(r"Phone (.+) is paired \(device (\d+)\)")


def sink_percent():
    said = subprocess.run(["pactl", "get-sink-volume", "@DEFAULT_SINK@"], capture_output=True,
                          text=True, check=True, timeout=DEADLINE).stdout
    return int(re.search(r"(\d+)%", said).group(1))


def xdotool(*arguments):
    return subprocess.run(["xdotool"] + list(arguments), capture_output=True, text=True,
                          timeout=DEADLINE).stdout.split()


class Rows:
    def __init__(self, binary, platform):
        self.program = Program(binary, platform=platform)
        self.phone = None
        self.name = None

    def mark(self):
        return len(self.program.lines)

    def pairs_from_the_link(self):
        program, phone = self.program, self.phone
        phone.open(program.pairing_link())
        phone.wait_connected()
        self.name = PAIRED.fullmatch(program.lines[program.wait_line(PAIRED)]).group(1)
        token = phone.js("return localStorage.getItem('nuvokrc-token')")
        assert token and re.fullmatch(r"[0-9a-f]{32,}", token), "stored token: %r" % token
        assert "#" not in phone.driver.current_url, phone.driver.current_url
        # The settings keep the token's hash, never the token.
        digest = hashlib.sha256(token.encode()).hexdigest()
        wait_until(lambda: digest in program.settings_text(), "the token's hash in the settings")
        assert token not in program.settings_text()
        self.token = token

    def a_reload_stays_paired(self):
        start = self.mark()
        self.phone.reload()
        self.phone.wait_connected()
        assert self.phone.js("return localStorage.getItem('nuvokrc-token')") == self.token
        self.phone.press(5)
        self.program.wait_line(key_line(5), start)
        assert not PAIRED.search(self.program.log(start)), self.program.log(start)

    def keys_act_once_and_the_door_stays_shut_without_the_tick(self):
        program, start = self.program, self.mark()
        self.phone.press(5, 9, 9)
        program.wait_line("The door stays shut: phone %s may not switch the LEDs or open the "
                          "door: its tick on the Phone page of the settings is off" % self.name,
                          start)
        assert program.count(key_line(5), start) == 1 and program.count(key_line(9), start) == 2
        # The handset's "9 9" opens: the controller's first commands are the handset's, so the
        # phone's sent nothing before them.
        program.handset(9, 9)
        wait_until(lambda: len(program.controller.commands()) >= 2, "the handset's door pulse")
        assert program.controller.commands() == [b"setport 1.1\r\n", b"setport 1.0\r\n"], \
            program.controller.commands()

    def holding_up_repeats_until_released(self):
        program, start, up = self.program, self.mark(), key_line("up")
        self.phone.touch("up")
        wait_until(lambda: program.count(up, start) >= 6, lambda: "repeats:\n" + program.log(start))
        self.phone.lift()
        released = self.mark()
        # Absence takes time to see: a second is eight steps of the page's repeat.
        time.sleep(1.0)
        after = program.count(up, released)
        assert after <= 1, "%d Up after the finger lifted:\n%s" % (after, program.log(released))
        times = [program.times[at] for at in range(start, released) if program.lines[at] == up]
        gaps = [b - a for a, b in zip(times, times[1:])]
        assert gaps[0] >= 0.25, "the first repeat came %.3f s after the press" % gaps[0]
        assert 0.08 <= statistics.median(gaps[1:]) <= 0.4, "repeat gaps: %s" % gaps

    def the_handsets_keys_show_on_the_page(self):
        program, phone = self.program, self.phone
        subprocess.run(["pactl", "set-sink-volume", "@DEFAULT_SINK@", "40%"], check=True,
                       timeout=DEADLINE)
        for keys, mode in ((("menu", "right"), "Video mode"), (("menu", "up"), "Audio mode")):
            start = self.mark()
            program.handset(*keys)
            program.wait_line(key_line(keys[-1]), start)
            wait_until(lambda: phone.shown()[0] == mode,
                       lambda: "%s, not %s" % (mode, phone.shown()))
            for step in ("up", "down", "up"):
                start = self.mark()
                program.handset(step)
                program.wait_line("Vol+" if step == "up" else "Vol-", start)
                level = "%d %%" % sink_percent()
                wait_until(lambda: phone.shown() == (mode, level),
                           lambda: "(%r, %r), not %s" % (mode, level, phone.shown()))
        # A key that only moves a player (here to no avail: there is no display) leaves the
        # level shown as it was; a state sent at its end reaches the page well within a second.
        start = self.mark()
        program.handset(5)
        program.wait_line(re.compile(r'Cannot bring the window "Winamp" to the front: .*'), start)
        end = time.monotonic() + 1.0
        while time.monotonic() < end:
            assert phone.shown() == (mode, level), "after a player's key: %s" % (phone.shown(),)
            time.sleep(0.05)

    def back_from_30_s_asleep_and_offline(self):
        program, phone = self.program, self.phone
        start = self.mark()
        phone.press(5)
        program.wait_line(key_line(5), start)
        phone.offline(True)
        phone.cdp("Page.setWebLifecycleState", state="frozen")  # hidden, then frozen
        program.handset("menu", "right", "up")  # meanwhile, on the PC
        program.wait_line("Vol+", start)
        time.sleep(30)
        level = "%d %%" % sink_percent()
        phone.cdp("Page.setWebLifecycleState", state="active")
        phone.cdp("Emulation.setFocusEmulationEnabled", enabled=True)  # visible again
        wait_until(lambda: phone.js("return document.visibilityState") == "visible", "visible")
        # Still offline: a key is refused, not kept to be sent later.
        phone.press(5)
        wait_until(lambda: phone.status() == "retrying", lambda: "retrying, not " + phone.status())
        phone.offline(False)
        online = time.monotonic()
        phone.wait_connected(timeout=5)
        took = time.monotonic() - online
        wait_until(lambda: phone.shown() == ("Video mode", level),
                   lambda: "the state after the sleep: %s" % (phone.shown(),), timeout=5)
        phone.press(8)
        program.wait_line(key_line(8), start)
        assert program.count(key_line(5), start) == 1, "5 acted again:\n" + program.log(start)
        print("  connected again %.2f s after the network came back" % took)

    def the_door_opens_for_a_phone_with_the_tick(self):
        program, phone = self.program, self.phone
        program.restart_with("1.MayControl=false", "1.MayControl=true")
        start = self.mark()
        phone.wait_connected()  # by itself, once the program is back
        phone.press(9, 9)
        program.wait_line("Open Door", start)
        wait_until(lambda: len(program.controller.commands()) >= 4, "the phone's door pulse")
        assert program.controller.commands()[2:] == [b"setport 1.1\r\n", b"setport 1.0\r\n"], \
            program.controller.commands()
        assert not PAIRED.search(program.log(start)), program.log(start)

    def forgotten_in_the_settings_window(self):
        program, phone = self.program, self.phone
        subprocess.run([program.binary, "--settings"], env=program.env, timeout=DEADLINE,
                       capture_output=True)
        window = wait_until(lambda: xdotool("search", "--onlyvisible", "--name",
                                            "^NUVOKrc Settings$"), "the settings window")[0]
        xdotool("windowactivate", "--sync", window)
        wait_until(lambda: xdotool("getactivewindow") == [window], "the settings window active")
        # The Phone page, its phones' table (its one row selected) and Forget.
        xdotool("key", "--clearmodifiers", *["ctrl+Tab"] * 4, *["Tab"] * 3, "alt+f")
        wait_until(lambda: phone.status() == "forgotten",
                   lambda: "forgotten, not " + phone.status())
        assert phone.js("return localStorage.getItem('nuvokrc-token')") is None
        wait_until(lambda: "TokenHash" not in program.settings_text(), "the phone gone from the "
                   "settings")
        # The old token, kept elsewhere, is refused.
        start = self.mark()
        phone.js("localStorage.setItem('nuvokrc-token', arguments[0])", self.token)
        phone.reload()
        wait_until(lambda: phone.status() == "unpaired", lambda: "unpaired, not " + phone.status())
        program.wait_line("Web remote: a token that no paired phone has from 127.0.0.1 was "
                          "refused", start)


def main():
    arguments = sys.argv[1:]
    desktop = arguments[:1] == ["--desktop"]
    if len(arguments) != 1 + desktop:
        sys.exit(__doc__)
    missing = browser_missing()
    if missing:
        skip(missing)
    rows = Rows(arguments[-1], "xcb" if desktop else "offscreen")
    failed = []
    try:
        rows.program.start()
        rows.phone = Phone()
        for row in (("pairs_from_the_link", "forgotten_in_the_settings_window") if desktop else
                    ("pairs_from_the_link", "a_reload_stays_paired",
                     "keys_act_once_and_the_door_stays_shut_without_the_tick",
                     "holding_up_repeats_until_released", "the_handsets_keys_show_on_the_page",
                     "back_from_30_s_asleep_and_offline",
                     "the_door_opens_for_a_phone_with_the_tick")):
            began = time.monotonic()
            try:
                getattr(rows, row)()
                print("PASS %s (%.1f s)" % (row, time.monotonic() - began))
            except Exception:
                failed.append(row)
                print("FAIL %s\n%s" % (row, traceback.format_exc()))
    finally:
        if rows.phone:
            rows.phone.close()
        rows.program.close()
    if failed:
        print("program log:\n" + rows.program.log())
        sys.exit("failed: " + ", ".join(failed))


if __name__ == "__main__":
    main()
