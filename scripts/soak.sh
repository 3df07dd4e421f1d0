#!/usr/bin/env bash
# Plays a looping render-like sequence larger than the frame cache's budget under Xvfb for
# MINUTES (default 10) and prints the player's resident memory every 10 s, then the growth
# after the first minute. Needs a built tree (scripts/build.sh).
#   scripts/soak.sh [MINUTES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-10}
bin=${RV_BUILD_DIR:-$root/build}/bin
frames=${RV_SOAK_DIR:-/tmp/rv-soak-frames}
home=$(mktemp -d)
trap 'kill "${player:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$home"' EXIT

if [ ! -f "$frames/demo.0048.png" ]; then
  "$bin/rvtool" demo "$frames" --content render --size 2048x1556 --frames 48 --format png >/dev/null
fi
# 48 frames of 12.2 MB decoded; a budget of 1 % of this machine's memory holds fewer of them.
printf '[Playback]\nRAMPercent=1\n' > "$home/settings.ini"
display=:$((100 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=$display REELVANE_HOME=$home "$bin/reelvane" "$frames/demo.0001.png" >/dev/null 2>&1 &
player=$!
budget=$(awk '/MemTotal/ {printf "%d", $2 / 1024 / 100}' /proc/meminfo)
echo "budget: ${budget} MB (RAMPercent=1)"
echo "seconds resident_MB"
first=""
last=""
samples=$(mktemp)
for ((s = 10; s <= minutes * 60; s += 10)); do
  sleep 10
  kill -0 "$player" 2>/dev/null || { echo "the player ended early" >&2; exit 1; }
  rss=$(awk '/VmRSS/ {printf "%d", $2 / 1024}' "/proc/$player/status")
  echo "$s $rss"
  echo "$s $rss" >> "$samples"
  [ "$s" -eq 60 ] && first=$rss
  last=$rss
done
if [ -n "$first" ]; then
  awk -v a="$first" -v b="$last" 'BEGIN { printf "growth after the first minute (single samples): %.1f %%\n", (b - a) * 100 / a }'
fi
# Single samples swing by a frame or two in flight (12 MB each); minute means show the trend.
if [ "$minutes" -ge 2 ]; then
  awk -v last="$minutes" '{ m = int(($1 - 1) / 60) + 1; sum[m] += $2; n[m]++ }
    END { a = sum[2] / n[2]; b = sum[last] / n[last];
          printf "minute 2 mean %.1f MB, minute %d mean %.1f MB: growth %.1f %%\n", a, last, b, (b - a) * 100 / a }' "$samples"
fi
rm -f "$samples"
