#!/usr/bin/env bash
# Takes the README's picture of the phone remote: starts NUVOKrc with its web remote on
# loopback against a private sound server, pairs headless Chromium from the link of
# `nuvokrc --pair` (opened at 127.0.0.1), turns to the video mode and steps the volume once
# with handset keys over loopback, and saves the connected page on a 360x640 phone screen.
#   scripts/phone-screenshot.sh [BUILD_DIR] [PHONE.png]
# (defaults: build/default, docs/nuvokrc-phone.png; ./dev.sh screenshot)
# The controller is a stand-in on loopback, and no key that switches the LEDs or opens the
# door is sent.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")
output=$(realpath -m "${2:-docs/nuvokrc-phone.png}")

for tool in chromium chromedriver pulseaudio pactl; do
    command -v "$tool" >/dev/null ||
        { echo "phone-screenshot: $tool is missing; ./dev.sh screenshot installs it" >&2; exit 1; }
done
[ -x "$build/bin/nuvokrc" ] || { echo "phone-screenshot: $build/bin/nuvokrc is not built" >&2; exit 1; }

if [ "${NUVOKRC_SCREENSHOT_INNER:-}" != 1 ]; then
    NUVOKRC_SCREENSHOT_INNER=1 exec tests/mixer/with-pulseaudio.sh --alsa "$0" "$build" "$output"
fi

mkdir -p "$(dirname "$output")"
/usr/bin/python3 - "$build/bin/nuvokrc" "$output" <<'END'
import base64, re, subprocess, sys
sys.path.insert(0, "tests/e2e/browser")
from phoneharness import Phone, Program, browser_missing, wait_until

binary, output = sys.argv[1:]
missing = browser_missing()
if missing:
    sys.exit("phone-screenshot: " + missing + "; ./dev.sh screenshot installs it")
program, phone = Program(binary), None
try:
    program.start()
    phone = Phone(360, 640)
    phone.open(program.pairing_link())
    phone.wait_connected()
    subprocess.run(["pactl", "set-sink-volume", "@DEFAULT_SINK@", "40%"], check=True)
    # The step after the player was looked for (there is no display), so that its level is what the page shows last.
    program.handset("menu", "right")
    program.wait_line(re.compile(r'Cannot bring the window "VLC" to the front: .*'))
    program.handset("up")
    program.wait_line("Vol+")
    said = subprocess.run(["pactl", "get-sink-volume", "@DEFAULT_SINK@"], check=True,
                          capture_output=True, text=True).stdout
    shown = ("Video mode", re.search(r"(\d+)%", said).group(1) + " %")
    wait_until(lambda: phone.shown() == shown,
               lambda: "%s on the page, not %s" % (shown, phone.shown()))
    picture = phone.cdp("Page.captureScreenshot", format="png")["data"]
    with open(output, "wb") as out:
        out.write(base64.b64decode(picture))
    print("phone-screenshot: %s (%s, %s)" % ((output,) + phone.shown()))
finally:
    if phone:
        phone.close()
    program.close()
END
