// What slvtool needs of the display layer: decoding bitmap members as the
// editor does and drawing a stage as the scene view shows it.
#pragma once

#include <cstdint>
#include <string>

namespace slvtool {

// Decodes every bitmap member of a checked package the way the editor loads
// pictures; throws slv::Error naming the first member it cannot load.
void decodeMembers(const std::string& package);

// The refusal of a stage number outside 1..stageCount, naming the range.
std::string noStageText(long stage, int stageCount);

// Throws slv::Error when `outFile` names no file or its folder does not exist.
void checkOutputFolder(const std::string& outFile);

// Checks the output folder and the stage number (1..the package's stage
// count) first; then opens the package as the editor does (members extracted beside it), draws
// stage `stage` as the view shows it with that stage open (its backdrop, then
// every sprite at its first frame with the colour key `keyRgb`; no outlines,
// actor or numbers) into a 640 x 430 32-bit picture and writes it as a PNG.
void renderStage(const std::string& package, long stage, const std::string& outPng, std::uint32_t keyRgb);

}  // namespace slvtool
