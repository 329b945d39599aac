// Pictures read by path, as the preview beside the stage list reads the
// splash record's path: only regular files, and never a wait.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/bmp_writer.h"
#include "common/child_process.h"
#include "common/error_text.h"
#include "display/surface.h"
#include "model/errors.h"

namespace {

std::string put(const QTemporaryDir& dir, const std::string& name, const std::string& bytes) {
    const std::string p = dir.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
}

// What reading `path` with `read` gives, in a child that a hang cannot stop:
// "W x H" or the error text.
std::string readInChild(const std::function<QImage(const std::string&)>& read, const std::string& path) {
    return slvtest::inChild([&] {
        QImage image;
        const std::string error = errorOf([&] { image = read(path); });
        return error.empty() ? std::to_string(image.width()) + " x " + std::to_string(image.height()) : error;
    }, {3, false});
}

}  // namespace

TEST(PictureFile, OnlyRegularFilesAreReadAndNothingWaits) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string good = put(dir, "good.bmp", bmpBytes(BmpLayout{6, 3, 24, false}, [](int, int) { return 0x123456u; }));
    const std::string notes = put(dir, "notes.bmp", "hello");
    const std::string fifo = folder + "/pipe.bmp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string fifoLink = folder + "/pipe-link.bmp";
    std::filesystem::create_symlink(fifo, fifoLink);
    const std::string zeroLink = folder + "/zero.bmp";
    std::filesystem::create_symlink("/dev/zero", zeroLink);
    const std::string gone = folder + "/gone.bmp";
    struct Row {
        std::string path;
        std::string preview;  // readPreviewPicture
        std::string picture;  // readPictureFile, as surfaces load
    };
    const Row rows[] = {
        {good, "6 x 3", "6 x 3"},
        {fifo, "Cannot open file " + fifo, "Cannot open file " + fifo + ": unreadable (not a regular file)"},
        {fifoLink, "Cannot open file " + fifoLink, "Cannot open file " + fifoLink + ": unreadable (not a regular file)"},
        {zeroLink, "Cannot open file " + zeroLink, "Cannot open file " + zeroLink + ": unreadable (not a regular file)"},
        {"/dev/zero", "Cannot open file /dev/zero", "Cannot open file /dev/zero: unreadable (not a regular file)"},
        {folder, "Cannot open file " + folder, "Cannot open file " + folder + ": unreadable (not a regular file)"},
        {gone, "Cannot open file " + gone, "Cannot open file " + gone + ": unreadable (No such file or directory)"},
        {notes, "Bitmap image is not valid", "Cannot load picture " + notes + ": not a picture"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(readInChild(slv::readPreviewPicture, row.path), row.preview);
        EXPECT_EQ(readInChild(slv::readPictureFile, row.path), row.picture);
    }
}
