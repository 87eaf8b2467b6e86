#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders every page of the main window, the objects page once more in the
# details style, and the about box under Xvfb into PNG files: the real program
# on a private display with a catalogue of 200 objects, driven by its own
# shortcuts. The details picture is the one README.md shows (doc/main-window.png).
# Usage: scripts/screenshots.sh [output folder]   (default: build/screenshots)
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${PLENWICK_BUILD_DIR:-$top/build}"
out=$(realpath -m "${1:-$build/screenshots}")
binary="$build/src/plenwick"
[ -x "$binary" ] || { echo "Programm fehlt: $binary (erst bauen)" >&2; exit 1; }
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "Werkzeug fehlt: $tool" >&2; exit 1; }
done
mkdir -p "$out"

work=$(mktemp -d)
xvfb_pid=
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A free display, chosen by Xvfb itself.
exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x860x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

# A master server with the protocol page switched on and no start screen, on a
# port of its own so that it meets no other program of this machine.
home="$work/home"
mkdir -p "$home" "$work/registry" "$work/runtime"
chmod 700 "$work/runtime"
printf '[Options]\r\nNetServerName=master01\r\nMiscShowProtocol=1\r\nNetServerPort=47424\r\n' > "$home/plenwick.config"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Plenwick\\Plenwick]\r\n"SuppressSplashScreen"=dword:00000001\r\n' \
  > "$work/registry/user.reg"
# 200 objects in eight department folders; their files are not there, as on
# a master whose object folder is elsewhere.
departments=(Buchhaltung Einkauf Entwicklung Grafik Personal Vertrieb Verwaltung Werkstatt)
tools=(druckertreiber scanner-client buerosuite pdf-werkzeug zeiterfassung vpn-client sicherung virenschutz)
for i in $(seq 0 199); do
  department=${departments[$((i % 8))]}
  tool=${tools[$(((i / 8) % 8))]}
  # Start after transfer (X) and autostart (A) for some, as administrators set them.
  printf '0,"%s/%s-%d.msi","/opt/%s/",%02d.%02d.24 %02d:%02d:00,"%d.%d.%d",%d,0,"","%s der Abteilung %s","",False,%s,%s,False,False,False,False,True,False,False\r\n' \
    "$department" "$tool" $((i + 1)) "${department,,}" $((i % 28 + 1)) $((i % 12 + 1)) $((i % 24)) $((i * 7 % 60)) \
    $((i % 5 + 1)) $((i % 10)) $((i * 3 % 100)) $((200000 + i * 73421)) "$tool" "$department" \
    "$([ $((i % 3)) -eq 0 ] && echo True || echo False)" "$([ $((i % 5)) -eq 0 ] && echo True || echo False)"
done > "$home/plenwick.objects"
export PLENWICK_HOME="$home" PLENWICK_REGISTRY_DIR="$work/registry" PLENWICK_COMPUTERNAME=master01
export PLENWICK_PROTOCOL_FILE="$work/plenwick.protocol" XDG_RUNTIME_DIR="$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
"$binary" > "$work/program.log" 2>&1 &
program_pid=$!

window=
for _ in $(seq 100); do
  window=$(xdotool search --name '^Plenwick - \[' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "Das Fenster erschien nicht" >&2; cat "$work/program.log" >&2; exit 1; }
xdotool windowsize "$window" 1100 720 windowmove "$window" 0 0 windowfocus --sync "$window"
sleep 1

shoot() { # file
  sleep 0.6
  import -window "$window" "$out/$1"
  echo "$out/$1"
}
pages=(uebersicht objekte clients benutzer skriptus protokoll)
for i in "${!pages[@]}"; do
  xdotool key --window "$window" "shift+F$((i + 1))"
  shoot "seite-$((i + 1))-${pages[$i]}.png"
done

# "Details" is the third entry from the end of the view menu ("Aufwärts" and
# "Liste filtern" follow it): Up from the top wraps to the end.
xdotool key --window "$window" shift+F2
sleep 0.4
xdotool key --window "$window" alt+a
sleep 0.4
xdotool key Up Up Up Return
shoot objekte-details.png

# "Info..." is the last entry of the help menu: Up from the top wraps to it.
xdotool key --window "$window" alt+h
sleep 0.4
xdotool key Up Return
about=
for _ in $(seq 50); do
  about=$(xdotool search --name '^Über Plenwick' 2>/dev/null | head -n1 || true)
  [ -n "$about" ] && break
  sleep 0.1
done
[ -n "$about" ] || { echo "Die Info-Box erschien nicht" >&2; exit 1; }
sleep 0.6
import -window "$about" "$out/info.png"
echo "$out/info.png"
