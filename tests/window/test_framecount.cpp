// Frame detection read straight from a bitmap file gives the count that
// loading the picture onto a surface gives, on both display depths.
#include <QFile>
#include <QImage>
#include <QSet>

#include "common/bmp_writer.h"
#include "harness.h"
#include "model/framecount.h"

using namespace slv;

namespace {

constexpr std::uint32_t kMagenta = 0xFF00FF;
// Magenta in 5-6-5 but not in 32 bits: edge pixels of this colour are
// transparent on one depth and opaque on the other.
constexpr std::uint32_t kNearMagenta = 0xFA02FA;

struct Strip {
    const char* name;
    BmpLayout layout;
    int frames;
    bool nearKey;  // some edge pixels are near magenta
};

std::uint32_t stripColour(const Strip& s, int x, int y) {
    const int frameWidth = s.layout.width / s.frames;
    if (x % frameWidth == 0) return s.nearKey && y % 3 == 0 ? kNearMagenta : kMagenta;
    // Few colours, so that 8-bit pictures have a palette for them.
    return 0x101010u + static_cast<std::uint32_t>((x * 7 + y * 3) % 9) * 0x152035u;
}

int loadedCount(MainWindow& w, const std::string& path) {
    const SurfaceHandle h = w.pictures().load(path, false);
    const PixelView v = w.pictures().surface(h)->pixels();
    const int n = detectFrameCount(v.pixels, v.pitch, v.bytesPerPixel, v.width, v.height, w.viewState().colorKey);
    w.pictures().release(h);
    return n;
}

}  // namespace

class FrameCountTest : public WindowTest {
    Q_OBJECT

private slots:
    void fileCountEqualsLoadedCount() {
        const Strip strips[] = {
            {"24 bpp, bottom-up, padded rows", {30, 41, 24, false}, 3, false},
            {"24 bpp, top-down, 2880x64", {2880, 64, 24, true}, 36, false},
            {"24 bpp, near-key edges", {64, 64, 24, false}, 8, true},
            {"32 bpp, bottom-up", {120, 40, 32, false}, 8, false},
            {"32 bpp, top-down, near-key edges", {90, 48, 32, true}, 6, true},
            {"8 bpp palette, padded rows", {90, 44, 8, false}, 9, false},
            {"8 bpp palette, top-down, near-key edges", {33, 60, 8, true}, 3, true},
            {"one column", {1, 5, 24, false}, 1, false},
        };
        StartedEditor ed;
        for (int modeKey : {122, 121}) {  // the window (32 bits), full screen (16 bits)
            ed.w->routeKeyDown(modeKey, {});
            const int bytes = ed.w->findChild<slv::SceneWidget*>("sceneView")->device()->bitsPerPixel() / 8;
            for (const Strip& s : strips) {
                const std::string path = home->path("strip.bmp").toStdString();
                QVERIFY(writeBmp(path, s.layout, [&s](int x, int y) { return stripColour(s, x, y); }));
                const int fromFile = detectFrameCountFromFile(path, bytes, ed.w->viewState().colorKey);
                const int loaded = loadedCount(*ed.w, path);
                const QString what = QString("%1 at %2 bytes").arg(s.name).arg(bytes);
                QVERIFY2(fromFile == loaded, qPrintable(what + QString(": %1 vs %2").arg(fromFile).arg(loaded)));
                if (!s.nearKey || bytes == 2) QVERIFY2(fromFile == s.frames, qPrintable(what));
            }
        }
    }

    // Anything else is left to the general loader.
    void otherFilesAreLeftToTheLoader() {
        const Strip s{"", {40, 40, 24, false}, 4, false};
        const std::string good = bmpBytes(s.layout, [&s](int x, int y) { return stripColour(s, x, y); });
        auto patched = [&good](std::size_t at, char value) { return std::string(good).replace(at, 1, 1, value); };
        const std::string path = home->path("other.bmp").toStdString();
        const std::string files[] = {
            patched(30, 1),                   // compressed
            patched(28, 16),                  // 16 bpp
            patched(26, 2),                   // two planes
            good.substr(0, good.size() - 3),  // short
            "\x89PNG\r\n\x1a\n" + good.substr(8),
            "",
            good,  // readable, but not at 3 bytes a pixel
        };
        QCOMPARE(detectFrameCountFromFile(path, 4, kMagenta), 0);  // no file at all
        for (const std::string& bytes : files) {
            slvtest::writeFile(path, bytes);
            QCOMPARE(detectFrameCountFromFile(path, 3, kMagenta), 0);
            QCOMPARE(detectFrameCountFromFile(path, 4, kMagenta), &bytes == &files[6] ? 4 : 0);
        }
    }

