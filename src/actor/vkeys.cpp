#include "vkeys.h"

#include <array>
#include <cctype>
#include <utility>

namespace slv {

namespace {

struct NamedKey {
    std::string_view name;
    int code;
};

// The first name of each code is the one vkName gives.
constexpr std::array<NamedKey, 29> kNamedKeys{{
    {"Backspace", vk::Backspace}, {"Tab", vk::Tab},        {"Enter", vk::Enter},
    {"Return", vk::Enter},        {"Shift", vk::Shift},    {"Ctrl", vk::Ctrl},
    {"Control", vk::Ctrl},        {"Alt", vk::Alt},        {"Esc", vk::Esc},
    {"Escape", vk::Esc},          {"Space", vk::Space},    {"PageUp", vk::PageUp},
    {"PgUp", vk::PageUp},         {"PageDown", vk::PageDown}, {"PgDn", vk::PageDown},
    {"End", vk::End},             {"Home", vk::Home},      {"Left", vk::Left},
    {"Up", vk::Up},               {"Right", vk::Right},    {"Down", vk::Down},
    {"Insert", vk::Insert},       {"Ins", vk::Insert},     {"Delete", vk::Delete},
    {"Del", vk::Delete},          {"Num*", vk::NumMultiply}, {"Num+", vk::NumAdd},
    {"Num-", vk::NumSubtract},    {"Num/", vk::NumDivide},
}};

bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool startsWith(std::string_view text, std::string_view head) {
    return text.size() >= head.size() && sameText(text.substr(0, head.size()), head);
}

// A decimal number of one or two digits, or -1.
int smallNumber(std::string_view s) {
    if (s.empty() || s.size() > 2) return -1;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

}  // namespace

int vkFromName(std::string_view name) {
    if (name.size() == 1) {
        unsigned char c = static_cast<unsigned char>(name[0]);
        if (std::isalpha(c)) return std::toupper(c);
        if (std::isdigit(c)) return c;
        return 0;
    }
    for (const NamedKey& k : kNamedKeys)
        if (sameText(name, k.name)) return k.code;
    if (sameText(name, "Num.")) return vk::NumDecimal;
    if (startsWith(name, "Num")) {
        std::string_view rest = name.substr(3);
        if (rest.size() == 1 && rest[0] >= '0' && rest[0] <= '9') return vk::Num0 + (rest[0] - '0');
        return 0;
    }
    if (name.size() >= 2 && (name[0] == 'F' || name[0] == 'f')) {
        int n = smallNumber(name.substr(1));
        if (n >= 1 && n <= 24 && name[1] != '0') return vk::F1 + n - 1;
    }
    return 0;
}

std::string vkName(int code) {
    if (code >= 'A' && code <= 'Z') return std::string(1, static_cast<char>(code));
    if (code >= '0' && code <= '9') return std::string(1, static_cast<char>(code));
    if (code >= vk::Num0 && code <= vk::Num0 + 9) return "Num" + std::to_string(code - vk::Num0);
    if (code >= vk::F1 && code <= vk::F24) return "F" + std::to_string(code - vk::F1 + 1);
    if (code == vk::NumDecimal) return "Num.";
    for (const NamedKey& k : kNamedKeys)
        if (k.code == code) return std::string(k.name);
    return {};
}

}  // namespace slv
