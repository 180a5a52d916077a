#!/bin/bash
# Resident memory and CPU time of QVRemoteServer and QVRemoteClient while idle: both run, the
# client has relayed one message (so the relay connection is open), then nothing happens for
# 10 s. Reports VmRSS and VmHWM from /proc/PID/status and utime+stime from /proc/PID/stat over
# those 10 s, and, when strace works here, the system calls each made meanwhile.
#
# Usage: bench/compare/idle.sh HEADLESS_BIN_DIR [TRAY_BIN_DIR]
#   HEADLESS_BIN_DIR: QVRemoteServer, QVRemoteClient (run with --headless) and qvslot.
#   TRAY_BIN_DIR: a GUI build; its programs run as tray programs under Xvfb (no tray host:
#                 the client says so on standard error and runs on).
# Needs TCP port 19150 free. Bounded: every wait is at most 10 s; everything started here is
# stopped on exit; per-user state lives in a temporary folder.
set -euo pipefail

headless=$(cd "$1" && pwd)
tray=${2:+$(cd "$2" && pwd)}
idle_seconds=10
clock_ticks=$(getconf CLK_TCK)

if (exec 3<> /dev/tcp/127.0.0.1/19150) 2> /dev/null; then
  echo "port 19150 is in use; stop whatever listens there first" >&2
  exit 2
fi

root=$(mktemp -d /tmp/qvr-idle-XXXXXX)
pids=()
stop_pid() {
  local pid=$1
  kill -TERM "$pid" 2> /dev/null || return 0
  for _ in $(seq 100); do
    kill -0 "$pid" 2> /dev/null || { wait "$pid" 2> /dev/null || true; return 0; }
    sleep 0.1
  done
  kill -KILL "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
}
stop_all() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; --i)); do stop_pid "${pids[i]}"; done
  pids=()
}
cleanup() {
  stop_all
  rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

await() {
  for _ in $(seq 200); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}
listening() { ss -Hltn "sport = :19150" | grep -q .; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
status_kb() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }

# Counts the system calls of a process and its threads for the idle time; "-" without strace.
count_calls() {
  local pid=$1 out=$2
  if command -v strace > /dev/null; then
    timeout -s INT "$idle_seconds" strace -c -f -p "$pid" -o "$out" 2> /dev/null || true
    [[ -e $out ]] || echo "strace could not attach" >&2
  fi
}
# strace writes no table when it saw no call at all.
calls_total() {
  [[ -e $1 ]] || { echo "-"; return; }
  awk '$NF == "total" { total = $(NF - 2) } END { print total + 0 }' "$1"
}

# Runs both programs from BIN_DIR (mode headless or tray) and prints one line per program.
measure() {
  local mode=$1 bin=$2
  local run=$root/$mode
  mkdir -p "$run/run" "$run/data"
  chmod 0700 "$run/run"
  export XDG_RUNTIME_DIR=$run/run XDG_DATA_HOME=$run/data
  local flag=()
  [[ $mode == headless ]] && flag=(--headless)

  "$headless/qvslot" listen --count 1 --timeout 20 'Quelvane\Messages' > /dev/null \
    2> "$run/listen.log" &
  pids+=($!)
  local listener=$!
  "$bin/QVRemoteServer" "${flag[@]}" > /dev/null 2> "$run/server.log" &
  pids+=($!)
  local server=$!
  await listening || { echo "$mode: the server did not listen" >&2; return 1; }
  "$bin/QVRemoteClient" "${flag[@]}" > /dev/null 2> "$run/client.log" &
  pids+=($!)
  local client=$!
  await test -S "$XDG_RUNTIME_DIR/qvremote-slots/quelvane%5Cremotesender" ||
    { echo "$mode: the client did not own its slot" >&2; cat "$run/client.log" >&2; return 1; }
  "$headless/qvslot" send 'Quelvane\RemoteSender' 'idle check' ||
    { echo "$mode: the message was not placed" >&2; return 1; }
  await bash -c "! kill -0 $listener 2> /dev/null" ||
    { echo "$mode: the message did not arrive" >&2; return 1; }
  sleep 1

  local s0 c0
  s0=$(cpu_ticks "$server")
  c0=$(cpu_ticks "$client")
  count_calls "$server" "$run/server.calls" &
  local tracer1=$!
  count_calls "$client" "$run/client.calls" &
  local tracer2=$!
  sleep "$idle_seconds"
  wait "$tracer1" "$tracer2" 2> /dev/null || true
  local name pid before
  for name in server client; do
    if [[ $name == server ]]; then pid=$server before=$s0; else pid=$client before=$c0; fi
    printf "%-8s %-15s VmRSS %6s kB  VmHWM %6s kB  CPU over %s s: %s ms  system calls: %s\n" \
      "$mode" "QVRemote${name^}" "$(status_kb "$pid" VmRSS)" "$(status_kb "$pid" VmHWM)" \
      "$idle_seconds" "$((($(cpu_ticks "$pid") - before) * 1000 / clock_ticks))" \
      "$(calls_total "$run/$name.calls")"
  done
  stop_all
}

echo "machine: nproc $(nproc), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
measure headless "$headless"
if [[ -n $tray ]]; then
  display=99
  while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]] && ((display < 199)); do
    display=$((display + 1))
  done
  Xvfb ":$display" -nolisten tcp -screen 0 1024x768x24 > /dev/null 2> "$root/xvfb.log" &
  xvfb=$!
  if ! await test -e "/tmp/.X11-unix/X$display"; then
    echo "Xvfb did not start" >&2
    stop_pid "$xvfb"
    exit 1
  fi
  export DISPLAY=:$display
  measure tray "$tray" || true
  stop_pid "$xvfb"
  echo "tray: under Xvfb, DISPLAY=:$display, no tray host; client said:" \
    "$(tr '\n' ' ' < "$root/tray/client.log")"
fi
