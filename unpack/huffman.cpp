#include "unpack/huffman.h"

#include "unpack/bit_input.h"

#include <string.h>

// Extra bits behind the main alphabet's symbols: the short distances'
// and the match lengths'.
struct MainExtraBits {
    uint8_t bits[kMainSymbols];
    constexpr MainExtraBits()
        : bits()
    {
        for (int i = 0; i < 8; i++)
            bits[kSymbolShort + i] = kShortDistanceExtraBits[i];
        for (int i = 0; i < kMainSymbols - kSymbolMatch; i++)
            bits[kSymbolMatch + i] = kLengthExtraBits[i];
    }
};
static constexpr MainExtraBits kMainExtraBits;

static inline uint32_t ExtraBitsOf(const HuffmanTable* table, uint32_t symbol)
{
    return table->extraBits && symbol < table->symbolCount ? table->extraBits[symbol] : 0;
}

void BuildHuffmanTable(const uint8_t* lengths, HuffmanTable* table, uint32_t count, const uint8_t* extraBits)
{
    table->extraBits = extraBits;
    uint32_t lengthCount[16] = {0};
    for (uint32_t i = 0; i < count; i++)
        lengthCount[lengths[i] & 15]++;
    lengthCount[0] = 0;

    uint32_t next[16];
    uint32_t firstCode[16];
    uint32_t code = 0;
    bool proper = true; // no length is over-subscribed
    table->limits[0] = 0;
    table->firstIndex[0] = 0;
    next[0] = 0;
    for (int len = 1; len < 16; len++) {
        firstCode[len] = code;
        code = 2 * (code + lengthCount[len]);
        uint32_t limit = code << (15 - len);
        if (limit > 0x10000)
            proper = false;
        table->limits[len] = limit > 0xFFFF ? 0xFFFF : limit;
        table->firstIndex[len] = table->firstIndex[len - 1] + lengthCount[len - 1];
        next[len] = table->firstIndex[len];
    }
    for (uint32_t i = 0; i < count; i++)
        if (lengths[i] & 15)
            table->symbols[next[lengths[i] & 15]++] = i;
    table->symbolCount = count;

    // The quick lookup. For a proper code every code of up to kQuickBits
    // bits owns the slots that begin with it, and the rule decodes exactly
    // that code there; slots of longer codes and unused slots are left to
    // the rule. An over-subscribed code (damaged data) gets each slot
    // checked against the rule itself: a slot answers only when all the
    // look-aheads it stands for take the same number of bits.
    const uint32_t shift = 16 - kQuickBits;
    if (proper) {
        // Canonical codes of up to kQuickBits bits fill the slots from 0 on
        // without a gap; the search decides from where they end.
        for (uint32_t slot = firstCode[kQuickBits] + lengthCount[kQuickBits]; slot < (1u << kQuickBits); slot++)
            table->quick[slot] = kNoQuickEntry;
        for (uint32_t len = 1; len <= kQuickBits; len++) {
            uint32_t span = 1u << (kQuickBits - len);
            for (uint32_t k = 0; k < lengthCount[len]; k++) {
                uint32_t symbol = table->symbols[table->firstIndex[len] + k];
                uint32_t entry = QuickEntry(symbol, len, ExtraBitsOf(table, symbol));
                uint32_t first = (firstCode[len] + k) * span;
                for (uint32_t slot = first; slot < first + span; slot++)
                    table->quick[slot] = entry;
            }
        }
        return;
    }
    for (uint32_t slot = 0; slot < (1u << kQuickBits); slot++) {
        uint32_t lowBits, highBits;
        uint32_t low = LookupSymbol(table, slot << shift, &lowBits);
        LookupSymbol(table, (slot << shift) | ((1u << shift) - 1), &highBits);
        table->quick[slot] = (lowBits == highBits && lowBits <= kQuickBits)
                                 ? QuickEntry(low, lowBits, ExtraBitsOf(table, low))
                                 : kNoQuickEntry;
    }
}

uint32_t LookupSymbol(const HuffmanTable* table, uint32_t lookAhead, uint32_t* bits)
{
    // The lowest bit is never looked at, so codes are at most 15 bits.
    uint32_t v = lookAhead & 0xFFFE;
    // The smallest length in 1..14 whose limit lies above v, else 15; the
    // limits never decrease, so a search tree finds it in four steps.
    const uint32_t* limits = table->limits;
    uint32_t len;
    if (v < limits[8]) {
        if (v < limits[4])
            len = v < limits[2] ? (v < limits[1] ? 1 : 2) : (v < limits[3] ? 3 : 4);
        else
            len = v < limits[6] ? (v < limits[5] ? 5 : 6) : (v < limits[7] ? 7 : 8);
    } else {
        if (v < limits[12])
            len = v < limits[10] ? (v < limits[9] ? 9 : 10) : (v < limits[11] ? 11 : 12);
        else
            len = v < limits[14] ? (v < limits[13] ? 13 : 14) : 15;
    }
    uint32_t index = table->firstIndex[len] + ((v - limits[len - 1]) >> (16 - len));
    if (index >= table->symbolCount)
        index = 0;
    *bits = len;
    return table->symbols[index];
}

