#!/usr/bin/env bash
# Builds the Debian package reelvane_VERSION_amd64.deb into the top folder of the checkout, from
# its own build folder (build-deb/, or $RV_DEB_BUILD_DIR) without tests or benchmarks. Extra
# arguments go to cmake. Install it with: apt-get install ./reelvane_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RV_DEB_BUILD_DIR:-$root/build-deb}
"$root/scripts/install-deps.sh"
for tool in dpkg-shlibdeps rsvg-convert; do
  command -v "$tool" >/dev/null || { echo "package-deb.sh: $tool is missing" >&2; exit 1; }
done
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRV_BUILD_TESTS=OFF -DRV_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/reelvane_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/reelvane_*.deb)
cp "$deb" "$root/"
echo "$root/$(basename "$deb")"
