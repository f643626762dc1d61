// Test-only writer of archive containers: marker, main header, file headers
// with every field settable, stored data, blocks of other types, and any
// bytes in front (a stand-in for the setup program's executable image).
#ifndef OV_TESTS_SUPPORT_ARCHIVE_BUILDER_H
#define OV_TESTS_SUPPORT_ARCHIVE_BUILDER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Standard CRC-32 (as zlib and ZIP compute it), written bit by bit so that
// it shares nothing with the reader's table-driven one.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
inline uint32_t Crc32(const std::vector<uint8_t>& data)
{
    return Crc32(data.data(), data.size());
}

// The old generation's 16-bit rotate-add sum.
uint16_t RotateSum(const std::vector<uint8_t>& data);

// MS-DOS date and time: date in the high 16 bits, time in the low.
uint32_t DosTime(int year, int month, int day, int hour, int minute, int second);

std::vector<uint8_t> BytesOf(const std::string& text);

// Pseudo-random text with repeats: compressible, and different per seed.
std::vector<uint8_t> SampleText(size_t n, uint32_t seed);

struct FileEntry {
    std::string name;            // stored bytes, any separators
    std::vector<uint8_t> packed; // the data area as written
    uint32_t unpSize = 0;
    uint32_t fileCrc = 0;    // as stored (the complement of the running value)
    uint16_t flags = 0x8000; // 0x8000: a data area follows
    uint8_t hostOs = 2;
    uint32_t fileTime = 0;
    uint8_t unpVer = 20;
    uint8_t method = 0x30;
    uint32_t fileAttr = 0x20;
    uint16_t headCrc = 0;          // never checked by the reader
    int64_t headSizeOverride = -1; // for damaged headers (-1: computed)
};

// A stored entry (method 0x30) with a correct checksum.
FileEntry StoredEntry(const std::string& name, const std::vector<uint8_t>& data);
// A compressed entry with the given packed stream and a correct checksum
// over `unpacked`.
FileEntry PackedEntry(const std::string& name, const std::vector<uint8_t>& packed, const std::vector<uint8_t>& unpacked,
                      bool solid);

class ArchiveBuilder {
public:
    // Bytes before the marker (default none: the archive starts at 0).
    ArchiveBuilder& Prefix(const std::vector<uint8_t>& bytes);
    // Main header: headSize (13 by default; more adds comment bytes).
    ArchiveBuilder& MainHeader(uint16_t headSize = 13, uint16_t flags = 0, uint8_t type = 0x73);
    // Leaves out the marker or the main header (for damaged archives).
    ArchiveBuilder& NoMarker();
    ArchiveBuilder& NoMainHeader();
    ArchiveBuilder& File(const FileEntry& entry);
    // Any other block: the 32-byte fixed part of a file header with this
    // type, `headSize` bytes in all, and with flag 0x8000 a data area.
    ArchiveBuilder& Block(uint8_t type, uint16_t headSize, uint16_t flags = 0, const std::vector<uint8_t>& data = {});

    std::vector<uint8_t> Build() const;

private:
    std::vector<uint8_t> prefix_;
    std::vector<uint8_t> body_;
    bool marker_ = true;
    bool mainHeader_ = true;
    uint16_t mainSize_ = 13;
    uint16_t mainFlags_ = 0;
    uint8_t mainType_ = 0x73;
};

// Writes `bytes` to `path` (a native path); true on success.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes);

// A fresh, empty temporary folder for one test; removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const; // path_ + separator + name
private:
    std::string path_;
};

// Native narrow path to the wide form the reader takes (temporary paths
// are plain ASCII).
std::wstring WidePath(const std::string& path);

} // namespace testsupport

#endif
