// The test actor's key commands: which keys are held, which command of the
// actor's command table matches them, and which skin the actor shows.
//
// Everything works on an slv::ActorState (skins 1..skinCount, commands
// 1..commandCount, currentSkin, lastCommand, heldKeys[0]..3, releasePending). Skin numbers
// that lie outside 1..skinCount (currentSkin 0 before a skin package is loaded, a
// command naming a skin the package does not have) never index a table:
// such a skin is "no skin", and a command leading to it never matches.
#pragma once

#include "actorstate.h"

namespace slv {

// True when `key` equals one of the three held keys.
bool isHeldKey(int key, int h1, int h2, int h3);

// True when command `i` matches the keys now held. With no key held only a
// command without keys matches; otherwise every key the command names must be
// held (other held keys do not matter) and a command without keys never matches.
// A command number outside the table gives false.
bool commandMatchesHeldKeys(const ActorState& actor, int i);

// Chooses the actor's skin for this moment: a pending release at the last
// frame of a one-shot skin, then the first matching key command from the
// current skin, then the end of a one-shot skin. A change of skin restarts the
// frames of every skin. Called once per frame-loop tick and after every key press.
void updateActorSkin(ActorState& actor);

// Key codes outside 1..65535 (0 = a key without a virtual-key code) are not
// recorded as held.

// A key went down (every key-down message, auto-repeats included): the key
// takes the first free held-key slot unless it already holds one; then updateActorSkin.
void actorKeyDown(ActorState& actor, int key);

// A key went up: its slot is freed; when it is a key of the last command taken,
// a normal skin switches at once to that command's back skin (its frames go
// on where they are), and a one-shot skin marks the release as pending.
void actorKeyUp(ActorState& actor, int key);

// True when `s` names a skin in use (1..skinCount).
bool skinInUse(const ActorState& actor, int s);

// One animation step of the actor: its skin shows its next frame, the first
// again after the last (or after a frame number out of range). The sprites'
// frames are the view's (SpriteAnimation): their records are not touched.
void advanceActorFrame(ActorState& actor);

}  // namespace slv
