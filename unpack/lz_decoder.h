// The RAR 2.0 LZ decoding loop: symbols from the bit input become literals
// and matches in a sliding window (a buffer of kRingSize bytes, twice the
// format's window), which is delivered to the entry's sink.
#ifndef OV_UNPACK_LZ_DECODER_H
#define OV_UNPACK_LZ_DECODER_H

#include <stdint.h>

struct DecoderState;

// Decodes the current entry into `window` (kRingSize bytes). The caller has
// set packedInput, packedLeft, unpackedLeft and the sink. `solid` non-zero
// continues the previous entry's window, tables and history (it reads a
// table set when no entry before has read one).
// Damage is not reported here: it shows in the entry checksum, and in
// d->inputOverrun when the packed data ran out long before the output.
void DecompressEntry(DecoderState* d, uint8_t* window, int solid);

// Steps of DecompressEntry, public for tests.
void ResetDecoder(DecoderState* d, int solid);
void FlushWindow(DecoderState* d);
void CheckTrailingTables(DecoderState* d);

// Hands `count` bytes to the state's sink; returns the bytes accepted
// (0 without a sink).
uint32_t DeliverOutput(DecoderState* d, const uint8_t* data, uint32_t count);

#endif