uint32_t SlowQuickEntry(const HuffmanTable* table, uint32_t lookAhead)
{
    uint32_t bits;
    uint32_t symbol = LookupSymbol(table, lookAhead, &bits);
    return QuickEntry(symbol, bits, ExtraBitsOf(table, symbol));
}

uint32_t DecodeSymbol(DecoderState* d, const HuffmanTable* table)
{
    uint32_t bits;
    uint32_t symbol = SymbolFor(table, PeekBits(d), &bits);
    SkipBits(d, bits);
    d->lastSymbol = symbol;
    return symbol;
}

void ReadCodeLengths(DecoderState* d)
{
    if (d->inputPos > kTablesRefillAbove)
        FillInput(d, 0);
    uint32_t flags = PeekBits(d);
    d->multimediaBlock = flags & 0x8000;
    if (!(flags & 0x4000))
        memset(d->previousLengths, 0, sizeof d->previousLengths);
    SkipBits(d, 2);

    uint32_t setSize = kLzSetSize;
    if (d->multimediaBlock) {
        d->channelCount = ((flags >> 12) & 3) + 1;
        if (d->currentChannel >= d->channelCount)
            d->currentChannel = 0;
        SkipBits(d, 2);
        setSize = d->channelCount * kMultimediaSymbols;
    }

    uint8_t bitLengths[kBitLengthSymbols];
    for (int i = 0; i < kBitLengthSymbols; i++)
        bitLengths[i] = uint8_t(ReadBitField(d, 4));
    BuildHuffmanTable(bitLengths, &d->bitLengthTable, kBitLengthSymbols);

    // Entries past the set stay zero (they only matter as the base of a
    // following multimedia set that keeps the previous lengths).
    uint8_t lengths[kMaxSetSize];
    memset(lengths, 0, sizeof lengths);
    const HuffmanTable* table = &d->bitLengthTable;
    // The position and the input from it on in locals, so that one
    // symbol's lookup waits only for the shift after the one before: 22
    // bits or more of `bits` are input (a code and its field take at most
    // 22).
    uint32_t at = d->inputPos * 8 + d->bitPos;
    uint64_t bits = LoadBigEndian64(d->inputBuffer + (at >> 3)) << (at & 7);
    uint32_t valid = 64 - (at & 7);
    uint32_t i = 0;
    while (i < setSize) {
        if ((at >> 3) > kLengthRefillAbove) {
            d->inputPos = at >> 3;
            d->bitPos = at & 7;
            FillInput(d, 0);
            at = d->inputPos * 8 + d->bitPos;
            valid = 0;
        }
        if (valid < 22) {
            bits = LoadBigEndian64(d->inputBuffer + (at >> 3)) << (at & 7);
            valid = 64 - (at & 7);
        }
        uint32_t used;
        uint32_t s = SymbolFor(table, uint32_t(bits >> 48), &used);
        uint64_t field = bits << used;
        if (s < kLengthRepeatPrevious) {
            lengths[i] = uint8_t((s + d->previousLengths[i]) & 15);
            i++;
        } else if (s == kLengthRepeatPrevious) {
            // A repeat with nothing before it repeats a zero length.
            uint32_t n = uint32_t(field >> 62) + 3;
            used += 2;
            for (; n > 0 && i < setSize; n--, i++)
                lengths[i] = i > 0 ? lengths[i - 1] : 0;
        } else {
            uint32_t n = s == kLengthZeros ? uint32_t(field >> 61) + 3 : uint32_t(field >> 57) + 11;
            used += s == kLengthZeros ? 3 : 7;
            for (; n > 0 && i < setSize; n--, i++)
                lengths[i] = 0;
        }
        bits <<= used;
        valid -= used;
        at += used;
    }
    d->inputPos = at >> 3;
    d->bitPos = at & 7;

    if (d->multimediaBlock) {
        for (uint32_t c = 0; c < d->channelCount; c++)
            BuildHuffmanTable(lengths + c * kMultimediaSymbols, d->channelTables[c], kMultimediaSymbols);
    } else {
        BuildHuffmanTable(lengths, &d->mainTable, kMainSymbols, kMainExtraBits.bits);
        BuildHuffmanTable(lengths + kMainSymbols, &d->distanceTable, kDistanceSymbols, kDistanceExtraBits);
        BuildHuffmanTable(lengths + kMainSymbols + kDistanceSymbols, &d->repeatLengthTable, kRepeatLengthSymbols,
                          kLengthExtraBits);
    }
    memcpy(d->previousLengths, lengths, sizeof lengths);
}
