#!/bin/bash
# End to end under Wine, over real Win32 mailslots and Winsock on loopback port 19150:
#   qvslot listen "Quelvane\Messages"  <-  QVRemoteServer --headless  <-  TCP  <-
#   QVRemoteClient --headless  <-  qvslot send "Quelvane\RemoteSender"
# A message with bytes above 127 must arrive with its exact bytes.
# Usage: e2e_wine.sh WINE_RUN BIN_DIR
set -u
wine_run=$1
bin=$2
work=$(mktemp -d)
# Each program runs as the background job itself (wine-run.sh execs Wine), so its id is the
# Windows program's own and the cleanup can end it.
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "FAIL: $*"
  for f in "$work"/*.log; do echo "--- $(basename "$f")"; cat "$f"; done
  exit 1
}
# Waits up to 60 s (Wine starts slowly) for a line in a log file.
await() {
  local file=$1 text=$2
  for _ in $(seq 600); do
    grep -q "$text" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# The client's settings file in the prefix's local application data (the shell's folder).
"$wine_run" cmd /c "echo %LOCALAPPDATA%" >"$work/appdata.txt" 2>/dev/null
appdata_win=$(tr -d '\r' <"$work/appdata.txt")
prefix=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$wine_run")
appdata_unix="$prefix/drive_c/${appdata_win#C:\\}"
appdata_unix=${appdata_unix//\\//}
settings_dir="$appdata_unix/Quelvane/Remote Sender"
mkdir -p "$settings_dir"
printf "object Settings: TSettings\r\n  Filter_Message = True\r\n  Filter_QVAction_Presenter_SetPage = False\r\n  Host = '127.0.0.1'\r\nend\r\n" \
  >"$settings_dir/RemoteSender.cfg"

"$wine_run" "$bin/qvslot.exe" listen --hex --count 1 --timeout 120 'Quelvane\Messages' \
  >"$work/listen.out" 2>"$work/listen.log" &
pids+=($!)
await "$work/listen.log" "listening on" || fail "qvslot listen did not start"

"$wine_run" "$bin/QVRemoteServer.exe" --headless >"$work/server.out" 2>"$work/server.log" &
pids+=($!)
await "$work/server.log" "ready, listening on port 19150" || fail "server did not start"

"$wine_run" "$bin/QVRemoteClient.exe" --headless >"$work/client.out" 2>"$work/client.log" &
pids+=($!)
await "$work/client.log" "ready, reading" || fail "client did not start"

# "Grüße, €5 ÿ" in Windows-1252: bytes above 127 only the code page gives meaning to.
message=47727cfcdf652c20803520ff
"$wine_run" "$bin/qvslot.exe" send --hex 'Quelvane\RemoteSender' "$message" 2>"$work/send.log" \
  || fail "qvslot send failed"

wait "${pids[0]}" || fail "qvslot listen ended without the message"
received=$(tr -d '\r\n' <"$work/listen.out")
[ "$received" = "$message" ] || fail "received '$received', sent '$message'"
grep -q "Host = '127.0.0.1'" "$settings_dir/RemoteSender.cfg" || fail "settings file lost"
echo "PASS: $message arrived unchanged"
