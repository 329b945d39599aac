// skinpack: builds an actor skin package (.skn) from a text description and a
// folder of skin bitmaps. See docs/skin-package.md.
//
//   skinpack DESCRIPTION BITMAPDIR OUT.skn
//
// Exit status: 0 built, 1 a bad description, bitmap or file, 2 wrong arguments.
#include <cstring>
#include <iostream>

#include "model/errors.h"
#include "model/fileio.h"
#include "skindesc.h"
#include "version.h"

namespace {

const char* const kUsage =
    "Usage: skinpack DESCRIPTION BITMAPDIR OUT.skn\n"
    "Build an actor skin package OUT.skn from the text DESCRIPTION and the skin\n"
    "bitmaps in BITMAPDIR. The package is written beside OUT.skn under a\n"
    "temporary name and renamed over it only when complete.\n"
    "\n"
    "Options:\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Exit status: 0 the package was written, 1 a bad description, bitmap or file\n"
    "(the message names it), 2 wrong arguments.\n";

}  // namespace

int main(int argc, char** argv) {
    slv::ignoreFileSizeSignal();
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kUsage;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "skinpack " SLV_VERSION "\n";
        return 0;
    }
    if (argc != 4) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string descPath = argv[1], bitmapDir = argv[2], outPath = argv[3];
    try {
        std::string text;
        try {
            text = slv::readWholeFile(descPath);
        } catch (const slv::Error& e) {
            throw slv::Error(descPath + ": " + e.what());
        }
        slv::SkinDescription d = slv::parseSkinDescription(text, descPath);
        std::string package = slv::buildSkinPackage(d, bitmapDir, descPath);
        try {
            slv::writeFileAtomic(outPath, package);
        } catch (const slv::Error& e) {
            throw slv::Error(outPath + ": " + e.what());
        }
        std::cout << outPath << ": " << d.skins.size() << " skins, " << d.commands.size()
                  << " commands, " << package.size() << " bytes\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "skinpack: " << e.what() << "\n";
        return 1;
    }
}
