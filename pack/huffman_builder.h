// Length-limited prefix codes: optimal code lengths for given frequencies
// (package-merge) and the canonical codes the reader rebuilds from them.
#ifndef OV_PACK_HUFFMAN_BUILDER_H
#define OV_PACK_HUFFMAN_BUILDER_H

#include <cstdint>

#include "format/rar_format.h"

// Fills lengths[0..n) with the lengths of an optimal prefix code of at most
// `maxBits` bits per symbol; symbols of frequency 0 get 0. A lone used
// symbol gets length 1. Needs n <= 2^maxBits.
void BuildCodeLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths);

// Canonical codes: shorter codes first, equal lengths in symbol order.
void BuildCanonicalCodes(const uint8_t* lengths, int n, uint16_t* codes);

// Sum of freq x length over the alphabet.
uint64_t CodedBits(const uint32_t* freq, const uint8_t* lengths, int n);

// log2(x) for x >= 1 in 1/65536 bits, by integer arithmetic only, so that
// estimates built on it (and the output that follows them) are the same on
// every platform and compiler.
uint32_t Log2Fixed(uint64_t x);

// Order-0 entropy of `total` bytes with these 256 counts, in 1/65536 bits.
uint64_t EntropyBits(const uint64_t* counts, uint64_t total);

#endif
