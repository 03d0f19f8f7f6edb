# Shared by the shell tests that run Windows programs under Wine (sourced, not run).

failures=0

# Notes a failed check; the test goes on and ends with finish.
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# A Linux path in Wine's form: Wine maps the Linux root to drive Z:.
windows_path() {
    printf 'Z:%s' "$(cd "$(dirname "$1")" && pwd -P)/$(basename "$1")" | tr / '\\'
}

# Ends the test: exit code 1 when a check failed, else prints the summary given.
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "$*"
}
