# SIGTERM, SIGHUP and SIGINT end the editor within two seconds whatever is
# open, a message box, the file dialog or a question, and the unsaved stage
# is in the recovery package; ended while it asks whether to restore that
# package at the next start, the editor keeps the package for the start after.
source "$(dirname "$0")/lib.sh"
[ -n "$SLVTOOL" ] || fail "slvtool is needed"
printf 'BM not a bitmap' > "$HOME_DIR/backpx/broken.bmp"

recovery_package() { ls "$XDG_STATE_HOME"/slvedit/session-*/recovery.slv 2>/dev/null | head -n1; }
# A visible window of the editor named exactly $1.
window_named() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$EDITOR_PID" --name "$1" 2>/dev/null || true); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null || true)" = "$1" ] && return 0
  done
  return 1
}

# What is open when the signal comes, after a stage was added and not saved.
open_error_box() {
  xdotool key Insert
  wait_for 10 dialog_open || fail "no file dialog"
  xdotool key ctrl+a
  xdotool type --delay 5 '"broken.bmp"'
  xdotool key Return
  wait_for 10 window_named Error || fail "no error box for broken.bmp"
}
open_file_dialog() {
  xdotool key Insert
  wait_for 10 dialog_open || fail "no file dialog"
}
open_save_question() {
  xdotool key Escape
  wait_for 10 window_named "Unsaved changes" || fail "no question about the unsaved changes"
}

# Signal, what is open.
cases=(
  "TERM open_error_box"
  "HUP open_file_dialog"
  "INT open_save_question"
)
for c in "${cases[@]}"; do
  read -r sig open_it <<< "$c"
  rm -rf "$XDG_STATE_HOME"
  start_editor
  xdotool key Insert
  dialog_type '"sea.bmp"'
  wait_for 10 level_changed || fail "$c: the stage was not added"
  $open_it
  kill -"$sig" "$EDITOR_PID"
  wait_for 2 editor_ended || { shot "signal-$sig.png"; fail "$c: the editor still runs 2 s after SIG$sig"; }
  wait "$EDITOR_PID" && status=0 || status=$?
  EDITOR_PID=
  [ "$status" = 0 ] || fail "$c: exit status $status"
  RECOVERY=$(recovery_package)
  [ -n "$RECOVERY" ] || fail "$c: no recovery package"
  "$SLVTOOL" ls "$RECOVERY" | grep -q 'sea.bmp' || fail "$c: the recovery package does not hold the stage"
done

# The last case left its package: the next start asks whether to restore
# it, and a signal then answers nothing.
LEFT=$(recovery_package)
start_editor
wait_for 10 window_named Confirm || fail "the left package was not offered"
kill -TERM "$EDITOR_PID"
wait_for 2 editor_ended || fail "the editor still runs 2 s after SIGTERM during the restore question"
wait "$EDITOR_PID" && status=0 || status=$?
EDITOR_PID=
[ "$status" = 0 ] || fail "exit status $status after SIGTERM during the restore question"
[ -f "$LEFT" ] || fail "SIGTERM during the restore question removed the left package"
"$SLVTOOL" ls "$LEFT" | grep -q 'sea.bmp' || fail "the left package lost the stage"
echo "$(( ${#cases[@]} + 1 )) passed, 0 failed"
