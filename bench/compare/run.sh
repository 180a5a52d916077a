#!/bin/bash
# QVRemote against a generic relay, on loopback, the same load three ways in one run:
#
#   qvremote: slot -> QVRemoteClient --headless -> TCP 19150 -> QVRemoteServer --headless -> slot
#   socat:    datagram socket -> socat UNIX-RECV -> TCP -> socat TCP-LISTEN -> datagram socket
#   floor:    datagram socket -> compare_floor_relay (one process, TCP inside) -> datagram socket
#
# Loads (compare_load_driver): a burst of 200,000 messages of 100 bytes as fast as the entry
# takes them, then 5,000 messages at 1,000/s for the latency. Prints one table with ratios.
#
# Usage: bench/compare/run.sh [BIN_DIR] [--data FILE] [--burst N] [--paced N] [--rate R]
#                           [--rounds N]
#   BIN_DIR: folder with QVRemoteServer, QVRemoteClient, compare_load_driver and
#            compare_floor_relay (default build/bin; use a Release build).
#   --data FILE: also write the table as whitespace-separated columns (for plot.gp).
#   --rounds N: run the three ways N times in turn (default 3); the table shows medians.
#   --halves: two more ways that put each QVRemote program alone beside socat, to tell
#            which half costs what: client-socat (slot -> QVRemoteClient -> TCP 19150 ->
#            socat -> datagram socket) and socat-server (datagram socket -> socat -> TCP
#            19150 -> QVRemoteServer -> slot; each message then ends with a form feed).
#   --ways LIST: run only these ways (comma-separated names from the table).
# Needs TCP port 19150: a way that uses it waits up to 120 s for it to be free, or is skipped
# (and shows in the table with -1). Installs socat with apt-get (as root or with sudo) when missing.
# Bounded: each way and round gets at most 60 s of load (the driver's limit) and is killed
# 30 s after that; every process started here is stopped on exit. Per-user state lives in a temporary
# folder (XDG_RUNTIME_DIR, XDG_DATA_HOME), nothing of the user's is touched.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=build/bin
if [[ $# -gt 0 && $1 != --* ]]; then bin=$1; shift; fi
bin=$(cd "$bin" && pwd)
data=""
burst=200000
paced=5000
rate=1000
rounds=3
halves=0
only=""
while [[ $# -gt 0 ]]; do
  case $1 in
    --data) data=$2; shift 2 ;;
    --burst) burst=$2; shift 2 ;;
    --paced) paced=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --halves) halves=1; shift ;;
    --ways) only=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 64 ;;
  esac
done
for program in QVRemoteServer QVRemoteClient compare_load_driver compare_floor_relay; do
  [[ -x $bin/$program ]] || { echo "missing $bin/$program" >&2; exit 2; }
done

ensure_socat() {
  command -v socat > /dev/null && return
  if [[ $(id -u) -eq 0 ]]; then
    apt-get install -y socat > /dev/null
  elif sudo -n true 2> /dev/null; then
    sudo apt-get install -y socat > /dev/null
  else
    echo "socat is missing and cannot be installed (needs root or sudo)" >&2
    exit 2
  fi
}
ensure_socat

port_free() {
  ! (exec 3<> "/dev/tcp/127.0.0.1/$1") 2> /dev/null
}
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

root=$(mktemp -d /tmp/qvr-compare-XXXXXX)
export XDG_RUNTIME_DIR=$root/run XDG_DATA_HOME=$root/data
mkdir -m 0700 "$XDG_RUNTIME_DIR"
mkdir "$XDG_DATA_HOME"
results=$root/results
: > "$results"
pids=()