    // The picker's frame count field takes 1 up to the clicked strip's width,
    // so no count typed there makes frames 0 pixels wide or is remembered.
    void pickerFrameCountIsBoundedByTheStrip() {
        const struct {
            const char* file;
            int width;
        } strips[] = {{"rope.bmp", 30}, {"wide.bmp", 200}, {"dot.bmp", 1}, {"rope2.bmp", 30}};
        for (const auto& s : strips)
            QVERIFY(writeBmp(home->path(QString("sprites/") + s.file).toStdString(), {s.width, 16, 24, false},
                             [](int x, int) { return x % 2 ? 0x204060u : kMagenta; }));
        StartedEditor ed;
        addStage(ed, ui, "desert.bmp");
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
        ed.w->addOnActiveTab();
        QSpinBox* field = ed.w->findChild<slv::SpritePicker*>("spritePicker")->frameCountField_;
        for (const auto& s : strips) {
            QListWidgetItem* item = ed.w->findChild<slv::SpritePicker*>("spritePicker")->fileList_->findItems(s.file, Qt::MatchExactly).at(0);
            ed.w->findChild<slv::SpritePicker*>("spritePicker")->fileList_->setCurrentItem(item);
            ed.w->pickerFileClicked();
            QCOMPARE(field->maximum(), s.width);
            const struct {
                int typed, kept;
            } typing[] = {{999, s.width}, {s.width, s.width}, {-3, 1}, {0, 1}};
            for (const auto& t : typing) {
                field->setValue(t.typed);
                QCOMPARE(field->value(), t.kept);
                QCOMPARE(ed.L().lookupPose(s.file), t.kept);
            }
        }
    }

