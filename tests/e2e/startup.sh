# The editor opens its 800x600 window centred, shows the demo backdrop,
# and Esc closes it, writing the settings files. A start-up that goes wrong
# shows its message once, and Enter takes the box away.
source "$(dirname "$0")/lib.sh"

fresh_home() { rm -rf "$HOME_DIR" "$XDG_CONFIG_HOME"/*; cp -r "$DEMO" "$HOME_DIR"; classic_window true; }
# The editor's visible message box, if one is open.
error_box() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$EDITOR_PID" --name Error 2>/dev/null || true); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null || true)" = Error ] && { echo "$w"; return 0; }
  done
  return 0
}
box_open() { [ -n "$(error_box)" ]; }
box_closed() { [ -z "$(error_box)" ]; }

start_editor
[ "$WW" = 800 ] && [ "$WH" = 600 ] || fail "window is ${WW}x${WH}"
[ "$WX" = $(((1024 - 800) / 2)) ] && [ "$WY" = $(((768 - 600) / 2)) ] || fail "window at $WX,$WY"
shot startup.png
# The backdrop is on the view: the demo sky is blue at the top right.
pixel=$(view_pixel 600 60)
[[ ${pixel^^} =~ \#[0-9A-F]{4}[89A-F][0-9A-F] ]] || fail "no backdrop: $pixel"
quit_editor
[ "$(stat -c %s "$HOME_DIR/corvatel.cf")" = 264 ] || fail "corvatel.cf not written"
[ -f "$HOME_DIR/totposes.dat" ] || fail "totposes.dat not written"

# Without car.bmp: one message, then Enter takes it away and Esc ends the editor.
fresh_home
rm "$HOME_DIR/car.bmp"
start_editor
shot startup-no-car.png
wait_for 10 box_open || fail "no message box"
xdotool key Return
wait_for 5 box_closed || fail "the message box came back"
# A second message would come with the next frame: wait for one to be drawn.
wait_for 10 frame_shown || fail "no frame after the message"
box_closed || fail "a second message box"
quit_editor

echo "2 passed, 0 failed"
