#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and starts Plenwick. Arguments go to the program; "demo"
# instead runs the guided tour on the multi-host test bed (root only), and
# "package" builds the Debian package into build/package/.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/setup.sh"
build=${PLENWICK_BUILD_DIR:-$top/build}
if [ "$#" = 1 ] && [ "$1" = demo ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "./run.sh demo needs root: it builds a small network of Linux network namespaces." >&2
        echo "Run it as root, for example: sudo ./run.sh demo" >&2
        exit 1
    fi
    exec "$top/tests/testbed/testbed.sh" "$build/src/plenwick" "$top/tests/testbed/demo/Demo.sh"
fi
if [ "$#" = 1 ] && [ "$1" = package ]; then
    cpack --config "$build/CPackConfig.cmake" -B "$build/package"
    rm -rf "$build/package/_CPack_Packages"
    exit 0
fi
exec "$build/src/plenwick" "$@"
