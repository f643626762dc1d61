// The symbol alphabet of RAR 2.0 compression as the writer sees it: code
// tables for lengths and distances, the length bonuses the reader adds for
// far distances, and the record of one coded symbol.
#ifndef OV_PACK_SYMBOL_CODES_H
#define OV_PACK_SYMBOL_CODES_H

#include <cstdint>

const int kMainSymbols = 298;
const int kDistanceSymbols = 48;
const int kRepeatLengthSymbols = 28;
const int kTableSetLengths = kMainSymbols + kDistanceSymbols + kRepeatLengthSymbols;  // 374

const int kSymbolRepeatLast = 256;   // same length and distance as the last match
const int kSymbolRecent = 257;       // 257..260: 1st..4th most recent distance
const int kSymbolShort = 261;        // 261..268: length 2, distance 1..256
const int kSymbolNewTables = 269;    // a table set follows
const int kSymbolMatch = 270;        // 270..297: length code 0..27, then a distance

const uint32_t kWindowSize = 1u << 20;
const uint32_t kMaxDistance = kWindowSize - 1;

// Length codes (for 270..297 and the repeat-length table).
const uint8_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10,  12,  14,  16,  20,
                                 24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
const uint8_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};

const uint8_t kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
const uint8_t kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

inline int LengthCode(uint32_t v) {  // v = 0..255
    if (v < 8) return int(v);
    int hb = 31 - __builtin_clz(v);  // 3..7
    return 4 * hb - 4 + int((v >> (hb - 2)) & 3);
}

inline int DistanceCode(uint32_t v) {  // v = distance - 1
    if (v < 4) return int(v);
    if (v >= 0x40000) return 36 + int((v - 0x40000) >> 16);
    int hb = 31 - __builtin_clz(v);
    return 2 * hb + int((v >> (hb - 1)) & 1);
}
inline uint32_t DistanceBase(int code) {
    if (code < 4) return uint32_t(code);
    if (code >= 36) return 0x40000u + uint32_t(code - 36) * 0x10000u;
    return (2u | (code & 1)) << (code / 2 - 1);
}
inline int DistanceBits(int code) {
    if (code < 4) return 0;
    if (code >= 34) return 16;
    return code / 2 - 1;
}

inline int ShortCode(uint32_t v) {  // v = distance - 1, 0..255
    if (v < 4) return 0;
    if (v >= 192) return 7;
    if (v >= 128) return 6;
    return 31 - __builtin_clz(v) - 1;  // 4..7 -> 1, 8..15 -> 2, ... 64..127 -> 5
}

// The reader lengthens far matches: these are the bonuses it adds.
inline uint32_t MatchBonus(uint32_t dist) { return (dist >= 0x2000) + (dist >= 0x40000); }
inline uint32_t RecentBonus(uint32_t dist) { return (dist >= 0x101) + MatchBonus(dist); }

inline uint32_t MinMatchLength(uint32_t dist) { return 3 + MatchBonus(dist); }
inline uint32_t MaxMatchLength(uint32_t dist) { return 258 + MatchBonus(dist); }
inline uint32_t MinRecentLength(uint32_t dist) { return 2 + RecentBonus(dist); }
inline uint32_t MaxRecentLength(uint32_t dist) { return 257 + RecentBonus(dist); }

// The longest match any step may produce; parsers cap lengths here.
const uint32_t kMaxLength = 258;

// The decoder's match history: the last match and a ring of four distances.
struct MatchHistory {
    uint32_t recent[4] = {0, 0, 0, 0};  // recent[0] is the most recent
    uint32_t lastLength = 0;
    uint32_t lastDistance = 0;

    void Push(uint32_t length, uint32_t dist) {
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
