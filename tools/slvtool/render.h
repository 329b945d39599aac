// What slvtool needs of the display layer: decoding bitmap members as the
// editor does and drawing a stage as the scene view shows it.
#pragma once

#include <cstdint>
#include <string>

namespace slvtool {

// Decodes every bitmap member of a checked package the way the editor loads
// pictures; throws slv::Error naming the first member it cannot load.
void decodeMembers(const std::string& package);

// Opens the package as the editor does (members extracted beside it), draws
// stage `stage` as the view shows it with that stage open (its backdrop, then
// every sprite at its first frame with the colour key `keyRgb`; no outlines,
// actor or numbers) into a 640 x 430 32-bit picture and writes it as a PNG.
void renderStage(const std::string& package, int stage, const std::string& outPng, std::uint32_t keyRgb);

}  // namespace slvtool
