#include "support/archive_builder.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "format/rar_format.h"

namespace testsupport {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc)
{
    crc = ~crc;
    for (size_t i = 0; i < size; i++)
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - ((crc ^ (data[i] >> k)) & 1)));
    return ~crc;
}

uint32_t Crc32(const std::vector<uint8_t>& data)
{
    return Crc32(data.data(), data.size());
}

uint32_t DosTime(int year, int month, int day, int hour, int minute, int second)
{
    return uint32_t((year - 1980) << 25 | month << 21 | day << 16 | hour << 11 | minute << 5 | second / 2);
}

std::vector<uint8_t> BytesOf(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Cat(const std::vector<std::vector<uint8_t>>& parts)
{
    std::vector<uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
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
    return e;
}

FileEntry PackedEntry(const std::string& name, const std::vector<uint8_t>& packed, const std::vector<uint8_t>& unpacked,
                      bool solid)
{
    FileEntry e = StoredEntry(name, unpacked);
    e.packed = packed;
    e.method = kMethodBest;
    e.flags = uint16_t(kFlagHasData | (solid ? kFlagSolid : 0));
    return e;
}

// Little-endian fields, each as many bytes as its digit in `widths` says.
static void Put(std::vector<uint8_t>& out, std::initializer_list<uint32_t> values, const char* widths)
{
    for (uint32_t v : values)
        for (int i = 0, n = *widths++ - '0'; i < n; i++)
            out.push_back(uint8_t(v >> (8 * i)));
}

ArchiveBuilder& ArchiveBuilder::MainHeader(uint16_t headSize, uint16_t flags, uint8_t type)
{
    mainSize_ = headSize;
    mainFlags_ = flags;
    mainType_ = type;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::File(const FileEntry& e)
{
    uint32_t headSize = e.headSizeOverride >= 0 ? uint32_t(e.headSizeOverride) : uint32_t(32 + e.name.size());
    headers_.emplace_back(body_.size(), e.headCrc ? 0 : headSize);
    Put(body_,
        {e.headCrc, kBlockFile, e.flags, headSize, uint32_t(e.packed.size()), e.unpSize, e.hostOs, e.fileCrc,
         e.fileTime, e.unpVer, e.method, uint32_t(e.name.size()), e.fileAttr},
        "2122441441124");
    body_.insert(body_.end(), e.name.begin(), e.name.end());
    body_.insert(body_.end(), e.packed.begin(), e.packed.end());
    return *this;
}

ArchiveBuilder& ArchiveBuilder::Block(uint8_t type, uint16_t headSize, uint16_t flags, const std::vector<uint8_t>& data)
{
    size_t start = body_.size();
    headers_.emplace_back(start, headSize);
    Put(body_, {0, type, flags, headSize, uint32_t(data.size())}, "21224");
    body_.resize(start + headSize); // zero-filled up to the stated size
    body_.insert(body_.end(), data.begin(), data.end());
    return *this;
}

std::vector<uint8_t> ArchiveBuilder::Build() const
{
    std::vector<uint8_t> out = prefix_;
    if (marker_)
        out.insert(out.end(), kArchiveMarker, kArchiveMarker + kMarkerSize);
    if (mainHeader_) {
        Put(out, {0, mainType_, mainFlags_, mainSize_, 0, 0}, "212224");
        out.resize(out.size() + (mainSize_ > 13 ? mainSize_ - 13 : 0), 'c'); // a comment
    }
    size_t bodyAt = out.size();
    out.insert(out.end(), body_.begin(), body_.end());
    if (!sealed_)
        return out;
    auto seal = [&](size_t at, size_t size) {
        if (size >= 7 && at + size <= out.size()) {
            uint32_t crc = Crc32(out.data() + at + 2, size - 2);
            out[at] = uint8_t(crc), out[at + 1] = uint8_t(crc >> 8);
        }
    };
    if (mainHeader_)
        seal(bodyAt - (mainSize_ > 13 ? mainSize_ : 13), mainSize_);
    for (auto [at, size] : headers_)
        seal(bodyAt + at, size);
    Put(out, {0, kBlockEnd, kFlagSkipIfUnknown, 7}, "2122");
    seal(out.size() - 7, 7);
    return out;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    f.close();
    return !f.fail();
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes)
{
    std::ifstream f(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return bool(f) || f.eof();
}

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::string name = "ovtest-" + std::to_string(std::random_device()()) + "-" + std::to_string(counter++);
    path_ = (std::filesystem::temp_directory_path() / name).string();
    std::filesystem::create_directory(path_);
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
    return (std::filesystem::path(path_) / name).string();
}

std::wstring WidePath(const std::string& path)
{
    return std::wstring(path.begin(), path.end());
}

} // namespace testsupport
