#!/usr/bin/env bash
# Captures a real exchange on the loopback interface and decodes it with the
# dissector: two vantor-peer processes talk through the library, then bash
# sends raw bytes (a message split in two segments, two messages in one
# segment, a wrong version). Checks the decoded messages in order, that every
# reply points at the message it answers, and the expert warning.
#
#   capture_test.sh VANTOR_PEER TAMBER_LUA      exit 77: skipped (not root, no tshark)
set -uo pipefail
peer_program=$1
dissector=$2

[ "$(id -u)" -eq 0 ] || { echo "SKIP: capturing on the loopback interface needs root"; exit 77; }
command -v dumpcap >/dev/null && command -v tshark >/dev/null ||
  { echo "SKIP: tshark is not installed (apt-get install tshark)"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tamber-wire.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Waits up to 15 s for a text in a file.
wait_for() {
  for _ in $(seq 1 150); do grep -qF -- "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  fail "no '$2' in $(basename "$1") within 15 s: $(cat "$1" 2>/dev/null)"
}

# The peer runs under a name of its own, since the library ends processes by name.
peer="$work/vt$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
cp "$peer_program" "$peer"

port=""
for _ in $(seq 1 100); do
  candidate=$((20000 + RANDOM % 12000))
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then port=$candidate; break; fi
done
[ -n "$port" ] || fail "no free port"

dumpcap -i lo -f "tcp port $port" -w "$work/capture.pcapng" >/dev/null 2>"$work/dumpcap.txt" &
pids+=($!)
wait_for "$work/dumpcap.txt" "File:"
sleep 0.5

mkfifo "$work/server.in" "$work/client.in"
exec 7<>"$work/server.in" 8<>"$work/client.in"
(cd "$work" && exec "$peer" listen "$port" <server.in >server.out 2>server.err) &
pids+=($!)
wait_for "$work/server.err" "listening on"
(cd "$work" && exec "$peer" connect "$port" <client.in >client.out 2>client.err) &
pids+=($!)
wait_for "$work/client.err" "connected to"

echo "CHATMESSAGE_TO_GAME hello game" >&8
wait_for "$work/server.out" '"hello game"'
echo "CHATMESSAGE_FROM_GAME hello air" >&7
wait_for "$work/client.out" '"hello air"'
echo "GAMECLIENT_LAUNCHED" >&8
wait_for "$work/server.out" "GAMECLIENT_LAUNCHED"

# Raw sends: header fields little-endian, payload without a terminating zero.
byte() { printf '\\x%02x\\x00\\x00\\x00' "$1"; }
header() { printf "$(byte 16)$(byte "$1")$(byte "$2")$(byte "$3")"; }
exec 9<>"/dev/tcp/127.0.0.1/$port"
{ header 1 11 5; printf split; } > "$work/split"
head -c 10 "$work/split" >&9
sleep 0.3
tail -c +11 "$work/split" >&9
wait_for "$work/server.out" '"split"'
{ header 1 12 5; printf first; header 1 12 6; printf second; } > "$work/two"
cat "$work/two" >&9
wait_for "$work/server.out" '"second"'
{ header 2 11 3; printf bad; } > "$work/bad"
cat "$work/bad" >&9
wait_for "$work/server.out" '"bad"'
exec 9>&-
echo quit >&8
echo quit >&7
sleep 0.5
kill -INT "${pids[0]}"
wait "${pids[0]}"

tshark -r "$work/capture.pcapng" -X "lua_script:$dissector" -o tcp.try_heuristic_first:TRUE -Y tamber \
  -T fields -E aggregator='|' -e frame.number -e tcp.len -e _ws.col.Info -e tamber.reply_to \
  -e tamber.response_time -e _ws.expert.message > "$work/decoded.txt" 2>"$work/tshark.txt" ||
  fail "tshark: $(cat "$work/tshark.txt")"

# The messages other than replies and heartbeats, one line per frame.
sequence=$(awk -F'\t' '{ n = split($3, m, ", "); line = "";
  for (i = 1; i <= n; i++) if (m[i] != "REPLY" && m[i] != "HEARTBEAT") line = line (line == "" ? "" : ", ") m[i];
  if (line != "") print line }' "$work/decoded.txt")
expected='CHATMESSAGE_TO_GAME "hello game"
CHATMESSAGE_FROM_GAME "hello air"
GAMECLIENT_LAUNCHED
CHATMESSAGE_TO_GAME "split"
CHATMESSAGE_FROM_GAME "first", CHATMESSAGE_FROM_GAME "second"
CHATMESSAGE_TO_GAME (rejected) "bad"'
[ "$sequence" = "$expected" ] || fail "decoded messages:
$sequence
expected:
$expected
$(cat "$work/decoded.txt")"

# The split message came whole out of its second segment (11 of its 21 bytes).
awk -F'\t' '$3 ~ /"split"/ && $2 == 11 { found = 1 } END { exit !found }' "$work/decoded.txt" ||
  fail "the split message was not reassembled from two segments: $(cat "$work/decoded.txt")"

# Every answered message once among the replies' links, with a response time
# each; the rejected one is not answered.
answered=$(awk -F'\t' '{ n = split($3, m, ", ");
  for (i = 1; i <= n; i++) if (m[i] != "REPLY" && m[i] !~ /rejected/) print $1 }' "$work/decoded.txt" | sort)
links=$(cut -f4 "$work/decoded.txt" | tr '|' '\n' | sed '/^$/d' | sort)
times=$(cut -f5 "$work/decoded.txt" | tr '|' '\n' | sed '/^$/d' | wc -l)
[ "$answered" = "$links" ] && [ "$(echo "$links" | wc -l)" -eq 6 ] && [ "$times" -eq 6 ] ||
  fail "replies linked to frames [$(echo $links)], answered messages in frames [$(echo $answered)], $times response times"

grep -F '"bad"' "$work/decoded.txt" | grep -qF "Invalid version on incoming message" ||
  fail "the wrong version is not flagged: $(grep -F '"bad"' "$work/decoded.txt")"

# The port preference alone, without the heuristic, decodes the same.
tshark -r "$work/capture.pcapng" -X "lua_script:$dissector" --disable-heuristic tamber_tcp -o "tamber.ports:$port" \
  -Y tamber -T fields -e _ws.col.Info > "$work/by-port.txt" 2>"$work/tshark.txt" || fail "tshark: $(cat "$work/tshark.txt")"
cut -f3 "$work/decoded.txt" | cmp -s - "$work/by-port.txt" || fail "decoded by port: $(cat "$work/by-port.txt")"
echo "decoded $(wc -l < "$work/decoded.txt") frames as expected"
