// skinpack: builds an actor skin package (.skn) from a text description and a
// folder of skin bitmaps. See docs/skin-package.md.
//
//   skinpack DESCRIPTION BITMAPDIR OUT.skn
//
// Exit status: 0 built, 1 a bad description, bitmap or file, 2 wrong arguments.
#include <iostream>

#include "model/errors.h"
#include "model/fileio.h"
#include "skindesc.h"

int main(int argc, char** argv) {
    slv::ignoreFileSizeSignal();
    if (argc != 4) {
        std::cerr << "usage: skinpack DESCRIPTION BITMAPDIR OUT.skn\n";
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
