// The two entry checksums of the archive: CRC-32 (current generation) and a
// 16-bit rotate-add sum (old generation).
#ifndef OV_ARCHIVE_CHECKSUM_H
#define OV_ARCHIVE_CHECKSUM_H

#include <stddef.h>
#include <stdint.h>

struct ExtractContext;

enum { kFormatOldGeneration = 1, kFormatCurrentGeneration = 2 };

// Fills ctx->crcTable (reflected polynomial 0xEDB88320) and our slices of it.
void BuildCrcTable(ExtractContext* ctx);

// One CRC-32 step over `length` bytes. The running value is neither
// inverted at the start nor at the end: an entry starts at 0xFFFFFFFF and is
// good when the result is the complement of the stored value.
uint32_t Crc32Update(const ExtractContext* ctx, uint32_t crc, const uint8_t* bytes, size_t length);

// 16-bit rotate-add: add each byte, then rotate left by one within 16 bits.
uint16_t RotateSumUpdate(uint16_t value, const uint8_t* bytes, size_t length);

// format 1 selects RotateSumUpdate (zero-extended), anything else CRC-32.
uint32_t ChecksumUpdate(const ExtractContext* ctx, uint32_t running, const uint8_t* bytes, size_t length,
                        int format);

#endif
