#!/bin/sh
# The whole road on loopback: qvslot -> QVRemoteClient -> QVRemoteServer -> qvslot.
# Usage: bench/client/whole_road.sh [BIN_DIR] [options of whole_road.py]
# BIN_DIR defaults to build/bin; use an optimised build (the default preset is RelWithDebInfo).
# Needs TCP port 19150 free. Bounded: the driver gives up after --limit seconds (240), and
# this wrapper kills it 60 s after that.
set -eu
here=$(dirname "$0")
bin=${1:-build/bin}
[ $# -gt 0 ] && shift
exec timeout -k 5 300 python3 "$here/whole_road.py" --bin "$bin" "$@"
