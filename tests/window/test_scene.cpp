// The frame loop and the editing commands, driven through the window's
// handlers, checked on the back buffer's pixels and the tables.
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include "app.h"
#include "display/clock.h"
#include "harness.h"
#include "model/fileio.h"
#include "spriteframe/spriteframe.h"

using namespace slv;

namespace {

// Opens the first stage of the demo and places `files` from its sprites folder.
void openStageWithSprites(Editor& ed, CaptureUi& ui, TempHome& home, const QStringList& files) {
    ui.openAnswers.push_back({home.path("backpx/forest.bmp")});
    ed.w->Button4Click();  // one stage: previewed and opened
    QCOMPARE(ed.L().curstage, 1);
    ed.w->PageControl2->setCurrentIndex(1);
    ed.w->Button4Click();  // the picker, in add mode
    QVERIFY(ed.w->spritef1->isVisible());
    for (const QString& f : files) {
        auto items = ed.w->spritef1->FileListBox1->findItems(f, Qt::MatchExactly);
        QCOMPARE(items.size(), 1);
        items[0]->setSelected(true);
    }
    ed.w->spritef1Button1Click();
    QCOMPARE(ed.w->ListBox2->count(), files.size());
}

}  // namespace

class SceneTest : public WindowTest {
    Q_OBJECT

private slots:
    void firstTickShowsTheBackdropActorAndNumbers() {
        TempHome home;
        Editor ed;
        ed.ticks(3);
        QVERIFY(!ed.L().firsttick);
        QCOMPARE(ed.L().colorkey, 0x00FF00FFu);
        QCOMPARE(ed.L().curskin, ed.L().startskin);
        QVERIFY(ed.L().totskins >= 1);
        // The backdrop at a spot far from the texts and the actor.
        TDirectDrawSurface* back = ed.w->surface(ed.L().backsurface);
        QVERIFY(back);
        QCOMPARE(ed.pixel(500, 300), back->ReadPixel(500, 300));
        // White number text in the top-left corner.
        bool white = false;
        for (int y = 0; y < 45 && !white; ++y)
            for (int x = 0; x < 30 && !white; ++x) white = ed.pixel(x, y) == 0x00FFFFFFu;
        QVERIFY(white);
        // The actor stands with its bottom centre at (200, 200): the frame of
        // its skin, keyed pixels showing the backdrop, nothing drawn around it;
        // standing, then walking after Right.
        for (int skin : {ed.L().startskin, 2}) {
            if (skin == 2) ed.w->FormKeyDown(39, {});
            QCOMPARE(ed.L().curskin, skin);
            ed.L().lasttick = tickCount();  // no animation step during the next tick
            const SkinRec s = ed.L().skin(skin);
            ed.ticks(1);
            const auto actor = ed.compareDrawn(back, ed.w->surface(s.surface), s.pos, s.w, s.h, 200 - s.w / 2,
                                               200 - s.h, ed.L().colorkey);
            QCOMPARE(actor.wrong, 0);
            QVERIFY(actor.keyed > 0 && actor.opaque > 0);
        }
    }

    void spritesAnimateOverTheBackdropWithSectorOutlines() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        openStageWithSprites(ed, ui, home, {"fan.bmp"});
        SpriteRec& sp = ed.L().sprite(1, 1);
        QCOMPARE(sp.totpos, 3);
        QCOMPARE(sp.w, 56);
        sp.x = 300;
        sp.y = 100;
        // A sector drawn with the right button on the Sector tab.
        ed.w->PageControl2->setCurrentIndex(2);
        ed.w->DXDraw1MouseDown(Qt::RightButton, false, 400, 300);
        ed.w->DXDraw1MouseMove(Qt::RightButton, false, 500, 380);
        // While dragging, the sector fields show the band's corner and size.
        QCOMPARE((QList<int>{ed.w->SpinEdit2->value(), ed.w->SpinEdit4->value(), ed.w->SpinEdit5->value(),
                             ed.w->SpinEdit6->value()}),
                 (QList<int>{400, 300, 100, 80}));
        ed.w->DXDraw1MouseUp(Qt::RightButton, false, 500, 380);
        QCOMPARE(ed.w->ListBox3->count(), 1);
        QCOMPARE(ed.w->ListBox3->item(0)->text(), QString("Sector1"));