    // The picker shows the clicked strip fitted into its room with a thin
    // line between frames for the count in the field, moved as soon as
    // another count is typed; between the lines, the picture.
    void pickerShowsTheStripDividedIntoFrames_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("2 frames, wide") << 2 << 48 << 16;
        QTest::newRow("3 frames, wide") << 3 << 48 << 16;
        QTest::newRow("4 frames, wide") << 4 << 48 << 16;
        QTest::newRow("3 frames, tall") << 3 << 24 << 40;
        QTest::newRow("4 frames, square frames") << 4 << 40 << 10;
    }
    void pickerShowsTheStripDividedIntoFrames() {
        QFETCH(int, count);
        QFETCH(int, width);
        QFETCH(int, height);
        QVERIFY(writeBmp(home->path("sprites/strip.bmp").toStdString(), {width, height, 24, false},
                         [](int, int) { return 0x208040u; }));
        StartedEditor ed;
        addStage(ed, ui, "desert.bmp");
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
        ed.w->addOnActiveTab();
        auto* picker = ed.w->findChild<slv::SpritePicker*>("spritePicker");
        picker->fileList_->setCurrentItem(picker->fileList_->findItems("strip.bmp", Qt::MatchExactly).at(0));
        ed.w->pickerFileClicked();
        // Another count first: the lines follow the one typed last.
        picker->frameCountField_->setValue(count == 2 ? 3 : 2);
        picker->frameCountField_->setValue(count);
        auto* preview = ed.w->findChild<QWidget*>("stripPreview");
        QVERIFY(preview);
        const QImage shown = preview->grab().toImage().convertToFormat(QImage::Format_RGB32);
        // Fitted: the larger whole size that keeps the strip's shape, centred.
        const double scale = std::min(double(shown.width()) / width, double(shown.height()) / height);
        const int w = int(width * scale), h = int(height * scale);
        const int left = (shown.width() - w) / 2, top = (shown.height() - h) / 2;
        QSet<int> lines;
        for (int k = 1; k < count; ++k) lines.insert(left + k * w / count);
        for (int x = left; x < left + w; ++x)
            for (int y : {top, top + h / 2, top + h - 1}) {
                const QRgb p = shown.pixel(x, y) & 0xFFFFFF;
                QCOMPARE(p, lines.contains(x) ? 0xFFFF00u : 0x208040u);
            }
        if (left > 0) QCOMPARE(shown.pixel(left - 1, top + h / 2) & 0xFFFFFF, shown.pixel(0, 0) & 0xFFFFFF);  // beside it: the panel
    }

    // Below the strip its frames play, one after another, at the view's pace.
    void pickerPlaysTheFrames() {
        const QRgb colours[] = {0xC02020, 0x20C020, 0x2020C0};
        QVERIFY(writeBmp(home->path("sprites/three.bmp").toStdString(), {30, 10, 24, false},
                         [&](int x, int) { return std::uint32_t(colours[x / 10]); }));
        StartedEditor ed;
        addStage(ed, ui, "desert.bmp");
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
        ed.w->addOnActiveTab();
        auto* picker = ed.w->findChild<slv::SpritePicker*>("spritePicker");
        picker->fileList_->setCurrentItem(picker->fileList_->findItems("three.bmp", Qt::MatchExactly).at(0));
        ed.w->pickerFileClicked();
        picker->frameCountField_->setValue(3);
        auto* player = ed.w->findChild<slv::FramePlayer*>("framePlayer");
        QVERIFY(player);
        auto centre = [player] {
            const QImage i = player->grab().toImage();
            return i.pixel(i.width() / 2, i.height() / 2) & 0xFFFFFF;
        };
        for (int step = 0; step < 4; ++step) {
            QCOMPARE(centre(), colours[player->shownFrame() - 1]);
            const int before = player->shownFrame();
            player->step();
            QCOMPARE(player->shownFrame(), before % 3 + 1);
        }
        // Its timer moves it on by itself.
        const int now = player->shownFrame();
        QTRY_VERIFY(player->shownFrame() != now);
    }

    // Add and Mod take BMP pictures only: PNG data under a ".bmp" name is
    // refused with its format named, through the window's own handlers, and
    // nothing changes.
    void otherFormatsAreRefusedByContent() {
        const QString png = home->path("backpx/sun.bmp");
        QVERIFY(QImage(8, 8, QImage::Format_RGB32).save(png, "PNG"));
        QVERIFY(QFile::copy(png, home->path("sprites/sun.bmp")));
        const QString longName = home->path("backpx/plage_d_\xC3\xA9t\xC3\xA9_au_soleil.bmp");
        QVERIFY(QFile::copy(home->path("backpx/desert.bmp"), longName));
        const QStringList refusal{"\"sun.bmp\" is a PNG picture; a level takes BMP pictures only"};
        StartedEditor ed;
        ed.w->findChild<QListWidget*>("stageList")->setFocus();
        const struct {
            const char* what;
            Qt::Key key;
            QString answer;
            QStringList errors;
            int stages;
        } stageSteps[] = {
            {"Add of a PNG", Qt::Key_Insert, png, refusal, 0},
            {"Add of a BMP", Qt::Key_Insert, home->path("backpx/desert.bmp"), {}, 1},
            {"Mod to a PNG", Qt::Key_F8, png, refusal, 1},
            {"Mod to a long name", Qt::Key_F8, longName, {}, 1},
        };
        for (const auto& step : stageSteps) {
            ui.openAnswers.push_back({step.answer});
            ed.w->selectRow(ed.w->findChild<QListWidget*>("stageList"), 0);
            QTest::keyClick(ed.w->findChild<QListWidget*>("stageList"), step.key);
            QCoreApplication::processEvents();
            QVERIFY2(ui.takeErrors() == step.errors, step.what);
            QVERIFY2(ed.L().stageCount == step.stages, step.what);
        }
        // The list shows the name as the record keeps it: 20 characters.
        QCOMPARE(ed.L().stage(1).name.str(), std::string("plage_d_\xC3\xA9t\xC3\xA9_au_solei"));
        QCOMPARE(ed.w->findChild<QListWidget*>("stageList")->item(0)->text(), QString::fromStdString(ed.L().stage(1).name.str()));
        QTest::keyClick(ed.w->findChild<QListWidget*>("stageList"), Qt::Key_Return);  // open it
        ed.w->routeKeyDown(113, {});  // F2: the Sprite tab
        ed.w->routeKeyDown(45, {});   // Insert: the picker
        ed.w->findChild<slv::SpritePicker*>("spritePicker")->fileList_->findItems("sun.bmp", Qt::MatchExactly).at(0)->setSelected(true);
        QTest::keyClick(ed.w->findChild<slv::SpritePicker*>("spritePicker")->fileList_, Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(ui.takeErrors(), refusal);
        QCOMPARE(ed.L().stage(1).spriteCount, 0);
    }
};

SLV_WINDOW_TEST_MAIN(FrameCountTest)

#include "test_framecount.moc"
