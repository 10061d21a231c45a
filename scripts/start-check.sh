#!/usr/bin/env bash
# Starts an installed Zeitnahme offscreen from an empty folder with a home of its
# own, ends it like a logout does (SIGTERM) and checks that it quit cleanly and
# kept its backup in the user's data folder, leaving the start folder empty.
# Usage: scripts/start-check.sh /usr/bin/Zeitnahme
set -euo pipefail
program=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home" "$tmp/cwd"
cd "$tmp/cwd"
env HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_DATA_HOME="$tmp/home/.local/share" \
  XDG_RUNTIME_DIR= QT_QPA_PLATFORM=offscreen "$program" &
pid=$!
sleep 4
kill -0 "$pid" 2>/dev/null || { echo "FAIL: $program did not keep running"; exit 1; }
kill -TERM "$pid"
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  kill -KILL "$pid"
  echo "FAIL: $program did not quit on SIGTERM"
  exit 1
fi
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; exit 1; }
backup=$(find "$tmp/home/.local/share" -name Zeitnahme.txt | head -1)
[ -n "$backup" ] || { echo "FAIL: no backup in the data folder at the end"; exit 1; }
[ -z "$(ls -A "$tmp/cwd")" ] || { echo "FAIL: files left in the start folder: $(ls "$tmp/cwd")"; exit 1; }
echo "started and quit cleanly; backup at ~/${backup#"$tmp/home/"}"
