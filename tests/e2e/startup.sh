# The editor opens its 800x600 window centred, shows the demo backdrop,
# and Esc closes it, writing the settings files.
source "$(dirname "$0")/lib.sh"

start_editor
[ "$WW" = 800 ] && [ "$WH" = 600 ] || fail "window is ${WW}x${WH}"
[ "$WX" = $(((1024 - 800) / 2)) ] && [ "$WY" = $(((768 - 600) / 2)) ] || fail "window at $WX,$WY"
shot startup.png
# The backdrop is on the view: the demo sky is blue at the top right.
pixel=$(import -window root -crop 1x1+$(view_x 600)+$(view_y 60) txt:- | tail -n1)
echo "$pixel" | grep -qiE '#[0-9A-F]{2}[0-9A-F]{2}[89A-F][0-9A-F]' || fail "no backdrop: $pixel"
xdotool key Escape
wait_exit
[ "$(stat -c %s "$HOME_DIR/corvatel.cf")" = 264 ] || fail "corvatel.cf not written"
[ -f "$HOME_DIR/totposes.dat" ] || fail "totposes.dat not written"
echo "1 passed, 0 failed"
