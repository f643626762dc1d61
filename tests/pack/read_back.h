// Reads an archive the writer made back through the product's own reader
// (ArchivePass in memory mode), entry by entry.
#ifndef OV_TESTS_PACK_READ_BACK_H
#define OV_TESTS_PACK_READ_BACK_H

#include <cstdint>
#include <string>
#include <vector>

#include "pack/archive_writer.h"

struct ReadBackResult {
    int passResult = -100;
    std::vector<std::string> names;
    std::vector<std::vector<uint8_t>> data;
};

// One block of an archive; the file-header fields only for type 0x74.
struct Block {
    size_t pos;
    uint8_t type;
    uint32_t flags, headSize, packSize, unpSize, crc, time, attr;
    uint8_t host, version, method;
    std::string name;
    std::vector<uint8_t> payload;
};

// Walks the blocks behind the marker and main header, checking every
// header checksum and size on the way (gtest failures).
std::vector<Block> Walk(const std::vector<uint8_t>& archive);
// The file headers only.
std::vector<Block> FileBlocks(const std::vector<uint8_t>& archive);

// Writes `archive` to a temporary file and runs the reader over it.
ReadBackResult ReadBack(const std::vector<uint8_t>& archive);

// Packs `entries` at `level`, reads the result back and checks every
// entry's name and bytes (gtest failures on a mismatch). Returns the archive.
std::vector<uint8_t> ExpectRoundTrip(const std::vector<PackInput>& entries, int level);

// Packs at `level` (storeOnly false); empty on failure.
std::vector<uint8_t> Pack(const std::vector<PackInput>& entries, int level);

PackInput MakeEntry(const std::string& name, std::vector<uint8_t> data);

// Little-endian fields of an archive.
uint32_t Get16(const std::vector<uint8_t>& b, size_t at);
uint32_t Get32(const std::vector<uint8_t>& b, size_t at);

// Deterministic test data.
std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed);
// Text-like data: words from a small vocabulary, so it has both literal
// statistics and repeats at many distances.
std::vector<uint8_t> TextBytes(size_t size, uint32_t seed);

#endif