        // Run the loop for a while; frames advance on the 30 ms step.
        QList<int> seen;
        for (int i = 0; i < 300 && seen.size() < 4; ++i) {
            ed.w->DXTimer1Timer(1);
            if (seen.isEmpty() || seen.last() != sp.pos) seen << sp.pos;
            QTest::qWait(2);
        }
        QCOMPARE(seen.mid(0, 4), (QList<int>{seen[0], seen[0] % 3 + 1, (seen[0] % 3 + 1) % 3 + 1,
                                            ((seen[0] % 3 + 1) % 3 + 1) % 3 + 1}));
        // The frame on screen is the one the sprite was at when the tick began.
        ed.L().lasttick = tickCount();
        const int frame = sp.pos;
        ed.w->DXTimer1Timer(1);
        TDirectDrawSurface* back = ed.w->surface(ed.L().backsurface);
        TDirectDrawSurface* img = ed.w->surface(sp.surface);
        QVERIFY(back && img);
        const auto drawn = ed.compareDrawn(back, img, frame, sp.w, sp.h, sp.x, sp.y, ed.L().colorkey);
        QCOMPARE(drawn.wrong, 0);
        QVERIFY(drawn.opaque > 100 && drawn.keyed > 56);
        // The sector outline is dashed in the sector colour.
        const std::uint32_t secPix = ed.w->DXDraw1->Device()->rgbToPixel(70, 10, 150);
        int on = 0, off = 0;
        for (int x = 400; x < 500; ++x) (ed.pixel(x, 300) == secPix ? on : off)++;
        QVERIFY(on > 20 && off > 10);
        // Unticking "Sectors" hides it at the next tick.
        ed.w->CheckBox2->setChecked(false);
        ed.w->DXTimer1Timer(1);
        on = 0;
        for (int x = 400; x < 500; ++x) on += ed.pixel(x, 300) == secPix;
        QCOMPARE(on, 0);
    }

    // A failure that comes back at every tick is shown once, the rest of the
    // frame is still drawn, and opening a stage lets it be shown again.
    void frameLoopFailureIsShownOnceUntilAStageIsOpened() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        openStageWithSprites(ed, ui, home, {"coin.bmp", "gem.bmp"});
        ed.ticks(1);
        // The coin's picture is freed behind its record: its handle is stale.
        ed.w->freeSurface(ed.L().sprite(1, 1).surface);
        for (int round = 0; round < 2; ++round) {
            if (round == 1) {
                ed.w->selectRow(ed.w->ListBox1, 0);
                ed.w->ListBox1DblClick();
            }
            for (int k = 0; k < 30; ++k) ed.ticks(1);  // events run between ticks, as in the loop
            ed.L().lasttick = tickCount();  // no animation step: the frame drawn is the one read below
            ed.ticks(1);
            const QStringList shown = ui.takeErrors();
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown[0].contains("coin.bmp") && !shown[0].contains("gem.bmp"), qPrintable(shown[0]));
            // The gem is still drawn over the backdrop.
            const SpriteRec gem = ed.L().sprite(2, 1);
            const auto drawn = ed.compareDrawn(ed.w->surface(ed.L().backsurface), ed.w->surface(gem.surface),
                                               gem.pos, gem.w, gem.h, gem.x, gem.y, ed.L().colorkey);
            QCOMPARE(drawn.wrong, 0);
            QVERIFY(drawn.opaque > 0);
        }
    }

    void stageMessagesAndConfirmation() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        ed.w->Button5Click();
        ed.w->Button6Click();
        ed.w->PageControl2->setCurrentIndex(1);
        ed.w->Button4Click();
        ed.w->Button5Click();
        ed.w->Button6Click();
        ed.w->PageControl2->setCurrentIndex(2);
        ed.w->Button6Click();
        ed.w->Button4Click();  // nothing on the Sector page
        ed.w->PageControl2->setCurrentIndex(3);
        ed.w->Button4Click();
        ed.w->Button5Click();
        ed.w->Button6Click();
        QCOMPARE(ui.errors, (QStringList{"Select the stage you want to modify !",
                                        "Select the stage you want to delete !",
                                        "No open stage !",
                                        "Select the sprite you want to modify !",
                                        "Select the sprite you want to delete !",
                                        "Select the sector you want to delete !"}));
        ui.errors.clear();
        // 28 stages, then three more files: refused; two more: 30.
        ed.w->PageControl2->setCurrentIndex(0);
        QStringList many;
        for (int i = 0; i < 28; ++i) many << home.path("backpx/sea.bmp");
        ui.openAnswers.push_back(many);
        ed.w->Button4Click();
        QCOMPARE(ed.L().totstages, 28);
        QCOMPARE(ed.L().curstage, 0);  // several files open none
        ui.openAnswers.push_back({home.path("backpx/city.bmp"), home.path("backpx/city.bmp"),
                                  home.path("backpx/city.bmp")});
        ed.w->Button4Click();
        QCOMPARE(ui.takeErrors(), QStringList{"Total stages are more than 30 !"});
        QCOMPARE(ed.L().totstages, 28);
        QCOMPARE(ed.w->ListBox1->count(), 28);
        ui.openAnswers.push_back({home.path("backpx/city.bmp"), home.path("backpx/desert.bmp")});
        ed.w->Button4Click();
        QCOMPARE(ed.L().totstages, 30);
        QCOMPARE(ed.w->ListBox1->item(29)->text(), QString("desert.bmp"));
        QVERIFY(ui.openFolders.last().endsWith("/backpx/"));
        // Deleting asks first; No keeps the stage.
        ed.w->selectRow(ed.w->ListBox1, 28);
        ui.answerYes = false;
        ed.w->Button6Click();
        QCOMPARE(ui.questions, QStringList{"Delete stage city.bmp ?"});
        QCOMPARE(ed.L().totstages, 30);
        ui.answerYes = true;
        ed.w->Button6Click();
        QCOMPARE(ed.L().totstages, 29);
        QCOMPARE(ed.w->ListBox1->item(28)->text(), QString("desert.bmp"));
        QCOMPARE(Tmain::selectedRow(ed.w->ListBox1), -1);
    }

    // Reopening a stage lists every one of its sprites; deleting a stage
    // before the open one keeps that one open, deleting the open one leaves
    // the lists empty.
    void reopeningAndDeletingStagesKeepTheListsInStep() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        openStageWithSprites(ed, ui, home, {"coin.bmp", "gem.bmp", "bird.bmp"});
        ed.w->PageControl2->setCurrentIndex(0);
        ui.openAnswers.push_back({home.path("backpx/sea.bmp")});
        ed.w->Button4Click();
        QCOMPARE(ed.L().curstage, 2);
        QCOMPARE(ed.w->ListBox2->count(), 0);
        for (int again = 0; again < 2; ++again) {  // from another stage, then from itself
            ed.w->selectRow(ed.w->ListBox1, 0);
            ed.w->ListBox1DblClick();
            QCOMPARE(ed.L().curstage, 1);
            QStringList rows;
            for (int r = 0; r < ed.w->ListBox2->count(); ++r) rows << ed.w->ListBox2->item(r)->text();
            QCOMPARE(rows, (QStringList{"bird.bmp", "coin.bmp", "gem.bmp"}));
        }
        ed.w->selectRow(ed.w->ListBox1, 1);
        ed.w->ListBox1DblClick();
        ed.w->PageControl2->setCurrentIndex(2);
        ed.w->DXDraw1MouseDown(Qt::RightButton, false, 10, 10);
        ed.w->DXDraw1MouseUp(Qt::RightButton, false, 10, 10);
        QCOMPARE(ed.L().stage(2).totsectors, 1);
        ed.w->PageControl2->setCurrentIndex(0);
        ed.w->selectRow(ed.w->ListBox1, 0);
        ed.w->Button6Click();
        QCOMPARE(ed.L().curstage, 1);
        QCOMPARE(ed.L().stage(1).totsectors, 1);
        QCOMPARE(ed.w->ListBox3->count(), 1);
        ed.w->selectRow(ed.w->ListBox1, 0);
        ed.w->Button6Click();
        QCOMPARE(ed.L().curstage, 0);
        QCOMPARE(ed.w->ListBox3->count(), 0);
        ed.w->PageControl2->setCurrentIndex(2);
        ed.w->Button6Click();
        QCOMPARE(ui.takeErrors(), QStringList{"Select the sector you want to delete !"});
    }

    void pickingDraggingAndTheSpriteFields() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        openStageWithSprites(ed, ui, home, {"coin.bmp", "gem.bmp"});
        SpriteRec& a = ed.L().sprite(1, 1);
        SpriteRec& b = ed.L().sprite(2, 1);
        a.x = 100; a.y = 100;  // 32 x 32
        b.x = 120; b.y = 120;  // 40 x 40, on top
        ed.w->DXDraw1MouseDown(Qt::LeftButton, false, 125, 125);
        QCOMPARE(Tmain::selectedRow(ed.w->ListBox2), 1);
        QCOMPARE(ed.w->Label5->text(), QString("gem.bmp"));
        QCOMPARE(ed.w->Label2->text(), QString());  // picking leaves the image label alone
        // Ctrl keeps the selection: the drag moves the gem even over the coin.
        ed.w->DXDraw1MouseDown(Qt::LeftButton, true, 105, 105);
        ed.w->DXDraw1MouseMove(Qt::LeftButton, true, 115, 110);
        QCOMPARE(b.x, 115 - 5);
        QCOMPARE(b.y, 110 - 5);
        QCOMPARE(a.x, 100);
        QCOMPARE(ed.w->SpinEdit1->value(), 110);
        // Edges count: a click on the right edge of the coin picks it.
        ed.w->DXDraw1MouseDown(Qt::LeftButton, false, 132, 100);
        QCOMPARE(Tmain::selectedRow(ed.w->ListBox2), 0);
        // Typing a position moves the selected sprite.
        ed.w->SpinEdit1->setValue(120);
        QCOMPARE(a.x, 120);
        // Empty view: nothing selected, fields show none.
        ed.w->DXDraw1MouseDown(Qt::LeftButton, false, 600, 10);
        QCOMPARE(Tmain::selectedRow(ed.w->ListBox2), -1);
        QCOMPARE(ed.w->Label5->text(), QString("none"));
        ed.w->DXDraw1MouseMove(Qt::LeftButton, false, 610, 20);
        QCOMPARE(a.x, 120);
        // A list click shows the image number.
        ed.w->ListBox2->setCurrentRow(1);
        QCOMPARE(ed.w->Label2->text(), QString::number(b.image));
        // Deleting the last sprite row leaves no row selected.
        ed.w->Button6Click();
        QCOMPARE(ed.w->ListBox2->count(), 1);
        QCOMPARE(Tmain::selectedRow(ed.w->ListBox2), -1);
    }

    void saveAndOpenThroughTheWindow() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        openStageWithSprites(ed, ui, home, {"coin.bmp", "bird.bmp"});
        ed.w->PageControl2->setCurrentIndex(2);
        for (int i = 0; i < 2; ++i) {
            ed.w->DXDraw1MouseDown(Qt::RightButton, false, 10 + i, 10);
            ed.w->DXDraw1MouseUp(Qt::RightButton, false, 10 + i, 10);
        }
        QCOMPARE(ed.L().stage(1).totsectors, 2);
        ed.w->PageControl2->setCurrentIndex(0);
        const QString pkg = home.path("levels/one.slv");
        QDir().mkpath(home.path("levels"));
        ui.saveAnswers.push_back(pkg);
        ed.w->Button3Click();
        QCOMPARE(ed.w->pb1->maximum(), 2 + 4 + 1);
        QCOMPARE(ed.w->pb1->value(), 7);
        QCOMPARE(ed.w->Label21->text(), QString("7"));
        QCOMPARE(ed.w->Label19->text(), QString("Saving : "));
        QVERIFY(!ed.w->Panel6->isVisible());
        QVERIFY(QFileInfo::exists(pkg));
        QVERIFY(QDir(home.path("levels")).entryList({"_*.tmp"}).isEmpty());
        // New empties the level; Open brings it back.
        ed.w->Button1Click();
        QCOMPARE(ed.L().totstages, 0);
        QCOMPARE(ed.w->ListBox1->count(), 0);
        ui.openAnswers.push_back({pkg});
        ed.w->Button2Click();
        QCOMPARE(ed.L().totstages, 1);
        QCOMPARE(ed.L().totimages, 2);
        QCOMPARE(ed.w->ListBox1->count(), 1);
        QCOMPARE(ed.w->Label19->text(), QString("Loading : "));
        QVERIFY(ed.w->surface(ed.L().image(1).surface));
        QVERIFY(ed.w->surface(ed.L().sprite(1, 1).surface));
        // Open leaves no stage open; opened, stage 1 shows its two sectors
        // and a third one drawn now sits in the list as the third row.
        QCOMPARE(ed.L().curstage, 0);
        QCOMPARE(ed.w->ListBox3->count(), 0);
        ed.w->selectRow(ed.w->ListBox1, 0);
        ed.w->ListBox1DblClick();
        QCOMPARE(ed.w->ListBox3->count(), 2);
        ed.w->PageControl2->setCurrentIndex(2);
        ed.w->DXDraw1MouseDown(Qt::RightButton, false, 50, 50);
        ed.w->DXDraw1MouseMove(Qt::RightButton, false, 60, 60);
        ed.w->DXDraw1MouseUp(Qt::RightButton, false, 60, 60);
        QCOMPARE(ed.w->ListBox3->count(), 3);
        QCOMPARE(ed.w->ListBox3->item(2)->text(), QString("Sector3"));
        // Deleting the new row deletes the new sector, not the first one.
        ed.w->selectRow(ed.w->ListBox3, 2);
        ed.w->Button6Click();
        QCOMPARE(ed.L().stage(1).totsectors, 2);
        QCOMPARE(ed.L().sector(1, 1).name.str() + ed.L().sector(2, 1).name.str(), std::string("Sector1Sector2"));
        // Cancelling the dialog changes nothing.
        ed.w->Button2Click();
        QCOMPARE(ed.L().totstages, 1);
        // Named at start, the package opens on the first tick without a
        // dialog, and the actor loads after it.
        ed.w.reset();
        ui.openFolders.clear();
        Editor again;
        again.L().startuppackage = pkg.toStdString();
        again.ticks(1);
        QVERIFY(ui.openFolders.isEmpty());
        QCOMPARE(again.L().totstages, 1);
        QCOMPARE(again.w->ListBox1->count(), 1);
        QVERIFY(again.L().startuppackage.empty());
        QVERIFY(again.L().curskin >= 1);
    }

    void splashPreviewChoice() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        ed.w->RadioSplash->click();  // cancelled, no splash stored: back to "Stages"
        QVERIFY(ed.w->RadioStages->isChecked());
        ui.openAnswers.push_back({home.path("backpx/desert.bmp")});
        ed.w->RadioSplash->click();
        QVERIFY(ed.w->RadioSplash->isChecked());
        QCOMPARE(QString::fromStdString(ed.L().stage(0).name.str()), QString("desert.bmp"));
        QCOMPARE(ed.L().totstages, 0);
        // While "Splash" is chosen, stage clicks leave the preview alone.
        ui.openAnswers.push_back({home.path("backpx/sea.bmp")});
        ed.w->Button4Click();
        QCOMPARE(ed.w->Image1->pixmap().toImage(),
                 QPixmap(home.path("backpx/desert.bmp")).toImage());
    }
};

SLV_WINDOW_TEST_MAIN(SceneTest)

#include "test_scene.moc"
