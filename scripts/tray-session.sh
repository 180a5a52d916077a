#!/usr/bin/env bash
# Both tray programs in a real X session, driven as a user would: a virtual display (Xvfb)
# with a notification area (trayer), QVRemoteServer and QVRemoteClient in tray mode with
# their own temporary per-user folders, and xdotool for the mouse and keyboard.
#
#   scripts/tray-session.sh [--no-pictures] [--bin DIR] [OUTDIR]
#
# It checks that the tray icons show with tooltips and no other window, that the right
# button opens each menu (the client's has more entries than the server's one), that
# "Einstellungen..." and a double click open "Remote Sender Konfiguration", that a host typed
# there and confirmed with Enter ends up in the settings file when "Beenden" ends the client,
# and that "Beenden" ends the server. Screenshots (PNG) of the tray, the tooltips, the menus
# and the dialog go to OUTDIR (default: a new folder below /tmp, named at the end), unless
# --no-pictures is given. DIR holds the programs (default: build/bin).
# Exit status: 0 all checks passed, 1 a check failed, 77 a needed tool is missing.
# shellcheck disable=SC2317 # many functions run only through until_true or a trap
set -euo pipefail
shopt -s extglob

QVR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin="$QVR_ROOT/build/bin"
pictures=1
outdir=""
while [ $# -gt 0 ]; do
  case "$1" in
    --no-pictures) pictures=0 ;;
    --bin) bin=$2; shift ;;
    --bin=*) bin=${1#--bin=} ;;
    -h | --help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "tray-session: unknown option $1" >&2; exit 64 ;;
    *) outdir=$1 ;;
  esac
  shift
done

readonly HOST_TYPED="buehne-pc.example"
readonly DIALOG="Remote Sender Konfiguration"
readonly WAIT=20 # seconds for anything that should take well under one

skip() {
  echo "tray-session: SKIPPED: $*" >&2
  exit 77
}
tools=(Xvfb trayer xdotool xwininfo xprop)
[ "$pictures" = 1 ] && tools+=(import convert)
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (Debian: xvfb trayer xdotool x11-utils imagemagick)"
done
for program in QVRemoteServer QVRemoteClient; do
  [ -x "$bin/$program" ] || { echo "tray-session: $bin/$program not found; build first" >&2; exit 1; }
done
# Texts on the screen are read where tesseract is installed; without it, only the windows'
# presence, kind and size are checked.
read_texts=1
for tool in tesseract import convert; do
  command -v "$tool" >/dev/null && continue
  read_texts=0
  echo "tray-session: note: $tool is not installed (tesseract-ocr, imagemagick): texts on the screen are not read"
done
if [ "$pictures" = 1 ]; then
  [ -n "$outdir" ] || outdir=$(mktemp -d /tmp/qvremote-tray-session.XXXXXX)
  mkdir -p "$outdir"
  outdir=$(cd "$outdir" && pwd)
fi

