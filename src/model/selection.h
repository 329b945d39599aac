// The items of the open stage the author has selected: sprites and sectors,
// each a set of record numbers (1-based). The Sprite and Sector pages each
// keep their own, so going from one page to the other and back finds the
// same items selected.
#pragma once

#include <set>

namespace slv {

enum class ItemKind { Sprite, Sector };

struct LevelSelection {
    std::set<int> sprites;
    std::set<int> sectors;

    std::set<int>& of(ItemKind kind) { return kind == ItemKind::Sprite ? sprites : sectors; }
    const std::set<int>& of(ItemKind kind) const { return kind == ItemKind::Sprite ? sprites : sectors; }
    // The lowest selected number of `kind`; 0 when none.
    int first(ItemKind kind) const { return of(kind).empty() ? 0 : *of(kind).begin(); }
    bool operator==(const LevelSelection&) const = default;
};

}  // namespace slv
