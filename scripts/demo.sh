#!/usr/bin/env bash
# The whole road on one machine: a stand-in for the presentation program owns
# "Quelvane\Messages", QVRemoteServer and QVRemoteClient run headless, and a few messages
# written into "Quelvane\RemoteSender" are shown as they arrive. Everything runs in
# temporary per-user folders and is stopped at the end.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
cd "$QVR_ROOT"
qvr_install_packages
QVR_TARGETS="QVRemoteServer QVRemoteClient qvslot" qvr_build build -DQVR_BUILD_GUI=ON >/dev/null
bin="$QVR_ROOT/build/bin"

work=$(mktemp -d)
export XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/data"
mkdir -m 700 "$XDG_RUNTIME_DIR" && mkdir "$XDG_DATA_HOME"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# wait_for <file> <text>: until the text shows in the file (at most 10 s).
wait_for() {
  local i
  for i in $(seq 100); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "demo: timed out waiting for '$2' in $1:" >&2
  cat "$1" >&2
  return 1
}

messages=(
  "Hello from the stage"
  "Grüße aus dem Saal – Lied 5, 12 €"
)
expected=$((${#messages[@]} + 1))

echo "1. The stand-in for the presentation program owns Quelvane\\Messages"
"$bin/qvslot" listen --count "$expected" --timeout 30 'Quelvane\Messages' \
  >"$work/arrived.txt" 2>"$work/listen.err" &
pids+=($!)
wait_for "$work/listen.err" "listening on"

echo "2. QVRemoteServer listens on port 19150"
"$bin/QVRemoteServer" --headless 2>"$work/server.err" &
pids+=($!)
wait_for "$work/server.err" "ready"

echo "3. QVRemoteClient owns Quelvane\\RemoteSender and relays to localhost"
"$bin/QVRemoteClient" --headless 2>"$work/client.err" &
pids+=($!)
wait_for "$work/client.err" "ready"

echo "4. Messages written into Quelvane\\RemoteSender:"
for m in "${messages[@]}"; do
  echo "   sent:    $m"
  "$bin/qvslot" send 'Quelvane\RemoteSender' "$m"
done
echo "   sent:    a command document (qvslot command SetPage 12 '')"
"$bin/qvslot" command SetPage 12 ''

echo "5. What arrived in Quelvane\\Messages:"
for i in $(seq 100); do
  [ "$(grep -c '' "$work/arrived.txt")" -ge $((expected + 1)) ] && break
  sleep 0.1
done
sed 's/^/   arrived: /' "$work/arrived.txt"
for m in "${messages[@]}" '<QuelvaneIPC><Remote><SetPage Param1="12" Param2=""/></Remote></QuelvaneIPC>'; do
  if ! grep -Fxq -- "$m" "$work/arrived.txt"; then
    echo "demo: FAILED, this did not arrive: $m" >&2
    echo "--- server:" >&2; cat "$work/server.err" >&2
    echo "--- client:" >&2; cat "$work/client.err" >&2
    exit 1
  fi
done
echo "Done: every message arrived; stopping the programs."
