#include "support/archive_builder.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace testsupport {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc)
{
    crc = ~crc;
    for (size_t i = 0; i < size; i++) {
        crc ^= data[i];
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

uint16_t RotateSum(const std::vector<uint8_t>& data)
{
    uint16_t v = 0;
    for (uint8_t b : data) {
        v = uint16_t(v + b);
        v = uint16_t((v << 1) | (v >> 15));
    }
    return v;
}

uint32_t DosTime(int year, int month, int day, int hour, int minute, int second)
{
    uint32_t date = uint32_t(((year - 1980) << 9) | (month << 5) | day);
    uint32_t time = uint32_t((hour << 11) | (minute << 5) | (second / 2));
    return (date << 16) | time;
}

std::vector<uint8_t> BytesOf(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> SampleText(size_t n, uint32_t seed)
{
    static const char* words[] = {"setup ", "archive ", "window ", "entry ", "table ", "the ", "of ", "\n", "solid "};
    std::vector<uint8_t> out;
    while (out.size() < n) {
        seed = seed * 1103515245u + 12345u;
        const char* w = words[(seed >> 16) % 9];
        out.insert(out.end(), w, w + std::strlen(w));
        if ((seed >> 8) % 7 == 0)
            out.push_back(uint8_t(seed >> 3));
    }
    out.resize(n);
    return out;
}

FileEntry StoredEntry(const std::string& name, const std::vector<uint8_t>& data)
{
    FileEntry e;
    e.name = name;
    e.packed = data;
    e.unpSize = uint32_t(data.size());
    e.fileCrc = Crc32(data);
    e.method = 0x30;
    return e;
}

FileEntry PackedEntry(const std::string& name, const std::vector<uint8_t>& packed, const std::vector<uint8_t>& unpacked,
                      bool solid)
{
    FileEntry e;
    e.name = name;
    e.packed = packed;
    e.unpSize = uint32_t(unpacked.size());
    e.fileCrc = Crc32(unpacked);
    e.method = 0x35;
    e.unpVer = 20;
    e.flags = uint16_t(0x8000 | (solid ? 0x0010 : 0));
    return e;
}

static void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

static void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

ArchiveBuilder& ArchiveBuilder::Prefix(const std::vector<uint8_t>& bytes)
{
    prefix_ = bytes;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::MainHeader(uint16_t headSize, uint16_t flags, uint8_t type)
{
    mainSize_ = headSize;
    mainFlags_ = flags;
    mainType_ = type;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::NoMarker()
{
    marker_ = false;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::NoMainHeader()
{
    mainHeader_ = false;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::File(const FileEntry& e)
{
    uint32_t headSize = e.headSizeOverride >= 0 ? uint32_t(e.headSizeOverride) : uint32_t(32 + e.name.size());
    Put16(body_, e.headCrc);
    body_.push_back(0x74);
    Put16(body_, e.flags);
    Put16(body_, headSize);
    Put32(body_, uint32_t(e.packed.size()));
    Put32(body_, e.unpSize);
    body_.push_back(e.hostOs);
    Put32(body_, e.fileCrc);
    Put32(body_, e.fileTime);
    body_.push_back(e.unpVer);
    body_.push_back(e.method);
    Put16(body_, uint32_t(e.name.size()));
    Put32(body_, e.fileAttr);
    body_.insert(body_.end(), e.name.begin(), e.name.end());
    body_.insert(body_.end(), e.packed.begin(), e.packed.end());
    return *this;
}

ArchiveBuilder& ArchiveBuilder::Block(uint8_t type, uint16_t headSize, uint16_t flags, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> block;
    Put16(block, 0);
    block.push_back(type);
    Put16(block, flags);
    Put16(block, headSize);
    Put32(block, uint32_t(data.size()));
    block.resize(headSize); // zero-filled up to the stated size
    body_.insert(body_.end(), block.begin(), block.end());
    body_.insert(body_.end(), data.begin(), data.end());
    return *this;
}

std::vector<uint8_t> ArchiveBuilder::Build() const
{
    std::vector<uint8_t> out = prefix_;
    if (marker_) {
        static const uint8_t kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
        out.insert(out.end(), kMarker, kMarker + 7);
    }
    if (mainHeader_) {
        Put16(out, 0);
        out.push_back(mainType_);
        Put16(out, mainFlags_);
        Put16(out, mainSize_);
        Put16(out, 0);
        Put32(out, 0x000E57F6);
        for (int i = 13; i < mainSize_; i++)
            out.push_back(uint8_t('c'));
    }
    out.insert(out.end(), body_.begin(), body_.end());
    return out;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes->clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes->insert(bytes->end(), buf, buf + n);
    std::fclose(f);
    return true;
}

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("ovtest-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate.string();
            break;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Files given the read-only attribute must become writable again first.
    for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ec))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const
{
#ifdef _WIN32
    return path_ + "\\" + name;
#else
    return path_ + "/" + name;
#endif
}

std::wstring WidePath(const std::string& path)
{
    return std::wstring(path.begin(), path.end());
}

} // namespace testsupport
