#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "fake_display.h"
#include "model/history.h"

using namespace slv;

namespace {

struct HistoryTest : ::testing::Test {
    std::unique_ptr<Level> lv = freshLevel();
    FakeDisplay d;
    History h;
    std::mt19937 gen{20261207};
    SeqRandom place{{17, 301, 599, 2, 250, 399, 42}};
    const std::vector<std::string> bitmaps{"coin.bmp", "bird.bmp", "gem.bmp", "fan.bmp", "odd.bmp"};

    void SetUp() override {
        d.add("coin.bmp", 256, 32, 8);
        d.add("bird.bmp", 256, 48, 4);
        d.add("gem.bmp", 200, 40, 5);
        d.add("fan.bmp", 168, 40, 3);
        d.add("odd.bmp", 100, 20, 1);
        for (int k = 1; k <= 9; ++k) d.add("stage" + std::to_string(k) + ".bmp", 640, 430);
        h.reset(*lv);
    }
    int any(int n) { return std::uniform_int_distribution<int>(0, n - 1)(gen); }
    std::string anyBitmap() { return bitmaps[static_cast<std::size_t>(any(5))]; }
    std::string anyStagePath() { return "/w/backpx/stage" + std::to_string(1 + any(9)) + ".bmp"; }
    int sprites() const { return lv->openStage >= 1 ? lv->stage(lv->openStage).spriteCount : 0; }
    int sectors() const { return lv->stage(lv->openStage).sectorCount; }

    // Deletes a stage as the window does, closing it when it was open.
    void delStage(int s) {
        deleteStage(*lv, s, d.callbacks());
        if (s < lv->openStage) --lv->openStage;
        else if (s == lv->openStage) lv->openStage = 0;
    }

    // One random edit of any kind, as one history step. Refused edits
    // (limits, nothing selected) change nothing and record nothing.
    void randomEdit(std::uint64_t gesture) {
        const int kind = any(14);
        if (kind == 13) {  // opening a stage is no edit
            if (lv->stageCount > 0) lv->openStage = 1 + any(lv->stageCount);
            return;
        }
        const std::uint64_t key = kind == 8 || kind == 11 ? gesture : 0;
        HistoryEdit edit(h, *lv, key);
        try {
            switch (kind) {
            case 0: addStages(*lv, {anyStagePath(), anyStagePath()}, d.callbacks().fileSize); break;
            case 1: if (lv->stageCount) modifyStage(*lv, 1 + any(lv->stageCount), anyStagePath(), d.callbacks().fileSize); break;
            case 2: setSplash(*lv, anyStagePath()); break;
            case 3: if (lv->stageCount) delStage(1 + any(lv->stageCount)); break;
            case 4: addSprites(*lv, "/w/sprites", {anyBitmap(), anyBitmap(), anyBitmap()}, d.callbacks(),
                               d.detector(), std::ref(place)); break;
            case 5: if (sprites()) replaceSprite(*lv, any(sprites()), "/w/sprites", anyBitmap(), d.callbacks(), d.detector()); break;
            case 6: if (sprites()) deleteSprite(*lv, lv->openStage, any(sprites()), d.callbacks()); break;
            case 7: if (sprites()) setSpriteX(*lv, any(sprites()), any(600)); break;
            case 8: if (sprites()) {  // a drag of several moves
                const int n = 1 + any(sprites());
                for (int m = 0; m < 5; ++m) moveSprite(*lv, n, any(640), any(430));
            } break;
            case 9: {
                lv->session.bandStartX = any(600);
                lv->session.bandStartY = any(400);
                lv->session.bandActive = true;
                lv->session.mouseX = any(640);
                lv->session.mouseY = any(430);
                addSectorFromBand(*lv);
            } break;
            case 10: if (sectors()) deleteSector(*lv, lv->openStage, any(sectors())); break;
            case 11: if (sectors()) {
                const int n = 1 + any(sectors());
                moveSector(*lv, n, any(640), any(430));
                moveSector(*lv, n, any(640), any(430));
            } break;
            case 12: if (sectors()) setSectorField(*lv, any(sectors()), static_cast<SectorField>(any(4)), any(300)); break;
            }
        } catch (const Error&) {
        }
    }

