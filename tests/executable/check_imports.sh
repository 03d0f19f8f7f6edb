#!/bin/sh
# Checks the built launcher executable as a file:
#  - it imports only Windows system DLLs, so it runs on a bare Windows installation
#    (no MinGW runtime DLLs such as libstdc++, libgcc or libwinpthread beside it), and
#    neither USER32 nor ADVAPI32, which it loads when it needs them;
#  - its application manifest is embedded as resource type 24, id 1, and asks for
#    asInvoker, Common-Controls 6.0.0.0 and the Vista, 7, 8 and 8.1 supportedOS ids.
#
# usage: check_imports.sh <launcher.exe> [objdump]
set -eu

exe=${1:?usage: check_imports.sh <launcher.exe> [objdump]}
objdump=${2:-x86_64-w64-mingw32-objdump}
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

[ -f "$exe" ] || { echo "FAIL: no such file: $exe" >&2; exit 1; }

# --- imports ------------------------------------------------------------------------
headers=$("$objdump" -p "$exe")
dlls=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p')
[ -n "$dlls" ] || fail "no imported DLLs found (is $exe a PE image?)"
for dll in $dlls; do
    case $(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]') in
        kernel32.dll|advapi32.dll|user32.dll|msvcrt.dll|gdi32.dll|shell32.dll|ole32.dll|oleaut32.dll|\
        comctl32.dll|version.dll|shlwapi.dll|ntdll.dll|ws2_32.dll)
            echo "ok: imports $dll" ;;
        *)
            fail "imports $dll, which is not a Windows system DLL" ;;
    esac
done

# USER32 is loaded on first use (a message box, the single-instance hand-over): importing
# it would load the window system on every start.
case $(printf '%s\n' "$dlls" | tr '[:upper:]' '[:lower:]') in
    *user32.dll*) fail "imports USER32.dll, which every start would then load" ;;
esac

# ADVAPI32 is delay-loaded: a function missing from src/platform/advapi32_delayed.def
# links as an ordinary import, and every start would load ADVAPI32 and the DLLs it needs.
case $(printf '%s\n' "$dlls" | tr '[:upper:]' '[:lower:]') in
    *advapi32.dll*) fail "imports ADVAPI32.dll directly; add the functions it imports to advapi32_delayed.def" ;;
esac
if LC_ALL=C grep -qai 'advapi32\.dll' "$exe"; then
    echo "ok: ADVAPI32 delay-loaded"
else
    fail "names no advapi32.dll to load on first use"
fi

# --- manifest -------------------------------------------------------------------------
# The .rsrc section's file offset and size, from the section table.
set -- $("$objdump" -h "$exe" | awk '$2 == ".rsrc" { print $3, $6 }')
if [ $# -ne 2 ]; then
    fail "no .rsrc section"
else
    size=$((0x$1))
    offset=$((0x$2))
    rsrc=$(mktemp)
    trap 'rm -f "$rsrc"' EXIT
    dd if="$exe" of="$rsrc" bs=1 skip="$offset" count="$size" 2>/dev/null

    # Unsigned little-endian integers of the section, by offset and width.
    u16() { od -An -tu2 -j "$1" -N2 "$rsrc" | tr -d ' '; }
    u32() { od -An -tu4 -j "$1" -N4 "$rsrc" | tr -d ' '; }
    # The entry for an id in the resource directory at an offset: prints its target.
    findEntry() {
        named=$(u16 $(($1 + 12)))
        ids=$(u16 $(($1 + 14)))
        i=0
        while [ $i -lt $((named + ids)) ]; do
            entry=$(($1 + 16 + 8 * i))
            if [ $i -ge "$named" ] && [ "$(u32 $entry)" -eq "$2" ]; then
                u32 $((entry + 4))
                return 0
            fi
            i=$((i + 1))
        done
        return 1
    }
    subdirectory=2147483648  # high bit: the entry points to a directory
    if ! types=$(findEntry 0 24); then
        fail "no manifest resource (type 24)"
    elif [ "$types" -lt $subdirectory ] || ! findEntry $((types - subdirectory)) 1 >/dev/null; then
        fail "the manifest resource does not have id 1"
    else
        echo "ok: manifest resource type 24, id 1"
    fi

    manifest=$(tr -d '\000' <"$rsrc" | sed -n '/<assembly/,/<\/assembly>/p')
    check() {
        if printf '%s\n' "$manifest" | grep -q -- "$1"; then echo "ok: manifest: $2"; else fail "manifest: $2"; fi
    }
    check 'requestedExecutionLevel level="asInvoker"' "asInvoker"
    check 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' "Common-Controls 6.0.0.0"
    check 'publicKeyToken="6595b64144ccf1df"' "Common-Controls public key token"
    check 'supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"' "supported OS Windows Vista"
    check 'supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"' "supported OS Windows 7"
    check 'supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"' "supported OS Windows 8"
    check 'supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"' "supported OS Windows 8.1"
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed for $exe" >&2
    exit 1
fi
echo "all checks passed for $exe"
