#!/usr/bin/env bash
# The project's test command. Installs what the chosen tiers lack (Debian 12,
# as root), then runs each tier in order and stops at the first one that fails:
#   dev         formatting (see format_check), Linux debug build and tests
#   bench-smoke the benchmark's release build, every row run briefly; no
#               figure is judged (see docs/performance.md)
#   asan        AddressSanitizer + UndefinedBehaviorSanitizer build and tests
#   tsan        ThreadSanitizer build and tests
#   mingw-x64   Windows x86_64 build, tests under Wine in a fresh prefix
#   mingw-i686  the shipped 32-bit DLL: the tests (the demo and the Windows
#               package's consumers among them) under 32-bit Wine in a fresh
#               prefix, the export and import tables (and the Linux
#               library's exports); where the kernel runs no 32-bit
#               programs, QEMU 10 is set up to run them (as root)
#   fuzz        libFuzzer targets (executables named *fuzz*), 60 s each;
#               skipped while there are none
# A one-line summary per tier (tests, wall time) closes the run.
#
#   bash tools/run-tests.sh
#   TAMBER_TIERS="dev asan" bash tools/run-tests.sh     # a subset, in this order
#   TAMBER_I686_EMULATE=1 ...   # 32-bit programs through QEMU even where the kernel runs them
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

all_tiers="dev bench-smoke asan tsan mingw-x64 mingw-i686 fuzz"
tiers=${TAMBER_TIERS:-$all_tiers}
for tier in $tiers; do
    if [[ " $all_tiers " != *" $tier "* ]]; then
        echo "run-tests: unknown tier '$tier' (tiers: $all_tiers)" >&2
        exit 2
    fi
done

fuzz_seconds=${TAMBER_FUZZ_SECONDS:-60}  # shorter only for local tries
logs=$root/build/run-tests
mkdir -p "$logs"
summary=()
current=""       # the tier that runs now
started=0        # its start, in $SECONDS
failed_step=""   # what failed in it
wine_prefix=""
fuzz_corpus=""

stop_wine() {
    [[ -n $wine_prefix ]] || return 0
    WINEPREFIX=$wine_prefix timeout 60 wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$wine_prefix timeout 60 wineserver -w >/dev/null 2>&1 || true
    rm -rf "$wine_prefix"
    wine_prefix=""
}

finish() {
    local status=$?
    stop_wine
    [[ -z $fuzz_corpus ]] || rm -rf "$fuzz_corpus"
    if [[ -n $current ]]; then
        summary+=("$(printf '%-11s FAILED: %s (%d s)' "$current" "${failed_step:-stopped, exit $status}" \
            $((SECONDS - started)))")
    fi
    echo
    echo "==== summary"
    local line
    for line in "${summary[@]}"; do echo "$line"; done
    if [[ $status -eq 0 ]]; then echo "all tiers passed"; else echo "FAILED (exit $status)"; fi
    exit $status
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

begin() {
    current=$1
    started=$SECONDS
    failed_step=""
    : >"$logs/$current.log"
    echo
    echo "==== $current"
}

passed() {
    summary+=("$(printf '%-11s %s (%d s)' "$current" "$1" $((SECONDS - started)))")
    current=""
}

fail() {
    failed_step=$1
    exit 1
}

# Runs "$@" with its output also kept in the tier's log.
logged() {
    "$@" 2>&1 | tee -a "$logs/$current.log" || fail "$*"
}

configure_and_build() {
    logged cmake --preset "$current"
    logged cmake --build --preset "$current" -j2
}

ctest_count() {
    grep -Eo 'tests failed out of [0-9]+' "$logs/$current.log" | tail -n1 | grep -Eo '[0-9]+$' || echo 0
}

# The tests that ctest says did not run, one a line (a test skips itself where
# the system lacks what it checks).
ctest_skipped_names() {
    sed -n '/The following tests did not run:/,/^$/p' "$logs/$current.log" |
        sed -nE 's/^[[:space:]]*[0-9]+ - ([^ ]+).*/\1/p' | sort -u
}

# "N tests passed" and, after what the caller adds, ", M skipped (NAME ...)".
ctest_passed() {
    printf '%d tests passed' $(($(ctest_count) - $(ctest_skipped_names | wc -l)))
}
ctest_skipped() {
    local names
    names=$(ctest_skipped_names)
    [[ -z $names ]] || printf ', %d skipped (%s)' "$(wc -l <<<"$names")" "$(tr '\n' ' ' <<<"$names" | sed 's/ $//')"
}

# The Debian packages each tier needs; what is missing is installed in one go.
packages_for() {
    local common="cmake make g++ pkg-config binutils googletest"
    local wine="wine wine64 wine32:i386"
    case $1 in
        dev) echo "$common tshark clang-format" ;;
        bench-smoke | asan | tsan) echo "$common" ;;
        mingw-x64) echo "$common $wine g++-mingw-w64-x86-64" ;;
        mingw-i686) echo "$common $wine g++-mingw-w64-i686 binutils-mingw-w64-i686" ;;
        fuzz) echo "$common clang libclang-rt-14-dev" ;;
    esac
}