    // Every live sprite and used image holds a surface the display made for
    // its own file, and the display holds no other surface.
    void expectSurfacesSound() {
        int used = 0;
        for (int i = 1; i <= lv->imageCount; ++i) {
            const ImageRec& im = lv->image(i);
            if (im.name.empty()) continue;
            ++used;
            ASSERT_TRUE(d.live.count(im.surface)) << "image " << i;
            EXPECT_EQ(d.live[im.surface], im.name.str());
        }
        EXPECT_EQ(static_cast<int>(d.live.size()), used);
        for (int s = 1; s <= lv->stageCount; ++s)
            for (int n = 1; n <= lv->stage(s).spriteCount; ++n)
                EXPECT_EQ(lv->sprite(n, s).surface, lv->image(lv->sprite(n, s).image).surface);
    }
};

}  // namespace

TEST_F(HistoryTest, RandomEditsUndoToTheStartAndRedoToTheEnd) {
    // The tables before and after every recorded step. Opening a stage
    // between edits is no step, so a step starts where the last one ended
    // except for the open stage.
    auto hash = [](const std::string& b) { return std::hash<std::string>{}(b); };
    std::string start;
    std::vector<std::size_t> before, after;
    std::uint64_t gesture = 1;
    while (h.undoCount() < 250) {
        const std::size_t steps = h.undoCount();
        std::string was = tablesBytes(*lv);
        randomEdit(++gesture);
        if (h.undoCount() == steps) continue;
        if (steps == 0) start = was;
        before.push_back(hash(was));
        after.push_back(hash(tablesBytes(*lv)));
    }
    const std::string end = tablesBytes(*lv);
    ASSERT_GT(lv->imageCount, 0);
    expectSurfacesSound();

    for (std::size_t k = after.size(); k-- > 0;) {
        ASSERT_TRUE(h.undo(*lv, d.callbacks()));
        ASSERT_EQ(hash(tablesBytes(*lv)), before[k]) << "undo of step " << k;
    }
    EXPECT_FALSE(h.undo(*lv, d.callbacks()));
    EXPECT_TRUE(tablesBytes(*lv) == start);
    EXPECT_TRUE(h.isClean());
    expectSurfacesSound();

    for (std::size_t k = 0; k < after.size(); ++k) {
        ASSERT_TRUE(h.redo(*lv, d.callbacks()));
        ASSERT_EQ(hash(tablesBytes(*lv)), after[k]) << "redo of step " << k;
    }
    EXPECT_FALSE(h.redo(*lv, d.callbacks()));
    EXPECT_TRUE(tablesBytes(*lv) == end);
    expectSurfacesSound();

    // An edit after undo drops the steps that were undone.
    for (int k = 0; k < 5; ++k) h.undo(*lv, d.callbacks());
    EXPECT_EQ(h.redoCount(), 5u);
    {
        HistoryEdit edit(h, *lv);
        setSplash(*lv, "/w/backpx/other.bmp");
    }
    EXPECT_EQ(h.redoCount(), 0u);
    EXPECT_FALSE(h.redo(*lv, d.callbacks()));
    EXPECT_EQ(lv->stage(0).name.str(), "other.bmp");
}

TEST_F(HistoryTest, OneActionIsOneStepAndStepsHoldOnlyWhatChanged) {
    addStages(*lv, {"/w/backpx/stage1.bmp"}, d.callbacks().fileSize);
    lv->openStage = 1;
    h.reset(*lv);
    {  // "Add 'em" of three files
        HistoryEdit edit(h, *lv);
        addSprites(*lv, "/w/sprites", {"coin.bmp", "bird.bmp", "gem.bmp"}, d.callbacks(), d.detector(),
                   std::ref(place));
    }
    EXPECT_EQ(h.undoCount(), 1u);
    // A drag of a hundred moves, each recorded as it happens, merges.
    const int firstX = lv->sprite(2, 1).x;
    for (int m = 0; m < 100; ++m) {
        HistoryEdit edit(h, *lv, 77);
        moveSprite(*lv, 2, m, 2 * m);
    }
    EXPECT_EQ(h.undoCount(), 2u);
    // One moved sprite: a step of about two sprite records, not the tables.
    EXPECT_LT(h.bytes() - [&] { History one; return one.bytes(); }(), 4000u);
    ASSERT_TRUE(h.undo(*lv, d.callbacks()));
    EXPECT_EQ(lv->sprite(2, 1).x, firstX);
    ASSERT_TRUE(h.undo(*lv, d.callbacks()));
    EXPECT_EQ(lv->stage(1).spriteCount, 0);
    EXPECT_EQ(lv->imageCount, 0);
    EXPECT_TRUE(d.live.empty());
    // A click that moves nothing records nothing.
    {
        HistoryEdit edit(h, *lv);
    }
    EXPECT_EQ(h.redoCount(), 2u);
}

