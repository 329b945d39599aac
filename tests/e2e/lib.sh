# Shared steps of the end-to-end scripts: a fresh home folder copied from
# the demo, the editor started in it, and small checks.
set -euo pipefail

EDITOR_BIN=$1
DEMO=$2
ARTEFACTS=$3
SLVTOOL=${4:-}
mkdir -p "$ARTEFACTS"

WORK=$(mktemp -d)
HOME_DIR=$WORK/home
export XDG_CONFIG_HOME=$WORK/config
export XDG_RUNTIME_DIR=$WORK/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cp -r "$DEMO" "$HOME_DIR"
EDITOR_PID=
cleanup() {
  if [ -n "$EDITOR_PID" ] && kill -0 "$EDITOR_PID" 2>/dev/null; then kill "$EDITOR_PID"; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Starts the editor in the home folder and waits for its window (WID).
start_editor() {
  (cd "$HOME_DIR" && exec "$EDITOR_BIN" "$@") > "$WORK/editor.log" 2>&1 &
  EDITOR_PID=$!
  WID=
  for _ in $(seq 1 100); do
    WID=$(xdotool search --pid "$EDITOR_PID" --class slvedit 2>/dev/null | head -n1 || true)
    [ -n "$WID" ] && break
    sleep 0.1
  done
  [ -n "$WID" ] || fail "no editor window appeared"
  # Give the first frames time to reach the screen.
  sleep 1.5
  eval "$(xwininfo -id "$WID" | awk '/Absolute upper-left X/{print "WX="$4} /Absolute upper-left Y/{print "WY="$4} /Width:/{print "WW="$2} /Height:/{print "WH="$2}')"
}

wait_exit() {
  for _ in $(seq 1 100); do
    kill -0 "$EDITOR_PID" 2>/dev/null || { wait "$EDITOR_PID" || true; EDITOR_PID=; return 0; }
    sleep 0.1
  done
  fail "the editor did not close"
}

# Screen position of a point of the scene view (view pixels).
view_x() { echo $((WX + 6 + $1)); }
view_y() { echo $((WY + 7 + $1)); }

shot() { import -window root "$ARTEFACTS/$1"; }

# Types a path into the file dialog that has the focus and confirms it.
dialog_type() {
  sleep 1
  xdotool key ctrl+a
  xdotool type --delay 5 "$1"
  xdotool key Return
  sleep 1
}
