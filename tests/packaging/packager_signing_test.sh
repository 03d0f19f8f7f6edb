#!/bin/sh
# Signing with `packager build --sign` and `packager msi --sign` against a certificate
# authority of the test's own, made here with openssl: a root and a code-signing
# certificate it issued, in a PKCS#12 file whose password comes from the environment
# variable the option names. osslsigncode verifies the launcher, the package and the
# launcher inside the package against that root; `inspect` reads the signed launcher; the
# signed launcher runs the stand-in runtime as the unsigned one does (exit code, output,
# the runtime's record); a wrong password fails and leaves the earlier output as it was.
#
# usage: packager_signing_test.sh <packager> <launcher.exe> <stand-in dir> <wine-run.sh> <work dir>
set -eu

packager=${1:?usage: packager_signing_test.sh <packager> <launcher.exe> <stand-in dir> <wine-run.sh> <work dir>}
image=${2:?launcher image missing}
standins=${3:?stand-in directory missing}
wine_run=${4:?wine-run.sh missing}
work=${5:?work directory missing}

. "$(dirname "$0")/../support/script_support.sh"

rm -rf "$work"
mkdir -p "$work/ca" "$work/unsigned" "$work/signed"
trap 'rm -rf "$work"' EXIT

# --- the certificate authority and the signing certificate ------------------------------
ca="$work/ca"
quiet() { "$@" >>"$ca/openssl.log" 2>&1 || { cat "$ca/openssl.log" >&2; echo "FAIL: $*" >&2; exit 1; }; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Packager Test Root" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$ca/root.key" -out "$ca/root.pem"
quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=Packager Test Signer" -keyout "$ca/signer.key" \
    -out "$ca/signer.csr"
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$ca/ext"
quiet openssl x509 -req -in "$ca/signer.csr" -CA "$ca/root.pem" -CAkey "$ca/root.key" -CAcreateserial -days 2 \
    -extfile "$ca/ext" -out "$ca/signer.pem"
quiet openssl pkcs12 -export -inkey "$ca/signer.key" -in "$ca/signer.pem" -certfile "$ca/root.pem" \
    -passout pass:Packager-Test-1 -out "$ca/signer.pfx"

verifies() { osslsigncode verify -in "$1" -CAfile "$ca/root.pem" >"$work/verify.log" 2>&1; }

# --- the descriptor, with the stand-in runtime beside the launchers ----------------------
for dir in "$work/unsigned" "$work/signed"; do
    mkdir -p "$dir/jre/bin/server"
    printf 'app\n' >"$dir/app.jar"
    cp "$standins/java.exe" "$dir/jre/bin/java.exe"
    cp "$standins/jvm.dll" "$dir/jre/bin/server/jvm.dll"
    printf 'version_line=java version "1.8.0_66"\n' >"$dir/jre/bin/java.exe.cfg"
    printf 'record=%s\n' "$(windows_path "$dir")\\record.txt" >"$dir/jre/bin/server/jvm.dll.control"
done
cat >"$work/service.toml" <<'TOML'
[service]
name = "SignedTest"
[application]
main_class = "com.example.Main"
class_path = [ { archive = "app.jar" } ]
arguments = ["hello world"]
[java]
search = [ { directory = "jre" } ]
[installer]
manufacturer = "Packager Test"
version = "1.0.0"
TOML

# --- build: signed and unsigned ----------------------------------------------------------
"$packager" build "$work/service.toml" "$image" "$work/unsigned/app.exe" --no-runtime-library >/dev/null
PACKAGER_TEST_PFX_PASSWORD=Packager-Test-1 "$packager" build "$work/service.toml" "$image" "$work/signed/app.exe" \
    --no-runtime-library --sign "$ca/signer.pfx" --sign-password-env PACKAGER_TEST_PFX_PASSWORD >/dev/null ||
    fail "build --sign failed"
verifies "$work/signed/app.exe" || { cat "$work/verify.log" >&2; fail "the signed launcher does not verify"; }
verifies "$work/unsigned/app.exe" && fail "the unsigned launcher verifies"
"$packager" inspect "$work/signed/app.exe" >"$work/signed.toml" 2>/dev/null || fail "inspect of the signed launcher failed"
"$packager" inspect "$work/unsigned/app.exe" >"$work/unsigned.toml" 2>/dev/null
sed '1d' "$work/signed.toml" >"$work/signed.body"
sed '1d' "$work/unsigned.toml" >"$work/unsigned.body"
cmp -s "$work/signed.body" "$work/unsigned.body" || fail "inspect reads another descriptor from the signed launcher"

# The same run: exit code, output and what the runtime was given.
for dir in "$work/unsigned" "$work/signed"; do
    set +e
    (cd "$dir" && "$wine_run" "$dir/app.exe" /run </dev/null >"$dir/out.txt" 2>"$dir/err.txt")
    echo $? >"$dir/rc.txt"
    set -e
    # The two folders' names are the only difference (in paths, in any case, and in the
    # names made from them).
    for file in out.txt err.txt record.txt; do
        grep -v -e '^micros' -e '^pid' "$dir/$file" 2>/dev/null | sed -e 's/unsigned/FOLDER/g' -e 's/signed/FOLDER/g' \
            >"$dir/$file.cmp" || true
    done
done
[ "$(cat "$work/unsigned/rc.txt")" = "$(cat "$work/signed/rc.txt")" ] ||
    fail "/run: exit code $(cat "$work/unsigned/rc.txt") unsigned, $(cat "$work/signed/rc.txt") signed"
grep -q '^element hello world$' "$work/unsigned/record.txt.cmp" || fail "the unsigned launcher did not run the application"
for file in out.txt.cmp err.txt.cmp record.txt.cmp; do
    cmp -s "$work/unsigned/$file" "$work/signed/$file" || {
        diff "$work/unsigned/$file" "$work/signed/$file" >&2 || true
        fail "/run: $file differs"
    }
done

# A wrong password: exit code 2, and the signed launcher from before stays.
before=$(cksum <"$work/signed/app.exe")
if PACKAGER_TEST_PFX_PASSWORD=wrong "$packager" build "$work/service.toml" "$image" "$work/signed/app.exe" \
    --no-runtime-library --sign "$ca/signer.pfx" --sign-password-env PACKAGER_TEST_PFX_PASSWORD >/dev/null 2>&1; then
    fail "build --sign with a wrong password succeeded"
fi
[ "$(cksum <"$work/signed/app.exe")" = "$before" ] || fail "a failed signature changed the earlier launcher"
ls "$work/signed" | grep -q -e '\.unsigned' -e '\.partial' -e '\.signed' && fail "a failed signature left files behind"

# --- msi: the launcher inside and the package --------------------------------------------
PACKAGER_TEST_PFX_PASSWORD=Packager-Test-1 "$packager" msi "$work/service.toml" "$image" "$work/app.msi" \
    --no-runtime-library --sign "$ca/signer.pfx" --sign-password-env PACKAGER_TEST_PFX_PASSWORD >/dev/null ||
    fail "msi --sign failed"
verifies "$work/app.msi" || { cat "$work/verify.log" >&2; fail "the signed package does not verify"; }
mkdir -p "$work/extracted"
(cd "$work/extracted" && msiextract "$work/app.msi" >/dev/null)
launcher=$(find "$work/extracted" -name SignedTest.exe | head -n 1)
[ -n "$launcher" ] || fail "no launcher in the package"
[ -z "$launcher" ] || verifies "$launcher" || fail "the launcher in the package is not signed"

finish "signed launchers and packages verify against the test's root and run as unsigned ones"
