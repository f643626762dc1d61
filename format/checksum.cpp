#include "format/checksum.h"

#include "format/rar_format.h"

void BuildCrcTable(Crc32Table* crc)
{
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        crc->table[i] = c;
    }
    // Slice k gives the effect of a byte followed by k + 1 zero bytes, so
    // sixteen bytes fold in with sixteen independent lookups.
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = crc->table[i];
        for (int k = 0; k < 15; k++) {
            c = crc->table[c & 0xFF] ^ (c >> 8);
            crc->slices[k][i] = c;
        }
    }
}

uint32_t Crc32Update(const Crc32Table* crc, uint32_t running, const uint8_t* bytes, size_t length)
{
    const uint32_t* t0 = crc->table;
    const uint32_t(*s)[256] = crc->slices;
    uint32_t c = running;
    while (length >= 16) {
        uint32_t a =
            c ^ (uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24);
        c = s[14][a & 0xFF] ^ s[13][(a >> 8) & 0xFF] ^ s[12][(a >> 16) & 0xFF] ^ s[11][a >> 24] ^ s[10][bytes[4]] ^
            s[9][bytes[5]] ^ s[8][bytes[6]] ^ s[7][bytes[7]] ^ s[6][bytes[8]] ^ s[5][bytes[9]] ^ s[4][bytes[10]] ^
            s[3][bytes[11]] ^ s[2][bytes[12]] ^ s[1][bytes[13]] ^ s[0][bytes[14]] ^ t0[bytes[15]];
        bytes += 16;
        length -= 16;
    }
    while (length--)
        c = t0[(c ^ *bytes++) & 0xFF] ^ (c >> 8);
    return c;
}

uint32_t Crc32Of(const Crc32Table* crc, const uint8_t* bytes, size_t length)
{
    return ~Crc32Update(crc, 0xFFFFFFFFu, bytes, length);
}

uint16_t RotateSumUpdate(uint16_t value, const uint8_t* bytes, size_t length)
{
    uint32_t v = value;
    for (size_t i = 0; i < length; i++) {
        v = (v + bytes[i]) & 0xFFFF;
        v = ((v << 1) | (v >> 15)) & 0xFFFF;
    }
    return uint16_t(v);
}

uint32_t ChecksumUpdate(const Crc32Table* crc, uint32_t running, const uint8_t* bytes, size_t length, int format)
{
    if (format == kFormatOldGeneration)
        return RotateSumUpdate(uint16_t(running), bytes, length);
    return Crc32Update(crc, running, bytes, length);
}
