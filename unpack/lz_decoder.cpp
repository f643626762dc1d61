// Why the loop is fast, while every symbol and every consumed bit stays
// those of the format's reference rules:
// - The bit position lives in locals during the loop and is written back to
//   the record only around refills, table sets and deliveries.
// - A 16-bit peek is one big-endian 32-bit load and a shift; the input
//   buffer has padding so the load never leaves the record.
// - Symbols come from the tables' quick lookup (one load for codes of up to
//   kQuickBits bits), the limits search only for longer codes.
// - A match that neither wraps around the window nor overlaps itself within
//   eight bytes is copied in 8-byte pieces; distance 1 is a fill.
// - The checksum runs over delivered blocks of up to 1 MiB, eight bytes per
//   step (archive/checksum.cpp).
#include "unpack/lz_decoder.h"

#include "archive/checksum.h"
#include "archive/extract_context.h"
#include "archive/output_sink.h"
#include "unpack/bit_input.h"

#include <string.h>

// A delivery is due when fewer than this many bytes of room remain before
// undelivered bytes; no step writes more than 260 bytes.
enum { kFlushMargin = 270 };

static const uint8_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                        24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
static const uint8_t kLengthExtraBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                             2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
static const uint32_t kDistanceBase[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
static const uint8_t kDistanceExtraBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                               7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                               15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
static const uint8_t kShortDistanceBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
static const uint8_t kShortDistanceExtraBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

void ResetDecoder(ExtractContext* ctx, int solid)
{
    ctx->bitPos = 0;
    ctx->inputPos = 0;
    if (solid)
        return;
    ctx->currentChannel = 0;
    memset(ctx->recentDistances, 0, sizeof ctx->recentDistances);
    ctx->recentCount = 0;
    ctx->prevMatchLength = 0;
    ctx->prevMatchDistance = 0;
    memset(ctx->slidingWindow, 0, kWindowSize);
    memset(ctx->previousLengths, 0, sizeof ctx->previousLengths);
    ctx->flushedPos = 0;
    ctx->windowPos = 0;
}

uint32_t DeliverOutput(ExtractContext* ctx, const uint8_t* data, uint32_t count)
{
    uint32_t accepted = WriteEntryOutput(ctx, ctx->output, data, count);
    ctx->deliveredBytes += accepted;
    if (!ctx->skipMode && accepted)
        ctx->dataCrc = ChecksumUpdate(ctx, ctx->dataCrc, data, accepted,
                                      ctx->archiveFormat == kFormatOldGeneration ? kFormatOldGeneration
                                                                                 : kFormatCurrentGeneration);
    return accepted;
}

void FlushWindow(ExtractContext* ctx)
{
    uint8_t* window = ctx->slidingWindow;
    if (ctx->windowPos < ctx->flushedPos) {
        uint32_t tail = (0 - ctx->flushedPos) & kWindowMask;
        if (tail)
            DeliverOutput(ctx, window + ctx->flushedPos, tail);
        if (ctx->windowPos)
            DeliverOutput(ctx, window, ctx->windowPos);
    } else if (ctx->windowPos > ctx->flushedPos) {
        DeliverOutput(ctx, window + ctx->flushedPos, ctx->windowPos - ctx->flushedPos);
    }
    ctx->flushedPos = ctx->windowPos;
}

static inline void Copy8(uint8_t* d, const uint8_t* s)
{
    uint64_t piece;
    memcpy(&piece, s, 8);
    memcpy(d, &piece, 8);
}

static inline void Copy4(uint8_t* d, const uint8_t* s)
{
    uint32_t piece;
    memcpy(&piece, s, 4);
    memcpy(d, &piece, 4);
}

// Copies `length` bytes from `distance` back, with the effect of a byte by
// byte copy: a distance shorter than the length repeats the last `distance`
// bytes. Returns the new window position.
static inline uint32_t CopyWindowBytes(uint8_t* window, uint32_t pos, uint32_t distance, uint32_t length)
{
    uint32_t src = (pos - distance) & kWindowMask;
    if (pos + length <= kWindowSize && src + length <= kWindowSize) {
        uint8_t* d = window + pos;
        const uint8_t* s = window + src;
        if (distance >= 8 && src <= pos) {
            // The source is at least eight bytes behind: every piece reads
            // only finished bytes, so pieces may also overlap each other.
            if (length >= 8) {
                uint32_t n = 0;
                for (; n + 8 <= length; n += 8)
                    Copy8(d + n, s + n);
                if (n < length)
                    Copy8(d + length - 8, s + length - 8);
            } else if (length >= 4) {
                Copy4(d, s);
                Copy4(d + length - 4, s + length - 4);
            } else {
                for (uint32_t n = 0; n < length; n++)
                    d[n] = s[n];
            }
        } else if (distance >= 8) {
            // The source lies ahead (the copy reaches almost a whole window
            // back): in-order pieces read bytes before they are overwritten.
            uint32_t n = 0;
            for (; n + 8 <= length; n += 8)
                Copy8(d + n, s + n);
            for (; n < length; n++)
                d[n] = s[n];
        } else if (distance == 1) {
            memset(d, *s, length);
        } else {
            for (uint32_t n = 0; n < length; n++)
                d[n] = s[n];
        }
        return (pos + length) & kWindowMask;
    }
    for (uint32_t n = length; n > 0; n--) {
        window[pos] = window[src];
        pos = (pos + 1) & kWindowMask;
        src = (src + 1) & kWindowMask;
    }
    return pos;
}

void CopyMatch(ExtractContext* ctx)
{
    uint32_t length = uint32_t(ctx->matchLength);
    uint32_t distance = ctx->matchDistance;
    ctx->recentDistances[ctx->recentCount & 3] = distance;
    ctx->prevMatchDistance = distance;
    ctx->recentCount++;
    ctx->prevMatchLength = length;
    ctx->unpackedLeft -= int32_t(length);
    ctx->windowPos = CopyWindowBytes(ctx->slidingWindow, ctx->windowPos, distance, length);
}

void CheckTrailingTables(ExtractContext* ctx)
{
    if (uint32_t(ctx->inputEnd) < ctx->inputPos + 5)
        return;
    if (ctx->multimediaBlock) {
        if (DecodeSymbol(ctx, ctx->channelTables[ctx->currentChannel]) == 256)
            ReadCodeLengths(ctx);
    } else if (DecodeSymbol(ctx, &ctx->mainTable) == 269) {
        ReadCodeLengths(ctx);
    }
}

// Loads eight input bytes as a big-endian word.
static inline uint64_t LoadBigEndian64(const uint8_t* p)
{
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t v;
    memcpy(&v, p, 8);
    return __builtin_bswap64(v);
#else
    uint64_t v = 0;
    for (int i = 0; i < 8; i++)
        v = (v << 8) | p[i];
    return v;
#endif
}

// The decoding loop's state in locals. Window stores go through a byte
// pointer, which may alias anything, so state kept in the record would be
// reloaded after every byte; in locals it stays in registers.
//
// The bit position is one bit offset into the input buffer (inputPos * 8 +
// bitPos). `bits` holds the input from that offset on, left-aligned, with
// `avail` of its bits valid: one 8-byte load gives at least 57, enough for
// several literals or a whole match (at most 51 bits). The bits are those
// PeekBits would return; the refill thresholds keep every load within the
// buffer (inputPos stays below 8170 in the loop).
struct LoopState {
    const uint8_t* input;
    uint32_t bitOffset;
    uint64_t bits;
    uint32_t avail;
    uint32_t windowPos;
    uint32_t flushedPos;
    int32_t unpackedLeft;
    // Bytes that may still be written before a delivery is due, less the
    // margin: below 0 exactly when fewer than 270 bytes of room remain
    // before undelivered bytes. No room is taken while nothing is pending.
    int32_t flushBudget;
    uint32_t multimedia; // the record's multimediaBlock
    // Match history.
    uint32_t recent[4];
    uint32_t recentCount;
    uint32_t prevLength;
    uint32_t prevDistance;
};

static inline void Ensure(LoopState& s, uint32_t needed)
{
    if (s.avail < needed) {
        uint32_t shift = s.bitOffset & 7;
        s.bits = LoadBigEndian64(s.input + (s.bitOffset >> 3)) << shift;
        s.avail = 64 - shift;
    }
}

static inline void Skip(LoopState& s, uint32_t n)
{
    s.bits <<= n;
    s.avail -= n;
    s.bitOffset += n;
}

// An n-bit field (n = 1..16) from bits already ensured.
static inline uint32_t Field(LoopState& s, uint32_t n)
{
    uint32_t v = uint32_t(s.bits >> (64 - n));
    Skip(s, n);
    return v;
}

// A symbol from at least 15 ensured bits.
static inline uint32_t Decode(LoopState& s, const HuffmanTable* table)
{
    uint32_t bits;
    uint32_t symbol = SymbolFor(table, uint32_t(s.bits >> 48), &bits);
    Skip(s, bits);
    return symbol;
}

static inline void Store(ExtractContext* ctx, const LoopState& s)
{
    ctx->inputPos = s.bitOffset >> 3;
    ctx->bitPos = s.bitOffset & 7;
    ctx->windowPos = s.windowPos;
    ctx->flushedPos = s.flushedPos;
    ctx->unpackedLeft = s.unpackedLeft;
    memcpy(ctx->recentDistances, s.recent, sizeof s.recent);
    ctx->recentCount = s.recentCount;
    ctx->prevMatchLength = s.prevLength;
    ctx->prevMatchDistance = s.prevDistance;
}

static inline void Load(const ExtractContext* ctx, LoopState& s)
{
    s.bitOffset = ctx->inputPos * 8 + ctx->bitPos;
    s.avail = 0;
    s.windowPos = ctx->windowPos;
    s.flushedPos = ctx->flushedPos;
    s.unpackedLeft = ctx->unpackedLeft;
    uint32_t room = s.flushedPos == s.windowPos ? uint32_t(kWindowSize) : (s.flushedPos - s.windowPos) & kWindowMask;
    s.flushBudget = int32_t(room) - kFlushMargin;
    s.multimedia = ctx->multimediaBlock;
    memcpy(s.recent, ctx->recentDistances, sizeof s.recent);
    s.recentCount = ctx->recentCount;
    s.prevLength = ctx->prevMatchLength;
    s.prevDistance = ctx->prevMatchDistance;
}

// Records a match in the history.
static inline void NoteMatchHistory(LoopState& s, uint32_t length, uint32_t distance)
{
    s.recent[s.recentCount & 3] = distance;
    s.prevDistance = distance;
    s.recentCount++;
    s.prevLength = length;
}

void DecompressEntry(ExtractContext* ctx, uint8_t* window, int solid)
{
    ctx->slidingWindow = window;
    ctx->inputOverrun = 0;
    ResetDecoder(ctx, solid);
    FillInput(ctx, 1);
    if (!solid)
        ReadCodeLengths(ctx);
    // Wrapping, so that a size beyond 2 GiB (negative here) stays negative.
    ctx->unpackedLeft = int32_t(uint32_t(ctx->unpackedLeft) - 1);

    LoopState s;
    s.input = ctx->inputBuffer;
    s.bits = 0;
    Load(ctx, s);
    const HuffmanTable* mainTable = &ctx->mainTable;
    const HuffmanTable* distanceTable = &ctx->distanceTable;
    const HuffmanTable* repeatLengthTable = &ctx->repeatLengthTable;

    while (s.unpackedLeft >= 0) {
        if ((s.bitOffset >> 3) > kMainRefillAbove) {
            Store(ctx, s);
            FillInput(ctx, 0);
            Load(ctx, s);
            if (ctx->inputOverrun)
                break;
        }
        if (s.flushBudget < 0) {
            Store(ctx, s);
            FlushWindow(ctx);
            Load(ctx, s);
        }

        if (s.multimedia) {
            // The format leaves audio decoding open and our payloads carry
            // none: each channel symbol below 256 is taken as a byte, the
            // channels in turn, and 256 brings the next table set.
            Ensure(s, 15);
            uint32_t symbol = Decode(s, ctx->channelTables[ctx->currentChannel]);
            if (symbol == 256) {
                Store(ctx, s);
                ReadCodeLengths(ctx);
                Load(ctx, s);
            } else {
                window[s.windowPos] = uint8_t(symbol);
                s.windowPos = (s.windowPos + 1) & kWindowMask;
                s.unpackedLeft--;
                s.flushBudget--;
                ctx->currentChannel = ctx->channelCount ? (ctx->currentChannel + 1) % ctx->channelCount : 0;
            }
            continue;
        }

        Ensure(s, 15);
        uint32_t symbol = Decode(s, mainTable);
        if (symbol < 256) {
            window[s.windowPos] = uint8_t(symbol);
            s.windowPos = (s.windowPos + 1) & kWindowMask;
            s.unpackedLeft--;
            s.flushBudget--;
            continue;
        }
        // The rest of a step takes at most 5 + 15 + 16 bits.
        Ensure(s, 36);
        uint32_t length, distance;
        if (symbol >= 270) {
            uint32_t code = symbol - 270;
            length = kLengthBase[code] + 3;
            if (kLengthExtraBits[code])
                length += Field(s, kLengthExtraBits[code]);
            uint32_t d = Decode(s, distanceTable);
            distance = kDistanceBase[d] + 1;
            if (kDistanceExtraBits[d])
                distance += Field(s, kDistanceExtraBits[d]);
            if (distance >= 0x40000)
                length++;
            if (distance >= 0x2000)
                length++;
        } else if (symbol == 269) {
            Store(ctx, s);
            ReadCodeLengths(ctx);
            Load(ctx, s);
            continue;
        } else if (symbol == 256) {
            length = s.prevLength;
            distance = s.prevDistance;
        } else if (symbol < 261) {
            distance = s.recent[(s.recentCount - (symbol - 256)) & 3];
            uint32_t r = Decode(s, repeatLengthTable);
            length = kLengthBase[r] + 2;
            if (kLengthExtraBits[r])
                length += Field(s, kLengthExtraBits[r]);
            if (distance >= 0x40000)
                length++;
            if (distance >= 0x2000)
                length++;
            if (distance >= 0x101)
                length++;
        } else {
            uint32_t code = symbol - 261;
            distance = kShortDistanceBase[code] + 1 + Field(s, kShortDistanceExtraBits[code]);
            length = 2;
        }
        NoteMatchHistory(s, length, distance);
        s.unpackedLeft -= int32_t(length);
        s.flushBudget -= int32_t(length);
        s.windowPos = CopyWindowBytes(window, s.windowPos, distance, length);
    }
    Store(ctx, s);
    ctx->matchLength = int32_t(s.prevLength);
    ctx->matchDistance = s.prevDistance;
    if (!ctx->inputOverrun)
        CheckTrailingTables(ctx);
    FlushWindow(ctx);
}
