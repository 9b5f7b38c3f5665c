#!/usr/bin/python3
"""Figures, not a test: how long a phone's key takes from the touch in the browser to its line
in the program's log, on loopback. Headless Chromium with the paired page, 200 touches of the
digit 8 (which does nothing in the first mode) through DevTools, a touch at a time, kept below
the program's 50 keys a second per phone. Three figures per touch: from the DevTools call that
touches (the driver's own round trip included), from the page's pointerdown event (its time
stamp, so the browser's routing of the touch to the page is included) and from the page's
WebSocket send, which leaves the program and the browser's network hop.
    tests/mixer/with-pulseaudio.sh --alsa bench/phone_latency.py NUVOKRC_BINARY [TOUCHES]"""

import math
import os
import random
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e",
                                "browser"))
from phoneharness import Phone, Program, browser_missing, key_line, skip  # noqa: E402

WARM_UP = 10
GOAL_P50_MS = 5.0


def percentile(samples, fraction):
    """Nearest rank, as the C++ benches' figures."""
    ordered = sorted(samples)
    return ordered[min(max(math.ceil(fraction * len(ordered)), 1), len(ordered)) - 1]


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    missing = browser_missing()
    if missing:
        skip(missing)
    touches = int(sys.argv[2]) if len(sys.argv) == 3 else 200
    program, phone = Program(sys.argv[1]), None
    from_call, from_event, from_send = [], [], []
    try:
        program.start()
        phone = Phone()
        phone.open(program.pairing_link())
        phone.wait_connected()
        # The page's clock as wall time, beside the log lines' monotonic times.
        phone.js("window.down = 0; window.sent = 0; const send = WebSocket.prototype.send;"
                 "document.addEventListener('pointerdown', "
                 "(e) => { down = performance.timeOrigin + e.timeStamp; }, true);"
                 "WebSocket.prototype.send = function (data) {"
                 "  sent = performance.timeOrigin + performance.now();"
                 "  return send.call(this, data); }")
        wall_minus_monotonic = time.time() - time.monotonic()
        line = key_line(8)
        for touch in range(WARM_UP + touches):
            start = len(program.lines)
            called = time.monotonic()
            phone.touch(8)
            at = program.wait_line(line, start)
            phone.lift()
            if touch >= WARM_UP:
                logged = program.times[at]
                from_call.append((logged - called) * 1000)
                down, sent = (at / 1000 - wall_minus_monotonic
                              for at in phone.js("return [down, sent]"))
                from_event.append((logged - down) * 1000)
                from_send.append((logged - sent) * 1000)
            # Apart by a random 25 to 45 ms: below the pace limit, and in no step with the
            # browser's frames.
            time.sleep(random.uniform(0.025, 0.045))
        dropped = [text for text in program.lines if "keys a second" in text]
        assert not dropped, dropped
    finally:
        if phone:
            phone.close()
        program.close()
    print("\nThe phone remote's keys, touch to log line, %d touches on loopback (ms)\n" % touches)
    print("| from                      | p50    | p95    | max    | goal               |")
    print("|---------------------------|--------|--------|--------|--------------------|")
    for name, samples in (("the DevTools touch call", from_call),
                          ("the page's pointerdown", from_event),
                          ("the page's WebSocket send", from_send)):
        p50 = percentile(samples, 0.50)
        verdict = "met" if p50 <= GOAL_P50_MS else "MISSED"
        print("| %-25s | %6.2f | %6.2f | %6.2f | p50 <= %.0f ms %-6s |"
              % (name, p50, percentile(samples, 0.95), max(samples), GOAL_P50_MS, verdict))


if __name__ == "__main__":
    main()
