// Standard CRC-32 (reflected polynomial 0xEDB88320), the entry and header
// checksum of the archive.
#ifndef OV_PACK_CRC32_H
#define OV_PACK_CRC32_H

#include <cstddef>
#include <cstdint>

// Continues a CRC-32 over more bytes; start with 0 for a fresh checksum.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

#endif
