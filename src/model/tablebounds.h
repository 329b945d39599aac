// The bounds every reader of the level's tables keeps to.
#pragma once

#include <cstdint>

#include "level.h"

namespace slv {

// A count read from a record, held within 0..max so that no loop leaves a table.
constexpr int clampCount(std::int32_t count, int max) { return count < 0 ? 0 : (count > max ? max : count); }

// True for a stage that can hold sprites and sectors: number 1..30 (stage 0
// is the splash screen). Whether the level has that many stages is not asked.
constexpr bool isStageNumber(int number) { return number >= 1 && number <= kMaxStages; }

}  // namespace slv
