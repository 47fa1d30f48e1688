#!/usr/bin/env bash
# Installs a build into a temp prefix, then builds a tiny C consumer against
# the installed tree in two ways, find_package and pkg-config, and runs both.
#   install_test.sh BUILD_DIR CMAKE C_COMPILER "C_FLAGS" "LINKER_FLAGS"
# The build's own flags go to the consumer too: a library built with a
# sanitizer needs its runtime in the program that loads it.
set -euo pipefail

build=$1 cmake=$2 cc=$3 cflags=$4 ldflags=$5
work=$(mktemp -d "${TMPDIR:-/tmp}/tamber-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() {
    echo "install test: $*" >&2
    exit 1
}

command -v pkg-config >/dev/null || fail "pkg-config is missing (apt-get install pkg-config)"

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || {
    cat "$work/install.log"
    fail "cmake --install failed"
}

# Exactly the header, the library and the two package descriptions.
installed=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
echo "installed:"
echo "$installed" | sed 's/^/  /'
libdir=$(dirname "$(echo "$installed" | grep -E '/libTamberLauncher\.so$')")
[[ $libdir != . ]] || fail "no libTamberLauncher.so installed"
version=$(sed -n 's/^Version: //p' "$prefix/$libdir/pkgconfig/TamberLauncher.pc")
expected=$(printf '%s\n' \
    include/TamberLauncher.h \
    "$libdir/libTamberLauncher.so" \
    "$libdir/libTamberLauncher.so.1" \
    "$libdir/libTamberLauncher.so.$version" \
    "$libdir/cmake/TamberLauncher/TamberLauncherConfig.cmake" \
    "$libdir/cmake/TamberLauncher/TamberLauncherConfigVersion.cmake" \
    "$libdir/cmake/TamberLauncher/TamberLauncherTargets.cmake" \
    "$libdir/pkgconfig/TamberLauncher.pc" | sort)
# The per-configuration targets file is named after the build type.
actual=$(echo "$installed" | grep -v -E '/TamberLauncherTargets-[a-z]+\.cmake$')
[[ $actual == "$expected" ]] || fail "unexpected set of installed files"
echo "$installed" | grep -q -E '/TamberLauncherTargets-[a-z]+\.cmake$' || fail "no per-configuration targets file"
# Programs record the major version's name; the two shorter names are links.
soname=$(objdump -p "$prefix/$libdir/libTamberLauncher.so.$version" | awk '$1 == "SONAME" { print $2 }')
[[ $soname == libTamberLauncher.so.1 ]] || fail "soname is '$soname', not libTamberLauncher.so.1"
[[ -L $prefix/$libdir/libTamberLauncher.so && -L $prefix/$libdir/libTamberLauncher.so.1 ]] || fail "the .so and .so.1 are not links"

mkdir "$work/consumer"
cat >"$work/consumer/consumer.c" <<'SOURCE'
#include <stdio.h>

#include <TamberLauncher.h>

int main(void) {
    char name[80];
    if (Vantor_MessageTypeToString(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, name, sizeof name) != 1) return 1;
    printf("%s\n", name);
    return 0;
}
SOURCE
cat >"$work/consumer/CMakeLists.txt" <<'SOURCE'
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(TamberLauncher 1.0 REQUIRED)
add_executable(consumer consumer.c)
target_link_libraries(consumer PRIVATE TamberLauncher::TamberLauncher)
SOURCE

expect_name() {
    local what=$1 output
    shift
    output=$("$@") || fail "$what: the consumer failed"
    [[ $output == VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME ]] || fail "$what: the consumer printed '$output'"
    echo "$what: $output"
}

# CMake: find_package through CMAKE_PREFIX_PATH; the build tree's rpath finds the library.
"$cmake" -S "$work/consumer" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    >"$work/cmake.log" 2>&1 || {
    cat "$work/cmake.log"
    fail "configuring the find_package consumer failed"
}
"$cmake" --build "$work/cmake-build" >>"$work/cmake.log" 2>&1 || {
    cat "$work/cmake.log"
    fail "building the find_package consumer failed"
}
expect_name "find_package" "$work/cmake-build/consumer"

# pkg-config: the flags it gives, and the library found at run time by path.
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
version=$(pkg-config --modversion TamberLauncher) || fail "pkg-config does not know TamberLauncher"
echo "pkg-config: TamberLauncher $version, $(pkg-config --cflags --libs TamberLauncher)"
# shellcheck disable=SC2046,SC2086  # the flags are words
"$cc" $cflags "$work/consumer/consumer.c" -o "$work/pc-consumer" $(pkg-config --cflags --libs TamberLauncher) \
    $ldflags || fail "building the pkg-config consumer failed"
LD_LIBRARY_PATH=$prefix/$libdir expect_name "pkg-config" "$work/pc-consumer"
