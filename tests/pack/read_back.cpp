#include "read_back.h"

#include <gtest/gtest.h>

#include <cstring>

#include "archive/archive_pass.h"
#include "support/archive_builder.h"
#include "support/archive_builder.h"

namespace {

int Collect(wchar_t* name, const unsigned char* data, uint32_t size, void* user)
{
    ReadBackResult* r = static_cast<ReadBackResult*>(user);
    if (!data) {
        std::string n;
        for (const wchar_t* p = name; *p; ++p)
            n.push_back(char(*p));
        r->names.push_back(n);
        name[0] = 1; // memory mode
        name[1] = 0;
        return 0;
    }
    r->data.emplace_back(data, data + size);
    return 0;
}

} // namespace

ReadBackResult ReadBack(const std::vector<uint8_t>& archive)
{
    ReadBackResult r;
    testsupport::TempDir dir;
    std::string path = dir.File("archive.bin");
    if (!testsupport::WriteFileBytes(path, archive))
        return r;
    r.passResult = ArchivePass(testsupport::WidePath(path).c_str(), Collect, &r);
    return r;
}

std::vector<uint8_t> ExpectRoundTrip(const std::vector<PackInput>& entries, int level)
{
    std::vector<uint8_t> archive = Pack(entries, level);
    ReadBackResult r = ReadBack(archive);
    EXPECT_EQ(r.passResult, 0) << "level " << level;
    size_t files = 0;
    for (const PackInput& e : entries)
        if (!(e.attributes & 0x18))
            ++files;
    EXPECT_EQ(r.data.size(), files) << "level " << level;
    size_t k = 0;
    for (const PackInput& e : entries) {
        if (e.attributes & 0x18)
            continue;
        if (k >= r.data.size())
            break;
        EXPECT_EQ(r.names[k], e.name);
        // Compared without gtest's element dump: inputs run to megabytes.
        bool same = r.data[k] == e.data;
        EXPECT_TRUE(same) << "entry " << e.name << " (" << e.data.size() << " bytes) differs at level " << level;
        ++k;
    }
    return archive;
}

uint32_t Get16(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8;
}
uint32_t Get32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

std::vector<Block> Walk(const std::vector<uint8_t>& a)
{
    std::vector<Block> blocks;
    size_t pos = 7 + 13;
    while (pos < a.size()) {
        Block b{};
        b.pos = pos;
        b.type = a[pos + 2];
        b.flags = Get16(a, pos + 3);
        b.headSize = Get16(a, pos + 5);
        EXPECT_LE(pos + b.headSize, a.size());
        EXPECT_EQ(Get16(a, pos), testsupport::Crc32(a.data() + pos + 2, b.headSize - 2) & 0xFFFF);
        if (b.type == 0x74) {
            b.packSize = Get32(a, pos + 7);
            b.unpSize = Get32(a, pos + 11);
            b.host = a[pos + 15];
            b.crc = Get32(a, pos + 16);
            b.time = Get32(a, pos + 20);
            b.version = a[pos + 24];
            b.method = a[pos + 25];
            uint32_t nameSize = Get16(a, pos + 26);
            b.attr = Get32(a, pos + 28);
            EXPECT_EQ(b.headSize, 32 + nameSize);
            b.name.assign(a.begin() + pos + 32, a.begin() + pos + 32 + nameSize);
            b.payload.assign(a.begin() + pos + b.headSize, a.begin() + pos + b.headSize + b.packSize);
        }
        pos += b.headSize + ((b.flags & 0x8000) ? b.packSize : 0);
        blocks.push_back(b);
    }
    EXPECT_EQ(pos, a.size());
    return blocks;
}

std::vector<Block> FileBlocks(const std::vector<uint8_t>& archive)
{
    std::vector<Block> files;
    for (Block& b : Walk(archive))
        if (b.type == 0x74)
            files.push_back(std::move(b));
    return files;
}

std::vector<uint8_t> Pack(const std::vector<PackInput>& entries, int level)
{
    PackSettings settings;
    settings.level = level;
    std::vector<uint8_t> archive;
    std::string error;
    if (!WriteArchive(entries, settings, &archive, &error))
        ADD_FAILURE() << error;
    return archive;
}

PackInput MakeEntry(const std::string& name, std::vector<uint8_t> data)
{
    PackInput e;
    e.name = name;
    e.data = std::move(data);
    e.dosTime = 0x5A215C3E;
    e.attributes = 0x20;
    return e;
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed)
{
    std::vector<uint8_t> out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = uint8_t(x >> 24);
    }
    return out;
}

std::vector<uint8_t> TextBytes(size_t size, uint32_t seed)
{
    static const char* kWords[] = {"setup",    "the",      "install", "folder",      "of",    "language", "file",
                                   "window",   "and",      "program", "archive",     "entry", "a",        "to",
                                   "registry", "shortcut", "Orvanex", "destination", "is",    "in"};
    std::vector<uint8_t> out;
    out.reserve(size + 16);
    uint32_t x = seed * 2654435761u + 7;
    while (out.size() < size) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const char* w = kWords[(x >> 8) % 20];
        out.insert(out.end(), w, w + strlen(w));
        out.push_back((x & 15) == 0 ? '\n' : ' ');
    }
    out.resize(size);
    return out;
}
