// The archive's two checksums: CRC-32 (current generation, and every header
// checksum) and a 16-bit rotate-add sum (old generation).
#ifndef OV_FORMAT_CHECKSUM_H
#define OV_FORMAT_CHECKSUM_H

#include <stddef.h>
#include <stdint.h>

// The CRC-32 lookup table (reflected polynomial 0xEDB88320) and our slices
// of it, which fold sixteen bytes in per step. 16 KiB: the reader keeps one
// per pass in its zero-filled working record.
struct Crc32Table {
    uint32_t table[256];
    uint32_t slices[15][256];
};

void BuildCrcTable(Crc32Table* crc);

// One CRC-32 step over `length` bytes. The running value is neither
// inverted at the start nor at the end: an entry starts at 0xFFFFFFFF and is
// good when the result is the complement of the stored value.
uint32_t Crc32Update(const Crc32Table* crc, uint32_t running, const uint8_t* bytes, size_t length);

// The standard CRC-32 of `length` bytes (as ZIP and zlib compute it): the
// value an archive stores for an entry, and the low half of which it stores
// for a header.
uint32_t Crc32Of(const Crc32Table* crc, const uint8_t* bytes, size_t length);

// 16-bit rotate-add: add each byte, then rotate left by one within 16 bits.
uint16_t RotateSumUpdate(uint16_t value, const uint8_t* bytes, size_t length);

// kFormatOldGeneration selects RotateSumUpdate (zero-extended), anything
// else CRC-32.
uint32_t ChecksumUpdate(const Crc32Table* crc, uint32_t running, const uint8_t* bytes, size_t length, int format);

#endif
