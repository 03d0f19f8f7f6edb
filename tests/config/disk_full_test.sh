#!/bin/sh
# Extraction of included files onto a disk that fills up: the launcher's writes fail
# part-way through an included file. The run must end with the internal error of a
# failed extraction (message 1009, code 16) and exit code 1, log the failed write, and
# leave nothing of its temporary directory behind; the same launcher without the limit
# extracts everything and goes on to the runtime search.
#
# The full disk is a file-size limit (ulimit -f) on the launcher's process, with the
# signal it would raise ignored, so that a write past the limit fails as on a full disk.
# Wine takes TMP from its registry, not from this environment, so the launcher is
# started through cmd with TMP set there.
#
# usage: disk_full_test.sh <packager.exe> <launcher.exe> <wine-run.sh> <work-dir>
set -eu

packager=${1:?usage: disk_full_test.sh <packager.exe> <launcher.exe> <wine-run.sh> <work-dir>}
image=${2:?launcher image missing}
wine_run=${3:?wine-run.sh missing}
work=${4:?work directory missing}

. "$(dirname "$0")/../support/script_support.sh"

rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
work=$(cd "$work" && pwd -P)

# A launcher carrying a 200 KB archive in a sub-directory.
head -c 200000 /dev/urandom >"$work/big.jar"
cat >"$work/app.toml" <<'TOML'
[service]
name = "DiskFull"

[application]
main_class = "demo.Main"
class_path = [ { archive = "app.jar" } ]

[[files]]
source = "big.jar"
name = "lib\\big.jar"
TOML
"$wine_run" "$packager" build "$(windows_path "$work/app.toml")" "$(windows_path "$image")" \
    "$(windows_path "$work/app.exe")" </dev/null >/dev/null 2>&1 || { echo "FAIL: packaging failed" >&2; exit 1; }

# Runs app.exe /run with its own temporary directory $1 and a file-size limit of $2
# KB ("unlimited" for none); exit code into $code, standard error into $1.err.
run_launcher() {
    rm -rf "$1" && mkdir -p "$1"
    code=0
    (
        ulimit -f "$2"
        trap '' XFSZ
        cd "$work"
        QUILL_LOG=yes exec "$wine_run" cmd /c "set TMP=$(windows_path "$1")&& app.exe /run"
    ) </dev/null >/dev/null 2>"$1.err" || code=$?
}

# Everything in the temporary directory but the diagnostic log.
leftovers() {
    ls -A "$1" | grep -v '^dpk_nlog_' || true
}

# --- without a limit: extracted, then no runtime ---------------------------------------
run_launcher "$work/roomy" unlimited
[ "$code" = 1 ] || fail "without a limit: exit code $code, expected 1"
grep -q 'No JVM could be found' "$work/roomy.err" || fail "without a limit: no runtime message: $(cat "$work/roomy.err")"
grep -q 'extracting files done' "$work/roomy"/dpk_nlog_* || fail "without a limit: extraction did not finish"
[ -z "$(leftovers "$work/roomy")" ] || fail "without a limit: left behind: $(leftovers "$work/roomy")"

# --- 64 KB: the disk fills up in the middle of the archive -----------------------------
run_launcher "$work/full" 64
[ "$code" = 1 ] || fail "full disk: exit code $code, expected 1"
grep -q 'An internal error occurred (error code: 16)' "$work/full.err" ||
    fail "full disk: no extraction error: $(cat "$work/full.err")"
grep -q '^ERROR: WriteFile failed' "$work/full"/dpk_nlog_* || fail "full disk: the failed write is not logged"
grep -q '^ERROR: Failed to extract .*\\lib\\big.jar' "$work/full"/dpk_nlog_* ||
    fail "full disk: the failed file is not named in the log"
grep -q 'extracting files done' "$work/full"/dpk_nlog_* && fail "full disk: extraction claims to be done"
[ -z "$(leftovers "$work/full")" ] || fail "full disk: left behind: $(leftovers "$work/full")"
[ "$(ls -A "$work" | sort | tr '\n' ' ')" = "app.exe app.toml big.jar full full.err roomy roomy.err " ] ||
    fail "files written beside the launcher: $(ls -A "$work" | tr '\n' ' ')"

finish "full disk during extraction: clean end with error 16, nothing left behind"
