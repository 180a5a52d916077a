#!/usr/bin/env bash
# Installs the build into a temporary root, once per prefix, and checks that every file is
# where desktops, man and systemd look for it; then builds the Debian package and checks it.
#   install_check.sh <build dir> <ON|OFF: tray programs built>
set -euo pipefail
build=$1
gui=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
bad() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# png_size <file>: "W H" from the PNG header.
png_size() {
  local hex
  hex=$(od -An -tx1 -j16 -N8 "$1" | tr -d ' \n')
  echo "$((16#${hex:0:8})) $((16#${hex:8:8}))"
}

check_prefix() {
  local prefix=$1 dest="$root$1"
  echo "--- prefix $prefix"
  DESTDIR="$root" cmake --install "$build" --prefix "$prefix" >/dev/null ||
    { bad "cmake --install with prefix $prefix"; return; }

  local programs=(QVRemoteServer QVRemoteClient qvslot) p
  for p in "${programs[@]}"; do
    [ -x "$dest/bin/$p" ] || { bad "$prefix/bin/$p missing"; continue; }
    "$dest/bin/$p" --version | grep -q "0\.1" || bad "$prefix/bin/$p --version"
    local page="$dest/share/man/man1/$p.1"
    [ -f "$page" ] || { bad "$prefix/share/man/man1/$p.1 missing"; continue; }
    if command -v groff >/dev/null; then
      local warnings
      warnings=$(groff -man -ww -z "$page" 2>&1)
      [ -z "$warnings" ] || bad "$p.1: $warnings"
    fi
    grep -q '^\.SH EXIT STATUS' "$page" || bad "$p.1 has no EXIT STATUS section"
  done

  local name program
  for name in server client; do
    program=QVRemoteServer
    [ "$name" = client ] && program=QVRemoteClient
    local unit="$dest/lib/systemd/user/qvremote-$name.service"
    if [ ! -f "$unit" ]; then
      bad "$prefix/lib/systemd/user/qvremote-$name.service missing"
    else
      grep -qxF "ExecStart=$prefix/bin/$program --headless" "$unit" ||
        bad "qvremote-$name.service: ExecStart is not $prefix/bin/$program --headless"
      grep -qxF "Restart=on-failure" "$unit" || bad "qvremote-$name.service: no Restart=on-failure"
      grep -qxF "WantedBy=default.target" "$unit" || bad "qvremote-$name.service: no [Install] target"
    fi

    local entry="$dest/share/applications/qvremote-$name.desktop"
    if [ "$gui" != ON ]; then
      [ ! -e "$entry" ] || bad "desktop entry installed without the tray programs"
      continue
    fi
    if [ ! -f "$entry" ]; then
      bad "$prefix/share/applications/qvremote-$name.desktop missing"
      continue
    fi
    if command -v desktop-file-validate >/dev/null; then
      desktop-file-validate "$entry" || bad "qvremote-$name.desktop does not validate"
    else
      echo "desktop-file-validate not installed (desktop-file-utils): entries not validated"
    fi
    grep -qxF "Exec=$program" "$entry" || bad "qvremote-$name.desktop: Exec is not $program"
    grep -qxF "Icon=qvremote-$name" "$entry" || bad "qvremote-$name.desktop: Icon is not qvremote-$name"
    grep -qxF "X-GNOME-Autostart-enabled=true" "$entry" || bad "qvremote-$name.desktop: no autostart key"

    local hicolor="$dest/share/icons/hicolor" size
    for size in 16 24 32 48 64 128 256; do
      local icon="$hicolor/${size}x${size}/apps/qvremote-$name.png"
      if [ ! -f "$icon" ]; then
        bad "icon ${size}x${size}/apps/qvremote-$name.png missing"
      elif [ "$(png_size "$icon")" != "$size $size" ]; then
        bad "icon ${size}x${size}/apps/qvremote-$name.png is $(png_size "$icon")"
      fi
    done
    grep -q '<svg' "$hicolor/scalable/apps/qvremote-$name.svg" 2>/dev/null ||
      bad "icon scalable/apps/qvremote-$name.svg missing"
  done
  # The two programs must be told apart in a menu or a tray: their pictures differ.
  if [ "$gui" = ON ] && cmp -s "$dest/share/icons/hicolor/16x16/apps/qvremote-server.png" \
    "$dest/share/icons/hicolor/16x16/apps/qvremote-client.png"; then
    bad "server and client have the same icon"
  fi
}

# The Debian package holds the same files below /usr, and depends on the libraries the
# programs link.
check_package() {
  if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
    echo "dpkg-deb or dpkg-shlibdeps missing (dpkg-dev): package not built"
    return
  fi
  echo "--- Debian package"
  local out="$root/package" deb
  cpack -G DEB -B "$out" --config "$build/CPackConfig.cmake" >"$root/cpack.log" 2>&1 ||
    { bad "cpack: $(tail -n 5 "$root/cpack.log")"; return; }
  deb=$(find "$out" -maxdepth 1 -name 'qvremote_*.deb' | head -n 1)
  [ -n "$deb" ] || { bad "cpack wrote no qvremote_*.deb"; return; }
  local listed
  listed=$(dpkg-deb -c "$deb" | awk '{print $6}')
  local file
  for file in ./usr/bin/QVRemoteServer ./usr/bin/QVRemoteClient ./usr/bin/qvslot \
    ./usr/share/man/man1/qvslot.1 ./usr/lib/systemd/user/qvremote-client.service; do
    grep -qxF "$file" <<<"$listed" || bad "package lacks $file"
  done
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  grep -q 'libc6' <<<"$depends" || bad "package Depends lacks libc6: $depends"
  if [ "$gui" = ON ]; then
    grep -qxF ./usr/share/applications/qvremote-server.desktop <<<"$listed" ||
      bad "package lacks the server's desktop entry"
    grep -q 'libqt6widgets6' <<<"$depends" || bad "package Depends lacks libqt6widgets6: $depends"
  fi
  dpkg-deb -x "$deb" "$root/unpacked"
  grep -qxF "ExecStart=/usr/bin/QVRemoteServer --headless" \
    "$root/unpacked/usr/lib/systemd/user/qvremote-server.service" ||
    bad "packaged server unit does not start /usr/bin/QVRemoteServer --headless"
}

for prefix in /usr /opt/qvremote; do
  check_prefix "$prefix"
done
check_package
if [ "$failures" != 0 ]; then
  echo "$failures check(s) failed; installed files:" >&2
  (cd "$root" && find . -type f | sort) >&2
  exit 1
fi
echo "all installed files in place"
