#include <gtest/gtest.h>

#include <QtCore/qnamespace.h>

#include "actor/vkeys.h"

using namespace slv;

TEST(VkFromQtKey, LettersAndDigits) {
    EXPECT_EQ(vkFromQtKey(Qt::Key_A, false), 65);
    EXPECT_EQ(vkFromQtKey(Qt::Key_M, false), 77);
    EXPECT_EQ(vkFromQtKey(Qt::Key_Z, false), 90);
    EXPECT_EQ(vkFromQtKey(Qt::Key_0, false), 48);
    EXPECT_EQ(vkFromQtKey(Qt::Key_9, false), 57);
}

TEST(VkFromQtKey, NamedKeys) {
    struct { int qt; int code; } cases[] = {
        {Qt::Key_Left, 37},     {Qt::Key_Up, 38},       {Qt::Key_Right, 39},
        {Qt::Key_Down, 40},     {Qt::Key_F1, 112},      {Qt::Key_F8, 119},
        {Qt::Key_F11, 122},     {Qt::Key_F24, 135},     {Qt::Key_Space, 32},
        {Qt::Key_Return, 13},   {Qt::Key_Enter, 13},    {Qt::Key_Escape, 27},
        {Qt::Key_Tab, 9},       {Qt::Key_Backspace, 8}, {Qt::Key_Insert, 45},
        {Qt::Key_Delete, 46},   {Qt::Key_Home, 36},     {Qt::Key_End, 35},
        {Qt::Key_PageUp, 33},   {Qt::Key_PageDown, 34}, {Qt::Key_Shift, 16},
        {Qt::Key_Control, 17},  {Qt::Key_Alt, 18},
    };
    for (auto c : cases) EXPECT_EQ(vkFromQtKey(c.qt, false), c.code) << std::hex << c.qt;
}

TEST(VkFromQtKey, KeypadDigitsAndOperators) {
    for (int d = 0; d <= 9; ++d) EXPECT_EQ(vkFromQtKey(Qt::Key_0 + d, true), 96 + d);
    EXPECT_EQ(vkFromQtKey(Qt::Key_Asterisk, true), 106);
    EXPECT_EQ(vkFromQtKey(Qt::Key_Plus, true), 107);
    EXPECT_EQ(vkFromQtKey(Qt::Key_Minus, true), 109);
    EXPECT_EQ(vkFromQtKey(Qt::Key_Period, true), 110);
    EXPECT_EQ(vkFromQtKey(Qt::Key_Slash, true), 111);
    EXPECT_EQ(vkFromQtKey(Qt::Key_Enter, true), 13);
    // Keypad arrows (NumLock off) are the arrow keys.
    EXPECT_EQ(vkFromQtKey(Qt::Key_Left, true), 37);
    EXPECT_EQ(vkFromQtKey(Qt::Key_Home, true), 36);
}

TEST(VkFromQtKey, UnmappedKeysGiveZero) {
    EXPECT_EQ(vkFromQtKey(Qt::Key_Meta, false), 0);
    EXPECT_EQ(vkFromQtKey(Qt::Key_Exclam, false), 0);
    EXPECT_EQ(vkFromQtKey(Qt::Key_Asterisk, false), 0);
    EXPECT_EQ(vkFromQtKey(Qt::Key_F25, false), 0);
    EXPECT_EQ(vkFromQtKey(Qt::Key_unknown, false), 0);
}

TEST(VkFromName, NamesAsOnTheKeyboard) {
    EXPECT_EQ(vkFromName("Left"), 37);
    EXPECT_EQ(vkFromName("Up"), 38);
    EXPECT_EQ(vkFromName("Right"), 39);
    EXPECT_EQ(vkFromName("Down"), 40);
    EXPECT_EQ(vkFromName("Space"), 32);
    EXPECT_EQ(vkFromName("A"), 65);
    EXPECT_EQ(vkFromName("z"), 90);
    EXPECT_EQ(vkFromName("7"), 55);
    EXPECT_EQ(vkFromName("F1"), 112);
    EXPECT_EQ(vkFromName("f12"), 123);
    EXPECT_EQ(vkFromName("F24"), 135);
    EXPECT_EQ(vkFromName("Num5"), 101);
    EXPECT_EQ(vkFromName("num0"), 96);
    EXPECT_EQ(vkFromName("Num*"), 106);
    EXPECT_EQ(vkFromName("Num+"), 107);
    EXPECT_EQ(vkFromName("Num-"), 109);
    EXPECT_EQ(vkFromName("Num."), 110);
    EXPECT_EQ(vkFromName("Num/"), 111);
    EXPECT_EQ(vkFromName("SPACE"), 32);
    EXPECT_EQ(vkFromName("Return"), 13);
    EXPECT_EQ(vkFromName("Escape"), 27);
    EXPECT_EQ(vkFromName("Control"), 17);
    EXPECT_EQ(vkFromName("PgDn"), 34);
}

TEST(VkFromName, UnknownNamesGiveZero) {
    for (const char* n : {"", "F0", "F25", "F01", "Num10", "Num", "Lefty", "?", "Ä", "F1x", "NumA"})
        EXPECT_EQ(vkFromName(n), 0) << n;
}

TEST(VkName, EveryNamedCodeReadsBack) {
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
    EXPECT_EQ(vkName(37), "Left");
    EXPECT_EQ(vkName(13), "Enter");
    EXPECT_EQ(vkName(27), "Esc");
    EXPECT_EQ(vkName(101), "Num5");
    EXPECT_EQ(vkName(112), "F1");
    EXPECT_EQ(vkName(65), "A");
}

TEST(VkName, CodesWithoutNameAreEmpty) {
    EXPECT_EQ(vkName(0), "");
    EXPECT_EQ(vkName(-1), "");
    EXPECT_EQ(vkName(108), "");
    EXPECT_EQ(vkName(200), "");
}

TEST(VkFromQtKey, AgreesWithTheNames) {
    EXPECT_EQ(vkFromQtKey(Qt::Key_Left, false), vkFromName("Left"));
    EXPECT_EQ(vkFromQtKey(Qt::Key_Space, false), vkFromName("Space"));
    EXPECT_EQ(vkFromQtKey(Qt::Key_5, true), vkFromName("Num5"));
    EXPECT_EQ(vkFromQtKey(Qt::Key_F1, false), vkFromName("F1"));
}
