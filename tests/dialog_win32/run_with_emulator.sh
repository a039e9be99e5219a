#!/bin/bash
# Runs a Windows test program under Wine, with the emulated receiver on a
# pseudo-terminal behind port 3 (ports 1 and 2 have no device), in a fresh
# working directory that is removed afterwards.
#   run_with_emulator.sh EMULATOR TEST.exe [test arguments...]
# Needs an X display for the window (xvfb-run) and takes Wine's settings
# (WINEPREFIX, WINEDEBUG, ...) from the environment.
set -euo pipefail
emulator=$1
program=$2
shift 2
region=13

work=$(mktemp -d)
emulator_pid=
cleanup() {
  if [ -n "$emulator_pid" ]; then kill "$emulator_pid" 2>/dev/null || true; wait "$emulator_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$emulator" --region "$region" --verbose >"$work/emulator.out" 2>"$work/emulator.log" &
emulator_pid=$!
for _ in $(seq 100); do
  [ -s "$work/emulator.out" ] && break
  sleep 0.05
done
device=$(head -n 1 "$work/emulator.out")
if [ -z "$device" ]; then
  echo "the emulator did not start" >&2
  exit 1
fi

# Wine sees the Unix file system as drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

cd "$work"
QLR5500_PORTS=";;$(windows_path "$device")" \
QLR_EMULATOR_LOG=$(windows_path "$work/emulator.log") \
QLR_EMULATOR_REGION=$region \
  wine "$program" "$@"
