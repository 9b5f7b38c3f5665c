# Sourced by the script tests: a scratch folder removed at the end, fail()
# that counts, and finish() that ends with the verdict.
#   source harness.sh; ...; finish "what holds when nothing failed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures failed" >&2
        exit 1
    fi
    echo "$1"
}
