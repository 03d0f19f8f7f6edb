#!/bin/sh
# The packager's Windows build under Wine: a build, the inspect of that launcher (the
# service keys among its readable keys) and a build of the inspected descriptor give the
# same bytes; the built launcher runs; each
# error is one exact line with exit code 2 and no output file; `packager keys` prints the
# committed key reference.
#
# usage: packager_wine_test.sh <packager.exe> <launcher.exe> <wine-run.sh> <work-dir>
set -eu

packager=${1:?usage: packager_wine_test.sh <packager.exe> <launcher.exe> <wine-run.sh> <work-dir>}
image=${2:?launcher image missing}
wine_run=${3:?wine-run.sh missing}
work=${4:?work directory missing}

. "$(dirname "$0")/../support/script_support.sh"
reference=$(cd "$(dirname "$0")/../../docs" && pwd)/descriptor.md

rm -rf "$work"
mkdir -p "$work/back"
trap 'rm -rf "$work"' EXIT
printf 'greeting=hello\n' >"$work/app.properties"
cat >"$work/service.toml" <<'TOML'
[service]
name = "Packager wine test"
description = "Prüfdienst"
start = "delayed"
restart = "on-failure"
account = ".\\svc"
recovery = { restart_after = 30, non_crash_failures = true }
[service.description_translations]
de = "Prüfdienst (deutsch)"
[application]
main_class = "com.example.Main"
class_path = [ { archive = "app.jar" }, { scan = "lib", optional = true } ]
[messages]
language = "de"
[[files]]
source = "app.properties"
name = "conf/app.properties"
[[files]]
source = "app.properties"
name = "daten/Grüße.txt"
[[files]]
source = "app.properties"
name = "zQ7zQ7zQ7zQ"
TOML

run() {
    set +e
    "$wine_run" "$packager" "$@" </dev/null >"$work/out.txt" 2>"$work/err.txt"
    echo $? >"$work/rc.txt"
    set -e
}

# --- build, inspect, build again --------------------------------------------------------
run build "$(windows_path "$work/service.toml")" "$(windows_path "$image")" "$(windows_path "$work/first.exe")" \
    --no-runtime-library
[ "$(cat "$work/rc.txt")" = 0 ] || { cat "$work/err.txt" >&2; echo "FAIL: build exit code $(cat "$work/rc.txt")" >&2; exit 1; }
run inspect "$(windows_path "$work/first.exe")" --output "$(windows_path "$work/back/service.toml")" \
    --extract "$(windows_path "$work/back/files")" --image "$(windows_path "$work/back/image.exe")"
[ "$(cat "$work/rc.txt")" = 0 ] || { cat "$work/err.txt" >&2; fail "inspect exit code $(cat "$work/rc.txt")"; }
if [ -s "$work/err.txt" ]; then
    fail "inspect printed notes:"; cat "$work/err.txt" >&2
fi
for line in 'start = "delayed"' 'restart = "on-failure"' 'account = ".\\svc"' \
    'recovery = { restart_after = 30, reset_after = 86400, non_crash_failures = true }'; do
    tr -d '\r' <"$work/back/service.toml" | grep -qxF "$line" || fail "the inspected descriptor lacks: $line"
done
grep -q '^source = "files/conf/app.properties"' "$work/back/service.toml" ||
    fail "the inspected descriptor does not name the extracted file relative to itself"
cmp -s "$work/back/files/conf/app.properties" "$work/app.properties" || fail "the extracted file differs"
cmp -s "$work/back/image.exe" "$image" || fail "the written image is not the launcher image"
# An ISO-8859-1 name comes back as UTF-8, in the descriptor and as the extracted file.
grep -q '^name = "daten\\\\Grüße.txt"' "$work/back/service.toml" || fail "the Latin-1 name is not UTF-8 in the descriptor"
cmp -s "$work/back/files/daten/Grüße.txt" "$work/app.properties" || fail "the file with a Latin-1 name is not extracted by it"
run build "$(windows_path "$work/back/service.toml")" "$(windows_path "$work/back/image.exe")" \
    "$(windows_path "$work/second.exe")" --no-runtime-library
[ "$(cat "$work/rc.txt")" = 0 ] || { cat "$work/err.txt" >&2; fail "second build exit code $(cat "$work/rc.txt")"; }
if cmp -s "$work/first.exe" "$work/second.exe"; then
    echo "ok: build of the inspected descriptor is byte-identical"
else
    fail "build of the inspected descriptor differs from the first launcher"
fi

# --- the launcher it made runs: German texts, its included file extracted -----------------
set +e
(cd "$work" && env -u QUILL_LOG -u DEPLOYKIT_LOG QUILL_JAVA_HOME= JAVA_HOME= JDK_HOME= \
    "$wine_run" "$work/first.exe" /run </dev/null >"$work/run-out.txt" 2>"$work/run-err.txt")
rc=$?
set -e
# No runtime exists in the prefix: the launcher ends with its (German) message 1016.
if [ "$rc" = 1 ] && grep -q "Auf diesem System wurde keine JVM gefunden" "$work/run-err.txt"; then
    echo "ok: the packaged launcher runs and shows the German message"
else
    fail "the packaged launcher: exit code $rc, standard error:"; cat "$work/run-err.txt" >&2
fi

# --- errors: one line each, exit code 2, no output ---------------------------------------
# expect_error <what> <expected standard error> <packager arguments...>
expect_error() {
    what=$1
    expected=$2
    shift 2
    run "$@"
    [ "$(cat "$work/rc.txt")" = 2 ] || fail "$what: exit code $(cat "$work/rc.txt"), not 2"
    if [ "$(tr -d '\r' <"$work/err.txt")" = "$expected" ]; then
        echo "ok: $what"
    else
        fail "$what: standard error differs; got:"; cat "$work/err.txt" >&2; printf "expected: %s\n" "$expected" >&2
    fi
}
printf '[service]\nname = "x"\n[application]\nmain_class = "a.B"\nclass_path = [ { archive = "a.jar" } ]\n[java]\nmin_version = "1.8.x"\n' \
    >"$work/bad.toml"
