// The frame loop and the editing commands, driven through the window's
// handlers, checked on the back buffer's pixels and the tables.
#include "harness.h"

#include <QPaintEvent>
#include <QRegion>

using namespace slv;

class SceneTest : public WindowTest {
    Q_OBJECT

private slots:
    void firstTickShowsTheBackdropActorAndNumbers() {
        Editor ed;
        ed.ticks(3);
        QVERIFY(!ed.w->viewState().startupPending);
        QCOMPARE(ed.w->viewState().colorKey, 0x00FF00FFu);
        QVERIFY(ed.w->actor().skinCount >= 1);
        // The backdrop at a spot far from the texts and the actor.
        Surface* back = ed.backdrop();
        QVERIFY(back);
        QCOMPARE(ed.pixel(500, 300), back->pixelAt(500, 300));
        // White number text in the top-left corner.
        bool white = false;
        for (int y = 0; y < 45 && !white; ++y)
            for (int x = 0; x < 30 && !white; ++x) white = ed.pixel(x, y) == 0x00FFFFFFu;
        QVERIFY(white);
        // The actor stands with its bottom centre at (200, 200): the frame of
        // its skin, keyed pixels showing the backdrop, nothing drawn around it;
        // standing, then walking after Right.
        for (int skin : {ed.w->actor().firstSkin, 2}) {
            if (skin == 2) ed.w->routeKeyDown(39, {});
            QCOMPARE(ed.w->actor().currentSkin, skin);
            const SkinRec s = ed.w->actor().skin(skin);
            ed.stillTick();
            const auto actor = ed.compareDrawn(back, ed.surface(s.surface), s.frame, s.w, s.h, 200 - s.w / 2, 200 - s.h,
                                               ed.w->viewState().colorKey);
            QCOMPARE(actor.wrong, 0);
            QVERIFY(actor.keyed > 0 && actor.opaque > 0);
        }
    }

