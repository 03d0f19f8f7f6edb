#!/bin/sh
# The installer package as an administrator meets it, under Wine with Wine's own msiexec
# and service manager: `msiexec /i /qn` puts the files in place and registers the service
# as the descriptor says (the start type, account and dependencies `/install` would give
# it, its image path without quotes as the installer writes it) and starts it, and the
# application runs (the stand-in runtime's record); the launcher's /status and /stop work
# on that entry; 1.1 over 1.0 replaces the launcher and leaves one product and one
# service; `msiexec /x` stops and removes the service and every file; a reinstall after
# that works, and the launcher's /uninstall removes that entry. The package's texts are not
# all ASCII (a Cyrillic description and manufacturer), and they reach the registry as
# written. The application takes 5 s to end after the stop line, which Wine's msiexec does
# not wait for: the package stops the service with the launcher's own /stop (stop_timeout
# 60 s) before it replaces or removes the launcher.
#
# The package sets the service up as /install does: its event source (through the
# installer's registry table, removed at uninstall) and the launcher's /configure after the
# entry is installed, whose effects show where Wine keeps them (the output folder under
# the launcher's folder, the interactive type /install gives LocalSystem; the delayed
# start, which Wine's service manager refuses with error 124, does not fail the
# installation). A deployment's settings: 1.1 is installed over 1.0 with VM_OPTIONS and
# SERVICE_ACCOUNT=virtual (the vmoptions file beside the launcher, the option in the
# stand-in's record, the entry under NT SERVICE\<name>), 1.2 over 1.1 without them keeps
# both; a SERVICE_ACCOUNT the package does not take ends the installation.
#
# The prefix is of the service kind (tests/wine/wine-prefix.sh): its own, set up afresh
# and ended at the end, so that the package's service meets no other test's services.
#
# usage: msi_wine_test.sh <packager> <launcher.exe> <stand-in dir> <wine-prefix.sh> <wine prefix> <work dir>
set -eu

packager=${1:?usage: msi_wine_test.sh <packager> <launcher.exe> <stand-in dir> <wine-prefix.sh> <wine prefix> <work dir>}
image=${2:?launcher image missing}
standins=${3:?stand-in directory missing}
wine_prefix=${4:?wine-prefix.sh missing}
prefix=${5:?wine prefix missing}
work=${6:?work directory missing}

. "$(dirname "$0")/../support/script_support.sh"

wine() { sh "$wine_prefix" run "$prefix" "$@"; }
log="$prefix.log"
service=QuillMsiTest
installed="$prefix/drive_c/Program Files/Quill Test Works/Msi Test"
installed_exe="C:\\Program Files\\Quill Test Works\\Msi Test\\$service.exe"
key="HKLM\\System\\CurrentControlSet\\Services\\$service"

# Waits for a condition with a deadline, and fails the check when it passes.
# usage: wait_for <seconds> <what> <command...>
wait_for() {
    limit=$1
    what=$2
    shift 2
    deadline=$(($(date +%s) + limit))
    until "$@"; do
        if [ "$(date +%s)" -ge "$deadline" ]; then
            fail "$what: not within $limit s"
            return 1
        fi
        sleep 0.2
    done
}

wine_quiet() { wine "$@" </dev/null >>"$log" 2>&1; }
launcher() { (cd "$work" && wine "$installed_exe" "$@" </dev/null 2>&1 | tr -d '\r'); }
status_is() { [ "$(launcher /status | head -n 1)" = "$1" ]; }
registry() { wine reg query "$key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' | awk -v v="$1" '$1 == v { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
description="Тикер — служба ✓"
publisher="Квилл ✓ Test Works"
entry_gone() { ! wine reg query "$key" </dev/null >/dev/null 2>&1; }
recorded() { grep -q "^$1\$" "$work/record.txt" 2>/dev/null; }
# What is left in the installation folder: nothing, or only the file that the stand-in
# java.exe writes beside itself while it runs and the service's output (an uninstall
# removes what was installed, not what the service wrote).
left_over() { [ -e "$installed" ] && find "$installed" -type f ! -path '*/jre/bin/java.exe.starts' ! -path "$installed/logs/*" | grep .; }
products() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s </dev/null 2>/dev/null | tr -d '\r' | grep -c 'DisplayName.*REG_SZ.*Msi Test$' || true; }

