# Sourced by the test wrappers and checks that give a test its world.
# skip REASON...: the test cannot run here for want of something it needs.
# Run by hand that ends it as skipped (77) with the reason. Under
# ./dev.sh test (NUVOKRC_NO_SKIPS=1), which installs everything the suite
# needs, the want is a fault: it fails (1) and says why.
skip() {
    if [ "${NUVOKRC_NO_SKIPS:-}" = 1 ]; then
        echo "FAILED, not run: $* (./dev.sh test installs what the suite needs, so a skip is a failure there)" >&2
        exit 1
    fi
    echo "SKIP: $*" >&2
    exit 77
}
