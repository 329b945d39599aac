// Builds a level of made-up BMP pictures in a folder and saves it as a package:
//   package_testdata DIR STAGES STAGE_BYTES IMAGES IMAGE_BYTES
// The bitmaps go to DIR/src, the package to DIR/level.slv. Used by the tool
// test and by the package timing script.
//   package_testdata --older DIR
// writes DIR/older.slv as an older editor did: an accented 19-character
// sprite name, an accented 20-character stage name and a sprite of 999
// frames on a 30-pixel strip (frames 0 pixels wide). Its bitmaps lie where
// Open puts them, so a resave in DIR gives back the same tables.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../package_helpers.h"
#include "common/accents.h"

namespace {

struct Picture {
    int width = 0, height = 0;
};

// A 24-bit BMP of `height` rows, as wide as `size` bytes allow, padded with
// bytes after the pixels up to exactly `size`; its colours depend on `seed`,
// with a stripe of the colour ff0080 (red, no green, half blue) down its right edge.
Picture writeBitmap(const std::string& path, long size, int height, unsigned seed) {
    auto row = [](int w) { return (w * 3 + 3) / 4 * 4; };
    int w = 1;
    while (54 + static_cast<long>(row(w + 1)) * height <= size) ++w;
    std::string data = bmpHeader(w, height);
    data.resize(static_cast<std::size_t>(size), '\0');
    unsigned x = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < w; ++i) {
            x = x * 1103515245u + 12345u;
            const std::uint32_t bgr = (i == w - 1) ? 0xff0080u : (x >> 8) & 0xffffffu;
            char* p = &data[54 + static_cast<std::size_t>(y * row(w) + i * 3)];
            p[0] = static_cast<char>(bgr), p[1] = static_cast<char>(bgr >> 8), p[2] = static_cast<char>(bgr >> 16);
        }
    slvtest::writeFile(path, data);
    return Picture{w, height};
}

void makeOlder(const std::string& dir) {
    const std::string stageName = "plage_d_" + kE + "t" + kE + "_2026.bmp";
    auto l = std::make_unique<slv::Level>();
    const std::string images[2] = {times(kE, 15) + ".bmp", "rope.bmp"};
    for (int i = 1; i <= 2; ++i) {
        const std::string p = slv::joinPath(dir, "sprites/" + images[i - 1]);
        writeBitmap(p, 54 + 92 * 16, 16, static_cast<unsigned>(i));  // 30 x 16
        l->image(i).name.set(images[i - 1]);
        l->image(i).path.set(p);
        l->image(i).size = 54 + 92 * 16;
        l->image(i).useCount = 1;
    }
    l->imageCount = 2;
    const std::string stage = slv::joinPath(dir, "backpx/" + stageName);
    writeBitmap(stage, 54 + 192 * 48, 48, 7u);
    slv::StageRec& st = l->stage(1);
    st.name.set(stageName);
    st.path.set(stage);
    st.size = 54 + 192 * 48;
    l->stageCount = 1;
    const int frames[2] = {3, 999};
    for (int n = 1; n <= 2; ++n) {
        slv::SpriteRec& sp = l->sprite(n, 1);
        sp.name = l->image(n).name;
        sp.x = 40 * n, sp.y = 30, sp.w = 30 / frames[n - 1], sp.h = 16;
        sp.frameCount = frames[n - 1], sp.frame = 1, sp.image = n;
    }
    st.spriteCount = 2;
    slv::SectorRec& sc = l->sector(1, 1);
    sc.name.set("Secteur_" + kE);
    sc.x = 1, sc.y = 2, sc.w = 30, sc.h = 40;
    st.sectorCount = 1;
    pkgtest::buildByHand(*l, *l, slv::joinPath(dir, "older.slv"));
}

// The level of made-up pictures, saved as DIR/level.slv.
void makeLevel(const std::string& dir, int stages, long stageBytes, int images, long imageBytes) {
    auto l = std::make_unique<slv::Level>();
    std::vector<Picture> pictures;
    for (int i = 1; i <= images; ++i) {
        std::string name = "sprite" + std::to_string(i) + ".bmp";
        std::string p = slv::joinPath(dir, "src/" + name);
        pictures.push_back(writeBitmap(p, imageBytes + i, 16, static_cast<unsigned>(i)));
        l->image(i).name.set(name);
        l->image(i).path.set(p);
        l->image(i).size = static_cast<int>(imageBytes + i);
        l->imageCount = i;
    }
    for (int s = 1; s <= stages; ++s) {
        std::string name = "stage" + std::to_string(s) + ".bmp";
        std::string p = slv::joinPath(dir, "src/" + name);
        writeBitmap(p, stageBytes, stageBytes >= 825654 ? 430 : 16, 1000u + static_cast<unsigned>(s));
        slv::StageRec& st = l->stage(s);
        st.name.set(name);
        st.path.set(p);
        st.size = static_cast<int>(stageBytes);
        l->stageCount = s;
        for (int n = 1; n <= 3 && images > 0; ++n) {
            int img = (s * 3 + n) % images + 1;
            slv::SpriteRec& sp = l->sprite(n, s);
            const Picture& picture = pictures[static_cast<std::size_t>(img - 1)];
            sp.name = l->image(img).name;
            sp.x = 10 * n, sp.y = 20 * s, sp.w = picture.width / n, sp.h = picture.height;
            sp.frameCount = n, sp.frame = 1, sp.image = img;
            l->image(img).useCount++;
            st.spriteCount = n;
        }
        for (int n = 1; n <= 2; ++n) {
            slv::SectorRec& sc = l->sector(n, s);
            sc.name.set("Sector" + std::to_string(n));
            sc.x = n, sc.y = s, sc.w = 100, sc.h = 50;
            st.sectorCount = n;
        }
    }
    pkgtest::save(*l, slv::joinPath(dir, "level.slv"));
}

}  // namespace

int main(int argc, char** argv) {
    const bool older = argc == 3 && std::string(argv[1]) == "--older";
    if (!older && argc != 6) {
        std::fprintf(stderr, "usage: package_testdata DIR STAGES STAGE_BYTES IMAGES IMAGE_BYTES\n");
        return 2;
    }
    try {
        if (older) makeOlder(argv[2]);
        else makeLevel(argv[1], std::atoi(argv[2]), std::atol(argv[3]), std::atoi(argv[4]), std::atol(argv[5]));
    } catch (const slv::Error& e) {
        std::fprintf(stderr, "package_testdata: %s\n", e.what());
        return 1;
    }
    return 0;
}
