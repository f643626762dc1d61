// The facts of the archive format that the reader, the decoder, the packer
// and the tools share: the container's marker, block types, header layout and
// flags, and the alphabets and code tables of RAR 2.0 compression. Nothing
// here does anything; every number has this one home.
#ifndef OV_FORMAT_RAR_FORMAT_H
#define OV_FORMAT_RAR_FORMAT_H

#include <stdint.h>

// --- Container ------------------------------------------------------------

// "Rar!" 0x1A 0x07 0x00: the marker block every archive starts with.
inline constexpr uint8_t kArchiveMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
// The old generation: "RE~^", recognised only with "RSFX" at file offsets
// 28..31 of a self-extracting file.
inline constexpr uint8_t kOldMarker[4] = {0x52, 0x45, 0x7E, 0x5E};
inline constexpr uint8_t kOldSfxSignature[4] = {0x52, 0x53, 0x46, 0x58};
enum { kOldSfxSignatureOffset = 28 };

enum {
    kMarkerSize = 7,
    kMainHeaderSize = 13, // fixed part of the main header
    kFileHeaderSize = 32, // fixed part of a file header; every block is read with it
    kMinBlockSize = 7,    // crc, type, flags, size
    kMaxNameSize = 259,   // name bytes a reader keeps
    kNameCapacity = 260,  // 259 name bytes and a terminating zero
};

// Field offsets of a block header (the main header uses the first four).
enum {
    kHeadCrcOffset = 0,
    kHeadTypeOffset = 2,
    kHeadFlagsOffset = 3,
    kHeadSizeOffset = 5,
    kPackSizeOffset = 7,
    kUnpSizeOffset = 11,
    kHostOsOffset = 15,
    kFileCrcOffset = 16,
    kFileTimeOffset = 20,
    kUnpVerOffset = 24,
    kMethodOffset = 25,
    kNameSizeOffset = 26,
    kFileAttrOffset = 28,
};

// Block types.
enum {
    kBlockMain = 0x73,
    kBlockFile = 0x74,
    kBlockOldSub = 0x77,
    kBlockEnd = 0x7B,
};

// Seven zero bytes that our archives carry behind the end block: a block
// whose head size is 0 ends the reader's walk, so that nothing appended to
// a finished setup (a code signature above all) is ever read as blocks.
enum { kWalkStopSize = 7 };

// Header flags.
enum {
    kMainFlagSolid = 0x0008,
    kFlagContinuedFrom = 0x0001, // file entry continued from a previous volume
    kFlagContinuedIn = 0x0002,   // file entry continued in the next volume
    kFlagEncrypted = 0x0004,
    kFlagSolid = 0x0010,         // continues the previous entry's dictionary
    kFlagDirectoryBits = 0x00E0, // all three set: a directory entry
    kFlagSkipIfUnknown = 0x4000,
    kFlagHasData = 0x8000, // a data area of packSize bytes follows
};

// Hosts, methods, versions.
enum {
    kHostMsDos = 0,
    kHostWindows = 2,
    kHostUnix = 3,
    kMethodStored = 0x30,
    kMethodBest = 0x35,
    kUnpackVersion20 = 20,
    kLastOldUnpackVersion = 15, // compressed entries of this version or below are not decoded
};

// Attribute bits the reader acts on.
enum {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrVolumeLabel = 0x08,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
};

// Checksum generations: the old one sums, the current one uses CRC-32.
enum { kFormatOldGeneration = 1, kFormatCurrentGeneration = 2 };

// --- RAR 2.0 compression ----------------------------------------------------

inline constexpr uint32_t kWindowSize = 0x100000; // 1 MiB: the longest distance
inline constexpr uint32_t kWindowMask = kWindowSize - 1;

// Alphabets and table sets.
enum {
    kMainSymbols = 298,
    kDistanceSymbols = 48,
    kRepeatLengthSymbols = 28,
    kBitLengthSymbols = 19,
    kMultimediaSymbols = 257,
    kLzSetSize = kMainSymbols + kDistanceSymbols + kRepeatLengthSymbols, // 374
    kMaxSetSize = 4 * kMultimediaSymbols,                                // 1028
    kMaxCodeLength = 15,
};

// Symbols of the main table.
enum {
    kSymbolRepeatLast = 256,       // the last match again
    kSymbolRecent = 257,           // 257..260: 1st..4th most recent distance
    kSymbolShort = 261,            // 261..268: length 2, distance 1..256
    kSymbolNewTables = 269,        // a table set follows
    kSymbolMatch = 270,            // 270..297: length code 0..27, then a distance
    kSymbolMultimediaTables = 256, // in a multimedia block: a table set follows
};

// Symbols of the code-length code.
enum {
    kLengthRepeatPrevious = 16, // the previous length 3..6 times (2 extra bits)
    kLengthZeros = 17,          // 3..10 zeros (3 extra bits)
    kLengthLongZeros = 18,      // 11..138 zeros (7 extra bits)
};

// Length codes: symbols 270..297 (code = symbol - 270) and the repeat-length
// table.
inline constexpr uint8_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                            24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
inline constexpr uint8_t kLengthExtraBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                                 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};

// Distance codes: every distance is base + 1 + the extra-bit field.
inline constexpr uint32_t kDistanceBase[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
inline constexpr uint8_t kDistanceExtraBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                                   7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                                   15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};

// Short distances: symbols 261..268 (code = symbol - 261), length 2.
inline constexpr uint8_t kShortDistanceBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
inline constexpr uint8_t kShortDistanceExtraBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

// The decoder lengthens far matches: a match of symbols 270..297 gains one
// byte from distance 0x2000 and one more from 0x40000; a recent-distance
// match (257..260) also gains one from 0x101.
inline constexpr uint32_t MatchLengthBonus(uint32_t distance)
{
    return (distance >= 0x2000 ? 1u : 0u) + (distance >= 0x40000 ? 1u : 0u);
}
inline constexpr uint32_t RecentLengthBonus(uint32_t distance)
{
    return (distance >= 0x101 ? 1u : 0u) + MatchLengthBonus(distance);
}

#endif