cleanup() {
    # Whatever is left: the product (through msiexec, which also removes the service),
    # then the prefix's processes.
    for version in 1.2 1.1 1.0; do
        [ -f "$work/v$version/test.msi" ] && wine_quiet msiexec /x "$(windows_path "$work/v$version/test.msi")" /qn || true
    done
    [ -n "${holder:-}" ] && exec 3>&- || true
    sh "$wine_prefix" teardown "$prefix"
    rm -rf "$work"
}

# --- the prefix --------------------------------------------------------------------------
rm -rf "$work"
mkdir -p "$work"
sh "$wine_prefix" setup "$prefix" service >/dev/null
trap cleanup EXIT
# Wine ends the services of a prefix when its last ordinary process ends: one waits here
# on a pipe until the test closes it.
mkfifo "$work/hold"
wine cmd /c pause <"$work/hold" >>"$log" 2>&1 &
exec 3>"$work/hold"
holder=1

# --- the two versions --------------------------------------------------------------------
# The stand-in runtime in jre\ beside the launcher; its jvm.dll records into the work
# folder and its main waits for the service's stop line, as the runtime library does.
make_version() {
    version=$1
    dir="$work/v$version"
    mkdir -p "$dir/jre/bin/server" "$dir/conf"
    cp "$standins/java.exe" "$dir/jre/bin/java.exe"
    cp "$standins/jvm.dll" "$dir/jre/bin/server/jvm.dll"
    printf 'version_line=java version "1.8.0_66"\n' >"$dir/jre/bin/java.exe.cfg"
    printf 'record=%s\nmain=stdin\nmainRunsMs=5000\n' "$(windows_path "$work")\\record.txt" >"$dir/jre/bin/server/jvm.dll.control"
    printf 'app %s\n' "$version" >"$dir/app.jar"
    printf 'version=%s\n' "$version" >"$dir/conf/app.properties"
    cat >"$dir/service.toml" <<TOML
[service]
name = "$service"
description = "$description"
dependencies = ["RpcSs", "PlugPlay"]
stop_timeout = 60
start = "delayed"
[output]
stdout = "logs\\\\out.log"
[application]
main_class = "com.example.Main"
class_path = [ { archive = "app.jar" } ]
arguments = ["version $version"]
[java]
search = [ { directory = "jre" } ]
[installer]
product_name = "Msi Test"
manufacturer = "$publisher"
install_dir = "Quill Test Works\\\\Msi Test"
version = "$version.0"
files = ["app.jar", "jre", { source = "conf/*.properties", target = "conf" }]
TOML
    mkdir -p "$dir/kept"
    if ! "$packager" msi "$dir/service.toml" "$image" "$dir/test.msi" --no-runtime-library \
        --wxs "$dir/kept/test.wxs" >"$dir/packager.txt" 2>&1; then
        cat "$dir/packager.txt" >&2
        fail "packager msi $version"
        finish
        exit 1
    fi
}
make_version 1.0
make_version 1.1
make_version 1.2
source_key="HKLM\\System\\CurrentControlSet\\Services\\EventLog\\Application\\$service"
source_registered() { wine reg query "$source_key" /v EventMessageFile </dev/null 2>/dev/null | tr -d '\r' | grep -qF "$installed_exe"; }
source_gone() { ! wine reg query "$source_key" </dev/null >/dev/null 2>&1; }

# --- a value the package does not take ends the installation -----------------------------
if wine_quiet msiexec /i "$(windows_path "$work/v1.0/test.msi")" /qn SERVICE_ACCOUNT=EXAMPLE\\bob; then
    fail "SERVICE_ACCOUNT=EXAMPLE\\bob was taken"
