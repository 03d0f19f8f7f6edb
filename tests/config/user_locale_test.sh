#!/bin/sh
# The launcher takes its locale from the user's Windows locale. Wine derives that from the
# Linux locale variables of the process that starts it, so each run here sets LC_ALL and
# reads the locale the launcher logged ("language/country is ...").
#
# usage: user_locale_test.sh <package_example.exe> <launcher.exe> <wine-run.sh> <wine-prefix> <work-dir>
set -eu

packager=${1:?usage: user_locale_test.sh <package_example.exe> <launcher.exe> <wine-run.sh> <wine-prefix> <work-dir>}
image=${2:?launcher image missing}
wine_run=${3:?wine-run.sh missing}
prefix=${4:?wine prefix missing}
work=${5:?work directory missing}

windows_path() {
    printf 'Z:%s' "$(cd "$(dirname "$1")" && pwd -P)/$(basename "$1")" | tr / '\\'
}

rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
launcher="$work/demo-service.exe"
"$wine_run" "$packager" "$(windows_path "$image")" "$(windows_path "$launcher")" --log-demo </dev/null >/dev/null

# The launcher writes its log into the Wine user's temporary directory (TMP comes from
# Wine's registry, not from the Linux environment).
temp_dir=$(find "$prefix/drive_c/users" -maxdepth 2 -type d -name Temp | head -n 1)
[ -n "$temp_dir" ] || { echo "FAIL: no temporary directory in the Wine prefix" >&2; exit 1; }

failures=0
# LC_ALL, then the locale code the launcher must log: a listed identifier, one with only
# its language listed (English of India), and one whose country is not in its row.
for case in "de_CH.UTF-8 de_CH" "de_DE.UTF-8 de_DE" "fr_FR.UTF-8 fr_FR" "en_US.UTF-8 en_US" \
            "en_IN.UTF-8 en" "es_ES.UTF-8 es_ES" "ca_ES.UTF-8 ca_ES"; do
    set -- $case
    before=$(ls "$temp_dir" | grep '^dpk_nlog_' | sort || true)
    LC_ALL=$1 QUILL_LOG=yes "$wine_run" "$launcher" /run </dev/null >/dev/null 2>&1 || true
    after=$(ls "$temp_dir" | grep '^dpk_nlog_' | sort || true)
    new=$(printf '%s\n' "$after" | grep -v -x -F "$before" | head -n 1 || true)
    if [ -z "$new" ]; then
        echo "FAIL: LC_ALL=$1 wrote no log" >&2
        failures=$((failures + 1))
        continue
    fi
    if tr -d '\r' <"$temp_dir/$new" | grep -q -x "language/country is $2"; then
        echo "ok: LC_ALL=$1 gives $2"
    else
        echo "FAIL: LC_ALL=$1 should give $2; the log says:" >&2
        tr -d '\r' <"$temp_dir/$new" | grep 'language/country' >&2 || true
        failures=$((failures + 1))
    fi
    rm -f "$temp_dir/$new"
done

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "all locale checks passed"