# Stops one process we started: SIGTERM, up to 10 s, then SIGKILL.
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
  local pid
  for pid in "${pids[@]}"; do stop_pid "$pid"; done
  pids=()
  rm -f "$root"/*.log
}
cleanup() {
  stop_all
  rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Starts a process in the background with its standard error in $root/NAME.log.
start() {
  local name=$1
  shift
  "$@" > /dev/null 2> "$root/$name.log" &
  pids+=($!)
}
# Waits up to 10 s for a condition (a command).
await() {
  for _ in $(seq 200); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}
log_has() { grep -qs "$2" "$root/$1.log"; }
listening() { ss -Hltn "sport = :$1" | grep -q .; }
# Whether the listener on port $1 is process $2 (another program may hold 19150 meanwhile).
listener_is() { ss -Hltnp "sport = :$1" | grep -q "pid=$2,"; }
# Other people's programs use port 19150 too: wait up to 120 s for it to be free.
await_19150() {
  for _ in $(seq 240); do
    port_free 19150 && ! listening 19150 && return 0
    sleep 0.5
  done
  echo "port 19150 stayed in use; way skipped" >&2
  return 1
}

# What the processes of a way said, after a load that did not complete.
show_logs() {
  local log
  for log in "$root"/*.log; do
    [[ -s $log ]] && { echo "--- $(basename "$log"):"; tail -5 "$log"; } >&2
  done
  return 0
}

# CPU time (utime + stime, ms) of every process started for the way being measured.
relay_cpu_ms() {
  local pid ticks=0
  for pid in "${pids[@]}"; do
    ticks=$((ticks + $(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2> /dev/null || echo 0)))
  done
  echo $((ticks * 1000 / $(getconf CLK_TCK)))
}

# The burst, then the paced load, each by its own driver run; the relay's CPU time is taken
# around the burst.
drive() {
  local way=$1 entry=$2 exit=$3 before
  shift 3
  before=$(relay_cpu_ms)
  timeout -k 5 90 "$bin/compare_load_driver" --way "$way" --entry "$entry" --exit "$exit" \
    --burst "$burst" --paced 0 --idle-ms 3000 --max-ms 60000 "$@" >> "$results" ||
    { echo "$way: the burst did not complete" >&2; show_logs; }
  echo "cpu way=$way load=burst cpu_ms=$(($(relay_cpu_ms) - before))" >> "$results"
  timeout -k 5 90 "$bin/compare_load_driver" --way "$way" --entry "$entry" --exit "$exit" \
    --burst 0 --paced "$paced" --rate "$rate" --idle-ms 3000 --max-ms 60000 "$@" \
    >> "$results" || { echo "$way: the paced load did not complete" >&2; show_logs; }
  local pid
  for pid in "${pids[@]}"; do
    kill -0 "$pid" 2> /dev/null || echo "$way: process $pid ended during the load" >&2
  done
}

run_qvremote() {
  await_19150 || return 0
  start server "$bin/QVRemoteServer" --headless
  await log_has server ready || { cat "$root/server.log" >&2; stop_all; return 0; }
  start client "$bin/QVRemoteClient" --headless
  await log_has client ready || { cat "$root/client.log" >&2; stop_all; return 0; }
  drive qvremote slot slot
  stop_all
}

run_socat() {
  local port
  port=$(free_port)
  start socat-exit socat -u "TCP-LISTEN:$port,bind=127.0.0.1,reuseaddr,nodelay" \
    "UNIX-SENDTO:$root/socat-exit.sock"
  await listening "$port" || { show_logs; stop_all; return 0; }
  start socat-entry socat -u "UNIX-RECV:$root/socat-entry.sock" "TCP:127.0.0.1:$port,nodelay"
  await test -S "$root/socat-entry.sock" || { show_logs; stop_all; return 0; }
  drive socat "$root/socat-entry.sock" "$root/socat-exit.sock"
  stop_all
}

run_floor() {
  start floor "$bin/compare_floor_relay" "$root/floor-entry.sock" "$root/floor-exit.sock" \
    "$(free_port)"
  await log_has floor ready || { show_logs; stop_all; return 0; }
  drive floor "$root/floor-entry.sock" "$root/floor-exit.sock"
  stop_all
}

# QVRemoteClient into socat on port 19150, which hands the byte stream to a datagram socket.
run_client_socat() {
  await_19150 || return 0
  start socat-exit socat -u "TCP-LISTEN:19150,bind=127.0.0.1,reuseaddr,nodelay" \
    "UNIX-SENDTO:$root/half-exit.sock"
  if ! await listener_is 19150 "${pids[-1]}"; then
    echo "client-socat: socat did not get port 19150; way skipped" >&2
    stop_all
    return 0
  fi
  start client "$bin/QVRemoteClient" --headless
  await log_has client ready || { cat "$root/client.log" >&2; stop_all; return 0; }
  drive client-socat slot "$root/half-exit.sock"
  stop_all
}

# socat from a datagram socket into QVRemoteServer; the messages carry their frame end.
run_socat_server() {
  await_19150 || return 0
  start server "$bin/QVRemoteServer" --headless
  await log_has server ready || { cat "$root/server.log" >&2; stop_all; return 0; }
  start socat-entry socat -u "UNIX-RECV:$root/half-entry.sock" "TCP:127.0.0.1:19150,nodelay"
  await test -S "$root/half-entry.sock" || { show_logs; stop_all; return 0; }
  drive socat-server "$root/half-entry.sock" slot --frame-end 1
  stop_all
}

echo "machine: nproc $(nproc), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg) (before)"
ways="qvremote socat floor"
[[ $halves -eq 1 ]] && ways="$ways client-socat socat-server"
[[ -n $only ]] && ways=${only//,/ }
for round in $(seq "$rounds"); do
  echo "round $round of $rounds" >&2
  for way in $ways; do
    "run_${way//-/_}"
  done
done
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) (after)"

awk -v data="$data" -v rounds="$rounds" -v way_list="$ways" '
  function field(line, key,   n, i, kv) {
    n = split(line, kv, " ")
    for (i = 1; i <= n; ++i) if (index(kv[i], key "=") == 1) return substr(kv[i], length(key) + 2)
    return ""
  }
  # Median of the values of one way, load and key over the rounds.
  function median(w, l, key,   n, i, j, x, a) {
    n = count[w, l]
    for (i = 1; i <= n; ++i) a[i] = v[w, l, key, i] + 0
    for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] > a[j]; --j) { x = a[j]; a[j] = a[j - 1]; a[j - 1] = x }
    if (n == 0) return -1
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  function total(w, key,   i, s) {
    for (i = 1; i <= count[w, "burst"]; ++i) s += v[w, "burst", key, i]
    for (i = 1; i <= count[w, "paced"]; ++i) s += v[w, "paced", key, i]
    return s + 0
  }
  BEGIN {
    split("arrived sent lost duplicated merged_messages merged_units cut_units out_of_order msgs_per_s p50_us p99_us complete", keys, " ")
    nways = split(way_list, ways, " ")
  }
  /^result / {
    w = field($0, "way"); l = field($0, "load"); n = ++count[w, l]
    for (k in keys) v[w, l, keys[k], n] = field($0, keys[k])
  }
  /^cpu / {
    w = field($0, "way"); n = ++count[w, "cpu"]
    v[w, "cpu", "cpu_ms", n] = field($0, "cpu_ms")
  }
  function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
  function check(ok, known) { return !known ? "-" : ok ? "met" : "MISSED" }
  END {
    printf "medians of %d round(s); counts summed over all rounds and both loads\n", rounds
    printf "%-12s %9s %7s %8s %9s %9s %6s %7s %6s %7s %4s\n", "way", "msgs/s", "CPU ms", "p50 us",
      "p99 us", "arrived", "lost", "merged", "cut", "reorder", "dup"
    for (i = 1; i <= nways; ++i) {
      w = ways[i]
      rate[w] = median(w, "burst", "msgs_per_s")
      p50[w] = median(w, "paced", "p50_us")
      p99[w] = median(w, "paced", "p99_us")
      cpu[w] = median(w, "cpu", "cpu_ms")
      printf "%-12s %9.0f %7.0f %8.1f %9.1f %9d %6d %7d %6d %7d %4d\n", w, rate[w], cpu[w], p50[w], p99[w],
        total(w, "arrived"), total(w, "lost"), total(w, "merged_messages"), total(w, "cut_units"),
        total(w, "out_of_order"), total(w, "duplicated")
    }
    print ""
    print "msgs/s: burst of 100-byte messages; CPU ms: CPU time of the relay processes for the burst;"
    print "p50/p99: latency from send to arrival at 1,000 messages/s."
    print "merged: messages that arrived in one datagram or slot message together with others;"
    print "cut: datagrams or slot messages that were not exactly one whole message."
    if (nways > 3) print "client-socat, socat-server: one QVRemote program with socat as the other half."
    print ""
    q = "qvremote"
    printf "qvremote / socat: throughput %s (target >= 2), p50 %s (target <= 1)\n",
      ratio(rate[q], rate["socat"]), ratio(p50[q], p50["socat"])
    printf "qvremote / floor: throughput %s (target >= 0.8), p99 %s (target <= 1.5)\n",
      ratio(rate[q], rate["floor"]), ratio(p99[q], p99["floor"])
    clean = total(q, "lost") + total(q, "merged_messages") + total(q, "out_of_order") + total(q, "duplicated") == 0
    printf "targets: throughput vs socat %s, vs floor %s; p50 %s; p99 %s; nothing lost, merged or reordered %s\n",
      check(rate[q] >= 2 * rate["socat"], rate[q] > 0 && rate["socat"] > 0),
      check(rate[q] >= 0.8 * rate["floor"], rate[q] > 0 && rate["floor"] > 0),
      check(p50[q] <= p50["socat"], p50[q] > 0 && p50["socat"] > 0),
      check(p99[q] <= 1.5 * p99["floor"], p99[q] > 0 && p99["floor"] > 0),
      check(clean, count[q, "burst"] > 0)
    if (data != "") {
      print "# way msgs_per_s p50_us p99_us cpu_ms" > data
      for (i = 1; i <= nways; ++i) print ways[i], rate[ways[i]], p50[ways[i]], p99[ways[i]], cpu[ways[i]] > data
    }
  }' "$results"
echo
echo "raw:"
cat "$results"
