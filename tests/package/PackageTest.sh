#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the build tree, unpacks it into a throw-away
# root and checks its files; as root it also installs it into this machine
# with dpkg, tries the installed program, removes it (only the lists stay)
# and purges it. Usage: PackageTest.sh <build folder> <has hooks library> <has help pages>
# (1 or 0 each, as the build declares them).
set -euo pipefail
build=$(cd "$1" && pwd)
has_hooks=${2:-0}
has_help=${3:-0}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FEHLER: $*" >&2; exit 1; }
check_file() { [ -f "$1" ] || fail "$1 fehlt"; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/plenwick_*.deb)

# The unpacked tree.
root="$work/root"
dpkg-deb -x "$deb" "$root"
[ -x "$root/opt/plenwick/plenwick" ] || fail "Programm fehlt in /opt/plenwick"
[ "$(readlink "$root/usr/bin/plenwick")" = /opt/plenwick/plenwick ] || fail "/usr/bin/plenwick zeigt nicht auf das Programm"
desktop="$root/usr/share/applications/plenwick.desktop"
check_file "$desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -q '^Exec=plenwick$' "$desktop" || fail "Exec= mit Feldcodes oder Parametern"
for size in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256; do
    check_file "$root/usr/share/icons/hicolor/$size/apps/plenwick.png"
done
check_file "$root/usr/share/icons/hicolor/scalable/apps/plenwick.svg"
check_file "$root/usr/share/bash-completion/completions/plenwick"
check_file "$root/usr/share/man/man1/plenwick.1.gz"
check_file "$root/usr/share/doc/plenwick/copyright"
if [ "$has_hooks" = 1 ]; then check_file "$root/opt/plenwick/libplenwickhooks.so"; fi
if [ "$has_help" = 1 ]; then [ -d "$root/opt/plenwick/plenwick.help" ] || fail "plenwick.help fehlt"; fi
[ -z "$(dpkg-deb -c "$deb" | grep -E '\./etc/systemd|\.service$')" ] || fail "das Paket liefert eine Unit mit"
"$root/opt/plenwick/plenwick" --version | grep -q '^Plenwick ' || fail "--version aus dem entpackten Baum"
bash -n "$root/usr/share/bash-completion/completions/plenwick" || fail "Vervollständigung"
lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian"

if [ "$(id -u)" != 0 ]; then
    echo "Nur als root: dpkg -i und dpkg -r übersprungen"
    exit 0
fi

# One real installation on this machine at a time, and never over one that is in use.
exec 9>/var/lock/plenwick-package-test.lock
flock 9
if dpkg-query -W -f='${Status}' plenwick 2>/dev/null | grep -q installed || [ -e /opt/plenwick ] ||
   [ -e /etc/systemd/system/plenwick.service ] || [ -e /etc/xdg/autostart/plenwick.desktop ]; then
    echo "Plenwick ist auf diesem Computer schon installiert: dpkg -i und dpkg -r übersprungen"
    exit 0
fi
dpkg_retry() {
    for _ in $(seq 30); do
        if dpkg "$@" >"$work/dpkg.log" 2>&1; then return 0; fi
        grep -q 'lock' "$work/dpkg.log" || { cat "$work/dpkg.log"; return 1; }
        sleep 2
    done
    cat "$work/dpkg.log"
    return 1
}
cleanup_machine() {
    dpkg --purge plenwick >/dev/null 2>&1 || true
    rm -f /etc/systemd/system/plenwick.service /etc/xdg/autostart/plenwick.desktop
    rm -rf "$work"
}
trap cleanup_machine EXIT

dpkg_retry -i "$deb" || fail "dpkg -i"
[ "$(/usr/bin/plenwick --version | head -1)" = "$("$root/opt/plenwick/plenwick" --version | head -1)" ] ||
    fail "/usr/bin/plenwick --version"
getent group plenwick >/dev/null || fail "Gruppe plenwick fehlt"
[ "$(stat -c '%a %G' /opt/plenwick)" = "2775 plenwick" ] || fail "Programmordner: $(stat -c '%a %G' /opt/plenwick)"

# What the program itself writes at run time: a list, its service unit, an autostart entry.
printf 'Liste\r\n' > /opt/plenwick/plenwick.objects
printf '[Service]\nExecStart="/opt/plenwick/plenwick" /SVC\n' > /etc/systemd/system/plenwick.service
printf '[Desktop Entry]\nExec="/opt/plenwick/plenwick"\n' > /etc/xdg/autostart/plenwick.desktop
[ "$(stat -c '%G' /opt/plenwick/plenwick.objects)" = plenwick ] || fail "neue Liste nicht in der Gruppe"
# The key is made at the first start and belongs to the group.
fingerprint=$(/opt/plenwick/plenwick --fingerprint) || fail "--fingerprint"
[ "$(stat -c '%a %G' /opt/plenwick/plenwick.key)" = "640 plenwick" ] ||
    fail "Schlüssel: $(stat -c '%a %G' /opt/plenwick/plenwick.key)"

dpkg_retry -r plenwick || fail "dpkg -r"
[ ! -e /usr/bin/plenwick ] || fail "/usr/bin/plenwick blieb"
[ ! -e /etc/systemd/system/plenwick.service ] || fail "die Unit blieb"
[ ! -e /etc/xdg/autostart/plenwick.desktop ] || fail "der Autostart-Eintrag blieb"
[ "$(ls -A /opt/plenwick | tr '\n' ' ')" = "plenwick.crt plenwick.key plenwick.objects " ] ||
    fail "nach dpkg -r blieb: $(ls -A /opt/plenwick)"
# Installed again, the computer keeps its key: its clients still know it.
dpkg_retry -i "$deb" || fail "dpkg -i nach dpkg -r"
[ "$(/opt/plenwick/plenwick --fingerprint)" = "$fingerprint" ] || fail "neuer Schlüssel nach erneuter Installation"

dpkg_retry --purge plenwick || fail "dpkg --purge"
[ ! -e /opt/plenwick ] || fail "nach dpkg --purge blieb: $(ls -A /opt/plenwick)"
echo "Paket geprüft: $(basename "$deb")"
