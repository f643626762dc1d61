// Why the loop is fast, while every symbol and every consumed bit stays
// those of the format's reference rules:
// - The bit position lives in locals during the loop and is written back to
//   the record only around refills, table sets and deliveries.
// - The bits are read from a 64-bit word that one load per step refills
//   (see LoopState), so no step asks whether bits are left and no load
//   stands between one symbol's lookup and the next; fields of 0 bits and
//   the length bonuses are taken without branches (the machine mispredicts
//   such data-driven branches about as often as not).
// - Symbols come from the tables' quick lookup (one load for codes of up to
//   kQuickBits bits), the limits search only for longer codes. A quick
//   entry also knows the extra bits behind its symbol's code, so the step
//   moves over code and extra bits with one shift, without waiting for a
//   second table load.
// - A match whose source lies 16 or more bytes back (or as far back as it
//   is long) goes in 16-byte pieces that may write past its end, into bytes
//   no distance reaches (the buffer holds two windows): no branch on the
//   length's remainder, and nothing to save and put back. The rest (runs of
//   short distances, copies at the buffer's end) go by the general copy:
//   8-byte pieces where they can, distance 1 as a fill.
// - Output leaves in blocks of up to 2 MiB, so the sink's work (and the
//   checksum its owner folds in) runs over large pieces.
#include "unpack/lz_decoder.h"

#include "unpack/bit_input.h"

#include <string.h>

// A delivery is due when fewer than this many bytes of room remain before
// undelivered bytes; no step produces more than 260 bytes, nor writes more
// than 31 bytes past them.
enum { kFlushMargin = 296 };

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
    memset(d->slidingWindow, 0, kRingSize);
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
        uint32_t tail = (0 - d->flushedPos) & kRingMask;
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
    uint32_t src = (pos - distance) & kRingMask;
    if (pos + length <= kRingSize && src + length <= kRingSize) {
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
        return (pos + length) & kRingMask;
    }
    for (uint32_t n = length; n > 0; n--) {
        window[pos] = window[src];
        pos = (pos + 1) & kRingMask;
        src = (src + 1) & kRingMask;
    }
    return pos;
}

