# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the bench scripts.

# make_object <MiB> <file>: half compressible text, half random bytes.
make_object() {
  local half=$(( $1 * 512 * 1024 ))
  { (yes "Plenwick verteilt Objekte an alle Clients im Netz. $RANDOM" || true) | head -c "$half"
    head -c "$half" /dev/urandom; } >"$2"
}
