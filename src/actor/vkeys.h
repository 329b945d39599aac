// Virtual-key codes: the key codes the actor's command table is written in.
#pragma once

#include <string>
#include <string_view>

namespace slv {

namespace vk {
constexpr int Backspace = 8, Tab = 9, Enter = 13, Shift = 16, Ctrl = 17, Alt = 18, Esc = 27,
              Space = 32, PageUp = 33, PageDown = 34, End = 35, Home = 36, Left = 37, Up = 38,
              Right = 39, Down = 40, Insert = 45, Delete = 46, Digit0 = 48, A = 65, Num0 = 96,
              NumMultiply = 106, NumAdd = 107, NumSubtract = 109, NumDecimal = 110,
              NumDivide = 111, F1 = 112, F24 = 135, Semicolon = 186, Equals = 187,
              Comma = 188, Minus = 189, Period = 190, Slash = 191, Backquote = 192,
              BracketLeft = 219, Backslash = 220, BracketRight = 221, Quote = 222;
}

// The virtual-key code of a Qt key (a Qt::Key value); `keypad` is whether the
// event carried the keypad modifier, which turns digits and the operator keys
// into their numeric-keypad codes. 0 for a key without a code here.
// A key names its physical key whether Shift is down or not: the shifted
// symbols of the US layout ("!", "@", "{", "?" ...) give the code of the key
// they are typed on ("1", "2", "[", "/" ...), as letters give one code for
// both cases. (Library slv_keymap, which needs Qt Core.)
int vkFromQtKey(int qtKey, bool keypad);

// The code of a key named as on the keyboard ("Left", "Space", "A", "F1",
// "Num5", "Num+", ...); letter case does not matter, and a few other spellings
// are understood ("Return", "Escape", "Control", "Del", "PgUp", ...).
// 0 for an unknown name.
int vkFromName(std::string_view name);

// The name of a code, as vkFromName reads it back; empty for a code without one.
std::string vkName(int code);

}  // namespace slv