fi
entry_gone || fail "a refused SERVICE_ACCOUNT left a service entry"
[ "$(products)" = 0 ] || fail "a refused SERVICE_ACCOUNT left the product installed"

# --- install 1.0 -------------------------------------------------------------------------
wine_quiet msiexec /i "$(windows_path "$work/v1.0/test.msi")" /qn || fail "msiexec /i 1.0 failed"
# The entry may be unopenable for a moment after msiexec returns.
wait_for 30 "the service entry after install" status_is "Running." || launcher /status >&2
for file in "$service.exe" app.jar conf/app.properties jre/bin/java.exe jre/bin/server/jvm.dll; do
    [ -f "$installed/$file" ] || fail "not installed: $file"
done
cmp -s "$installed/$service.exe" "$work/v1.0/kept/$service.exe" || fail "the installed launcher is not the one built"
[ "$(registry Start)" = 0x2 ] || fail "start type: $(registry Start), expected 0x2 (automatic)"
[ "$(registry ObjectName)" = LocalSystem ] || fail "account: $(registry ObjectName)"
[ "$(registry DependOnService)" = 'RpcSs\0PlugPlay' ] || fail "dependencies: $(registry DependOnService)"
[ "$(registry ImagePath)" = "$installed_exe" ] || fail "image path: $(registry ImagePath)"
# Texts outside ASCII as the registry holds them (reg query shows them in the console's
# code page; an export is UTF-16).
exported() {
    wine reg export "$1" "$(windows_path "$work")\\export.reg" /y </dev/null >>"$log" 2>&1
    iconv -f UTF-16LE -t UTF-8 "$work/export.reg" | tr -d '\r'
}
exported "$key" | grep -qxF "\"Description\"=\"$description\"" ||
    fail "the service's description is not $description: $(exported "$key" | grep Description)"
exported 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' | grep -qxF "\"Publisher\"=\"$publisher\"" ||
    fail "the product's publisher is not $publisher: $(exported 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' | grep Publisher)"
