#!/usr/bin/env bash
# Makes the Windows package of a build, unpacks it into a temp folder, checks
# its files, its import libraries and the DLL's version resource, then builds
# consumer/consumer.c twice (linked with TamberLauncher.lib; through
# find_package) and runs both with the Wine runner.
#   package_test.sh BUILD_DIR CMAKE CPACK C_COMPILER TOOLCHAIN_FILE RUNNER
set -euo pipefail

build=$1 cmake=$2 cpack=$3 cc=$4 toolchain=$5 runner=$6
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tamber-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
    echo "package test: $*" >&2
    exit 1
}

# Shows a step's output only when it fails.
quiet() {
    local log=$work/step.log
    "$@" >"$log" 2>&1 || {
        cat "$log"
        fail "failed: $*"
    }
}

quiet "$cpack" -G ZIP --config "$build/CPackConfig.cmake" -B "$work/out"
zip=$(find "$work/out" -maxdepth 1 -name 'TamberLauncher-*-win*.zip')
[[ -n $zip ]] || fail "no TamberLauncher-<version>-win32.zip made"
package=$work/$(basename "$zip" .zip)
version=${package##*/TamberLauncher-}
version=${version%-win*}
(cd "$work" && "$cmake" -E tar xf "$zip")

# The per-configuration targets file is named after the build type.
listed=$(cd "$package" && find . -type f | sed -E 's|^\./||; s|Targets-[a-z]+\.cmake$|Targets-CONFIG.cmake|' | sort)
echo "$(basename "$zip"):"
echo "$listed" | sed 's/^/  /'
expected=$(printf '%s\n' README.txt bin/TamberLauncher.dll include/TamberLauncher.h \
    lib/TamberLauncher.def lib/TamberLauncher.lib lib/libTamberLauncher.dll.a \
    lib/cmake/TamberLauncher/TamberLauncherConfig.cmake \
    lib/cmake/TamberLauncher/TamberLauncherConfigVersion.cmake \
    lib/cmake/TamberLauncher/TamberLauncherTargets.cmake \
    lib/cmake/TamberLauncher/TamberLauncherTargets-CONFIG.cmake \
    lib/pkgconfig/TamberLauncher.pc | sort)
[[ $listed == "$expected" ]] || fail "unexpected set of files in the package"

bash "$root/tools/check-exports.sh" "$package/bin/TamberLauncher.dll" "$package/lib/TamberLauncher.lib" \
    "$package/lib/libTamberLauncher.dll.a" || fail "exports or imports differ from the header"
[[ $(grep -cE '^    Vantor[A-Za-z_]*$' "$package/lib/TamberLauncher.def") -eq $(grep -c '^    ' "$package/lib/TamberLauncher.def") ]] ||
    fail "TamberLauncher.def holds more than names"

resource=$(strings -e l "$package/bin/TamberLauncher.dll" | tr '\n' '|')
for entry in "FileVersion|$version|" "ProductVersion|$version|" "ProductName|TamberLauncher|" "FileDescription|"; do
    [[ $resource == *"$entry"* ]] || fail "the DLL's version resource lacks ${entry//|/ }"
done
echo "version resource: $version"

run_consumer() {
    local what=$1 exe=$2 output
    cp "$package/bin/TamberLauncher.dll" "$(dirname "$exe")/"
    output=$(cd "$(dirname "$exe")" && "$runner" "$exe") || fail "$what: the consumer exited $?"
    [[ $output == *"ping and pong through TamberLauncher $version"* ]] || fail "$what: the consumer printed '$output'"
    echo "$what: $output"
}

# A plain compiler command with the Microsoft-style import library.
mkdir "$work/lib-consumer"
quiet "$cc" -I"$package/include" "$here/consumer/consumer.c" "$package/lib/TamberLauncher.lib" -lws2_32 \
    -o "$work/lib-consumer/consumer.exe"
run_consumer "TamberLauncher.lib" "$work/lib-consumer/consumer.exe"

# CMake's find_package; the cross toolchain searches its own root only, so the
# package folder is named directly.
quiet "$cmake" -S "$here/consumer" -B "$work/cmake-consumer" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DTamberLauncher_DIR="$package/lib/cmake/TamberLauncher"
quiet "$cmake" --build "$work/cmake-consumer"
run_consumer "find_package" "$work/cmake-consumer/consumer.exe"
