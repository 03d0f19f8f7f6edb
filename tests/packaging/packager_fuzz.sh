#!/bin/sh
# The packager's fuzz checks with any seed and number of cases: random valid descriptors
# through build -> inspect -> build (same bytes) and inspect -> build -> inspect (same
# text), and damaged or hostile launchers through inspect (one-line failure with nothing
# written, or a descriptor that builds). CI runs the same test with seed 17.
#
# usage: packager_fuzz.sh <native build directory> [seed] [round trips] [damaged launchers]
#        [keep directory]
# A failing case is named by seed and index; with a keep directory its files stay there.
set -eu

build=${1:?usage: packager_fuzz.sh <native build directory> [seed] [round trips] [damaged launchers] [keep directory]}
seed=${2:-$(date +%s)}
cases=${3:-1000}
damaged=${4:-5000}
keep=${5:-}

test_binary=$build/tests/packaging/packaging_fuzz_tests
packager=$build/src/packaging/packager
for file in "$test_binary" "$packager"; do
    [ -x "$file" ] || { echo "packager_fuzz.sh: $file is missing; build $build first" >&2; exit 2; }
done

echo "packager fuzz: seed $seed, $cases round trips, $damaged damaged launchers"
start=$(date +%s)
status=0
PACKAGER=$packager PACKAGER_FUZZ_SEED=$seed PACKAGER_FUZZ_CASES=$cases PACKAGER_FUZZ_DAMAGED=$damaged \
    PACKAGER_FUZZ_KEEP=$keep "$test_binary" || status=$?
echo "packager fuzz: seed $seed finished in $(( $(date +%s) - start )) s with exit code $status"
exit $status
