#!/bin/bash
# Runs a command under a virtual X server of its own (1024x768, 24 bits, or
# XVFB_SCREEN).
# The server picks a free display itself (-displayfd) and names it only once
# it takes connections, so servers started side by side, or one still going
# away on the same number, never hand a client a display it cannot reach.
# The server never resets: by default X resets itself whenever its last
# client leaves, and refuses the clients that connect meanwhile (the editor
# started again by a script).
# Usage: xserver.sh COMMAND [ARGS...]
set -u
TMP=$(mktemp -d)
XVFB_PID=
cleanup() {
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; fi
  rm -rf "$TMP"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp -noreset 3>"$TMP/display" 2>"$TMP/xvfb.log" &
XVFB_PID=$!
deadline=$((SECONDS + 30))
until [ -s "$TMP/display" ]; do
  if ! kill -0 "$XVFB_PID" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
    cat "$TMP/xvfb.log" >&2
    echo "the X server did not start" >&2
    exit 1
  fi
  sleep 0.1
done
DISPLAY=:$(head -n1 "$TMP/display") "$@"