wait_for 30 "the application's start (stand-in record)" recorded 'element version 1.0'
# Set up as /install sets it up: the event source, and /configure's output folder.
source_registered || fail "no event source for the launcher after install"
[ -d "$installed/logs" ] || fail "/configure did not make the output folder under the launcher's folder"
# The same entry as the launcher's own /install gives, as far as Wine keeps it (its
# CreateServiceA keeps only the first dependency).
msi_type=$(registry Type)
[ "$(launcher /status)" = "Running.
Auto-start." ] || fail "/status of the installed service: $(launcher /status)"

# --- /stop and /start on the entry msiexec wrote ----------------------------------------
out=$(launcher /stop)
[ "$out" = "Stopping service '$service'.
Service stopped" ] || fail "/stop: $out"
status_is "Not running." || fail "/status after /stop: $(launcher /status)"
recorded 'stdin.stop' || fail "the application did not get the stop line"
rm -f "$work/record.txt"
launcher /start >/dev/null
wait_for 30 "the service's start through /start" recorded 'element version 1.0'

# --- upgrade to 1.1 with a deployment's settings -------------------------------------------
rm -f "$work/record.txt"
wine_quiet msiexec /i "$(windows_path "$work/v1.1/test.msi")" /qn 'VM_OPTIONS=-Xmx64m -Dregion=eu' \
    SERVICE_ACCOUNT=virtual || fail "msiexec /i 1.1 failed"
wait_for 30 "the service after the upgrade" status_is "Running." || true
cmp -s "$installed/$service.exe" "$work/v1.1/kept/$service.exe" || fail "the upgrade did not replace the launcher"
[ "$(cat "$installed/conf/app.properties")" = "version=1.1" ] || fail "the upgrade did not replace the files"
[ "$(products)" = 1 ] || fail "$(products) products after the upgrade, expected 1"
wait_for 30 "the upgraded application's start" recorded 'element version 1.1'
deployed_settings() {
    [ "$(registry ObjectName)" = "NT SERVICE\\$service" ] || fail "$1: account $(registry ObjectName)"
    [ "$(tr -d '\r' <"$installed/$service.vmoptions" 2>/dev/null)" = "-Xmx64m
-Dregion=eu" ] || fail "$1: vmoptions file: $(cat "$installed/$service.vmoptions" 2>&1)"
    recorded 'option -Dregion=eu' || fail "$1: the runtime did not get -Dregion=eu"
    recorded 'option -Xmx64m' || fail "$1: the runtime did not get -Xmx64m"
}
deployed_settings "1.1 with VM_OPTIONS and SERVICE_ACCOUNT=virtual"

# --- upgrade to 1.2 without them: they stay ----------------------------------------------
rm -f "$work/record.txt"
wine_quiet msiexec /i "$(windows_path "$work/v1.2/test.msi")" /qn || fail "msiexec /i 1.2 failed"
wait_for 30 "the service after the upgrade to 1.2" status_is "Running." || true
wait_for 30 "the application's start after the upgrade to 1.2" recorded 'element version 1.2'
deployed_settings "1.2 over 1.1 without the settings"
[ "$(products)" = 1 ] || fail "$(products) products after the upgrade to 1.2, expected 1"
[ "$(wine reg query 'HKLM\System\CurrentControlSet\Services' </dev/null 2>/dev/null | tr -d '\r' | grep -ci "\\\\$service\$")" = 1 ] ||
    fail "not one service entry after the upgrade"

# --- uninstall ---------------------------------------------------------------------------
wine_quiet msiexec /x "$(windows_path "$work/v1.2/test.msi")" /qn || fail "msiexec /x failed"
wait_for 30 "the service entry's removal" entry_gone
recorded 'stdin.stop' || fail "the uninstall did not stop the application"
for file in "$service.exe" "$service.vmoptions" app.jar conf/app.properties jre/bin/java.exe; do
    [ ! -e "$installed/$file" ] || fail "left after uninstall: $file"
done
source_gone || fail "the event source is still registered after uninstall"
! wine reg query 'HKLM\Software\tarnwell\quill\packages' /s </dev/null 2>/dev/null | grep -q VmOptions ||
    fail "the deployment's settings are still in the registry after uninstall"
! left_over || fail "left after uninstall: $(left_over | head -n 5)"
rm -rf "$installed"
[ "$(products)" = 0 ] || fail "the product is still registered after uninstall"

# --- reinstall, then the launcher's /uninstall ---------------------------------------------
rm -f "$work/record.txt"
wine_quiet msiexec /i "$(windows_path "$work/v1.1/test.msi")" /qn || fail "msiexec /i after uninstall failed"
wait_for 30 "the service after the reinstall" status_is "Running."
wait_for 30 "the reinstalled application's start" recorded 'element version 1.1'
out=$(launcher /uninstall)
[ "$out" = "Stopping service '$service'.
Service stopped
Uninstalled service '$service'." ] || fail "/uninstall: $out"
wait_for 30 "the entry's removal by /uninstall" entry_gone

# The launcher's own /install of the same launcher: the same type, start and account.
(cd "$installed" && wine "$installed_exe" /install </dev/null >>"$log" 2>&1) || fail "/install failed"
[ "$(registry Type)" = "$msi_type" ] || fail "type: /install gives $(registry Type), the package $msi_type"
[ "$(registry Start)" = 0x2 ] || fail "start type of /install: $(registry Start)"
[ "$(registry ObjectName)" = LocalSystem ] || fail "account of /install: $(registry ObjectName)"
launcher /uninstall >/dev/null
wine_quiet msiexec /x "$(windows_path "$work/v1.1/test.msi")" /qn || fail "msiexec /x after /uninstall failed"
! left_over || fail "left after the last uninstall: $(left_over | head -n 5)"

finish "installer package under Wine: install, service, upgrade, uninstall and reinstall all passed"
