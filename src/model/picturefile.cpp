#include "picturefile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "errors.h"
#include "fileio.h"
#include "pictureinfo.h"

namespace slv {

namespace {

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

bool isPnmMagic(std::string_view head) {
    return head.size() >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '7' &&
           (head[2] == '\n' || head[2] == ' ' || head[2] == '\r' || head[2] == '\t');
}

}  // namespace

std::string pictureFormatOf(std::string_view head) {
    if (startsWith(head, "BM")) return "BMP";
    if (startsWith(head, std::string_view("\x89PNG\r\n\x1a\n", 8))) return "PNG";
    if (startsWith(head, "\xFF\xD8\xFF")) return "JPEG";
    if (startsWith(head, "GIF87a") || startsWith(head, "GIF89a")) return "GIF";
    if (startsWith(head, std::string_view("II*\0", 4)) || startsWith(head, std::string_view("MM\0*", 4)))
        return "TIFF";
    if (startsWith(head, "RIFF") && head.size() >= 12 && head.substr(8, 4) == "WEBP") return "WebP";
    if (startsWith(head, std::string_view("\0\0\1\0", 4)) || startsWith(head, std::string_view("\0\0\2\0", 4)))
        return "ICO";
    if (isPnmMagic(head)) return "PNM";
    if (startsWith(head, "/* XPM */")) return "XPM";
    if (startsWith(head, "#define ")) return "XBM";
    if (startsWith(head, "<svg") || startsWith(head, "<?xml")) return "SVG";
    return "";
}

int pictureWidthOf(std::string_view head) {
    const std::optional<PictureSize> size = pictureSize(head);
    return size ? size->width : 0;
}

std::string pictureHead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    std::string head(kPictureProbeBytes, '\0');
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t r = ::read(fd, head.data() + got, head.size() - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
    }
    ::close(fd);
    head.resize(got);
    return head;
}

void checkBmpPicture(const std::string& path) {
    const std::string format = pictureFormatOf(pictureHead(path));
    if (!format.empty() && format != "BMP")
        throw Error("\"" + fileNamePart(path) + "\" is a " + format + " picture; a level takes BMP pictures only");
}

}  // namespace slv
