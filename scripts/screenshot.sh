#!/usr/bin/env bash
# Starts the program under a virtual X server and saves a picture of its main window to
# docs/main-window.png. Usage: scripts/screenshot.sh [program] (default build/bin/varnel, built
# when missing). Needs Xvfb, xwininfo and ImageMagick's import (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/bin/varnel}
if [ ! -x "$program" ]; then
  scripts/build.sh build
  program=build/bin/varnel
fi
out=docs/main-window.png
mkdir -p docs

# A screen large enough for the window at its stored position (981, 157) and size 803 x 705.
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
xvfb=$!
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -f "$displayfile"
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$displayfile" ] && break
  sleep 0.1
done
[ -s "$displayfile" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$displayfile")"

QT_QPA_PLATFORM=xcb "$program" &
program_pid=$!
for _ in $(seq 100); do
  xwininfo -name "Varnel UI" >/dev/null 2>&1 && break
  kill -0 "$program_pid" 2>/dev/null || { echo "the program ended early" >&2; exit 1; }
  sleep 0.1
done
xwininfo -name "Varnel UI" >/dev/null 2>&1 || { echo "the main window did not appear" >&2; exit 1; }
sleep 1  # let it paint
import -window "Varnel UI" "$out"
echo "saved $out"