    void spritesAnimateOverTheBackdropWithSectorOutlines() {
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"fan.bmp"});
        SpriteRec& sp = ed.L().sprite(1, 1);
        QCOMPARE(sp.frameCount, 3);
        QCOMPARE(sp.w, 56);
        sp.x = 300;
        sp.y = 100;
        // A sector drawn with the right button on the Sector tab.
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(2);
        ed.w->pressOnScene(Qt::RightButton, false, 400, 300);
        ed.w->moveOnScene(Qt::RightButton, false, 500, 380);
        // While dragging, the sector fields show the band's corner and size.
        QCOMPARE((QList<int>{ed.w->findChild<QSpinBox*>("sectorXField")->value(), ed.w->findChild<QSpinBox*>("sectorYField")->value(), ed.w->findChild<QSpinBox*>("sectorWidthField")->value(),
                             ed.w->findChild<QSpinBox*>("sectorHeightField")->value()}), (QList<int>{400, 300, 100, 80}));
        ed.w->releaseOnScene(Qt::RightButton, false, 500, 380);
        QCOMPARE(ed.w->findChild<QListWidget*>("sectorList")->count(), 1);
        QCOMPARE(ed.w->findChild<QListWidget*>("sectorList")->item(0)->text(), QString("Sector1"));

        // Frames advance one a 30 ms step, and not between steps. The record
        // keeps the frame it was placed with.
        QList<int> seen{ed.shownFrame(1)};
        for (int i = 0; i < 3; ++i) {
            ed.stillTick();
            QCOMPARE(ed.shownFrame(1), seen.last());
            ed.animationStep();
            seen << ed.shownFrame(1);
        }
        QCOMPARE(seen, (QList<int>{seen[0], seen[0] % 3 + 1, (seen[0] % 3 + 1) % 3 + 1,
                                            ((seen[0] % 3 + 1) % 3 + 1) % 3 + 1}));
        QCOMPARE(sp.frame, 1);
        // The frame on screen is the one the sprite was at when the tick began.
        const int frame = ed.shownFrame(1);
        ed.stillTick();
        const auto drawn = ed.compareSprite(sp, frame);
        QCOMPARE(drawn.wrong, 0);
        QVERIFY(drawn.opaque > 100 && drawn.keyed > 56);
        // The sector outline is dashed in the sector colour.
        const std::uint32_t secPix = ed.w->findChild<slv::SceneWidget*>("sceneView")->device()->rgbToPixel(70, 10, 150);
        int on = 0, off = 0;
        for (int x = 400; x < 500; ++x) (ed.pixel(x, 300) == secPix ? on : off)++;
        QVERIFY(on > 20 && off > 10);
        // Unticking "Sectors" hides it at the next tick.
        ed.w->findChild<QCheckBox*>("showSectors")->setChecked(false);
        ed.w->onFrameTick(1);
        on = 0;
        for (int x = 400; x < 500; ++x) on += ed.pixel(x, 300) == secPix;
        QCOMPARE(on, 0);
    }

    // A failure that comes back at every tick is shown once, the rest of the
    // frame is still drawn, and opening a stage lets it be shown again.
    void frameLoopFailureIsShownOnceUntilAStageIsOpened() {
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "gem.bmp"});
        // The gem where nothing else is drawn (the actor, the numbers).
        ed.L().sprite(2, 1).x = 520, ed.L().sprite(2, 1).y = 330;
        ed.ticks(1);
        // The coin's picture is freed behind its record: its handle is stale.
        ed.w->pictures().release(ed.L().sprite(1, 1).surface);
        for (int round = 0; round < 2; ++round) {
            if (round == 1) ed.openStage(0);
            for (int k = 0; k < 30; ++k) ed.ticks(1);  // events run between ticks, as in the loop
            const int frameDrawn = ed.shownFrame(2);  // an animation step comes after the drawing
            ed.ticks(1);
            const QStringList shown = ui.takeErrors();
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown[0].contains("coin.bmp") && !shown[0].contains("gem.bmp"), qPrintable(shown[0]));
            // The gem is still drawn over the backdrop.
            const auto drawn = ed.compareSprite(ed.L().sprite(2, 1), frameDrawn);
            QCOMPARE(drawn.wrong, 0);
            QVERIFY(drawn.opaque > 0);
        }
    }

    void stageMessagesAndConfirmation() {
        StartedEditor ed;
        ed.w->replaceOnActiveTab();
        ed.w->deleteOnActiveTab();
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
        ed.w->addOnActiveTab();
        ed.w->replaceOnActiveTab();
        ed.w->deleteOnActiveTab();
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(2);
        ed.w->deleteOnActiveTab();
        ed.w->addOnActiveTab();  // nothing on the Sector page
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(3);
        ed.w->addOnActiveTab();
        ed.w->replaceOnActiveTab();
        ed.w->deleteOnActiveTab();
        QCOMPARE(ui.errors, (QStringList{"Select the stage you want to modify !",
                                        "Select the stage you want to delete !",
                                        "No open stage !",
                                        "Select the sprite you want to modify !",
                                        "Select the sprite you want to delete !",
                                        "Select the sector you want to delete !"}));
        ui.errors.clear();
        // 28 stages, then three more files: refused; two more: 30.
        addStages(ed, ui, QStringList(28, "sea.bmp"));
        QCOMPARE(ed.L().stageCount, 28);
        QCOMPARE(ed.L().openStage, 0);  // several files open none
        addStages(ed, ui, {"city.bmp", "city.bmp", "city.bmp"});
        QCOMPARE(ui.takeErrors(), QStringList{"Total stages are more than 30 !"});
        QCOMPARE(ed.L().stageCount, 28);
        QCOMPARE(ed.w->findChild<QListWidget*>("stageList")->count(), 28);
        addStages(ed, ui, {"city.bmp", "desert.bmp"});
        QCOMPARE(ed.L().stageCount, 30);
        QCOMPARE(ed.w->findChild<QListWidget*>("stageList")->item(29)->text(), QString("desert.bmp"));
        QVERIFY(ui.openFolders.last().endsWith("/backpx/"));
        // Deleting asks first; No keeps the stage.
        ed.w->selectRow(ed.w->findChild<QListWidget*>("stageList"), 28);
        ui.answerYes = false;
        ed.w->deleteOnActiveTab();
        QCOMPARE(ui.questions, QStringList{"Delete stage city.bmp ?"});
        QCOMPARE(ed.L().stageCount, 30);
        ui.answerYes = true;
        ed.w->deleteOnActiveTab();
        QCOMPARE(ed.L().stageCount, 29);
        QCOMPARE(ed.w->findChild<QListWidget*>("stageList")->item(28)->text(), QString("desert.bmp"));
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("stageList")), -1);
    }

    // Reopening a stage lists every one of its sprites; deleting a stage
    // before the open one keeps that one open, deleting the open one leaves
    // the lists empty.
    void reopeningAndDeletingStagesKeepTheListsInStep() {
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "gem.bmp", "bird.bmp"});
        addStage(ed, ui, "sea.bmp");
        QCOMPARE(ed.L().openStage, 2);
        QCOMPARE(ed.w->findChild<QListWidget*>("spriteList")->count(), 0);
        for (int again = 0; again < 2; ++again) {  // from another stage, then from itself
            ed.openStage(0);
            QCOMPARE(ed.L().openStage, 1);
            QStringList rows;
            for (int r = 0; r < ed.w->findChild<QListWidget*>("spriteList")->count(); ++r) rows << ed.w->findChild<QListWidget*>("spriteList")->item(r)->text();
            QCOMPARE(rows, (QStringList{"bird.bmp", "coin.bmp", "gem.bmp"}));
        }
        ed.openStage(1);
        ed.drawSector({10, 10}, {10, 10}, 0);
        QCOMPARE(ed.L().stage(2).sectorCount, 1);
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(0);
        ed.w->selectRow(ed.w->findChild<QListWidget*>("stageList"), 0);
        ed.w->deleteOnActiveTab();
        QCOMPARE((QList<int>{ed.L().openStage, ed.L().stage(1).sectorCount, ed.w->findChild<QListWidget*>("sectorList")->count()}),
                 (QList<int>{1, 1, 1}));
        ed.w->selectRow(ed.w->findChild<QListWidget*>("stageList"), 0);
        ed.w->deleteOnActiveTab();
        QCOMPARE((QList<int>{ed.L().openStage, ed.w->findChild<QListWidget*>("sectorList")->count()}), (QList<int>{0, 0}));
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(2);
        ed.w->deleteOnActiveTab();
        QCOMPARE(ui.takeErrors(), QStringList{"Select the sector you want to delete !"});
    }

    void pickingDraggingAndTheSpriteFields() {
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "gem.bmp"});
        SpriteRec& a = ed.L().sprite(1, 1);
        SpriteRec& b = ed.L().sprite(2, 1);
        a.x = 100; a.y = 100;  // 32 x 32
        b.x = 120; b.y = 120;  // 40 x 40, on top
        ed.w->pressOnScene(Qt::LeftButton, false, 125, 125);
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("spriteList")), 1);
        QCOMPARE(ed.w->findChild<QLabel*>("spriteName")->text(), QString("gem.bmp"));
        QCOMPARE(ed.w->findChild<QLabel*>("spriteImageIndex")->text(), QString());  // picking leaves the image label alone
        // Ctrl keeps the selection: the drag moves the gem even over the coin.
        ed.w->pressOnScene(Qt::LeftButton, true, 105, 105);
        ed.w->moveOnScene(Qt::LeftButton, true, 115, 110);
        QCOMPARE(QPoint(b.x, b.y), QPoint(115 - 5, 110 - 5));
        QCOMPARE(a.x, 100);
        QCOMPARE(ed.w->findChild<QSpinBox*>("spriteXField")->value(), 110);
        // Edges count: a click on the right edge of the coin picks it.
        ed.w->pressOnScene(Qt::LeftButton, false, 132, 100);
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("spriteList")), 0);
        // Typing a position moves the selected sprite.
        ed.w->findChild<QSpinBox*>("spriteXField")->setValue(120);
        QCOMPARE(a.x, 120);
        // Mod with the picker's current line deselected: no bitmap is picked.
        ed.w->replaceOnActiveTab();
        QListWidget* files = ed.w->findChild<slv::SpritePicker*>("spritePicker")->fileList_;
        files->clearSelection();
        files->setCurrentItem(files->findItems("bird.bmp", Qt::MatchExactly).at(0));
        files->currentItem()->setSelected(false);
        ed.w->confirmPickedSprites();
        QCOMPARE(ui.takeErrors(), QStringList{"Select the bitmap of the sprite !"});
        QCOMPARE(a.name.str(), std::string("coin.bmp"));
        // Empty view: nothing selected, fields show none.
        ed.w->pressOnScene(Qt::LeftButton, false, 600, 10);
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("spriteList")), -1);
        QCOMPARE(ed.w->findChild<QLabel*>("spriteName")->text(), QString("none"));
        ed.w->moveOnScene(Qt::LeftButton, false, 610, 20);
        QCOMPARE(a.x, 120);
        // A list click shows the image number.
        ed.w->findChild<QListWidget*>("spriteList")->setCurrentRow(1);
        QCOMPARE(ed.w->findChild<QLabel*>("spriteImageIndex")->text(), QString::number(b.image));
        // Deleting the last sprite row leaves no row selected.
        ed.w->deleteOnActiveTab();
        QCOMPARE(ed.w->findChild<QListWidget*>("spriteList")->count(), 1);
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("spriteList")), -1);
    }

    // A tick paints only what changed: around the sprite that moved, and
    // nothing below the numbers when nothing did.
    void ticksPaintOnlyWhatChanged() {
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp"});
        struct PaintLog : QObject {
            QRegion painted;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) painted |= static_cast<QPaintEvent*>(e)->region();
                return false;
            }
        } log;
        SceneWidget* view = ed.w->findChild<slv::SceneWidget*>("sceneView");
        view->setMinPresentInterval(0);
        ed.stillTick();
        view->installEventFilter(&log);
        SpriteRec& s = ed.L().sprite(1, 1);
        s.x = 300, s.y = 200;
        ed.stillTick();
        QVERIFY((QRegion(300, 200, s.w, s.h) - log.painted).isEmpty());
        QVERIFY(!log.painted.contains(QPoint(600, 400)));
        log.painted = QRegion();
        ed.stillTick();
        QVERIFY(!log.painted.intersects(QRect(0, 60, 640, 370)));
        view->removeEventFilter(&log);
    }

    // The action, the file's name and the count beside the bar show whole,
    // up to the entries of the largest package; the bar keeps its length
    // while the count fits its place.
    void progressTextsShowWhole() {
        StartedEditor ed;
        ProgressPanel& panel = *ed.w->findChild<slv::ProgressPanel*>("progressPanel");
        for (int steps : {7, 334, 3034, 99999}) {
            panel.begin(steps % 2 ? "Loading : " : "Saving : ", "level.slv", steps);
            QVERIFY(panel.action_->geometry().right() < panel.file_->geometry().left());
            const QRect count = panel.count_->geometry(), bar = panel.bar_->geometry();
            QVERIFY2(count.width() >= panel.count_->fontMetrics().horizontalAdvance(QString::number(steps)),
                     qPrintable(QString::number(steps)));
            QVERIFY(panel.contentsRect().contains(count));
            QVERIFY(bar.right() < count.left());
            if (steps < 1000) QCOMPARE(bar.width(), 233);
        }
        panel.hide();
    }

    void saveAndOpenThroughTheWindow() {
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "bird.bmp"});
        for (int i = 0; i < 2; ++i) ed.drawSector({10 + i, 10}, {10 + i, 10}, 0);
        QCOMPARE(ed.L().stage(1).sectorCount, 2);
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(0);
        const QString pkg = home->path("levels/one.slv");
        QDir().mkpath(home->path("levels"));
        saveTo(ed, ui, pkg);
        QCOMPARE(ed.w->findChild<slv::ProgressPanel*>("progressPanel")->bar_->maximum(), 2 + 4 + 1);
        QCOMPARE(ed.w->findChild<slv::ProgressPanel*>("progressPanel")->bar_->value(), 7);
        QCOMPARE(ed.w->findChild<slv::ProgressPanel*>("progressPanel")->count_->text(), QString("7"));
        QCOMPARE(ed.w->findChild<slv::ProgressPanel*>("progressPanel")->action_->text(), QString("Saving : "));
        QTRY_VERIFY(!ed.w->findChild<slv::ProgressPanel*>("progressPanel")->isVisible());
        QVERIFY(QFileInfo::exists(pkg));
        QVERIFY(QDir(home->path("levels")).entryList({"_*.tmp"}).isEmpty());
        // New empties the level, with no stage open to add sprites to; Open
        // brings it back.
        ed.w->newLevel();
        QCOMPARE((QList<int>{ed.L().stageCount, ed.L().openStage, ed.w->findChild<QListWidget*>("stageList")->count()}), (QList<int>{0, 0, 0}));
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
        ed.w->addOnActiveTab();
        QCOMPARE(ui.takeErrors(), QStringList{"No open stage !"});
        ui.openAnswers.push_back({pkg});
        ed.w->openLevel();
        QCOMPARE((QList<int>{ed.L().stageCount, ed.L().imageCount, ed.w->findChild<QListWidget*>("stageList")->count(), ed.w->findChild<QListWidget*>("spriteList")->count()}),
                 (QList<int>{1, 2, 1, 0}));
        QCOMPARE(ed.w->windowHandle()->title(), QString("Sublevel editor - one.slv"));
        QCOMPARE(ed.w->findChild<slv::ProgressPanel*>("progressPanel")->action_->text(), QString("Loading : "));
        QVERIFY(ed.surface(ed.L().image(1).surface));
        QVERIFY(ed.surface(ed.L().sprite(1, 1).surface));
        // Open leaves no stage open; opened, stage 1 shows its two sectors
        // and a third one drawn now sits in the list as the third row.
        QCOMPARE(ed.L().openStage, 0);
        QCOMPARE(ed.w->findChild<QListWidget*>("sectorList")->count(), 0);
        ed.openStage(0);
        QCOMPARE(ed.w->findChild<QListWidget*>("sectorList")->count(), 2);
        ed.drawSector({50, 50}, {60, 60});
        QCOMPARE(ed.w->findChild<QListWidget*>("sectorList")->count(), 3);
        QCOMPARE(ed.w->findChild<QListWidget*>("sectorList")->item(2)->text(), QString("Sector3"));
        // Deleting the new row deletes the new sector, not the first one.
        ed.w->selectRow(ed.w->findChild<QListWidget*>("sectorList"), 2);
        ed.w->deleteOnActiveTab();
        QCOMPARE(ed.L().stage(1).sectorCount, 2);
        QCOMPARE(ed.L().sector(1, 1).name.str() + ed.L().sector(2, 1).name.str(), std::string("Sector1Sector2"));
        // Cancelling the dialog changes nothing.
        ed.w->openLevel();
        QCOMPARE(ed.L().stageCount, 1);
        // Named at start, the package opens on the first tick without a
        // dialog, and the actor loads after it.
        ed.w.reset();
        ui.openFolders.clear();
        Editor again;
        again.L().startupPackage = pkg.toStdString();
        again.ticks(1);
        QVERIFY(ui.openFolders.isEmpty());
        QCOMPARE(again.L().stageCount, 1);
        QCOMPARE(again.w->findChild<QListWidget*>("stageList")->count(), 1);
        QVERIFY(again.L().startupPackage.empty());
        QVERIFY(again.w->actor().currentSkin >= 1);
    }

    void splashPreviewChoice() {
        StartedEditor ed;
        ed.w->findChild<QRadioButton*>("previewSplash")->click();  // cancelled, no splash stored: back to "Stages"
        QVERIFY(ed.w->findChild<QRadioButton*>("previewStages")->isChecked());
        ui.openAnswers.push_back({home->path("backpx/desert.bmp")});
        ed.w->findChild<QRadioButton*>("previewSplash")->click();
        QVERIFY(ed.w->findChild<QRadioButton*>("previewSplash")->isChecked());
        QCOMPARE(QString::fromStdString(ed.L().stage(0).name.str()), QString("desert.bmp"));
        QCOMPARE(ed.L().stageCount, 0);
        // While "Splash" is chosen, stage clicks leave the preview alone.
        addStage(ed, ui, "sea.bmp");
        QCOMPARE(ed.w->findChild<QLabel*>("previewPicture")->pixmap().toImage(), QPixmap(home->path("backpx/desert.bmp")).toImage());
    }
};

SLV_WINDOW_TEST_MAIN(SceneTest)

#include "test_scene.moc"
