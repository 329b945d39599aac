#include "picturewatcher.h"

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace slv {

PictureWatcher::PictureWatcher(QObject* parent, int settleMs) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(settleMs);
    connect(&settle_, &QTimer::timeout, this, &PictureWatcher::report);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &PictureWatcher::noteFile);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &PictureWatcher::noteFolder);
}

PictureWatcher::Signature PictureWatcher::signatureOf(const QString& path) {
    struct stat st {};
    Signature s;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return s;
    s.exists = true;
    s.inode = static_cast<qint64>(st.st_ino);
    s.size = static_cast<qint64>(st.st_size);
    s.modifiedNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

void PictureWatcher::watchFiles(const QStringList& paths) {
    if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
    files_.clear();
    byFolder_.clear();
    pending_.clear();
    settle_.stop();
    for (const QString& given : paths) {
        const QString path = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
        if (files_.contains(path)) continue;
        files_.insert(path, signatureOf(path));
        byFolder_[QFileInfo(path).absolutePath()].append(path);
        if (files_[path].exists) watcher_.addPath(path);
    }
    for (auto it = byFolder_.cbegin(); it != byFolder_.cend(); ++it)
        if (QFileInfo(it.key()).isDir()) watcher_.addPath(it.key());
}

QStringList PictureWatcher::watchedFiles() const {
    QStringList out = files_.keys();
    std::sort(out.begin(), out.end());
    return out;
}

void PictureWatcher::noteFile(const QString& path) {
    if (!files_.contains(path)) return;
    mark(path);
}

// A folder changes for every file made, renamed or removed in it: only the
// watched files whose signature changed count.
void PictureWatcher::noteFolder(const QString& folder) {
    const auto it = byFolder_.constFind(folder);
    if (it == byFolder_.cend()) return;
    for (const QString& path : *it)
        if (!(signatureOf(path) == files_.value(path))) mark(path);
}

void PictureWatcher::mark(const QString& path) {
    pending_.insert(path);
    rearm(path);
    settle_.start();  // restarted by every change of the burst
}

void PictureWatcher::rearm(const QString& path) {
    const Signature now = signatureOf(path);
    files_[path] = now;
    watcher_.removePath(path);
    if (now.exists) watcher_.addPath(path);
}

void PictureWatcher::report() {
    if (pending_.isEmpty()) return;
    QStringList changed(pending_.cbegin(), pending_.cend());
    pending_.clear();
    std::sort(changed.begin(), changed.end());
    for (const QString& path : changed) rearm(path);
    emit picturesChanged(changed);
}

}  // namespace slv
