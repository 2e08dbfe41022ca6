#!/usr/bin/env bash
# Makes the Debian package of OVO with CPack: a release build for /usr in build-package/, then
# cpack -G DEB. Prints the package's path. Install it with apt-get install ./ovo_*.deb.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

dir="$OVO_ROOT/build-package"
echo "== building for /usr in $dir"
# For any x86-64 processor, not only this machine's (and the shaders it compiles, likewise).
ovo_build "$dir" -DCMAKE_INSTALL_PREFIX=/usr -DOVO_TESTS=OFF -DOVO_ARCH=x86-64
cd "$dir"
cpack -G DEB >/dev/null
ls "$dir"/ovo_*.deb
