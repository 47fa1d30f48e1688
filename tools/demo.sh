#!/usr/bin/env bash
# The whole road, as the real thing runs: the example launcher starts the
# example Air client, which asks for the example game, which connects back;
# chat goes both ways; CLOSE ends everything. Prints a timeline, where the
# three log files are, and exits 0 only when every step happened.
#
#   bash tools/demo.sh              build what is needed, then run
#   bash tools/demo.sh --bin DIR    run the programs already built in DIR
#   bash tools/demo.sh --bin DIR --wine   run Windows builds under Wine
#                                         (in the scratch prefix $WINEPREFIX)
#   --hold SECONDS    the Air client keeps the connections open that long
#                     before CLOSE (25 s or more shows heartbeats; at most 120)
#   --capture FILE    capture the run's traffic into FILE (dumpcap, as root);
#                     tools/wireshark/tamber.lua decodes it
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=""
wine=0
capture=""
while [ $# -gt 0 ]; do
  case "$1" in
    --bin) bin=$2; shift 2 ;;
    --wine) wine=1; shift ;;
    --hold) export VANTOR_DEMO_HOLD_SECONDS=$2; shift 2 ;;
    --capture) capture=$(realpath -m "$2"); shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "demo: unknown argument: $1" >&2; exit 2 ;;
  esac
done

say() { printf 'demo: %s\n' "$*"; }

if [ $wine -eq 1 ] && [ -z "${WINEPREFIX:-}" ]; then
  say "--wine runs in a scratch prefix: set WINEPREFIX (never ~/.wine)"
  exit 2
fi

if [ -z "$bin" ]; then
  missing=""
  for tool in cmake g++ make; do command -v "$tool" >/dev/null || missing="$missing $tool"; done
  if [ -n "$missing" ]; then
    say "installing the build tools:$missing"
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends cmake g++ make >/dev/null
  fi
  say "building the library and the example hosts (build/demo)"
  cmake -S "$root" -B "$root/build/demo" -DCMAKE_BUILD_TYPE=Release -DTAMBER_BUILD_TESTS=OFF >/dev/null
  cmake --build "$root/build/demo" -j2 --target example_launcher example_air_client example_game >/dev/null
  bin="$root/build/demo/bin"
fi

exe=""
[ $wine -eq 1 ] && exe=".exe"
work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-demo.XXXXXX")
launcher_pid=""
capture_pid=""

# Every process started from the temp folder is ended by id; the folder goes.
cleanup() {
  [ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null || true
  [ -n "$capture_pid" ] && kill "$capture_pid" 2>/dev/null || true
  for proc in /proc/[0-9]*; do
    target=$(readlink "$proc/exe" 2>/dev/null || true)
    cmdline=$( { tr '\0' ' ' < "$proc/cmdline"; } 2>/dev/null || true)
    case "$target $cmdline" in
      *"$work"*) kill -9 "${proc#/proc/}" 2>/dev/null || true ;;
    esac
  done
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

for program in launcher air game; do
  cp "$bin/vantor-demo-$program$exe" "$work/"
done
[ $wine -eq 1 ] && cp "$bin/TamberLauncher.dll" "$work/"

# Three distinct ports that nothing listens on, below Linux's range of
# ephemeral ports (32768 and up), where outgoing connections could hold them.
free_port() {
  local port
  for _ in $(seq 1 200); do
    port=$((20000 + RANDOM % 12000))
    case " $* " in *" $port "*) continue ;; esac
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then echo "$port"; return; fi
  done
  echo "demo: no free port found" >&2; exit 1
}
launcher_port=$(free_port)
air_port=$(free_port "$launcher_port")
game_port=$(free_port "$launcher_port" "$air_port")

if [ -n "$capture" ]; then
  dumpcap -i lo -f "tcp port $launcher_port or tcp port $air_port or tcp port $game_port" -w "$capture" \
    >/dev/null 2>"$work/dumpcap.txt" &
  capture_pid=$!
  for _ in $(seq 1 100); do grep -q "File:" "$work/dumpcap.txt" && break; sleep 0.1; done
  sleep 0.5
  grep -q "File:" "$work/dumpcap.txt" || { cat "$work/dumpcap.txt" >&2; say "the capture did not start"; exit 1; }
fi

