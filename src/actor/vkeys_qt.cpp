// The Qt side of the key table; the only part of the actor code that needs Qt.
#include <QtCore/qnamespace.h>

#include "vkeys.h"

namespace slv {

int vkFromQtKey(int qtKey, bool keypad) {
    if (keypad) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return vk::Num0 + (qtKey - Qt::Key_0);
        switch (qtKey) {
        case Qt::Key_Asterisk: return vk::NumMultiply;
        case Qt::Key_Plus: return vk::NumAdd;
        case Qt::Key_Minus: return vk::NumSubtract;
        case Qt::Key_Period:
        case Qt::Key_Comma: return vk::NumDecimal;  // the decimal key of some layouts
        case Qt::Key_Slash: return vk::NumDivide;
        default: break;  // keypad arrows, Home, Enter... are the ordinary keys
        }
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return vk::A + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return vk::Digit0 + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return vk::F1 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Left: return vk::Left;
    case Qt::Key_Up: return vk::Up;
    case Qt::Key_Right: return vk::Right;
    case Qt::Key_Down: return vk::Down;
    case Qt::Key_Space: return vk::Space;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vk::Enter;
    case Qt::Key_Escape: return vk::Esc;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return vk::Tab;
    case Qt::Key_Backspace: return vk::Backspace;
    case Qt::Key_Insert: return vk::Insert;
    case Qt::Key_Delete: return vk::Delete;
    case Qt::Key_Home: return vk::Home;
    case Qt::Key_End: return vk::End;
    case Qt::Key_PageUp: return vk::PageUp;
    case Qt::Key_PageDown: return vk::PageDown;
    case Qt::Key_Shift: return vk::Shift;
    case Qt::Key_Control: return vk::Ctrl;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return vk::Alt;
    // Shift on a digit key (US layout).
    case Qt::Key_ParenRight: return vk::Digit0;
    case Qt::Key_Exclam: return vk::Digit0 + 1;
    case Qt::Key_At: return vk::Digit0 + 2;
    case Qt::Key_NumberSign: return vk::Digit0 + 3;
    case Qt::Key_Dollar: return vk::Digit0 + 4;
    case Qt::Key_Percent: return vk::Digit0 + 5;
    case Qt::Key_AsciiCircum: return vk::Digit0 + 6;
    case Qt::Key_Ampersand: return vk::Digit0 + 7;
    case Qt::Key_Asterisk: return vk::Digit0 + 8;
    case Qt::Key_ParenLeft: return vk::Digit0 + 9;
    // Punctuation keys, plain and shifted.
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return vk::Semicolon;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return vk::Equals;
    case Qt::Key_Comma:
    case Qt::Key_Less: return vk::Comma;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return vk::Minus;
    case Qt::Key_Period:
    case Qt::Key_Greater: return vk::Period;
    case Qt::Key_Slash:
    case Qt::Key_Question: return vk::Slash;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return vk::Backquote;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return vk::BracketLeft;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return vk::Backslash;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return vk::BracketRight;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return vk::Quote;
    default: return 0;
    }
}

}  // namespace slv
