#include "support/icon_file.h"

namespace testsupport {

static std::string Le(uint64_t v, int bytes)
{
    return bytes ? char(v) + Le(v >> 8, bytes - 1) : "";
}

const std::string kIconPng = "\x89PNG\r\n\x1a\n" + std::string(300, 'p');

std::string IconBitmap(int size, uint32_t bgra)
{
    std::string image = Le(40, 4) + Le(size, 4) + Le(2 * size, 4) + Le(1, 2) + Le(32, 2) + std::string(24, '\0');
    for (int i = 0; i < size * size; i++)
        image += Le(bgra, 4);
    return image + std::string(size_t(size) * ((size + 31) / 32 * 4), '\0');
}

std::string IconFile(const std::vector<std::string>& images)
{
    std::string head = Le(0, 2) + Le(1, 2) + Le(images.size(), 2), body;
    for (const std::string& image : images) {
        bool png = image[0] == '\x89';
        char size = png ? 0 : image[4];
        head += std::string{size, size, 0, 0} + Le(!png, 2) + Le(png ? 0 : 32, 2) + Le(image.size(), 4) +
                Le(6 + 16 * images.size() + body.size(), 4);
        body += image;
    }
    return head + body;
}

} // namespace testsupport