// The stored frame is level data like any other field: Mod to the same
// picture sets a sprite opened at frame 3 back to frame 1, as one step that
// undo and redo take back and forth.
TEST_F(HistoryTest, AStoredFrameIsUndoneLikeAnyField) {
    addStages(*lv, {"/w/backpx/stage1.bmp"}, d.callbacks().fileSize);
    lv->openStage = 1;
    addSprites(*lv, "/w/sprites", {"fan.bmp", "coin.bmp"}, d.callbacks(), d.detector(), std::ref(place));
    lv->sprite(1, 1).frame = 3;  // as a package may hold it
    h.reset(*lv);
    {
        HistoryEdit edit(h, *lv);
        replaceSprite(*lv, 0, "/w/sprites", "fan.bmp", d.callbacks(), d.detector());
    }
    EXPECT_EQ(h.undoCount(), 1u);
    for (const auto& [undo, frame] : {std::pair{true, 3}, {false, 1}, {true, 3}}) {
        ASSERT_TRUE(undo ? h.undo(*lv, d.callbacks()) : h.redo(*lv, d.callbacks()));
        EXPECT_EQ((Ints{lv->sprite(1, 1).frame, lv->sprite(2, 1).frame}), (Ints{frame, 1}));
    }
}

TEST_F(HistoryTest, TheSavedStateIsKnownAcrossUndoAndRedo) {
    // Plain edits, and edits typed into one field (one merge key): an edit
    // after Save never merges into the saved step.
    for (std::uint64_t key : {std::uint64_t(0), std::uint64_t(5)}) {
        SCOPED_TRACE(key);
        h.reset(*lv);
        auto edit = [&](int x) {
            HistoryEdit e(h, *lv, key);
            lv->sector(1, 0).x = x;
            lv->stage(0).sectorCount = 1;
        };
        EXPECT_TRUE(h.isClean());
        edit(1);
        EXPECT_FALSE(h.isClean());
        h.undo(*lv, d.callbacks());
        EXPECT_TRUE(h.isClean());  // back to the saved state
        h.redo(*lv, d.callbacks());
        h.setClean(*lv);
        edit(2);
        EXPECT_FALSE(h.isClean());
        h.undo(*lv, d.callbacks());
        EXPECT_TRUE(h.isClean());
        EXPECT_EQ(lv->sector(1, 0).x, 1);
        h.undo(*lv, d.callbacks());
        EXPECT_FALSE(h.isClean());
        edit(3);  // the saved state was in the dropped branch
        EXPECT_FALSE(h.isClean());
        h.undo(*lv, d.callbacks());
        EXPECT_FALSE(h.isClean());
    }
}

TEST_F(HistoryTest, AtLeastFiveHundredStepsAreKeptAndTheOldestGo) {
    const std::size_t big = History::kByteBudget;
    struct Case {
        std::size_t limit, budget;
        int edits;
        std::size_t kept;
    } cases[] = {{500, big, 600, 500}, {1000, 1, 600, 500}, {1000, big, 600, 600}, {1000, big, 1200, 1000}};
    for (const Case& c : cases) {
        History small(c.limit, c.budget);
        lv->sector(1, 0).x = 0;
        small.reset(*lv);
        lv->stage(0).sectorCount = 1;
        for (int k = 1; k <= c.edits; ++k) {
            HistoryEdit e(small, *lv);
            lv->sector(1, 0).x = k;
        }
        EXPECT_EQ(small.undoCount(), c.kept) << c.limit << " " << c.budget;
        while (small.undo(*lv, d.callbacks())) {
        }
        EXPECT_EQ(lv->sector(1, 0).x, c.edits - static_cast<int>(c.kept));
        EXPECT_EQ(small.isClean(), c.edits == static_cast<int>(c.kept));
    }
}

