// Watches the picture files an open level draws from and tells, once per
// burst of changes, which of them changed on disk.
#pragma once

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

namespace slv {

class PictureWatcher : public QObject {
    Q_OBJECT

public:
    // `settleMs`: how long the files must stay quiet before a burst of
    // changes is reported.
    explicit PictureWatcher(QObject* parent = nullptr, int settleMs = 250);

    // Replaces the watched set (absolute paths). Files that do not exist yet
    // are watched for through their folders and reported when they appear.
    void watchFiles(const QStringList& paths);
    QStringList watchedFiles() const;
    void clear() { watchFiles({}); }

signals:
    // Files of the set that were written, replaced (also by a rename over
    // them, as paint programs save), created or removed since the last
    // report, sorted. The receiver checks whether each still exists.
    void picturesChanged(const QStringList& paths);

private:
    // What a file looked like when last seen: a rename over it or a rewrite
    // changes one of these.
    struct Signature {
        bool exists = false;
        qint64 inode = 0, size = 0, modifiedNs = 0;
        bool operator==(const Signature& o) const {
            return exists == o.exists && inode == o.inode && size == o.size && modifiedNs == o.modifiedNs;
        }
    };
    static Signature signatureOf(const QString& path);

    void noteFile(const QString& path);
    void noteFolder(const QString& folder);
    void mark(const QString& path);
    // Watches the file the path names now (after a rename over it, the
    // watch on the old file would never fire again).
    void rearm(const QString& path);
    void report();

    QFileSystemWatcher watcher_;
    QTimer settle_;
    QHash<QString, Signature> files_;        // watched path -> last signature
    QHash<QString, QStringList> byFolder_;   // folder -> watched paths in it
    QSet<QString> pending_;
};

}  // namespace slv
