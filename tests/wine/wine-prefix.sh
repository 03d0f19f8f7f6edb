#!/bin/sh
# The Wine prefixes of the tests, private to a build tree: set-up, a program run in one, and
# tear-down. The build tree has a wrapper per prefix and action (wine-setup.sh, wine-run.sh,
# wine-teardown.sh for the shared prefix, service-wine-*.sh for the service tests').
#
#   wine-prefix.sh setup <prefix> shared|service
#   wine-prefix.sh run <prefix> <program> [arguments...]
#   wine-prefix.sh teardown <prefix>
#
# Kinds of prefix:
#   shared   the prefix of most tests: made once, with one persistent wineserver for the
#            whole test run, so that every process start of the tests stays fast. A server
#            left running by an interrupted run is reused.
#   service  a prefix whose service manager runs the tests' services. Wine's service manager
#            builds the services' environment once, from the registry's user and system
#            environment, when it starts its first service after the prefix boots; so a
#            server left running is ended first (it would keep the old environment), the
#            diagnostic log is switched on for the services (QUILL_LOG=yes in
#            HKCU\Environment), and the prefix then shuts down, so that the tests' first
#            start boots it with that setting. Other prefixes never see it.
#
# In both, a program that crashes ends at once: Wine's crash dialog, which no one sees
# here, would hold the program (and the files it has open) for seconds.
#
# Wine's helper processes inherit the descriptors of the first Wine program of a prefix,
# so everything that set-up starts writes to <prefix>.log: a test that reads a pipe of its
# own would otherwise never see the pipe's end.
set -e

usage() {
    echo "usage: wine-prefix.sh setup <prefix> shared|service | run <prefix> <program> [arguments...] | teardown <prefix>" >&2
    exit 2
}

action=${1:-}
prefix=${2:-}
[ -n "$action" ] && [ -n "$prefix" ] || usage
shift 2

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

case $action in
run)
    [ $# -ge 1 ] || usage
    exec wine "$@"
    ;;
teardown)
    wineserver -k >/dev/null 2>&1 || true
    exit 0
    ;;
setup)
    kind=${1:-}
    case $kind in shared | service) ;; *) usage ;; esac
    ;;
*)
    usage
    ;;
esac

log="$prefix.log"
mkdir -p "$WINEPREFIX"
if [ "$kind" = shared ]; then
    # Persistent for the whole run; one left by an interrupted run is reused.
    wineserver -p >>"$log" 2>&1 </dev/null || true
else
    wineserver -k >>"$log" 2>&1 </dev/null || true
fi
wineboot -i >>"$log" 2>&1 </dev/null
# wineboot returns before the prefix is complete; wait until the registry is written, and
# fail the set-up (so that no test runs in a half-made prefix) if it is not.
n=0
until [ -f "$WINEPREFIX/system.reg" ]; do
    if [ $n -ge 120 ]; then
        echo "wine prefix not ready: $WINEPREFIX/system.reg missing 60 s after wineboot (see $log)" >&2
        exit 1
    fi
    sleep 0.5
    n=$((n + 1))
done
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$log" 2>&1 </dev/null
if [ "$kind" = service ]; then
    wine reg add 'HKCU\Environment' /v QUILL_LOG /t REG_SZ /d yes /f >>"$log" 2>&1 </dev/null
    wineserver -w >>"$log" 2>&1 </dev/null || true
fi
echo "wine prefix ready ($kind): $WINEPREFIX"
