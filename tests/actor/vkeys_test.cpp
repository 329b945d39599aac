#include <gtest/gtest.h>

#include <QtCore/qnamespace.h>

#include "actor/vkeys.h"

using namespace slv;

TEST(VkFromQtKey, LettersDigitsAndNamedKeys) {
    struct { int qt; int code; } cases[] = {
        {Qt::Key_A, 65},        {Qt::Key_M, 77},        {Qt::Key_Z, 90},
        {Qt::Key_0, 48},        {Qt::Key_9, 57},
        {Qt::Key_Left, 37},     {Qt::Key_Up, 38},       {Qt::Key_Right, 39},
        {Qt::Key_Down, 40},     {Qt::Key_F1, 112},      {Qt::Key_F8, 119},
        {Qt::Key_F11, 122},     {Qt::Key_F24, 135},     {Qt::Key_Space, 32},
        {Qt::Key_Return, 13},   {Qt::Key_Enter, 13},    {Qt::Key_Escape, 27},
        {Qt::Key_Tab, 9},       {Qt::Key_Backspace, 8}, {Qt::Key_Insert, 45},
        {Qt::Key_Delete, 46},   {Qt::Key_Home, 36},     {Qt::Key_End, 35},
        {Qt::Key_PageUp, 33},   {Qt::Key_PageDown, 34}, {Qt::Key_Shift, 16},
        {Qt::Key_Control, 17},  {Qt::Key_Alt, 18},
        // Shifted symbols name the key they are typed on: one code with or
        // without Shift, so that a release under Shift frees the key.
        {Qt::Key_Exclam, 49},   {Qt::Key_ParenRight, 48}, {Qt::Key_Asterisk, 56},
        {Qt::Key_At, 50},       {Qt::Key_Comma, 188},   {Qt::Key_Less, 188},
        {Qt::Key_Slash, 191},   {Qt::Key_Question, 191}, {Qt::Key_BracketLeft, 219},
        {Qt::Key_BraceLeft, 219}, {Qt::Key_Apostrophe, 222}, {Qt::Key_QuoteDbl, 222},
        // Unmapped keys give zero.
        {Qt::Key_Meta, 0},      {Qt::Key_section, 0},
        {Qt::Key_F25, 0},       {Qt::Key_unknown, 0},
    };
    for (auto c : cases) EXPECT_EQ(vkFromQtKey(c.qt, false), c.code) << std::hex << c.qt;
}

TEST(VkFromQtKey, KeypadDigitsAndOperators) {
    for (int d = 0; d <= 9; ++d) EXPECT_EQ(vkFromQtKey(Qt::Key_0 + d, true), 96 + d);
    // Keypad arrows (NumLock off) are the arrow keys.
    struct { int qt; int code; } cases[] = {
        {Qt::Key_Asterisk, 106}, {Qt::Key_Plus, 107}, {Qt::Key_Minus, 109}, {Qt::Key_Period, 110},
        {Qt::Key_Slash, 111},    {Qt::Key_Enter, 13}, {Qt::Key_Left, 37},   {Qt::Key_Home, 36},
    };
    for (auto c : cases) EXPECT_EQ(vkFromQtKey(c.qt, true), c.code) << std::hex << c.qt;
}

TEST(VkFromName, NamesAsOnTheKeyboardAndUnknownNamesGiveZero) {
    const std::pair<const char*, int> cases[] = {
        {"Left", 37},   {"Up", 38},      {"Right", 39},   {"Down", 40},    {"Space", 32},
        {"A", 65},      {"z", 90},       {"7", 55},       {"F1", 112},     {"f12", 123},
        {"F24", 135},   {"Num5", 101},   {"num0", 96},    {"Num*", 106},   {"Num+", 107},
        {"Num-", 109},  {"Num.", 110},   {"Num/", 111},   {"SPACE", 32},   {"Return", 13},
        {"Escape", 27}, {"Control", 17}, {"PgDn", 34},
    };
    for (auto [name, code] : cases) EXPECT_EQ(vkFromName(name), code) << name;
    for (const char* n : {"", "F0", "F25", "F01", "F123", "Fn", "Num10", "Num", "Lefty", "?", "Ä", "F1x", "NumA"})
        EXPECT_EQ(vkFromName(n), 0) << n;
}

TEST(VkName, EveryNamedCodeReadsBackAndOthersAreEmpty) {
    std::vector<int> codes = {8, 9, 13, 16, 17, 18, 27, 32, 33, 34, 35, 36, 37, 38, 39, 40, 45, 46};
    for (int c = 48; c <= 57; ++c) codes.push_back(c);
    for (int c = 65; c <= 90; ++c) codes.push_back(c);
    for (int c = 96; c <= 107; ++c) codes.push_back(c);
    for (int c = 109; c <= 135; ++c) codes.push_back(c);
    for (int c : codes) {
        std::string n = vkName(c);
        EXPECT_FALSE(n.empty()) << c;
        EXPECT_EQ(vkFromName(n), c) << n;
    }
    const std::pair<int, const char*> names[] = {{37, "Left"}, {13, "Enter"}, {27, "Esc"},
                                                 {101, "Num5"}, {112, "F1"},  {65, "A"},
                                                 {0, ""},       {-1, ""},     {108, ""}, {200, ""}};
    for (auto [code, name] : names) EXPECT_EQ(vkName(code), name) << code;
}
