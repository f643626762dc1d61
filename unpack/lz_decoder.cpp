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
// - Output leaves in blocks of up to 1 MiB, so the sink's work (and the
//   checksum its owner folds in) runs over large pieces.
#include "unpack/lz_decoder.h"

#include "unpack/bit_input.h"

#include <string.h>

// A delivery is due when fewer than this many bytes of room remain before
// undelivered bytes; no step writes more than 260 bytes.
enum { kFlushMargin = 270 };

void PrepareDecoder(DecoderState* d)
{
    for (int c = 0; c < 4; c++)
        d->channelTables[c] = &d->multimediaTables[c];
}

void ResetDecoder(DecoderState* d, int solid)
{
    d->bitPos = 0;
    d->inputPos = 0;
    if (solid)
        return;
    d->currentChannel = 0;
    memset(d->recentDistances, 0, sizeof d->recentDistances);
    d->recentCount = 0;
    d->prevMatchLength = 0;
    d->prevMatchDistance = 0;
    memset(d->slidingWindow, 0, kWindowSize);
    memset(d->previousLengths, 0, sizeof d->previousLengths);
    d->flushedPos = 0;
    d->windowPos = 0;
}

uint32_t DeliverOutput(DecoderState* d, const uint8_t* data, uint32_t count)
{
    return d->deliver ? d->deliver(d->sink, data, count) : 0;
}

