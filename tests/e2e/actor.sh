# Holding the Right arrow walks the test actor: the picture around the
# actor and the skin number on the view change, and letting go stops it.
# The actor's transparent colour (magenta) never reaches the screen.
source "$(dirname "$0")/lib.sh"

start_editor
crop() { import -window root -crop "$1" "$ARTEFACTS/$2"; }
ACTOR="64x72+$(view_x 168)+$(view_y 132)"
NUMBERS="40x16+$(view_x 0)+$(view_y 14)"
crop "$ACTOR" actor-idle.png
crop "$NUMBERS" skin-idle.png
differ() { ! compare -metric AE "$1" "$2" null: 2>/dev/null; }
skin_changed() { crop "$NUMBERS" skin-walk.png; differ "$ARTEFACTS/skin-idle.png" "$ARTEFACTS/skin-walk.png"; }
skin_back() { crop "$NUMBERS" skin-back.png; ! differ "$ARTEFACTS/skin-idle.png" "$ARTEFACTS/skin-back.png"; }
xdotool keydown Right
wait_for 10 skin_changed || fail "the skin number did not change"
crop "$ACTOR" actor-walk.png
shot actor-walking.png
xdotool keyup Right
magenta() { convert "$1" txt:- | grep -ci '#FF00FF' || true; }
for f in actor-idle.png actor-walk.png; do
  n=$(magenta "$ARTEFACTS/$f")
  [ "$n" -eq 0 ] || fail "$n pixels of the transparent colour around the actor in $f"
done
differ "$ARTEFACTS/actor-idle.png" "$ARTEFACTS/actor-walk.png" || fail "the actor did not change"
wait_for 10 skin_back || fail "the actor did not return to its idle skin"
quit_editor
echo "1 passed, 0 failed"