installed() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == "install ok installed" ]]
}

install_missing() {
    local tier package missing=()
    command -v dpkg-query >/dev/null || return 0  # not Debian: the tiers say what they lack
    for tier in $tiers; do
        for package in $(packages_for "$tier"); do
            installed "$package" || [[ " ${missing[*]} " == *" $package "* ]] || missing+=("$package")
        done
    done
    [[ ${#missing[@]} -gt 0 ]] || return 0
    echo "run-tests: installing ${missing[*]}"
    if [[ $(id -u) -ne 0 ]]; then
        echo "run-tests: not root; install them first (apt-get install ${missing[*]})" >&2
        exit 2
    fi
    local log=$logs/install.log
    {
        if [[ " ${missing[*]} " == *":i386 "* && $(dpkg --print-foreign-architectures) != *i386* ]]; then
            dpkg --add-architecture i386
        fi
        apt-get update &&
            DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    } >"$log" 2>&1 || {
        tail -n 30 "$log"
        echo "run-tests: installing failed (log: $log)" >&2
        exit 2
    }
}

# Every C and C++ file of src/, include/, tests/, fuzz/, examples/, tools/ and
# bench/ as the root .clang-format lays it out (clang-format 14); the check
# names each place that differs.
format_check() {
    local files=()
    mapfile -t files < <(find src include tests fuzz examples tools bench -type f \
        \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) | sort)
    clang-format --dry-run --Werror "${files[@]}" 2>&1 | tee -a "$logs/$current.log" ||
        fail "formatting: clang-format --dry-run --Werror (the places are in the log)"
}

test_tier() {
    begin "$1"
    [[ $current != dev ]] || format_check
    configure_and_build
    logged ctest --preset "$current"
    passed "$(ctest_passed)$(ctest_skipped)"
}

exports_count() {
    grep -Eo 'TamberLauncher.dll: [0-9]+ exports' "$logs/$current.log" | grep -Eo '[0-9]+' | tail -n1
}

# A fresh prefix, never ~/.wine; a persistent server so programs start fast.
start_wine() {
    wine_prefix=$(mktemp -d "${TMPDIR:-/tmp}/tamber-wine-XXXXXX")
    export WINEPREFIX=$wine_prefix WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    wineserver -p >/dev/null 2>&1 || fail "wineserver -p"
    # Boot before ctest, with no pipe attached: the services that boot leaves
    # running inherit its output and would hold a pipe open for ever.
    timeout 300 cmake/wine-run.sh wineboot -i >/dev/null 2>&1 || fail "wineboot -i"
}

# How this machine runs 32-bit programs, such as Debian's 32-bit Wine loader:
# "native" when the kernel runs them itself, "emulated" when an enabled
# qemu-i386 entry in binfmt_misc hands them to QEMU (the entry wins over the
# kernel's own loader). TAMBER_I686_EMULATE=1 takes the emulated road anyway.
binfmt=/proc/sys/fs/binfmt_misc
qemu_entry=$binfmt/qemu-i386
qemu=/usr/bin/qemu-i386-static
# Magic and mask of an i386 ELF executable; F opens the interpreter now, so the
# entry keeps working in chroots and containers.
qemu_line=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FP'
cpu32=""         # native, or "emulated CPU, QEMU <version>"

runs_32bit() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# The version of the QEMU that the registered entry really runs (with F, an
# upgraded file on disk is not what runs until the entry is registered again).
registered_qemu_version() {
    [[ -f $qemu_entry ]] && [[ $(head -n1 "$qemu_entry") == enabled ]] || return 0
    QEMU_VERSION=1 /lib/ld-linux.so.2 --version 2>/dev/null | sed -nE '1s/^qemu-i386 version ([^ ]+.*)$/\1/p' || true
}

major_of() {
    local major=${1%%.*}
    [[ $major =~ ^[0-9]+$ ]] && echo "$major" || echo 0
}

say_32bit_setup_failed() {
    echo "run-tests: 32-bit programs: $1" >&2
    exit 2
}

# Debian 12's own QEMU 7.2 runs 32-bit Wine wrongly (crashes under the DLL's
# threads); the backports suite has QEMU 10, which runs it right.
install_qemu10() {
    local site keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    local list=/etc/apt/sources.list.d/tamber-bookworm-backports.sources
    local log=$logs/install-qemu.log
    site=$(apt-get indextargets --format '$(SITE) $(CODENAME) $(COMPONENT)' 'Created-By: Packages' 2>/dev/null |
        awk '$2 == "bookworm" && $3 == "main" { print $1; exit }' || true)
    if ! grep -rqs '^Suites:.*bookworm-backports\|^deb .* bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d; then
        {
            echo "Types: deb"
            echo "URIs: ${site:-http://deb.debian.org/debian}"
            echo "Suites: bookworm-backports"
            echo "Components: main"
            [[ ! -f $keyring ]] || echo "Signed-By: $keyring"
        } >"$list" || say_32bit_setup_failed "cannot write $list"
    fi
    { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        -t bookworm-backports qemu-user-static; } >"$log" 2>&1 || {
        tail -n 30 "$log"
        say_32bit_setup_failed "installing qemu-user-static from bookworm-backports failed (log: $log)"
    }
    [[ $(major_of "$("$qemu" --version 2>/dev/null | sed -nE '1s/.* version ([^ ]+).*/\1/p')") -ge 10 ]] ||
        say_32bit_setup_failed "bookworm-backports gave no QEMU 10 or later (log: $log)"
}

# Makes 32-bit programs run: QEMU 10 installed and registered for i386 ELF,
# only what is missing, and one line that says what was done.
setup_32bit() {
    local done=() installed_now=0
    if [[ $(id -u) -ne 0 ]]; then
        say_32bit_setup_failed "they need QEMU 10 registered in binfmt_misc, which needs root"
    fi
    if [[ $(major_of "$("$qemu" --version 2>/dev/null | sed -nE '1s/.* version ([^ ]+).*/\1/p')") -lt 10 ]]; then
        install_qemu10
        installed_now=1
        done+=("installed QEMU $("$qemu" --version | sed -nE '1s/.* version ([^ ]+).*/\1/p') from bookworm-backports;")
    fi
    if [[ ! -e $binfmt/register ]]; then
        mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
            say_32bit_setup_failed "cannot mount binfmt_misc on $binfmt"
        done+=("mounted binfmt_misc;")
    fi
    if [[ -e $qemu_entry ]] && { [[ $installed_now -eq 1 ]] || [[ $(major_of "$(registered_qemu_version)") -lt 10 ]]; }; then
        echo -1 >"$qemu_entry" 2>/dev/null || say_32bit_setup_failed "cannot remove the old entry $qemu_entry"
        done+=("removed the old qemu-i386 entry;")
    fi
    if [[ ! -e $qemu_entry ]]; then
        printf '%s' "$qemu_line" >"$binfmt/register" 2>/dev/null ||
            say_32bit_setup_failed "cannot register $qemu in $binfmt/register"
        done+=("registered $qemu for i386 programs")
    fi
    echo "run-tests: 32-bit programs: ${done[*]:-nothing to do}"
    runs_32bit || say_32bit_setup_failed "/lib/ld-linux.so.2 --version still does not run"
}

# Decides how 32-bit programs run here, setting QEMU 10 up where needed.
prepare_32bit() {
    local version
    version=$(registered_qemu_version)
    if [[ -z $version ]] && [[ -z ${TAMBER_I686_EMULATE:-} ]] && runs_32bit; then
        cpu32=native
        return
    fi
    [[ $(major_of "$version") -ge 10 ]] && runs_32bit || setup_32bit
    cpu32="emulated CPU, QEMU $(registered_qemu_version)"
}

wine_tier() {
    begin "$1"
    configure_and_build
    local bin=build/$current/bin wine_kind=Wine
    if [[ $current == mingw-i686 ]]; then
        prepare_32bit
        wine_kind="32-bit Wine ($cpu32)"
    fi
    start_wine
    # A test that fails once under Wine runs once more, so that one rare fault
    # does not hide the rest of the run; the summary names every such test.
    logged ctest --preset "$current" --repeat until-pass:2
    local count extra="" retried
    count=$(ctest_passed)
    retried=$(sed -nE 's/.*Test +#[0-9]+: ([^ ]+) \.*[*]{3}(Failed|Timeout|Exception).*/\1/p' "$logs/$current.log" |
        sort -u | tr '\n' ' ')
    [[ -z $retried ]] || extra=", PASSED ONLY ON A SECOND TRY: $retried"
    if [[ $current == mingw-i686 ]]; then
        # The Linux library too, freshly built, so both tables are checked together.
        logged cmake --preset dev
        logged cmake --build --preset dev -j2 --target TamberLauncher
        logged bash tools/check-exports.sh "$bin/TamberLauncher.dll" "build/$current/package/TamberLauncher.lib" \
            build/dev/bin/libTamberLauncher.so
        extra=", $(exports_count) exports match the header (DLL, .lib, .so)$extra"
    fi
    stop_wine
    unset WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
    passed "$count under $wine_kind$(ctest_skipped)$extra"
}

bench_smoke_tier() {
    begin bench-smoke
    logged cmake --preset bench
    logged cmake --build --preset bench -j2
    logged build/bench/bin/tamber_bench --smoke
    passed "every row ran"
}

fuzz_tier() {
    begin fuzz
    configure_and_build
    local targets=()
    mapfile -t targets < <(find build/fuzz/bin -maxdepth 1 -type f -perm -u+x -name '*fuzz*' 2>/dev/null | sort)
    if [[ ${#targets[@]} -eq 0 ]]; then
        echo "no fuzz targets yet: nothing to run"
        passed "no fuzz targets yet, skipped"
        return
    fi
    local target name status
    local artifacts=$root/build/fuzz/artifacts
    mkdir -p "$artifacts"
    for target in "${targets[@]}"; do
        name=$(basename "$target")
        fuzz_corpus=$(mktemp -d "${TMPDIR:-/tmp}/tamber-corpus-XXXXXX")
        echo "---- $name, ${fuzz_seconds} s"
        status=0
        "$target" -max_total_time=$fuzz_seconds -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$artifacts/" "$fuzz_corpus" >"$logs/fuzz-$name.log" 2>&1 || status=$?
        rm -rf "$fuzz_corpus"
        fuzz_corpus=""
        if [[ $status -ne 0 ]]; then
            tail -n 60 "$logs/fuzz-$name.log"
            fail "$name exited $status; crashing input in $artifacts, log in $logs/fuzz-$name.log"
        fi
        grep -E '^Done' "$logs/fuzz-$name.log" || true
    done
    local noun=targets
    [[ ${#targets[@]} -ne 1 ]] || noun=target
    passed "${#targets[@]} $noun x ${fuzz_seconds} s, no crash"
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

install_missing
for tier in $tiers; do
    case $tier in
        dev | asan | tsan) test_tier "$tier" ;;
        bench-smoke) bench_smoke_tier ;;
        mingw-x64 | mingw-i686) wine_tier "$tier" ;;
        fuzz) fuzz_tier ;;
    esac
done
