#!/usr/bin/env bash
# Cross-builds the Windows programs and test suites with MinGW-w64 and runs the tests under
# Wine: core libraries, QVRemoteServer.exe and QVRemoteClient.exe (headless, no Qt), qvslot.exe,
# the GoogleTest suites and the end-to-end relay over real mailslots and Winsock.
#   QVR_WINDOWS_BUILD  build folder (default: build-windows in the source tree)
# Installs what it needs (apt-get, as root or with sudo) only when it is missing.
set -euo pipefail
QVR_ROOT=${QVR_ROOT:-$(cd "$(dirname "$0")/.." && pwd)}
build=${QVR_WINDOWS_BUILD:-$QVR_ROOT/build-windows}
started=$(date +%s)

say() { printf '\n=== %s\n' "$*"; }
die() { printf 'test-windows.sh: %s\n' "$*" >&2; exit 1; }

packages=(cmake make g++-mingw-w64-x86-64-posix wine64 wine libasio-dev googletest)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  sudo=""
  if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null || die "need root or sudo to install: ${missing[*]}"
    sudo=sudo
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq ||
    die "apt-get update failed"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null || die "apt-get install ${missing[*]} failed"
fi
command -v x86_64-w64-mingw32-g++-posix >/dev/null || die "x86_64-w64-mingw32-g++-posix not found"
[ -x /usr/lib/wine/wine64 ] || command -v wine >/dev/null || die "Wine not found"

say "configure $build (MinGW-w64 cross-build)"
cmake -S "$QVR_ROOT" -B "$build" --toolchain "$QVR_ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQVR_BUILD_GUI=OFF -DQVR_BUILD_BENCH=OFF -DQVR_WERROR=ON >/dev/null

say "build"
cmake --build "$build" -j2

say "Wine prefix (no display)"
# The wrapper CTest uses makes the prefix on its first run; a slow or failed first boot is
# retried once here so that the tests do not race it.
prefix="$build/wine-prefix"
if [ ! -f "$prefix/system.reg" ]; then
  "$build/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 ||
    { rm -rf "$prefix"; "$build/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1; } ||
    die "cannot make the Wine prefix $prefix (wineboot -i failed twice)"
fi
[ -f "$prefix/system.reg" ] || die "the Wine prefix $prefix was not made"

say "tests under Wine"
# One wineserver for the whole run (the wrapper keeps it for a minute after each program);
# it and Wine's helper processes end with the run.
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
export WINEPREFIX="$prefix"
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
# One test at a time: mailslot names are global to the Wine prefix, as on a Windows machine,
# so two suites would meet in "Quelvane\Messages".
(cd "$build" && ctest -j1 --output-on-failure --timeout 300)

elapsed=$(( $(date +%s) - started ))
printf '\nWindows cross-build and tests under Wine passed in %d min %d s\n' \
  $((elapsed / 60)) $((elapsed % 60))
