// Test-only writer of archive containers (marker, main header, file headers
// with every field settable, other blocks, any bytes in front as a stand-in
// for the setup program's image) and the tests' sample data and files.
#ifndef OV_TESTS_SUPPORT_ARCHIVE_BUILDER_H
#define OV_TESTS_SUPPORT_ARCHIVE_BUILDER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Standard CRC-32 (as zlib computes it) bit by bit, sharing nothing with the
// reader's tables; an MS-DOS date and time.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t Crc32(const std::vector<uint8_t>& data);
uint32_t DosTime(int year, int month, int day, int hour, int minute, int second);

std::vector<uint8_t> BytesOf(const std::string& text);
std::vector<uint8_t> Cat(const std::vector<std::vector<uint8_t>>& parts); // one after another
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

// A stored entry, and a compressed one with the given stream; both with the
// checksum of the unpacked bytes.
FileEntry StoredEntry(const std::string& name, const std::vector<uint8_t>& data);
FileEntry PackedEntry(const std::string& name, const std::vector<uint8_t>& packed, const std::vector<uint8_t>& unpacked,
                      bool solid);

class ArchiveBuilder {
public:
    ArchiveBuilder& Prefix(const std::vector<uint8_t>& bytes) { return prefix_ = bytes, *this; }
    // headSize above 13 adds comment bytes.
    ArchiveBuilder& MainHeader(uint16_t headSize = 13, uint16_t flags = 0, uint8_t type = 0x73);
    // Leave out the marker or the main header (for damaged archives).
    ArchiveBuilder& NoMarker() { return marker_ = false, *this; }
    ArchiveBuilder& NoMainHeader() { return mainHeader_ = false, *this; }
    ArchiveBuilder& File(const FileEntry& entry);
    // Any other block: a file header's 32-byte fixed part with this type,
    // `headSize` bytes in all, and with flag 0x8000 a data area.
    ArchiveBuilder& Block(uint8_t type, uint16_t headSize, uint16_t flags = 0, const std::vector<uint8_t>& data = {});
    // As the packer writes it: an end block, and every header's checksum
    // (but a file's headCrc set by the test).
    ArchiveBuilder& Sealed() { return sealed_ = true, *this; }
    std::vector<uint8_t> Build() const;

private:
    std::vector<uint8_t> prefix_, body_;
    std::vector<std::pair<size_t, size_t>> headers_; // in body_: offset, size; 0 size: crc given
    bool marker_ = true, mainHeader_ = true, sealed_ = false;
    uint16_t mainSize_ = 13, mainFlags_ = 0;
    uint8_t mainType_ = 0x73;
};

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes); // true on success
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
