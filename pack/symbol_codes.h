// The symbol alphabet of RAR 2.0 compression as the writer sees it: the
// codes for lengths and distances (the inverse of the format's tables), the
// match lengths each distance allows, and the record of one coded symbol.
#ifndef OV_PACK_SYMBOL_CODES_H
#define OV_PACK_SYMBOL_CODES_H

#include <cstdint>

#include "format/rar_format.h"

const uint32_t kMaxDistance = kWindowSize - 1;

// The code of a length (v = length - base length, 0..255) and of a distance
// (v = distance - 1); the bases and extra bits come from the format's tables.
inline int LengthCode(uint32_t v)
{ // v = 0..255
    if (v < 8)
        return int(v);
    int hb = 31 - __builtin_clz(v); // 3..7
    return 4 * hb - 4 + int((v >> (hb - 2)) & 3);
}

inline int DistanceCode(uint32_t v)
{ // v = distance - 1
    if (v < 4)
        return int(v);
    if (v >= 0x40000)
        return 36 + int((v - 0x40000) >> 16);
    int hb = 31 - __builtin_clz(v);
    return 2 * hb + int((v >> (hb - 1)) & 1);
}
inline int ShortCode(uint32_t v)
{ // v = distance - 1, 0..255
    if (v < 4)
        return 0;
    if (v >= 192)
        return 7;
    if (v >= 128)
        return 6;
    return 31 - __builtin_clz(v) - 1; // 4..7 -> 1, 8..15 -> 2, ... 64..127 -> 5
}

inline uint32_t MinMatchLength(uint32_t dist)
{
    return 3 + MatchLengthBonus(dist);
}
inline uint32_t MaxMatchLength(uint32_t dist)
{
    return 258 + MatchLengthBonus(dist);
}
inline uint32_t MinRecentLength(uint32_t dist)
{
    return 2 + RecentLengthBonus(dist);
}
inline uint32_t MaxRecentLength(uint32_t dist)
{
    return 257 + RecentLengthBonus(dist);
}

// The longest match any step may produce; parsers cap lengths here.
const uint32_t kMaxLength = 258;

// The decoder's match history: the last match and a ring of four distances.
struct MatchHistory {
    uint32_t recent[4] = {0, 0, 0, 0}; // recent[0] is the most recent
    uint32_t lastLength = 0;
    uint32_t lastDistance = 0;

    void Push(uint32_t length, uint32_t dist)
    {
        recent[3] = recent[2];
        recent[2] = recent[1];
        recent[1] = recent[0];
        recent[0] = dist;
        lastLength = length;
        lastDistance = dist;
    }
};

// One coded step, in stream order: `main`, then for 270..297 the length
// extra bits, the distance code `aux` and the distance extra bits; for
// 257..260 the repeat-length code `aux` and its extra bits; for 261..268 the
// short-distance extra bits.
struct Symbol {
    uint16_t main;
    uint8_t aux;
    uint8_t firstOfEntry;
    uint8_t extra1Bits;
    uint8_t extra2Bits;
    uint16_t extra1;
    uint16_t extra2;
};

#endif
