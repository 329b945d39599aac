// PictureWatcher on real files: every way a paint program or a script changes
// a picture gives exactly one report naming it, and the file stays watched.
#include <QFileSystemWatcher>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "editor/picturewatcher.h"

namespace {

// A report comes a settle time (250 ms) after the last change; waits end as
// soon as the count is reached or passed, so a test that fails ends at once.
constexpr int kDeadlineMs = 5000;

enum class Action { Create, Overwrite, OverwriteInPieces, ReplaceByRename, Delete, DeleteAndRecreate };

// Writes `bytes` in `pieces`; after each piece the event loop runs until
// the file system has told of that write, so that the watcher sees the
// writes as separate changes of one burst, as when a paint program writes a
// large picture.
void writeFile(const QString& path, const QByteArray& bytes, int pieces = 1) {
    std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    QVERIFY(f);
    QFileSystemWatcher seen;
    int changes = 0;
    if (pieces > 1) {
        seen.addPath(path);
        QObject::connect(&seen, &QFileSystemWatcher::fileChanged, [&] { ++changes; });
    }
    const qsizetype step = (bytes.size() + pieces - 1) / pieces;
    for (qsizetype at = 0; at < bytes.size(); at += step) {
        std::fwrite(bytes.constData() + at, 1, static_cast<std::size_t>(std::min(step, bytes.size() - at)), f);
        std::fflush(f);
        if (pieces > 1) {
            const int before = changes;
            QVERIFY(QTest::qWaitFor([&] { return changes > before; }, kDeadlineMs));
        }
    }
    std::fclose(f);
}

// The paths of the last report.
QStringList lastReport(const QSignalSpy& spy) { return spy.last().at(0).toStringList(); }

}  // namespace

class PictureWatcherTest : public QObject {
    Q_OBJECT

private slots:
    void oneReportPerChange_data();
    void oneReportPerChange();
    void watchedSetIsReplaced();
};

void PictureWatcherTest::oneReportPerChange_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("existsBefore");
    QTest::addColumn<bool>("existsAfter");
    QTest::newRow("created") << int(Action::Create) << false << true;
    QTest::newRow("overwritten") << int(Action::Overwrite) << true << true;
    QTest::newRow("overwritten in pieces") << int(Action::OverwriteInPieces) << true << true;
    QTest::newRow("replaced by a rename") << int(Action::ReplaceByRename) << true << true;
    QTest::newRow("deleted") << int(Action::Delete) << true << false;
    QTest::newRow("deleted and made again") << int(Action::DeleteAndRecreate) << true << true;
}

// After the change: exactly one report names the picture (a later change of
// another watched file is reported on its own), and when the picture exists
// afterwards, writing it again is reported again.
void PictureWatcherTest::oneReportPerChange() {
    QFETCH(int, action);
    QFETCH(bool, existsBefore);
    QFETCH(bool, existsAfter);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString picture = dir.filePath("strip.bmp");
    const QString other = dir.filePath("backdrop.bmp");
    if (existsBefore) writeFile(picture, "BM old");
    writeFile(other, "BM other");

    slv::PictureWatcher watcher(nullptr, 250);
    QSignalSpy spy(&watcher, &slv::PictureWatcher::picturesChanged);
    watcher.watchFiles({picture, other});

    switch (static_cast<Action>(action)) {
    case Action::Create:
    case Action::Overwrite: writeFile(picture, "BM new picture"); break;
    case Action::OverwriteInPieces: writeFile(picture, QByteArray(200000, 'x'), 6); break;
    case Action::ReplaceByRename:
        writeFile(dir.filePath("strip.tmp"), "BM saved by a paint program");
        // rename(2) replaces the file in one step, as paint programs save.
        QVERIFY(std::rename(QFile::encodeName(dir.filePath("strip.tmp")).constData(),
                            QFile::encodeName(picture).constData()) == 0);
        break;
    case Action::Delete: QVERIFY(QFile::remove(picture)); break;
    case Action::DeleteAndRecreate:
        QVERIFY(QFile::remove(picture));
        writeFile(picture, "BM made again");
        break;
    }
    QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 1, kDeadlineMs);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(lastReport(spy), QStringList{picture});
    QCOMPARE(QFileInfo::exists(picture), existsAfter);

    // Any late report of the picture would come before or with this one.
    writeFile(other, "BM other, changed");
    QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 2, kDeadlineMs);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(lastReport(spy), QStringList{other});

    if (existsAfter) {
        writeFile(picture, "BM changed once more");
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 3, kDeadlineMs);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(lastReport(spy), QStringList{picture});
    }
}

// A new set replaces the old one: files dropped from it are no longer reported.
void PictureWatcherTest::watchedSetIsReplaced() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString a = dir.filePath("a.bmp"), b = dir.filePath("b.bmp");
    writeFile(a, "BM a");
    writeFile(b, "BM b");
    slv::PictureWatcher watcher(nullptr, 100);
    QSignalSpy spy(&watcher, &slv::PictureWatcher::picturesChanged);
    watcher.watchFiles({a, b, a});
    QCOMPARE(watcher.watchedFiles(), (QStringList{a, b}));
    watcher.watchFiles({b});
    writeFile(a, "BM a, changed");
    writeFile(b, "BM b, changed");
    QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 1, kDeadlineMs);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(lastReport(spy), QStringList{b});
}

QTEST_GUILESS_MAIN(PictureWatcherTest)
#include "picturewatcher_test.moc"
