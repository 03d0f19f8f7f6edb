#!/bin/sh
# A signed launcher must behave exactly like the unsigned one: signing appends a
# certificate table behind the configuration block, and the launcher finds its block
# from the section table, not from the end of the file.
#
# Packages the example service with package_example.exe (under Wine), signs a copy with
# a throwaway self-signed certificate, checks that the copy really carries a signature,
# and runs both launchers with the same arguments, comparing exit code, standard output
# and standard error. The two copies have the same file name, in different directories,
# so that nothing in their output differs by name.
#
# usage: signing_test.sh <package_example.exe> <launcher.exe> <wine-run.sh> <work-dir>
set -eu

packager=${1:?usage: signing_test.sh <package_example.exe> <launcher.exe> <wine-run.sh> <work-dir>}
image=${2:?launcher image missing}
wine_run=${3:?wine-run.sh missing}
work=${4:?work directory missing}

. "$(dirname "$0")/../support/script_support.sh"

rm -rf "$work"
mkdir -p "$work/unsigned" "$work/signed"
trap 'rm -rf "$work"' EXIT
unsigned="$work/unsigned/demo-service.exe"
signed="$work/signed/demo-service.exe"

# --- package and sign -----------------------------------------------------------------
"$wine_run" "$packager" "$(windows_path "$image")" "$(windows_path "$unsigned")" </dev/null
[ -s "$unsigned" ] || { echo "FAIL: package_example wrote no launcher" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Launcher signing test" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 ||
    { cat "$work/openssl.log" >&2; echo "FAIL: openssl could not make a certificate" >&2; exit 1; }
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Demo service" \
    -in "$unsigned" -out "$signed" >"$work/sign.log" 2>&1 ||
    { cat "$work/sign.log" >&2; echo "FAIL: osslsigncode could not sign" >&2; exit 1; }

if osslsigncode verify -in "$signed" -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1; then
    echo "ok: the signed copy verifies"
else
    cat "$work/verify.log" >&2
    fail "the signed copy does not verify"
fi
if osslsigncode extract-signature -in "$unsigned" -out "$work/none.der" >/dev/null 2>&1; then
    fail "the unsigned launcher already carries a signature"
fi
unsigned_size=$(wc -c <"$unsigned")
signed_size=$(wc -c <"$signed")
if [ "$signed_size" -gt "$unsigned_size" ]; then
    echo "ok: signed copy is larger ($unsigned_size -> $signed_size bytes)"
else
    fail "signed copy is not larger ($unsigned_size -> $signed_size bytes)"
fi

# --- run both -------------------------------------------------------------------------
# Runs one launcher with the diagnostic log off; leaves out.txt, err.txt and rc.txt.
run() {
    launcher=$1
    directory=$(dirname "$launcher")
    shift
    set +e
    (cd "$directory" && env -u QUILL_LOG -u DEPLOYKIT_LOG "$wine_run" "$launcher" "$@" \
        </dev/null >"$directory/out.txt" 2>"$directory/err.txt")
    echo $? >"$directory/rc.txt"
    set -e
}

for arguments in /run /status; do
    run "$unsigned" $arguments
    run "$signed" $arguments
    u="$work/unsigned"
    s="$work/signed"
    # An unreadable block ends in a message box, which returns at once without a
    # display: a silent exit. Silence from both would make the comparison meaningless.
    if [ ! -s "$u/out.txt" ] && [ ! -s "$u/err.txt" ]; then
        fail "$arguments: the unsigned launcher printed nothing (exit code $(cat "$u/rc.txt"))"
    fi
    if [ "$(cat "$u/rc.txt")" = "$(cat "$s/rc.txt")" ]; then
        echo "ok: $arguments: same exit code $(cat "$u/rc.txt")"
    else
        fail "$arguments: exit code $(cat "$u/rc.txt") unsigned, $(cat "$s/rc.txt") signed"
    fi
    for stream in out err; do
        if cmp -s "$u/$stream.txt" "$s/$stream.txt"; then
            echo "ok: $arguments: same std$stream"
        else
            fail "$arguments: std$stream differs"
            diff "$u/$stream.txt" "$s/$stream.txt" >&2 || true
        fi
    done
done

finish "the signed launcher behaves like the unsigned one"