// How far back a match copies from. A distance of 0 (the history's first
// entries) is a whole window in the format's window of one; in our buffer of
// two it must say so.
static inline uint32_t Reach(uint32_t distance)
{
    return distance ? distance : kWindowSize;
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

// The decoding loop's state in locals. Window stores go through a byte
// pointer, which may alias anything, so state kept in the record would be
// reloaded after every byte; in locals it stays in registers.
//
// The bit reader is a 64-bit word of input, left-aligned at the current bit.
// Each step refills it with one 8-byte load from `next` (the first byte not
// yet in the word) and then holds at least 56 bits: enough for a whole
// match (at most 51 bits), so a step never checks whether it has bits left.
// A refill loads whole words, so all 64 bits are input, also those below
// the counted ones: the next step's first lookup can use the word as the
// step before left it (at least 13 valid bits), and the refill's load stays
// off the path from one symbol to the next. The refill thresholds keep
// every load within the buffer (the current byte stays below 8170 in the
// loop, and a load reads at most 15 bytes beyond it).
struct LoopState {
    const uint8_t* input;
    uint64_t bits;     // the input from the current bit on
    uint32_t next;     // offset of the first byte not yet in `bits`
    uint32_t bitsLeft; // bits of `bits` counted as taken from the input
    uint32_t windowPos;
    uint32_t flushedPos;
    // As of the last Settle: bytes still to produce, counted down, and the
    // bytes that may still be written before a delivery is due, less the
    // margin (below 0 exactly when fewer than kFlushMargin bytes of room remain
    // before undelivered bytes; no room is taken while nothing is pending).
    int32_t unpackedLeft;
    int32_t flushBudget;
    // A step counts only `budget` down, the smaller of the two, so that one
    // test per step finds when either runs out; `budgetAtSettle` tells how
    // much was spent since.
    int32_t budget;
    int32_t budgetAtSettle;
    // Above this `next`, a step first goes through the loop's rare cases
    // (refill, delivery, end); 0 in multimedia blocks, whose steps all do.
    uint32_t nextLimit;
    uint32_t multimedia; // the record's multimediaBlock
    // Match history.
    uint32_t recent[4];
    uint32_t recentCount;
    uint32_t prevLength;
    uint32_t prevDistance;
};

// The bit offset of the current bit in the input buffer.
static inline uint32_t BitOffset(const LoopState& s)
{
    return s.next * 8 - s.bitsLeft;
}

// Tops the word up to 56 or more counted bits: bitsLeft plus 8 for each
// whole byte taken is bitsLeft | 56 for any bitsLeft below 64.
static inline void Refill(LoopState& s)
{
    s.bits |= LoadBigEndian64(s.input + s.next) >> s.bitsLeft;
    s.next += (63 - s.bitsLeft) >> 3;
    s.bitsLeft |= 56;
}

// A symbol from the front of `bits` (at least 15 of them valid).
static inline uint32_t TakeSymbol(uint64_t& bits, uint32_t& used, const HuffmanTable* table)
{
    uint32_t n;
    uint32_t symbol = SymbolFor(table, uint32_t(bits >> 48), &n);
    bits <<= n;
    used += n;
    return symbol;
}

// The value of the extra bits behind the code of quick entry `entry`, taken
// from the front of `bits` with the code: one shift over both, no branch for
// codes without extra bits.
static inline uint32_t TakeExtra(uint64_t& bits, uint32_t& used, uint32_t entry)
{
    uint32_t codeBits = QuickCodeBits(entry), total = QuickTotalBits(entry);
    uint32_t extra = uint32_t(bits >> (64 - total)) & ((1u << (total - codeBits)) - 1);
    bits <<= total;
    used += total;
    return extra;
}

// A symbol and the extra bits its code is followed by (*extra, their value)
// from the front of `bits`, which must hold both: one lookup, one shift over
// both, no branch for codes without extra bits.
static inline uint32_t TakeCoded(uint64_t& bits, uint32_t& used, const HuffmanTable* table, uint32_t* extra)
{
    uint32_t entry = table->quick[bits >> (64 - kQuickBits)];
    if (entry == kNoQuickEntry)
        entry = SlowQuickEntry(table, uint32_t(bits >> 48));
    *extra = TakeExtra(bits, used, entry);
    return entry >> 16;
}

// Brings unpackedLeft and flushBudget up to date.
static inline void Settle(LoopState& s)
{
    int32_t spent = s.budgetAtSettle - s.budget;
    s.unpackedLeft -= spent;
    s.flushBudget -= spent;
    s.budget = s.unpackedLeft < s.flushBudget ? s.unpackedLeft : s.flushBudget;
    s.budgetAtSettle = s.budget;
}

static inline void Store(DecoderState* d, LoopState& s)
{
    Settle(s);
    uint32_t bitOffset = BitOffset(s);
    d->inputPos = bitOffset >> 3;
    d->bitPos = bitOffset & 7;
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
    // Seven whole bytes counted, less the bits already taken of the first.
    s.bits = LoadBigEndian64(s.input + d->inputPos) << d->bitPos;
    s.next = d->inputPos + 7;
    s.bitsLeft = 56 - d->bitPos;
    s.windowPos = d->windowPos;
    s.flushedPos = d->flushedPos;
    s.unpackedLeft = d->unpackedLeft;
    uint32_t room = s.flushedPos == s.windowPos ? kRingSize : (s.flushedPos - s.windowPos) & kRingMask;
    s.flushBudget = int32_t(room) - kFlushMargin;
    s.budgetAtSettle = s.budget = 0;
    Settle(s);
    s.multimedia = d->multimediaBlock;
    s.nextLimit = s.multimedia ? 0 : uint32_t(kMainRefillAbove);
    memcpy(s.recent, d->recentDistances, sizeof s.recent);
    s.recentCount = d->recentCount;
    s.prevLength = d->prevMatchLength;
    s.prevDistance = d->prevMatchDistance;
}

// Quick entries of the literals lie below this.
enum : uint32_t { kLiteralsBelow = uint32_t(kSymbolRepeatLast) << 16 };

static inline void PutByte(LoopState& s, uint8_t* window, uint8_t byte)
{
    window[s.windowPos] = byte;
    s.windowPos = (s.windowPos + 1) & kRingMask;
    s.budget--;
}

// A literal from its quick entry.
static inline void TakeLiteral(LoopState& s, uint8_t* window, uint32_t entry)
{
    // A literal has no extra bits: its code takes all the entry's bits.
    s.bits <<= QuickTotalBits(entry);
    s.bitsLeft -= QuickTotalBits(entry);
    PutByte(s, window, uint8_t(entry >> 16));
}

// Records a match in the history.
static inline void NoteMatchHistory(LoopState& s, uint32_t length, uint32_t distance)
{
    s.recent[s.recentCount & 3] = distance;
    s.prevDistance = distance;
    s.recentCount++;
    s.prevLength = length;
}

// The format's length bonuses (rar_format.h) without branches: x >= k for
// any 32-bit x is the sign of k - 1 - x in 64 bits.
static constexpr uint32_t AtLeast(uint32_t x, uint32_t k)
{
    return uint32_t((uint64_t(k) - 1 - x) >> 63);
}

static constexpr uint32_t MatchBonus(uint32_t distance)
{
    return AtLeast(distance, 0x2000) + AtLeast(distance, 0x40000);
}

static constexpr uint32_t RecentBonus(uint32_t distance)
{
    return AtLeast(distance, 0x101) + MatchBonus(distance);
}

static_assert(RecentBonus(0) == RecentLengthBonus(0) && RecentBonus(0x100) == RecentLengthBonus(0x100) &&
                  RecentBonus(0x101) == RecentLengthBonus(0x101) && RecentBonus(0x1FFF) == RecentLengthBonus(0x1FFF) &&
                  RecentBonus(0x2000) == RecentLengthBonus(0x2000) &&
                  RecentBonus(0x3FFFF) == RecentLengthBonus(0x3FFFF) &&
                  RecentBonus(0x40000) == RecentLengthBonus(0x40000) &&
                  RecentBonus(0xFFFFFFFFu) == RecentLengthBonus(0xFFFFFFFFu),
              "the branch-free bonuses are the format's");

// A match copied in 16-byte pieces, which may write up to 31 bytes past
// its end (bytes two windows old: see kRingSize), so that no branch depends
// on the length's remainder. The pieces give the effect of a byte by byte
// copy when the source lies at least 16 bytes behind (every piece reads
// finished bytes), or at least `length` bytes behind (the match lies in
// the first piece, read before it is written), or ahead of the position (a
// copy from a window back across the buffer's end: every piece is read
// before the position reaches it). Neither side may wrap around the
// buffer, the 32 bytes past the end included.
static inline int PieceCopyFits(uint32_t pos, uint32_t src, uint32_t distance, uint32_t length)
{
    // One combined test: the parts as separate branches mispredict often.
    return ((distance >= 16) | (distance >= length)) & (pos + length <= kRingSize - 32) &
           (src + length <= kRingSize - 32);
}

static inline void CopyPiece(uint8_t* window, uint32_t pos, uint32_t src)
{
    uint8_t piece[16];
    memcpy(piece, window + src, 16);
    memcpy(window + pos, piece, 16);
}

static inline void PieceCopy(uint8_t* window, uint32_t pos, uint32_t src, uint32_t length)
{
    // Two pieces whatever the length: most matches are shorter than 32
    // bytes, and a loop that stops after one or two mispredicts.
    CopyPiece(window, pos, src);
    CopyPiece(window, pos + 16, src + 16);
    for (uint32_t n = 32; n < length; n += 16)
        CopyPiece(window, pos + n, src + n);
}

// GCC's straight-line vectoriser would pack pairs of the loop's locals into
// vector registers (they are stored side by side in the record) and shuffle
// them back at every step.
#if defined(__GNUC__) && !defined(__clang__)
#define OV_NO_SLP __attribute__((optimize("no-tree-slp-vectorize")))
#else
#define OV_NO_SLP
#endif

// 64-bit x86 hosts (never the 32-bit stub) run a second copy of the loop
// built for processors with BMI2 where they have it: its shifts by a
// variable count take one instruction without the count register, and
// every step shifts by the bit position.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__BMI2__)
#define OV_DECODE_BMI2 1
#define OV_LOOP_INLINE __attribute__((always_inline)) inline
#else
#define OV_LOOP_INLINE
#endif

static OV_LOOP_INLINE void DecodeEntry(DecoderState* d, uint8_t* window, int solid)
{
    d->slidingWindow = window;
    d->inputOverrun = 0;
    ResetDecoder(d, solid);
    FillInput(d, 1);
    // A solid entry before any table set (the first of an archive that
    // marks it so) reads a set as well: with the zero-filled tables, a
    // literal would take no bits, and the loop would fill the whole stated
    // size without reading a byte.
    if (!solid || d->bitLengthTable.symbolCount == 0)
        ReadCodeLengths(d);
    // A size of 2 GiB or more is negative here and must stay so: nothing is
    // decoded (2 GiB itself, less one, would wrap to the largest size).
    if (d->unpackedLeft >= 0)
        d->unpackedLeft--;

    LoopState s;
    s.input = d->inputBuffer;
    Load(d, s);
    const HuffmanTable* mainTable = &d->mainTable;
    const HuffmanTable* distanceTable = &d->distanceTable;
    const HuffmanTable* repeatLengthTable = &d->repeatLengthTable;

    for (;;) {
        uint32_t used = 0;
        // The current byte is at most `next`: below the limit, no refill is
        // due yet.
        if ((s.budget < 0) | (s.next > s.nextLimit)) {
            Settle(s);
            if (s.unpackedLeft < 0)
                break;
            if ((BitOffset(s) >> 3) > kMainRefillAbove) {
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
                Refill(s);
                // The format leaves audio decoding open and our payloads carry
                // none: each channel symbol below 256 is taken as a byte, the
                // channels in turn, and 256 brings the next table set.
                uint32_t symbol = TakeSymbol(s.bits, used, d->channelTables[d->currentChannel]);
                s.bitsLeft -= used;
                if (symbol == kSymbolMultimediaTables) {
                    Store(d, s);
                    ReadCodeLengths(d);
                    Load(d, s);
                } else {
                    PutByte(s, window, uint8_t(symbol));
                    d->currentChannel = d->channelCount ? (d->currentChannel + 1) % d->channelCount : 0;
                }
                continue;
            }
        }

        // A literal (about half the steps) needs neither extra bits nor the
        // shifted look-ahead: it leaves before they are worked out.
        // The lookup takes the word before the refill: see LoopState.
        // Slots the search decides hold kNoQuickEntry, above every literal:
        // a literal takes one test.
        uint32_t entry = mainTable->quick[s.bits >> (64 - kQuickBits)];
        Refill(s);
        if (entry < kLiteralsBelow) {
            TakeLiteral(s, window, entry);
            continue;
        }
        if (entry == kNoQuickEntry) {
            entry = SlowQuickEntry(mainTable, uint32_t(s.bits >> 48));
            if (entry < kLiteralsBelow) {
                TakeLiteral(s, window, entry);
                continue;
            }
        }
        uint32_t symbol = entry >> 16;
        uint64_t bits = s.bits;
        uint32_t extra = TakeExtra(bits, used, entry);
        uint32_t length, distance;
        if (symbol >= kSymbolMatch) {
            length = kLengthBase[symbol - kSymbolMatch] + 3 + extra;
            uint32_t distanceCode = TakeCoded(bits, used, distanceTable, &extra);
            distance = kDistanceBase[distanceCode] + 1 + extra;
            length += MatchBonus(distance);
        } else if (symbol == kSymbolNewTables) {
            s.bitsLeft -= used;
            Store(d, s);
            ReadCodeLengths(d);
            Load(d, s);
            continue;
        } else if (symbol == kSymbolRepeatLast) {
            length = s.prevLength;
            distance = s.prevDistance;
        } else if (symbol < kSymbolShort) {
            distance = s.recent[(s.recentCount - (symbol - kSymbolRepeatLast)) & 3];
            uint32_t r = TakeCoded(bits, used, repeatLengthTable, &extra);
            length = kLengthBase[r] + 2 + extra + RecentBonus(distance);
        } else {
            distance = kShortDistanceBase[symbol - kSymbolShort] + 1 + extra;
            length = 2;
        }
        s.bits = bits;
        s.bitsLeft -= used;
        NoteMatchHistory(s, length, distance);
        s.budget -= int32_t(length);
        uint32_t back = Reach(distance);
        uint32_t src = (s.windowPos - back) & kRingMask;
        if (PieceCopyFits(s.windowPos, src, back, length)) {
            PieceCopy(window, s.windowPos, src, length);
            s.windowPos += length;
        } else {
            s.windowPos = CopyWindowBytes(window, s.windowPos, back, length);
        }
    }
    Store(d, s);
    if (!d->inputOverrun)
        CheckTrailingTables(d);
    FlushWindow(d);
}

#if OV_DECODE_BMI2
OV_NO_SLP __attribute__((target("bmi2"))) static void DecodeEntryBmi2(DecoderState* d, uint8_t* window, int solid)
{
    DecodeEntry(d, window, solid);
}

static bool HasBmi2()
{
    static int known = -1;
    if (known < 0) {
        __builtin_cpu_init();
        known = __builtin_cpu_supports("bmi2") ? 1 : 0;
    }
    return known == 1;
}
#endif

OV_NO_SLP void DecompressEntry(DecoderState* d, uint8_t* window, int solid)
{
#if OV_DECODE_BMI2
    if (HasBmi2()) {
        DecodeEntryBmi2(d, window, solid);
        return;
    }
#endif
    DecodeEntry(d, window, solid);
}
