// Every seed of the fuzz corpus goes through the package reader in every
// build, with or without the fuzzing compiler.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "common/files.h"

int slvFuzzOne(const std::uint8_t* data, std::size_t size);

TEST(FuzzCorpus, EverySeedIsReadSafely) {
    int seeds = 0, opened = 0;
    for (const auto& e : std::filesystem::directory_iterator(SLV_FUZZ_CORPUS)) {
        const std::string data = slvtest::readFile(e.path().string()), name = e.path().filename().string();
        const int r = slvFuzzOne(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
        ++seeds;
        opened += r;
        if (name.starts_with("valid-") || name.starts_with("bad-")) {
            EXPECT_EQ(r, name.starts_with("valid-") ? 1 : 0) << e.path() << (r ? " was opened" : " was refused");
        }
    }
    EXPECT_GE(seeds, 4);
    EXPECT_GE(opened, 4);
}

TEST(FuzzCorpus, ShortAndEmptyInputsAreRefusedOrOpened) {
    const std::uint8_t raw[] = {'R', 'A', 'W', ':', 0, 0, 0};
    EXPECT_EQ(slvFuzzOne(raw, sizeof raw), 0);
    EXPECT_EQ(slvFuzzOne(nullptr, 0), 1);  // the first base package, untouched
}