printf '[service]\nname = "x\\u0000y"\n[application]\nmain_class = "a.B"\nclass_path = [ { archive = "a.jar" } ]\n' \
    >"$work/zero.toml"
bad=$(windows_path "$work/bad.toml")
nul=$(windows_path "$work/zero.toml")
output=$(windows_path "$work/bad.exe")
expect_error "a descriptor error names file, line and column" \
    "$bad:7:15: error: java.min_version \"1.8.x\" is no Java version (numbers separated by '.', '_', '-' or '+', such as \"1.8\" or \"17.0.2\")" \
    build "$bad" "$(windows_path "$image")" "$output"
expect_error "a NUL character in a text is refused" \
    "$nul:2:8: error: service.name holds a NUL character, which the launcher reads as the end of the text" \
    build "$nul" "$(windows_path "$image")" "$output"
expect_error "inspect refuses a launcher without a block" \
    "packager: $(windows_path "$image"): no configuration block behind the image (not a packaged launcher)" \
    inspect "$(windows_path "$image")"
[ ! -e "$work/bad.exe" ] && [ ! -e "$work/bad.exe.partial" ] || fail "an output file was left behind"

# --- a launcher whose file name leads out of the extract folder: refused, nothing written
offset=$(LC_ALL=C grep -obUaF 'zQ7zQ7zQ7zQ' "$work/first.exe" | head -n 1 | cut -d: -f1)
mkdir -p "$work/hostile/inner"
cp "$work/first.exe" "$work/hostile/inner/l.exe"
printf '..\\..\\EVIL1' | dd of="$work/hostile/inner/l.exe" bs=1 seek="$offset" conv=notrunc 2>/dev/null
expect_error "inspect refuses a file name that leaves its folder" \
    "packager: $(windows_path "$work/hostile/inner/l.exe"): the included file name \"..\\..\\EVIL1\" must stay inside the folder it is extracted to (no drive, no '/', no empty, '.' or '..' steps); nothing was written" \
    inspect "$(windows_path "$work/hostile/inner/l.exe")" --output "$(windows_path "$work/hostile/inner/out.toml")" \
    --extract "$(windows_path "$work/hostile/inner/ex")" --image "$(windows_path "$work/hostile/inner/img.exe")"
[ "$(find "$work/hostile" | wc -l)" = 3 ] || fail "inspect of the hostile launcher wrote files: $(find "$work/hostile")"

# --- msi: the Windows build writes the WiX source and the launcher for the WiX toolset ------
mkdir -p "$work/msi/kept"
printf 'jar' >"$work/msi/app.jar"
cat >"$work/msi/d.toml" <<'TOML'
[service]
name = "WxsTest"
description = "Тикер — служба ✓"
[application]
main_class = "com.example.Main"
class_path = [ { archive = "app.jar" } ]
[installer]
manufacturer = "Фирма"
version = "1.2.3"
files = ["*.jar"]
TOML
kept=$(windows_path "$work/msi/kept/d.wxs")
run msi "$(windows_path "$work/msi/d.toml")" "$(windows_path "$image")" "$(windows_path "$work/msi/d.msi")" \
    --no-runtime-library --wxs "$kept"
obj=$(windows_path "$work/msi/kept/d.wixobj")
expected="wrote $kept and the launcher $(windows_path "$work/msi/kept/WxsTest.exe"): WxsTest 1.2.3, 2 file(s), service 'WxsTest'
compile them with the WiX toolset 3:
  candle -arch x64 -out $obj $kept
  light -out $(windows_path "$work/msi/d.msi") $obj"
if [ "$(cat "$work/rc.txt")" = 0 ] && [ "$(tr -d '\r' <"$work/out.txt")" = "$expected" ]; then
    echo "ok: msi --wxs writes the source and says how to compile it"
else
    fail "msi --wxs: exit code $(cat "$work/rc.txt"), standard output:"; cat "$work/out.txt" "$work/err.txt" >&2
    printf 'expected:\n%s\n' "$expected" >&2
fi
grep -q 'Description="Тикер — служба ✓"' "$work/msi/kept/d.wxs" || fail "the kept source lacks the description"
grep -q 'Codepage="65001"' "$work/msi/kept/d.wxs" || fail "the kept source names no code page"
grep -q 'Source="../app.jar"' "$work/msi/kept/d.wxs" || fail "the kept source does not name app.jar beside it"
[ -f "$work/msi/kept/WxsTest.exe" ] || fail "no launcher beside the kept source"
[ ! -e "$work/msi/d.msi" ] || fail "a package was written"
expect_error "msi without --wxs says what the Windows build can do" \
    "packager: msi compiles the package with wixl, which this Windows build of the packager cannot run; give --wxs <file> to write the WiX source and the launcher for the WiX toolset, or run packager msi on a Linux build machine; nothing was written" \
    msi "$(windows_path "$work/msi/d.toml")" "$(windows_path "$image")" "$(windows_path "$work/msi/d.msi")"

# --- the key reference: the Windows build prints the committed one -----------------------
run keys
if [ "$(cat "$work/rc.txt")" = 0 ] && tr -d '\r' <"$work/out.txt" | cmp -s - "$reference"; then
    echo "ok: packager keys prints docs/descriptor.md"
else
    fail "packager keys: exit code $(cat "$work/rc.txt"), or its output differs from $reference"
fi

finish "packager checks under Wine passed"
