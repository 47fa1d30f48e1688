#!/usr/bin/env bash
# Checks that built libraries export exactly the functions that
# include/TamberLauncher.h declares, with plain undecorated names, and that a
# Windows DLL imports nothing but system DLLs. The header is read by
# cmake/export-names.cmake, as for the package's .def, so cmake must be on PATH.
#
#   bash tools/check-exports.sh [LIBRARY...]
#
# A LIBRARY ending in .dll is read with the MinGW objdump of its architecture,
# an import library (.lib, .dll.a) with the MinGW nm, anything else with nm -D. Without arguments: the i686 DLL and the Linux
# library of the release and dev builds, whichever exist (at least one must).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
header=$root/include/TamberLauncher.h

# System DLLs a sound DLL may import (lower case; api-ms-win-* sets too).
allowed_imports='^(kernel32|msvcrt|ws2_32|psapi|winmm|user32|advapi32|ntdll|api-ms-win-.*)\.dll$'

declared_names() {
    cmake -DHEADER="$header" -P "$root/cmake/export-names.cmake" | sed '/^$/d' | sort -u
}

dll_objdump() {
    case $(objdump -f "$1" 2>/dev/null | grep -o 'pei-[a-z0-9-]*' | head -n1) in
        pei-i386) echo i686-w64-mingw32-objdump ;;
        *) echo x86_64-w64-mingw32-objdump ;;
    esac
}

# Names after "[Ordinal/Name Pointer] Table", one per line.
dll_exports() {
    "$(dll_objdump "$1")" -p "$1" | awk '
        /\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
        table && /^[ \t]*\[ *[0-9]+\]/ { sub(/^[ \t]*\[ *[0-9]+\][ \t]*/, ""); print; next }
        table { table = 0 }
    ' | sort
}

dll_imports() {
    "$(dll_objdump "$1")" -p "$1" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | sort -u
}

# The functions an import library lets a program call: its __imp_ symbols,
# less the one leading underscore that 32-bit C names carry.
implib_exports() {
    local tool=x86_64-w64-mingw32-nm strip=''
    if [[ $(i686-w64-mingw32-objdump -f "$1" 2>/dev/null) == *"file format pe-i386"* ]]; then
        tool=i686-w64-mingw32-nm strip='_'
    fi
    "$tool" "$1" | awk -v strip="$strip" '
        $2 == "I" && $3 ~ /^__imp_/ { name = substr($3, 7); if (strip != "") sub(/^_/, "", name); print name }
    ' | sort
}

so_exports() {
    nm -D --defined-only "$1" | awk '{ print $NF }' | sort
}

# Prints the differences between the header and a library's exports; fails on any.
compare() {
    local library=$1 exported=$2 declared=$3 status=0
    local missing extra decorated duplicated
    missing=$(comm -23 <(echo "$declared") <(echo "$exported" | sort -u) | sed '/^$/d')
    extra=$(comm -13 <(echo "$declared") <(echo "$exported" | sort -u) | sed '/^$/d')
    decorated=$(echo "$exported" | grep -E '^_|@' || true)
    duplicated=$(echo "$exported" | sed '/^$/d' | uniq -d)
    if [[ -n $missing ]]; then
        echo "$library: declared in the header but not exported ($(wc -l <<<"$missing")):"
        sed 's/^/  - /' <<<"$missing"
        status=1
    fi
    if [[ -n $extra ]]; then
        echo "$library: exported but not declared in the header ($(wc -l <<<"$extra")):"
        sed 's/^/  + /' <<<"$extra"
        status=1
    fi
    if [[ -n $decorated ]]; then
        echo "$library: decorated export names (want plain cdecl names):"
        sed 's/^/  ! /' <<<"$decorated"
        status=1
    fi
    if [[ -n $duplicated ]]; then
        echo "$library: exported more than once:"
        sed 's/^/  ! /' <<<"$duplicated"
        status=1
    fi
    return $status
}

check_dll() {
    local library=$1 status=0 imports foreign
    imports=$(dll_imports "$library")
    foreign=$(tr 'A-Z' 'a-z' <<<"$imports" | grep -Ev "$allowed_imports" | sed '/^$/d' || true)
    if [[ -n $foreign ]]; then
        echo "$library: imports DLLs that are not part of Windows (link statically):"
        sed 's/^/  ! /' <<<"$foreign"
        status=1
    fi
    compare "$library" "$(dll_exports "$library")" "$declared" || status=1
    if [[ $status -eq 0 ]]; then
        echo "$library: $(wc -l <<<"$declared") exports match the header; imports: $(echo $imports)"
    fi
    return $status
}

check_implib() {
    local library=$1
    compare "$library" "$(implib_exports "$library")" "$declared" || return 1
    echo "$library: $(wc -l <<<"$declared") imports match the header"
}

check_so() {
    local library=$1
    compare "$library" "$(so_exports "$library")" "$declared" || return 1
    echo "$library: $(wc -l <<<"$declared") exports match the header"
}

declared=$(declared_names)
if [[ -z $declared ]]; then
    echo "check-exports: no VANTOR_API declarations found in $header" >&2
    exit 1
fi

libraries=("$@")
if [[ ${#libraries[@]} -eq 0 ]]; then
    for candidate in "$root"/build/mingw-i686/bin/TamberLauncher.dll \
                     "$root"/build/release/bin/libTamberLauncher.so \
                     "$root"/build/dev/bin/libTamberLauncher.so; do
        [[ -f $candidate ]] && libraries+=("$candidate")
    done
    if [[ ${#libraries[@]} -eq 0 ]]; then
        echo "check-exports: no built library found; build mingw-i686 or dev first" >&2
        exit 1
    fi
fi

failed=0
for library in "${libraries[@]}"; do
    if [[ ! -f $library ]]; then
        echo "$library: no such file"
        failed=1
    elif [[ $library == *.dll ]]; then
        check_dll "$library" || failed=1
    elif [[ $library == *.lib || $library == *.dll.a ]]; then
        check_implib "$library" || failed=1
    else
        check_so "$library" || failed=1
    fi
done
exit $failed
