#!/bin/sh
# Fails when a source file includes against the layer direction. Each layer may include
# its own headers and those of the layers before it:
#
#   format -> model -> platform -> config -> instance -> jvm/discovery -> jvm/launch
#   -> service -> launcher
#
# The packager (packaging/) builds on format and model only. format/ and model/ (the rules
# of a service entry) are portable: no system header of Windows. Usage: check_layers.sh
# <source root>
set -u
root=${1:?usage: check_layers.sh <source root>}

rank() {
    case $1 in
        format) echo 0 ;;
        model) echo 1 ;;
        platform) echo 2 ;;
        config) echo 3 ;;
        instance) echo 4 ;;
        jvm/discovery) echo 5 ;;
        jvm/launch) echo 6 ;;
        service) echo 7 ;;
        launcher) echo 8 ;;
        packaging) echo P ;;
        *) echo "" ;;
    esac
}

# The layer of a path below the source root: its folder, "jvm/x" for the two Java layers.
layer_of() {
    case $1 in
        jvm/*/*) echo "$1" | cut -d/ -f1-2 ;;
        */*) echo "$1" | cut -d/ -f1 ;;
        *) echo "" ;;
    esac
}

failures=0
checked=0
for file in $(cd "$root" && find . -name '*.h' -o -name '*.cpp' | sed 's#^\./##' | sort); do
    own=$(layer_of "$file")
    own_rank=$(rank "$own")
    [ -n "$own_rank" ] || continue
    checked=$((checked + 1))
    case $own in
        format | model)
            if grep -q '#include <windows.h>' "$root/$file"; then
                echo "$file: $own/ is portable and must not include <windows.h>"
                failures=$((failures + 1))
            fi
            ;;
    esac
    for included in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$root/$file"); do
        other=$(layer_of "$included")
        other_rank=$(rank "$other")
        [ -n "$other_rank" ] || continue
        allowed=true
        if [ "$own_rank" = P ]; then
            [ "$other" = packaging ] || [ "$other" = format ] || [ "$other" = model ] || allowed=false
        elif [ "$other_rank" = P ] || [ "$other_rank" -gt "$own_rank" ]; then
            allowed=false
        fi
        if ! $allowed; then
            echo "$file: includes $included ($other) against the layer direction ($own)"
            failures=$((failures + 1))
        fi
    done
done

if [ "$checked" -eq 0 ]; then
    echo "no source files found below $root"
    exit 1
fi
if [ "$failures" -ne 0 ]; then
    echo "$failures include(s) against the layer direction"
    exit 1
fi
echo "$checked files, every include in the layer direction"
