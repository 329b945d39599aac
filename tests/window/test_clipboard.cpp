// Cut, copy, paste, duplicate and delete of the selection in the level
// document: where pasted items land, the pictures a level lacks, the limits
// a paste may not pass, and one named undo step for each.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <functional>

#include "common/bmp_writer.h"
#include "common/tempdir.h"
#include "editing/fake_display.h"
#include "editor/clipboard.h"
#include "editor/leveldocument.h"
#include "model/errors.h"
#include "model/fileio.h"

using namespace slv;
using slvtest::TempDir;

namespace {

std::string stripBytes(std::uint32_t colour) {
    return bmpBytes({64, 16, 24, false}, [colour](int, int) { return colour; });
}

// A document of two stages with real picture files; stage 2 is open with
// sprites of coin.bmp at (5,7) and gem.bmp at (100,120) and the sector
// "Door" at (10,10) 40 x 30.
struct Doc {
    TempDir dir;
    FakeDisplay display;
    std::unique_ptr<LevelDocument> doc;
    explicit Doc(std::uint32_t coinColour = 0x00FF00) {
        doc = std::make_unique<LevelDocument>((dir.path() / "state").string());
        createDir(path("level"));
        doc->setWorkFolder(path("level"));
        for (const char* name : {"a.bmp", "b.bmp", "coin.bmp", "gem.bmp"}) {
            display.add(name, 64, 16, 4);
            writeBmp(path(name), {64, 16, 24, false},
                     [&](int, int) { return std::string(name) == "coin.bmp" ? coinColour : 0x123456u; });
        }
        display.add("coin~2.bmp", 64, 16, 4);
        doc->setSurfaceCallbacks(display.callbacks());
        doc->setFrameDetector(display.detector());
        doc->addStages({path("a.bmp"), path("b.bmp")});
        doc->openStage(2);
        SeqRandom random{{5, 7, 100, 120}};
        doc->addSprites(dir.path().string(), {"coin.bmp", "gem.bmp"}, std::ref(random));
        doc->edit({"Draw sector", 2, 0}, [&] {
            Level& L = doc->level();
            SectorRec& r = L.sector(1, 2);
            r.name.set("Door");
            r.x = 10, r.y = 10, r.w = 40, r.h = 30;
            L.stage(2).sectorCount = 1;
        });
    }
    std::string path(const char* name) const { return (dir.path() / name).string(); }
    Level& L() { return doc->level(); }
    int count(ItemKind kind) {
        const StageRec& s = L().stage(L().openStage);
        return kind == ItemKind::Sprite ? s.spriteCount : s.sectorCount;
    }
};

std::set<int> range(int from, int to) {
    std::set<int> r;
    for (int n = from; n <= to; ++n) r.insert(n);
    return r;
}

}  // namespace

