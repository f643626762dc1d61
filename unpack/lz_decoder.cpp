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

// Records a match in the history and counts its bytes.
static inline void NoteMatch(ExtractContext* ctx, uint32_t length, uint32_t distance)
{
    ctx->recentDistances[ctx->recentCount & 3] = distance;
    ctx->prevMatchDistance = distance;
    ctx->recentCount++;
    ctx->prevMatchLength = length;
    ctx->unpackedLeft -= int32_t(length);
}

// Copies `length` bytes from `distance` back, byte for byte in effect: a
// distance shorter than the length repeats the last `distance` bytes.
static inline uint32_t CopyWindowBytes(uint8_t* window, uint32_t pos, uint32_t distance, uint32_t length)
{
    uint32_t src = (pos - distance) & kWindowMask;
    if (pos + length <= kWindowSize && src + length <= kWindowSize) {
        uint8_t* d = window + pos;
        const uint8_t* s = window + src;
        // Eight bytes at a time is exact when the source runs ahead of the
        // destination or at least eight bytes behind it.
        if (distance >= 8) {
            uint32_t n = length;
            for (; n >= 8; n -= 8, s += 8, d += 8) {
                uint64_t piece;
                memcpy(&piece, s, 8);
                memcpy(d, &piece, 8);
            }
            for (; n > 0; n--)
                *d++ = *s++;
        } else if (distance == 1) {
            memset(d, *s, length);
        } else {
            for (uint32_t n = length; n > 0; n--)
                *d++ = *s++;
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
    NoteMatch(ctx, length, ctx->matchDistance);
    ctx->windowPos = CopyWindowBytes(ctx->slidingWindow, ctx->windowPos, ctx->matchDistance, length);
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

// The bit reader in locals; see PeekBits and SkipBits in bit_input.h.
struct LocalBits {
    const uint8_t* buffer;
    uint32_t pos;
    uint32_t bit;
};

static inline uint32_t Peek(const LocalBits& b)
{
    const uint8_t* p = b.buffer + b.pos;
    uint32_t v = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    return ((v << b.bit) >> 16) & 0xFFFF;
}

static inline void Skip(LocalBits& b, uint32_t n)
{
    uint32_t total = b.bit + n;
    b.pos += total >> 3;
    b.bit = total & 7;
}

static inline uint32_t Field(LocalBits& b, uint32_t n)
{
    uint32_t v = Peek(b) >> (16 - n);
    Skip(b, n);
    return v;
}

static inline uint32_t Decode(LocalBits& b, const HuffmanTable* table)
{
    uint32_t look = Peek(b);
    uint32_t entry = table->quick[look >> (16 - kQuickBits)];
    uint32_t symbol, bits;
    if (entry) {
        symbol = entry >> 4;
        bits = entry & 15;
    } else {
        symbol = LookupSymbol(table, look, &bits);
    }
    Skip(b, bits);
    return symbol;
}

void DecompressEntry(ExtractContext* ctx, uint8_t* window, int solid)
{
    ctx->slidingWindow = window;
    ctx->inputOverrun = 0;
    ResetDecoder(ctx, solid);
    FillInput(ctx, 1);
    if (!solid)
        ReadCodeLengths(ctx);
    ctx->unpackedLeft--;

    LocalBits in = {ctx->inputBuffer, ctx->inputPos, ctx->bitPos};
    uint32_t pos = ctx->windowPos;
    uint32_t symbol = ctx->lastSymbol;
    // Writes the locals back before anything that works on the record.
    auto sync = [&]() {
        ctx->inputPos = in.pos;
        ctx->bitPos = in.bit;
        ctx->windowPos = pos;
    };
    auto reload = [&]() {
        in.pos = ctx->inputPos;
        in.bit = ctx->bitPos;
        pos = ctx->windowPos;
    };

    while (ctx->unpackedLeft >= 0) {
        if (in.pos > kMainRefillAbove) {
            sync();
            FillInput(ctx, 0);
            reload();
            if (ctx->inputOverrun)
                break;
        }
        if (((ctx->flushedPos - pos) & kWindowMask) < kFlushMargin && ctx->flushedPos != pos) {
            sync();
            FlushWindow(ctx);
        }

        if (ctx->multimediaBlock) {
            // The format leaves audio decoding open and our payloads carry
            // none: each channel symbol below 256 is taken as a byte, the
            // channels in turn, and 256 brings the next table set.
            symbol = Decode(in, ctx->channelTables[ctx->currentChannel]);
            if (symbol == 256) {
                sync();
                ReadCodeLengths(ctx);
                reload();
            } else {
                window[pos] = uint8_t(symbol);
                pos = (pos + 1) & kWindowMask;
                ctx->unpackedLeft--;
                ctx->currentChannel = ctx->channelCount ? (ctx->currentChannel + 1) % ctx->channelCount : 0;
            }
            continue;
        }

        symbol = Decode(in, &ctx->mainTable);
        if (symbol < 256) {
            window[pos] = uint8_t(symbol);
            pos = (pos + 1) & kWindowMask;
            ctx->unpackedLeft--;
            continue;
        }
        uint32_t length, distance;
        if (symbol >= 270) {
            uint32_t code = symbol - 270;
            length = kLengthBase[code] + 3;
            if (kLengthExtraBits[code])
                length += Field(in, kLengthExtraBits[code]);
            uint32_t d = Decode(in, &ctx->distanceTable);
            distance = kDistanceBase[d] + 1;
            if (kDistanceExtraBits[d])
                distance += Field(in, kDistanceExtraBits[d]);
            if (distance >= 0x40000)
                length++;
            if (distance >= 0x2000)
                length++;
        } else if (symbol == 269) {
            sync();
            ReadCodeLengths(ctx);
            reload();
            continue;
        } else if (symbol == 256) {
            length = ctx->prevMatchLength;
            distance = ctx->prevMatchDistance;
        } else if (symbol < 261) {
            distance = ctx->recentDistances[(ctx->recentCount - (symbol - 256)) & 3];
            uint32_t r = Decode(in, &ctx->repeatLengthTable);
            length = kLengthBase[r] + 2;
            if (kLengthExtraBits[r])
                length += Field(in, kLengthExtraBits[r]);
            if (distance >= 0x40000)
                length++;
            if (distance >= 0x2000)
                length++;
            if (distance >= 0x101)
                length++;
        } else {
            uint32_t code = symbol - 261;
            distance = kShortDistanceBase[code] + 1 + Field(in, kShortDistanceExtraBits[code]);
            length = 2;
        }
        ctx->matchLength = int32_t(length);
        ctx->matchDistance = distance;
        NoteMatch(ctx, length, distance);
        pos = CopyWindowBytes(window, pos, distance, length);
    }
    sync();
    ctx->lastSymbol = symbol;
    if (!ctx->inputOverrun)
        CheckTrailingTables(ctx);
    FlushWindow(ctx);
}