work=$(mktemp -d /tmp/qvremote-tray-work.XXXXXX)
pids=()
cleanup() {
  local status=$? i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill -TERM "${pids[i]}" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ "$status" != 0 ] && [ "$status" != 77 ]; then
    for log in "$work"/*.log; do
      [ -s "$log" ] && { echo "--- $(basename "$log")"; tail -n 20 "$log"; } >&2
    done
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
  echo "tray-session: FAILED: $*" >&2
  if [ "$pictures" = 1 ]; then import -window root "$outdir/failure.png" 2>/dev/null || true; fi
  exit 1
}
pass() { echo "ok: $*"; }

# until_true <seconds> <command...>: runs the command every 0.2 s until it succeeds.
until_true() {
  local deadline=$((SECONDS + $1))
  shift
  while ! "$@" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# xdo <xdotool arguments>: xdotool, given up after a while (a --sync may wait for an event
# that never comes).
xdo() { timeout "$WAIT" xdotool "$@"; }

# A session of its own: no D-Bus (so Qt uses the XEmbed tray, which trayer hosts), no
# desktop settings, and per-user folders that vanish afterwards.
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY SESSION_MANAGER XDG_CURRENT_DESKTOP \
  XDG_SESSION_TYPE QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE
export QT_QPA_PLATFORM=xcb
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
mkdir -p "$HOME" "$XDG_DATA_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
settings_file="$XDG_DATA_HOME/Quelvane/Remote Sender/RemoteSender.cfg"

# The server needs the relay port; another program's hold on it is usually brief.
port_free() { ! (exec 3<>/dev/tcp/127.0.0.1/19150) 2>/dev/null; }
until_true 180 port_free || fail "port 19150 stays taken by another program; the server could not listen"


# --- the display and the notification area -------------------------------------------
display_number() { grep -qE '^[0-9]+$' "$work/display"; }
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset -wr \
  3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
until_true "$WAIT" display_number || fail "Xvfb did not start"
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY

trayer --edge bottom --align right --widthtype request --height 32 --transparent false \
  --tint 0xd8d8d8 --SetDockType true --SetPartialStrut true >"$work/trayer.log" 2>&1 &
pids+=($!)
panel_id() { xdo search --classname '^panel$' | head -n 1; }
panel_there() { test -n "$(panel_id)"; }
until_true "$WAIT" panel_there || fail "trayer's panel did not appear"
panel=$(panel_id)
sleep 1 # trayer takes the tray selection right after its panel exists

# --- helpers on windows ------------------------------------------------------------------
# geometry <window>: sets X Y W H from the window's place on the screen.
geometry() {
  local info
  info=$(xwininfo -id "$1")
  X=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
  Y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
  W=$(awk '/Width:/ {print $2}' <<<"$info")
  H=$(awk '/Height:/ {print $2}' <<<"$info")
}
# tray_icon <program>: the program's window embedded in the panel.
tray_icon() {
  xwininfo -tree -id "$panel" | awk -v p="\"$1\": (\"$1\"" 'index($0, p) {print $1; exit}'
}
# popups <program> <kind>: the program's visible windows other than its tray icon; kind
# "tooltip" keeps only tooltips, "other" everything else.
popups() {
  local icon w
  icon=$(printf '%d' "$(tray_icon "$1")")
  for w in $(xdo search --onlyvisible --classname "^$1\$"); do
    [ "$w" = "$icon" ] && continue
    if xprop -id "$w" _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP; then
      [ "$2" = tooltip ] && echo "$w"
    else
      [ "$2" = other ] && echo "$w"
    fi
  done
  return 0
}
icon_there() { test -n "$(tray_icon "$1")"; }
icon_gone() { test -z "$(tray_icon "$1")"; }
has_popup() { test -n "$(popups "$1" "$2")"; }
no_popup() { test -z "$(popups "$1" "$2")"; }
dialog_id() { xdo search --onlyvisible --name "^$DIALOG\$" | head -n 1; }
dialog_open() { test -n "$(dialog_id)"; }
dialog_closed() { test -z "$(dialog_id)"; }
ended() { ! kill -0 "$1" 2>/dev/null || grep -q '^[^)]*) Z' "/proc/$1/stat" 2>/dev/null; }

# picture <name> [x y w h]: a screenshot of the screen, or of one part of it, enlarged twice.
picture() {
  [ "$pictures" = 1 ] || return 0
  local file="$outdir/$1.png"
  import -window root "$work/screen.png"
  if [ $# -gt 1 ]; then
    convert "$work/screen.png" -crop "${4}x${5}+${2}+${3}" +repage -filter point -resize 200% "$file"
  else
    cp "$work/screen.png" "$file"
  fi
  echo "   picture: $file"
}
# window_text <window>: the text shown in the window, read from the screen (OCR).
window_text() {
  geometry "$1"
  import -window root "$work/ocr-screen.png"
  convert "$work/ocr-screen.png" -crop "${W}x${H}+${X}+${Y}" +repage -shave 1x1 -resize 300% \
    -colorspace gray -bordercolor white -border 20 "$work/ocr.png"
  # Two page layouts: a block of lines, and scattered words; one of them reads each text.
  { tesseract "$work/ocr.png" - --psm 6; tesseract "$work/ocr.png" - --psm 11; } 2>/dev/null | tr -d ' \t\r\n'
}
# check_text <window> <what> <pattern>: the window's text, without blanks, matches the glob.
check_text() {
  [ "$read_texts" = 1 ] || return 0
  local text
  sleep 0.5 # a tooltip or menu may still be drawing
  text=$(window_text "$1")
  # shellcheck disable=SC2053 # the pattern is a glob on purpose
  [[ "$text" == $3 ]] || fail "$2 does not read as expected ($3); read: \"$text\""
  pass "$2 reads \"$text\""
}
# Mouse away from every icon, so that tooltips close.
mouse_away() { xdo mousemove --sync 20 20; }
# click_icon <program> <button> [repeat]
click_icon() {
  local icon
  icon=$(tray_icon "$1")
  geometry "$icon"
  xdo mousemove --sync $((X + W / 2)) $((Y + H / 2)) click --repeat "${3:-1}" --delay 100 "$2"
}
# open_menu <program>: right click until the menu is there (the first click may come before
# the program is ready for it); sets MENU and its geometry.
open_menu() {
  local attempt
  for attempt in 1 2 3 4; do
    mouse_away
    click_icon "$1" 3
    if until_true 5 has_popup "$1" other; then
      MENU=$(popups "$1" other | head -n 1)
      geometry "$MENU"
      MX=$X MY=$Y MW=$W MH=$H
      return 0
    fi
    echo "   (menu of $1 not open after attempt $attempt, again)"
  done
  fail "right click on the tray icon of $1 opens no menu"
}
# pick <program> <entry> <entries>: clicks the entry (counted from 1) of the open menu.
pick() {
  xdo mousemove --sync $((MX + MW / 2)) $((MY + MH * (2 * $2 - 1) / (2 * $3))) click 1
}
# focus_dialog: the keyboard goes to the dialog, as after a click into it.
focus_dialog() {
  local dialog
  dialog=$(dialog_id)
  geometry "$dialog"
  DX=$X DY=$Y DW=$W DH=$H
  xdo mousemove --sync $((X + W / 2)) $((Y + 8))
  xdo windowfocus --sync "$dialog" 2>/dev/null || true
  focused() { [ "$(xdo getwindowfocus 2>/dev/null)" = "$dialog" ]; }
  until_true "$WAIT" focused || fail "the dialog does not get the keyboard focus"
}

# --- the programs ---------------------------------------------------------------------------
"$bin/QVRemoteServer" >"$work/server.log" 2>&1 &
server=$!
pids+=("$server")
"$bin/QVRemoteClient" >"$work/client.log" 2>&1 &
client=$!
pids+=("$client")

for program in QVRemoteServer QVRemoteClient; do
  until_true "$WAIT" icon_there "$program" || fail "no tray icon of $program in the panel"
done
pass "both tray icons are in the notification area"
sleep 1 # let the panel settle before the picture and the checks
for program in QVRemoteServer QVRemoteClient; do
  no_popup "$program" other || fail "$program shows a window besides its tray icon"
done
pass "neither program shows a window besides its tray icon"
geometry "$panel"
picture tray "$X" "$Y" "$W" "$H"
picture screen-at-start

# --- tooltips ----------------------------------------------------------------------------------
for program in QVRemoteServer QVRemoteClient; do
  shown=0
  for attempt in 1 2 3; do
    mouse_away
    until_true "$WAIT" no_popup "$program" tooltip || true
    icon=$(tray_icon "$program")
    geometry "$icon"
    xdo mousemove --sync $((X + W / 2 - 2)) $((Y + H / 2))
    xdo mousemove --sync $((X + W / 2)) $((Y + H / 2))
    if until_true 10 has_popup "$program" tooltip; then
      shown=1
      break
    fi
  done
  [ "$shown" = 1 ] || fail "hovering over the tray icon of $program shows no tooltip"
  tip=$(popups "$program" tooltip | head -n 1)
  geometry "$tip"
  pass "$program shows a tooltip (${W}x${H}) when the mouse rests on its icon"
  if [ "$program" = QVRemoteServer ]; then
    check_text "$tip" "the server's tooltip" "*QuelvaneRemoteServer*"
  else
    check_text "$tip" "the client's tooltip" "*QuelvaneRemoteClient?Sender?*"
  fi
  geometry "$tip"
  picture "tooltip-$program" $((X - 8)) $((Y - 8)) $((800 - X + 8)) $((600 - Y + 8))
done
mouse_away

# --- the menus ------------------------------------------------------------------------------
open_menu QVRemoteServer
server_menu_height=$MH
pass "right click on the server's icon opens its menu (${MW}x${MH})"
check_text "$MENU" "the server's menu" "*Beenden*"
check_text "$MENU" "the server's menu (no second entry)" "!(*Einstellungen*)"
picture menu-QVRemoteServer $((MX - 8)) $((MY - 8)) $((800 - MX + 8)) $((600 - MY + 8))
xdo key Escape
until_true "$WAIT" no_popup QVRemoteServer other || fail "Escape does not close the server's menu"

open_menu QVRemoteClient
client_menu_height=$MH
pass "right click on the client's icon opens its menu (${MW}x${MH})"
check_text "$MENU" "the client's menu" "*Einstellungen*Beenden*"
picture menu-QVRemoteClient $((MX - 8)) $((MY - 8)) $((800 - MX + 8)) $((600 - MY + 8))
[ $((2 * client_menu_height)) -ge $((3 * server_menu_height)) ] ||
  fail "the client's menu ($client_menu_height px) is not taller than the server's one-entry menu ($server_menu_height px) by about one entry"
pass "the client's menu has about twice the entries of the server's (Einstellungen..., Beenden)"

# --- the settings dialog: "Einstellungen..." ------------------------------------------------
opened=0
for attempt in 1 2 3; do
  [ "$attempt" = 1 ] || open_menu QVRemoteClient
  pick QVRemoteClient 1 2
  if until_true "$WAIT" dialog_open; then
    opened=1
    break
  fi
done
[ "$opened" = 1 ] || fail "\"Einstellungen...\" does not open \"$DIALOG\""
pass "\"Einstellungen...\" opens \"$DIALOG\""
focus_dialog
xdo key --clearmodifiers ctrl+a
xdo type --delay 40 "$HOST_TYPED"
check_text "$(dialog_id)" "the dialog with the host typed" "*Netzwerkeinstellungen*Host:*$HOST_TYPED*"
picture dialog-host-typed "$DX" "$DY" "$DW" "$DH"
xdo key --clearmodifiers Return
until_true "$WAIT" dialog_closed || fail "Enter does not close the dialog"
pass "the host typed and Enter close the dialog"

# --- the settings dialog: double click ---------------------------------------------------------
opened=0
for attempt in 1 2 3; do
  mouse_away
  click_icon QVRemoteClient 1 2
  if until_true 10 dialog_open; then
    opened=1
    break
  fi
done
[ "$opened" = 1 ] || fail "a double click on the client's icon does not open \"$DIALOG\""
pass "a double click on the client's icon opens \"$DIALOG\""
focus_dialog
xdo key --clearmodifiers End # the text unselected, to be read like the rest
check_text "$(dialog_id)" "the dialog opened again" "*Host:*$HOST_TYPED*"
picture dialog-opened-again "$DX" "$DY" "$DW" "$DH"
xdo key --clearmodifiers Escape
until_true "$WAIT" dialog_closed || fail "Escape does not close the dialog"
pass "Escape closes the dialog"

# --- Beenden ------------------------------------------------------------------------------------
# end_program <program> <pid> <entry> <entries>
end_program() {
  local attempt
  for attempt in 1 2 3; do
    open_menu "$1"
    pick "$1" "$3" "$4"
    until_true "$WAIT" ended "$2" && break
  done
  ended "$2" || fail "\"Beenden\" does not end $1"
  local status=0
  wait "$2" || status=$?
  [ "$status" = 0 ] || fail "$1 ended with status $status"
  until_true "$WAIT" icon_gone "$1" || fail "the tray icon of $1 stays after its end"
  pass "\"Beenden\" ends $1 (status 0) and its icon leaves the notification area"
}
end_program QVRemoteClient "$client" 2 2
expected_line="  Host = '$HOST_TYPED'"
# The file's lines end in CR LF, as on Windows.
tr -d '\r' <"$settings_file" 2>/dev/null | grep -qxF "$expected_line" ||
  fail "the settings file lacks the line \"$expected_line\": $(cat "$settings_file" 2>&1)"
pass "the settings file holds \"$expected_line\""
end_program QVRemoteServer "$server" 1 1
geometry "$panel"
picture tray-at-end "$X" "$Y" "$W" "$H"

echo "tray-session: all checks passed"
[ "$pictures" = 1 ] && echo "tray-session: pictures in $outdir"
exit 0
