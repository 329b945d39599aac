// Builds a level of made-up bitmaps in a folder and saves it as a package:
//   package_testdata DIR STAGES STAGE_BYTES IMAGES IMAGE_BYTES
// The bitmaps go to DIR/src, the package to DIR/level.slv. Used by the tool
// test and by the package timing script.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "model/errors.h"
#include "model/fileio.h"
#include "package/levelio.h"

namespace {

void writeBlob(const std::string& path, long size, unsigned seed) {
    std::string data(static_cast<std::size_t>(size), '\0');
    unsigned x = seed * 2654435761u + 1;
    for (char& c : data) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    slv::BinFile f(path, slv::BinFile::Mode::Create);
    f.writeAll(data.data(), data.size());
    f.close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: package_testdata DIR STAGES STAGE_BYTES IMAGES IMAGE_BYTES\n");
        return 2;
    }
    std::string dir = argv[1];
    int stages = std::atoi(argv[2]);
    long stageBytes = std::atol(argv[3]);
    int images = std::atoi(argv[4]);
    long imageBytes = std::atol(argv[5]);
    try {
        slv::createDir(dir);
        slv::createDir(slv::joinPath(dir, "src"));
        auto l = std::make_unique<slv::Level>();
        for (int i = 1; i <= images; ++i) {
            std::string name = "sprite" + std::to_string(i) + ".bmp";
            std::string p = slv::joinPath(dir, "src/" + name);
            writeBlob(p, imageBytes + i, static_cast<unsigned>(i));
            l->image(i).name.set(name);
            l->image(i).path.set(p);
            l->image(i).size = static_cast<int>(imageBytes + i);
            l->totimages = i;
        }
        for (int s = 1; s <= stages; ++s) {
            std::string name = "stage" + std::to_string(s) + ".bmp";
            std::string p = slv::joinPath(dir, "src/" + name);
            writeBlob(p, stageBytes, 1000u + static_cast<unsigned>(s));
            slv::StageRec& st = l->stage(s);
            st.name.set(name);
            st.path.set(p);
            st.size = static_cast<int>(stageBytes);
            l->totstages = s;
            for (int n = 1; n <= 3 && images > 0; ++n) {
                int img = (s * 3 + n) % images + 1;
                slv::SpriteRec& sp = l->sprite(n, s);
                sp.name = l->image(img).name;
                sp.x = 10 * n;
                sp.y = 20 * s;
                sp.w = 16;
                sp.h = 16;
                sp.totpos = n;
                sp.pos = 1;
                sp.image = img;
                l->image(img).refs++;
                st.totsprites = n;
            }
            for (int n = 1; n <= 2; ++n) {
                slv::SectorRec& sc = l->sector(n, s);
                sc.name.set("Sector" + std::to_string(n));
                sc.x = n;
                sc.y = s;
                sc.w = 100;
                sc.h = 50;
                st.totsectors = n;
            }
        }
        slv::PackageHooks hooks;
        slv::saveLevel(*l, slv::joinPath(dir, "level.slv"), hooks);
    } catch (const slv::Error& e) {
        std::fprintf(stderr, "package_testdata: %s\n", e.what());
        return 1;
    }
    return 0;
}