TEST_F(HistoryTest, APictureThatCannotComeBackIsReportedAndTheTablesStayWhole) {
    addStages(*lv, {"/w/backpx/stage1.bmp"}, d.callbacks().fileSize);
    lv->openStage = 1;
    h.reset(*lv);
    {
        HistoryEdit e(h, *lv);
        addSprites(*lv, "/w/sprites", {"coin.bmp"}, d.callbacks(), d.detector(), std::ref(place));
    }
    {
        HistoryEdit e(h, *lv);
        deleteSprite(*lv, 1, 0, d.callbacks());
    }
    d.pictures.erase("coin.bmp");
    EXPECT_EQ(errorOf([&] { h.undo(*lv, d.callbacks()); }), "File not found");
    EXPECT_EQ(lv->stage(1).spriteCount, 1);
    EXPECT_EQ(lv->image(1).name.str(), "coin.bmp");
    EXPECT_EQ(lv->image(1).surface, 0u);
    EXPECT_EQ(lv->sprite(1, 1).surface, 0u);
}

// A step that declares the records it touches is compared on those alone.
// A declaration that leaves a changed record out still gives a whole undo
// while the check is on (and counts the record); with the check off only
// the declared records are in the step.
TEST_F(HistoryTest, DeclaredStepsRecordWhatTheyNameAndTheCheckCatchesTheRest) {
    addStages(*lv, {"/w/backpx/stage1.bmp", "/w/backpx/stage2.bmp"}, d.callbacks().fileSize);
    lv->openStage = 1;
    addSprites(*lv, "/w/sprites", {"coin.bmp", "bird.bmp"}, d.callbacks(), d.detector(), std::ref(place));
    const struct {
        bool check;
        bool declareBoth;
        std::size_t recorded;
        std::size_t undeclared;
        bool secondUndone;
    } cases[] = {
        {true, true, 2, 0, true},
        {true, false, 2, 1, true},
        {false, true, 2, 0, true},
        {false, false, 1, 0, false},
    };
    for (const auto& c : cases) {
        h.reset(*lv);
        h.setCheckDeclared(c.check);
        const SpriteRec first = lv->sprite(1, 1), second = lv->sprite(2, 1);
        std::vector<RecordRef> declared{spriteRecord(1, 1)};
        if (c.declareBoth) declared.push_back(spriteRecord(1, 2));
        for (int m = 1; m <= 3; ++m) {  // a drag of two sprites, one step
            HistoryEdit edit(h, *lv, 5, {"Move sprite", 1, 0}, &declared);
            moveSprite(*lv, 1, first.x + m, first.y);
            moveSprite(*lv, 2, second.x + m, second.y);
        }
        EXPECT_EQ(h.undoCount(), 1u);
        EXPECT_EQ(h.lastChanged().size(), c.recorded) << c.check << c.declareBoth;
        EXPECT_EQ(h.undeclaredChanges(), c.undeclared * 3) << c.check << c.declareBoth;
        ASSERT_TRUE(h.undo(*lv, d.callbacks()));
        EXPECT_EQ(lv->sprite(1, 1).x, first.x);
        EXPECT_EQ(lv->sprite(2, 1).x == second.x, c.secondUndone) << c.check << c.declareBoth;
        lv->sprite(2, 1) = second;
        // Records and their place in the tables name each other back.
        for (RecordRef r : declared) EXPECT_EQ(recordStage(r), 1);
        EXPECT_EQ(recordNumber(declared.back()), c.declareBoth ? 2 : 1);
    }
}

// The stage and number a record is named by come back from it, for every
// stage and number, so recordsChanged names the item that moved.
TEST(RecordRefs, NameTheirItemBack) {
    for (int s = 0; s <= kMaxStages; ++s)
        for (int n : {1, 2, 57, kMaxSprites}) {
            EXPECT_EQ((Ints{recordStage(sectorRecord(s, n)), recordNumber(sectorRecord(s, n))}), (Ints{s, n}));
            if (s >= 1)
                EXPECT_EQ((Ints{recordStage(spriteRecord(s, n)), recordNumber(spriteRecord(s, n))}), (Ints{s, n}));
        }
    Level lv;
    // The flat place is the record the level's accessors give.
    EXPECT_EQ(&lv.spriteTable[0][0] + spriteRecord(7, 33).index, &lv.sprite(33, 7));
    EXPECT_EQ(&lv.sectorTable[0][0] + sectorRecord(0, 12).index, &lv.sector(12, 0));
}