export VANTOR_DEMO_START_MS=$(date +%s%3N)
export VANTOR_DEMO_TIMELINE="$work/timeline.txt"
: > "$VANTOR_DEMO_TIMELINE"

air_path="$work/vantor-demo-air$exe"
game_path="$work/vantor-demo-game$exe"
# The tests' Wine runner: it picks the loader that can run here.
wine_run="$root/cmake/wine-run.sh"
if [ $wine -eq 1 ]; then
  air_path=$("$wine_run" winepath -w "$air_path" 2>/dev/null)
  game_path=$("$wine_run" winepath -w "$game_path" 2>/dev/null)
  export WINEDEBUG=-all
fi

say "running in $work (ports: launcher $launcher_port, air $air_port, game $game_port)"
say "the launcher pauses 5 s before and after each process start: the run takes 10 to 20 s"
echo "   time  process  what happened"
(
  cd "$work"
  if [ $wine -eq 1 ]; then
    exec "$wine_run" "./vantor-demo-launcher.exe" "$air_path" "$game_path" "$launcher_port" "$air_port" "$game_port"
  else
    exec "./vantor-demo-launcher" "$air_path" "$game_path" "$launcher_port" "$air_port" "$game_port"
  fi
) >/dev/null 2>"$work/launcher-stderr.txt" &
launcher_pid=$!

# Follow the timeline; never stay silent for more than a few seconds.
shown=0
quiet=0
deadline=$((SECONDS + 150))
while kill -0 "$launcher_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
  lines=$(wc -l < "$VANTOR_DEMO_TIMELINE")
  if [ "$lines" -gt "$shown" ]; then
    sed -n "$((shown + 1)),${lines}p" "$VANTOR_DEMO_TIMELINE"
    shown=$lines
    quiet=0
  else
    quiet=$((quiet + 1))
    if [ $quiet -ge 12 ]; then
      echo "         ...      still waiting (a process start takes about 10 s)"
      quiet=0
    fi
  fi
  sleep 0.25
done
status=0
if kill -0 "$launcher_pid" 2>/dev/null; then
  say "the launcher did not finish within 150 s"
  status=1
else
  wait "$launcher_pid" || status=$?
fi
launcher_pid=""
if [ -n "$capture_pid" ]; then
  kill -INT "$capture_pid" 2>/dev/null
  wait "$capture_pid" 2>/dev/null || true
  capture_pid=""
  say "traffic captured in $capture (tshark -X lua_script:$root/tools/wireshark/tamber.lua -r $capture)"
fi
lines=$(wc -l < "$VANTOR_DEMO_TIMELINE")
[ "$lines" -gt "$shown" ] && sed -n "$((shown + 1)),${lines}p" "$VANTOR_DEMO_TIMELINE"

# Every step of the road, in the words the programs print.
missing=0
check() {
  if ! grep -qF -- "$2" "$VANTOR_DEMO_TIMELINE"; then
    say "missing step: $1"
    missing=1
  fi
}
check "the launcher opened its servers" "launcher servers ready"
check "the Air client connected" "air      connected to the Air server"
check "the Air client asked for the game" "air      sent VANTORMESSAGETYPE_GAMECLIENT_CREATE"
check "the game connected back" "game     connected to the game server"
check "the Air client heard that the game launched" "air      received VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED"
check "chat reached the game" "game     chat from Air: hello game"
check "chat reached the Air client" "air      received VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME"
check "CLOSE reached the game" "game     received VANTORMESSAGETYPE_CLOSE"
check "the game reported that it stopped" "air      received VANTORMESSAGETYPE_GAMECLIENT_STOPPED"
check "the launcher ended the run" "launcher the run is over"

logs="$root/build/demo-logs"
mkdir -p "$logs"
cp "$work"/vantor-*.log "$logs/" 2>/dev/null || true
echo
say "log files (copied from the run folder, which is removed now):"
for log in launcher air game; do echo "      $logs/vantor-$log.log"; done

if [ "$status" -ne 0 ] || [ "$missing" -ne 0 ]; then
  [ -s "$work/launcher-stderr.txt" ] && cat "$work/launcher-stderr.txt" >&2
  say "FAILED: the road was not walked to its end (launcher exit code $status)"
  exit 1
fi
say "the whole road was walked: launch, connect, chat both ways, close"
