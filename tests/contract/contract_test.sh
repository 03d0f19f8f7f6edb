#!/bin/sh
# The launcher and the Java side agree: records launches of packaged launchers under Wine
# (contract_recorder, with the stand-in jvm.dll), then starts each recording on this
# machine's real JVM with the runtime library (the Java contract tests). The recordings are
# made afresh every time, so the Java side never checks an old launcher's.
#
# usage: contract_test.sh <recordings dir> <wine-run.sh> <contract_recorder.exe> <java>
#                         <JUnit console jar> <runtime jar> <runtime test jar> <contract test jar>
set -eu
if [ $# -ne 8 ]; then
    echo "usage: contract_test.sh <recordings> <wine-run.sh> <recorder> <java> <junit> <jar> <jar> <jar>" >&2
    exit 2
fi
recordings=$1 wine_run=$2 recorder=$3 java=$4 junit=$5 runtime_jar=$6 tests_jar=$7 contract_jar=$8

rm -rf "$recordings"
mkdir -p "$recordings"
recordings=$(cd "$recordings" && pwd -P)

# Both sides in a UTF-8 locale: Wine then gives Linux file names beyond ASCII (a situation's
# directory has one) the same bytes as Java does, and arguments beyond ASCII pass between
# Linux processes.
LC_ALL=C.UTF-8
export LC_ALL

echo "== recording launches under Wine into $recordings"
if ! CONTRACT_RECORDINGS=$recordings "$wine_run" "$recorder"; then
    echo "FAIL: the launches were not recorded; the Java side was not run" >&2
    exit 1
fi

echo "== the recordings on the real JVM"
"$java" \
    -Dlauncher.runtimeJar="$runtime_jar" -Dlauncher.testJar="$tests_jar" -Dcontract.recordings="$recordings" \
    -jar "$junit" --disable-banner --disable-ansi-colors --details=tree --fail-if-no-tests \
    --class-path "$runtime_jar:$tests_jar:$contract_jar" --scan-class-path "$contract_jar"