class ClipboardTest : public QObject {
    Q_OBJECT
private slots:
    // Copy, then paste on the same stage or another: the places, names and
    // selection afterwards; the paste is one named step that undo takes back.
    void pasteLandsWhereItShould_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("pasteStage");
        QTest::addColumn<int>("pastes");
        QTest::addColumn<int>("offset");      // of the last paste's items from the copied ones
        QTest::addColumn<QString>("lastName");  // of the last pasted sector
        QTest::newRow("sprites, same stage") << 0 << 2 << 1 << 10 << "";
        QTest::newRow("sprites, same stage twice") << 0 << 2 << 2 << 20 << "";
        QTest::newRow("sprites, other stage") << 0 << 1 << 1 << 0 << "";
        QTest::newRow("sprites, other stage twice") << 0 << 1 << 2 << 10 << "";
        QTest::newRow("sector, same stage") << 1 << 2 << 1 << 10 << "Sector1";
        QTest::newRow("sector, same stage twice") << 1 << 2 << 2 << 20 << "Sector2";
        QTest::newRow("sector, other stage") << 1 << 1 << 1 << 0 << "Door";
    }
    void pasteLandsWhereItShould() {
        QFETCH(int, kind);
        QFETCH(int, pasteStage);
        QFETCH(int, pastes);
        QFETCH(int, offset);
        QFETCH(QString, lastName);
        const ItemKind k = kind == 0 ? ItemKind::Sprite : ItemKind::Sector;
        Doc d;
        d.doc->select(k, k == ItemKind::Sprite ? std::set<int>{1, 2} : std::set<int>{1});
        const LevelItems items = d.doc->copySelection(k);
        QCOMPARE(static_cast<int>(items.count()), k == ItemKind::Sprite ? 2 : 1);
        d.doc->openStage(pasteStage);
        const std::string before = tablesBytes(d.L());
        const int had = d.count(k);
        const std::size_t steps = d.doc->history().undoCount();
        d.doc->history().setCheckDeclared(true);
        for (int p = 0; p < pastes; ++p) d.doc->pasteItems(items, k == ItemKind::Sprite ? "Paste sprites" : "Paste sectors");
        QCOMPARE(d.doc->history().undoCount(), steps + pastes);
        QCOMPARE(d.doc->history().undeclaredChanges(), std::size_t{0});
        QCOMPARE(QString::fromStdString(d.doc->history().undoLabel()->name),
                 k == ItemKind::Sprite ? QString("Paste sprites") : QString("Paste sectors"));
        const int first = had + static_cast<int>(items.count()) * (pastes - 1) + 1;
        QCOMPARE(d.count(k), had + static_cast<int>(items.count()) * pastes);
        QCOMPARE(d.doc->selection().of(k), range(first, d.count(k)));
        const int s = d.L().openStage;
        if (k == ItemKind::Sprite) {
            for (int i = 0; i < 2; ++i) {
                const SpriteRec& r = d.L().sprite(first + i, s);
                QCOMPARE(r.x, items.sprites[i].x + offset);
                QCOMPARE(r.y, items.sprites[i].y + offset);
                QCOMPARE(fileNamePart(d.L().image(r.image).path.str()), items.pictures[items.sprites[i].picture].name);
                QCOMPARE(r.w, 16);
            }
            QCOMPARE(d.L().image(d.L().sprite(first, s).image).useCount, 1 + pastes);
        } else {
            const SectorRec& r = d.L().sector(first, s);
            QCOMPARE(r.x, 10 + offset);
            QCOMPARE(r.w, 40);
            QCOMPARE(QString::fromStdString(r.name.str()), lastName);
        }
        for (int p = 0; p < pastes; ++p) QVERIFY(d.doc->undo());
        QCOMPARE(tablesBytes(d.L()), before);
    }

    // A paste past a limit changes nothing and says why.
    void pastePastALimitChangesNothing_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("message");
        QTest::newRow("sprites") << 0 << kMsgTooManySprites;
        QTest::newRow("sectors") << 1 << kMsgTooManySectors;
        QTest::newRow("pictures") << 2 << kMsgTooManyImages;
    }
    void pastePastALimitChangesNothing() {
        QFETCH(int, which);
        QFETCH(QString, message);
        Doc d;
        const ItemKind k = which == 1 ? ItemKind::Sector : ItemKind::Sprite;
        d.doc->select(k, which == 1 ? std::set<int>{1} : std::set<int>{1, 2});
        LevelItems items = d.doc->copySelection(k);
        d.doc->edit({"Fill"}, [&] {
            Level& L = d.L();
            if (which == 0) L.stage(2).spriteCount = 99;
            if (which == 1) L.stage(2).sectorCount = 100;
            if (which == 2) {
                for (int i = L.imageCount + 1; i <= kMaxImages; ++i) L.image(i).name.set("x" + std::to_string(i));
                L.imageCount = kMaxImages;
            }
        });
        if (which == 2) items.pictures[0].name = "fresh.bmp";  // a picture the level lacks
        const std::string before = tablesBytes(d.L());
        const std::size_t steps = d.doc->history().undoCount();
        try {
            d.doc->pasteItems(items, "Paste");
            QFAIL("the paste was not refused");
        } catch (const Error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
        QCOMPARE(tablesBytes(d.L()), before);
        QCOMPARE(d.doc->history().undoCount(), steps);
        QVERIFY(!fileExists(joinPath(d.doc->settings().workFolder, "fresh.bmp")));
    }

    // Items travel through the system clipboard to a level that lacks their
    // picture: it arrives with its bytes, as a picture of the level's own
    // folder; a picture of the same name but other bytes takes another name.
    void picturesTravelWithTheItems_data() {
        QTest::addColumn<bool>("sameNameOtherPicture");
        QTest::addColumn<QString>("pictureName");
        QTest::newRow("picture lacked") << false << "coin.bmp";
        QTest::newRow("name taken by another picture") << true << "coin~2.bmp";
    }
    void picturesTravelWithTheItems() {
        QFETCH(bool, sameNameOtherPicture);
        QFETCH(QString, pictureName);
        Doc from;
        from.doc->select(ItemKind::Sprite, {1});
        putItemsOnClipboard(from.doc->copySelection(ItemKind::Sprite));
        QVERIFY(QApplication::clipboard()->mimeData()->text().contains("coin.bmp"));

        Doc to(0x0000FF);  // its coin.bmp is another picture
        to.doc->openStage(1);
        if (!sameNameOtherPicture) {
            to.doc->select(ItemKind::Sprite, {1, 2});
            to.doc->openStage(2);
            to.doc->select(ItemKind::Sprite, {1});  // the coin
            to.doc->deleteSelection(ItemKind::Sprite, "Delete sprites");
            to.doc->openStage(1);
        }
        const std::string before = tablesBytes(to.L());
        const std::optional<LevelItems> items = itemsOnClipboard();
        QVERIFY(items);
        to.doc->pasteItems(*items, "Paste sprites");
        const SpriteRec& r = to.L().sprite(1, 1);
        const std::string path = to.L().image(r.image).path.str();
        QCOMPARE(QString::fromStdString(fileNamePart(path)), pictureName);
        QCOMPARE(QString::fromStdString(to.L().image(r.image).name.str()), pictureName);
        QCOMPARE(folderPart(path), folderPart(joinPath(to.doc->settings().workFolder, "x")));
        QCOMPARE(readWholeFile(path), readWholeFile(from.path("coin.bmp")));
        QCOMPARE(to.doc->pictures().read(path), readWholeFile(from.path("coin.bmp")));
        QCOMPARE(r.x, 5);
        QVERIFY(to.doc->undo());
        QCOMPARE(tablesBytes(to.L()), before);
    }

    // Cut, Delete and Duplicate of the selection: one named step each, what
    // is left selected, and undo.
    void selectionEditsAreOneNamedStep_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("left");  // items of the stage afterwards
        QTest::addColumn<int>("selected");
        QTest::newRow("delete sprites") << 0 << "Delete sprites" << 0 << 0;
        QTest::newRow("cut sprites") << 1 << "Cut sprites" << 0 << 0;
        QTest::newRow("duplicate sprites") << 2 << "Duplicate sprites" << 4 << 3;
        QTest::newRow("delete sectors") << 3 << "Delete sectors" << 0 << 0;
        QTest::newRow("duplicate sectors") << 4 << "Duplicate sectors" << 2 << 2;
    }
    void selectionEditsAreOneNamedStep() {
        QFETCH(int, which);
        QFETCH(QString, name);
        QFETCH(int, left);
        QFETCH(int, selected);
        Doc d;
        const ItemKind k = which <= 2 ? ItemKind::Sprite : ItemKind::Sector;
        d.doc->select(k, k == ItemKind::Sprite ? std::set<int>{1, 2} : std::set<int>{1});
        const std::string before = tablesBytes(d.L());
        const std::size_t steps = d.doc->history().undoCount();
        if (which == 2 || which == 4) d.doc->pasteItems(d.doc->copySelection(k), name.toStdString());
        else d.doc->deleteSelection(k, name.toStdString());
        QCOMPARE(d.doc->history().undoCount(), steps + 1);
        QCOMPARE(QString::fromStdString(d.doc->history().undoLabel()->name), name);
        QCOMPARE(d.count(k), left);
        QCOMPARE(d.doc->selection().first(k), selected);
        if (left == 0 && k == ItemKind::Sprite) QVERIFY(d.display.live.empty());  // their pictures are let go
        QVERIFY(d.doc->undo());
        QCOMPARE(tablesBytes(d.L()), before);
    }

    // Damaged items on the clipboard are refused with a reason.
    void damagedItemsAreRefused_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("not json") << QByteArray("{");
        QTest::newRow("other format") << QByteArray(R"({"format":"x","version":1,"kind":"sectors","sectors":[]})");
        QTest::newRow("picture out of range")
            << QByteArray(R"({"format":"slvedit items","version":1,"kind":"sprites","pictures":[],)"
                          R"("sprites":[{"picture":0,"x":1,"y":1,"frames":1,"frame":1}]})");
        QTest::newRow("picture name with a folder")
            << QByteArray(R"({"format":"slvedit items","version":1,"kind":"sprites",)"
                          R"("pictures":[{"name":"../x.bmp","bytes":""}],"sprites":[]})");
    }
    void damagedItemsAreRefused() {
        QFETCH(QByteArray, json);
        QMimeData data;
        data.setData(kItemsMimeType, json);
        QVERIFY_THROWS_EXCEPTION(Error, itemsFromMimeData(&data));
    }
};

QTEST_MAIN(ClipboardTest)
#include "test_clipboard.moc"
