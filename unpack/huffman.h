// Canonical Huffman code tables of the RAR 2.0 format and the reading of a
// table set (all code lengths of the alphabets in use) from the bit stream.
//
// Symbol decoding follows the format's own rule (a search of the 16-bit
// look-ahead against `limits`, then one index) bit for bit. On top of that
// every table carries a `quick` lookup of kQuickBits bits, built from the
// same rule: it answers most look-aheads with one load and falls back to the
// search only where the rule needs more than kQuickBits bits or where a
// length boundary cuts through one lookup slot. Both give the same symbol
// and consume the same bits for every input, valid or damaged.
#ifndef OV_UNPACK_HUFFMAN_H
#define OV_UNPACK_HUFFMAN_H

#include <stdint.h>

#include "format/rar_format.h"

struct DecoderState;

enum { kQuickBits = 10 };

struct HuffmanTable {
    uint32_t symbolCount;
    // limits[L]: first left-aligned 16-bit code value above every code of
    // length L or less, capped at 0xFFFF; limits[0] is 0.
    uint32_t limits[16];
    // firstIndex[L]: position in `symbols` of the first symbol of length L.
    uint32_t firstIndex[16];
    // Used symbols ordered by code length, then by value. Slots past the last
    // one filled keep what an earlier build left there, as the format's
    // decoders always have; damaged streams can reach them.
    uint32_t symbols[kMainSymbols];
    // Extra bits that follow each symbol's code (null: none), per symbol.
    const uint8_t* extraBits;
    // Our own shortcut: indexed by the top kQuickBits bits of the look-ahead,
    // QuickEntry(symbol, code length, extra bits), or kNoQuickEntry when the
    // search must decide.
    uint32_t quick[1 << kQuickBits];
};

// A quick slot the search must decide: above every entry, so that one
// test of the entry tells a literal from everything else.
enum : uint32_t { kNoQuickEntry = 0xFFFF0000u };

// A quick entry: the symbol in the top half; the code length in bits 6..9;
// code length plus extra bits in bits 0..4 (bit 5 clear), so that a shift
// by the entry itself steps over a code and its extra bits (the machine
// takes shift counts modulo 64) without masking it first.
static inline uint32_t QuickEntry(uint32_t symbol, uint32_t codeBits, uint32_t extraBits)
{
    return (symbol << 16) | (codeBits << 6) | (codeBits + extraBits);
}

// The code length of a quick entry, and the bits its code and extra bits take.
static inline uint32_t QuickCodeBits(uint32_t entry)
{
    return (entry >> 6) & 15;
}
static inline uint32_t QuickTotalBits(uint32_t entry)
{
    return entry & 63;
}

// Builds `table` from `count` code lengths (each 0..15; only the low four
// bits of a length are looked at). `extraBits` (count entries, or null)
// gives the extra bits each symbol's code is followed by; the table only
// carries them for the decoding loop.
void BuildHuffmanTable(const uint8_t* lengths, HuffmanTable* table, uint32_t count, const uint8_t* extraBits = nullptr);

// Decodes one symbol at the current bit position, consumes its code and
// stores it in d->lastSymbol.
uint32_t DecodeSymbol(DecoderState* d, const HuffmanTable* table);

// The slow rule on its own: the symbol for a 16-bit look-ahead and the
// number of bits its code takes. Used to build `quick` and by tests.
uint32_t LookupSymbol(const HuffmanTable* table, uint32_t lookAhead, uint32_t* bits);

// The symbol for a 16-bit look-ahead and its code length: the quick lookup
// where it answers, else the search. Shared by both decoding loops.
static inline uint32_t SymbolFor(const HuffmanTable* table, uint32_t lookAhead, uint32_t* bits)
{
    uint32_t entry = table->quick[lookAhead >> (16 - kQuickBits)];
    if (entry != kNoQuickEntry) {
        *bits = QuickCodeBits(entry);
        return entry >> 16;
    }
    return LookupSymbol(table, lookAhead, bits);
}

// The quick entry for a 16-bit look-ahead: the quick lookup's, else made
// from the search and the table's extra bits.
uint32_t SlowQuickEntry(const HuffmanTable* table, uint32_t lookAhead);

// Reads one table set and rebuilds the tables it covers.
void ReadCodeLengths(DecoderState* d);

#endif
