// Packed input of one entry: reading the entry's packed bytes from the
// input stream into an 8192-byte buffer and the bit reader over it.
//
// The bit position is the pair (inputPos, bitPos). The callers refill at
// fixed thresholds of inputPos, which keeps every 16-bit peek inside the
// buffer without a bounds check. When the packed data has run out, decoding
// goes on over the bytes the buffer still holds (a stream whose encoder did
// not flush its last bits still decodes); FillInput marks the entry as
// overrun once the decoder has gone far beyond the bytes it was given, so
// damaged data cannot keep it busy for ever.
#ifndef OV_UNPACK_BIT_INPUT_H
#define OV_UNPACK_BIT_INPUT_H

#include <stdint.h>
#include <string.h>

#include "unpack/decoder_state.h"

enum {
    kInputCarry = 32,          // bytes kept at the front by a refill
    kMainRefillAbove = 8162,   // main loop: refill when inputPos is above this
    kTablesRefillAbove = 8167, // entry into a table set
    kLengthRefillAbove = 8187, // before each code-length symbol
    // Bytes the decoder may consume beyond the last byte it was given before
    // the entry counts as damaged. Judged at refills only.
    kStaleInputLimit = 4096,
};

// Reads up to `count` packed bytes of the current entry into `dest`; never
// reads past the entry's packed data. Returns the bytes placed, 0 at the end.
int32_t ReadPacked(DecoderState* d, uint8_t* dest, int32_t count);

// first != 0: fills the buffer at the start of an entry. Otherwise refills
// in the middle, keeping the last 32 bytes in front.
void FillInput(DecoderState* d, int first);

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

// The next 16 bits, first bit most significant, not consumed.
static inline uint32_t PeekBits(DecoderState* d)
{
    // One big-endian 32-bit load: the buffer has padding behind byte 8191,
    // and the refill thresholds keep inputPos + 2 within the buffer.
    const uint8_t* p = d->inputBuffer + d->inputPos;
    uint32_t v = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    uint32_t bits = ((v << d->bitPos) >> 16) & 0xFFFF;
    d->peekedBits = bits;
    return bits;
}

static inline void SkipBits(DecoderState* d, uint32_t n)
{
    uint32_t total = d->bitPos + n;
    d->inputPos += total >> 3;
    d->bitPos = total & 7;
}

// Reads an n-bit field (n = 1..16).
static inline uint32_t ReadBitField(DecoderState* d, uint32_t n)
{
    uint32_t v = PeekBits(d) >> (16 - n);
    SkipBits(d, n);
    return v;
}

#endif
