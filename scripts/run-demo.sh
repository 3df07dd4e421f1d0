#!/usr/bin/env bash
# Installs what is missing, builds, writes a demo sequence and plays it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
bin=${RV_BUILD_DIR:-$root/build}/bin
demo=${RV_DEMO_DIR:-$root/build/demo}
if [ ! -f "$demo/demo.0001.png" ]; then
  mkdir -p "$demo"
  "$bin/rvtool" demo "$demo"
fi
exec "$bin/reelvane" "$demo/demo.0001.png" "$@"
