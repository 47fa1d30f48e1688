#!/usr/bin/env bash
# Two copies of vantor-peer, one listening and one connected, driven through
# pipes: a typed line reaches the other side in each direction.
#   peer_smoke.sh VANTOR_PEER
# The copies run under a unique name: kill by name is a feature of the library.
set -euo pipefail

work=$(mktemp -d "${TMPDIR:-/tmp}/tamber-peer-XXXXXX")
pids=()
cleanup() {
    exec 3>&- 4>&- 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "peer smoke test: $*" >&2
    for f in "$work"/*.out "$work"/*.err; do echo "--- $f" >&2; cat "$f" >&2; done
    exit 1
}

# Polls up to 20 s for text in file.
wait_for() {
    for _ in $(seq 200); do
        grep -qF -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "no '$2' in $1"
}

name=vt$(od -An -N5 -tx1 /dev/urandom | tr -d ' \n')
cp "$1" "$work/$name"
mkfifo "$work/listen.in" "$work/connect.in"

for _ in 1 2 3 4 5; do
    port=$((20000 + RANDOM % 40000))
    (cd "$work/" && exec "./$name" listen "$port" <listen.in >listen.out 2>listen.err) &
    pids+=($!)
    exec 3>"$work/listen.in"
    for _ in $(seq 50); do
        grep -q "listening on" "$work/listen.err" 2>/dev/null && break 2
        kill -0 "${pids[-1]}" 2>/dev/null || break
        sleep 0.1
    done
    exec 3>&-
done
grep -q "listening on 127.0.0.1:$port" "$work/listen.err" || fail "the listening peer did not start"

(cd "$work/" && exec "./$name" connect "$port" <connect.in >connect.out 2>connect.err) &
pids+=($!)
connect_pid=$!
exec 4>"$work/connect.in"
wait_for "$work/connect.err" "vantor-peer: connected to 127.0.0.1:$port"

echo "GAMECLIENT_LAUNCHED v1.2" >&4
wait_for "$work/listen.out" 'received VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED (8) "v1.2"'
echo "chatmessage_to_game to every client" >&3
wait_for "$work/connect.out" 'received VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME (11) "to every client"'
echo "FOO bar" >&4
wait_for "$work/connect.err" "unknown message type 'FOO'"

exec 4>&-
status=0
wait "$connect_pid" || status=$?
[ "$status" -eq 0 ] || fail "the connected peer ended with $status"
echo "peer smoke test: passed"