void FlushWindow(DecoderState* d)
{
    uint8_t* window = d->slidingWindow;
    if (d->windowPos < d->flushedPos) {
        uint32_t tail = (0 - d->flushedPos) & kWindowMask;
        if (tail)
            DeliverOutput(d, window + d->flushedPos, tail);
        if (d->windowPos)
            DeliverOutput(d, window, d->windowPos);
    } else if (d->windowPos > d->flushedPos) {
        DeliverOutput(d, window + d->flushedPos, d->windowPos - d->flushedPos);
    }
    d->flushedPos = d->windowPos;
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

void CopyMatch(DecoderState* d)
{
    uint32_t length = uint32_t(d->matchLength);
    uint32_t distance = d->matchDistance;
    d->recentDistances[d->recentCount & 3] = distance;
    d->prevMatchDistance = distance;
    d->recentCount++;
    d->prevMatchLength = length;
    d->unpackedLeft -= int32_t(length);
    d->windowPos = CopyWindowBytes(d->slidingWindow, d->windowPos, distance, length);
}

void CheckTrailingTables(DecoderState* d)
{
    if (uint32_t(d->inputEnd) < d->inputPos + 5)
        return;
    if (d->multimediaBlock) {
        if (DecodeSymbol(d, d->channelTables[d->currentChannel]) == kSymbolMultimediaTables)
            ReadCodeLengths(d);
    } else if (DecodeSymbol(d, &d->mainTable) == kSymbolNewTables) {
        ReadCodeLengths(d);
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

static inline void Store(DecoderState* d, const LoopState& s)
{
    d->inputPos = s.bitOffset >> 3;
    d->bitPos = s.bitOffset & 7;
    d->windowPos = s.windowPos;
    d->flushedPos = s.flushedPos;
    d->unpackedLeft = s.unpackedLeft;
    memcpy(d->recentDistances, s.recent, sizeof s.recent);
    d->recentCount = s.recentCount;
    d->prevMatchLength = s.prevLength;
    d->prevMatchDistance = s.prevDistance;
}

static inline void Load(const DecoderState* d, LoopState& s)
{
    s.bitOffset = d->inputPos * 8 + d->bitPos;
    s.avail = 0;
    s.windowPos = d->windowPos;
    s.flushedPos = d->flushedPos;
    s.unpackedLeft = d->unpackedLeft;
    uint32_t room = s.flushedPos == s.windowPos ? uint32_t(kWindowSize) : (s.flushedPos - s.windowPos) & kWindowMask;
    s.flushBudget = int32_t(room) - kFlushMargin;
    s.multimedia = d->multimediaBlock;
    memcpy(s.recent, d->recentDistances, sizeof s.recent);
    s.recentCount = d->recentCount;
    s.prevLength = d->prevMatchLength;
    s.prevDistance = d->prevMatchDistance;
}

// Records a match in the history.
static inline void NoteMatchHistory(LoopState& s, uint32_t length, uint32_t distance)
{
    s.recent[s.recentCount & 3] = distance;
    s.prevDistance = distance;
    s.recentCount++;
    s.prevLength = length;
}

void DecompressEntry(DecoderState* d, uint8_t* window, int solid)
{
    d->slidingWindow = window;
    d->inputOverrun = 0;
    ResetDecoder(d, solid);
    FillInput(d, 1);
    if (!solid)
        ReadCodeLengths(d);
    // A size of 2 GiB or more is negative here and must stay so: nothing is
    // decoded (2 GiB itself, less one, would wrap to the largest size).
    if (d->unpackedLeft >= 0)
        d->unpackedLeft--;

    LoopState s;
    s.input = d->inputBuffer;
    s.bits = 0;
    Load(d, s);
    const HuffmanTable* mainTable = &d->mainTable;
    const HuffmanTable* distanceTable = &d->distanceTable;
    const HuffmanTable* repeatLengthTable = &d->repeatLengthTable;

    while (s.unpackedLeft >= 0) {
        if ((s.bitOffset >> 3) > kMainRefillAbove) {
            Store(d, s);
            FillInput(d, 0);
            Load(d, s);
            if (d->inputOverrun)
                break;
        }
        if (s.flushBudget < 0) {
            Store(d, s);
            FlushWindow(d);
            Load(d, s);
        }

        if (s.multimedia) {
            // The format leaves audio decoding open and our payloads carry
            // none: each channel symbol below 256 is taken as a byte, the
            // channels in turn, and 256 brings the next table set.
            Ensure(s, 15);
            uint32_t symbol = Decode(s, d->channelTables[d->currentChannel]);
            if (symbol == kSymbolMultimediaTables) {
                Store(d, s);
                ReadCodeLengths(d);
                Load(d, s);
            } else {
                window[s.windowPos] = uint8_t(symbol);
                s.windowPos = (s.windowPos + 1) & kWindowMask;
                s.unpackedLeft--;
                s.flushBudget--;
                d->currentChannel = d->channelCount ? (d->currentChannel + 1) % d->channelCount : 0;
            }
            continue;
        }

        Ensure(s, 15);
        uint32_t symbol = Decode(s, mainTable);
        if (symbol < kSymbolRepeatLast) {
            window[s.windowPos] = uint8_t(symbol);
            s.windowPos = (s.windowPos + 1) & kWindowMask;
            s.unpackedLeft--;
            s.flushBudget--;
            continue;
        }
        // The rest of a step takes at most 5 + 15 + 16 bits.
        Ensure(s, 36);
        uint32_t length, distance;
        if (symbol >= kSymbolMatch) {
            uint32_t code = symbol - kSymbolMatch;
            length = kLengthBase[code] + 3;
            if (kLengthExtraBits[code])
                length += Field(s, kLengthExtraBits[code]);
            uint32_t distanceCode = Decode(s, distanceTable);
            distance = kDistanceBase[distanceCode] + 1;
            if (kDistanceExtraBits[distanceCode])
                distance += Field(s, kDistanceExtraBits[distanceCode]);
            length += MatchLengthBonus(distance);
        } else if (symbol == kSymbolNewTables) {
            Store(d, s);
            ReadCodeLengths(d);
            Load(d, s);
            continue;
        } else if (symbol == kSymbolRepeatLast) {
            length = s.prevLength;
            distance = s.prevDistance;
        } else if (symbol < kSymbolShort) {
            distance = s.recent[(s.recentCount - (symbol - kSymbolRepeatLast)) & 3];
            uint32_t r = Decode(s, repeatLengthTable);
            length = kLengthBase[r] + 2;
            if (kLengthExtraBits[r])
                length += Field(s, kLengthExtraBits[r]);
            length += RecentLengthBonus(distance);
        } else {
            uint32_t code = symbol - kSymbolShort;
            distance = kShortDistanceBase[code] + 1 + Field(s, kShortDistanceExtraBits[code]);
            length = 2;
        }
        NoteMatchHistory(s, length, distance);
        s.unpackedLeft -= int32_t(length);
        s.flushBudget -= int32_t(length);
        s.windowPos = CopyWindowBytes(window, s.windowPos, distance, length);
    }
    Store(d, s);
    d->matchLength = int32_t(s.prevLength);
    d->matchDistance = s.prevDistance;
    if (!d->inputOverrun)
        CheckTrailingTables(d);
    FlushWindow(d);
}
