// The RAR 2.0 LZ decoding loop: symbols from the bit input become literals
// and matches in a 1 MiB sliding window, which is delivered to the entry's
// sink with the entry checksum folded in.
#ifndef OV_UNPACK_LZ_DECODER_H
#define OV_UNPACK_LZ_DECODER_H

#include <stdint.h>

struct ExtractContext;

// Decodes the current entry. The pass has set packedInput, output,
// packedLeft, unpackedLeft, skipMode, memorySink and dataCrc. `solid`
// non-zero continues the previous entry's window, tables and history.
// Damage is not reported here: it shows in the entry checksum, and in
// ctx->inputOverrun when the packed data ran out long before the output.
void DecompressEntry(ExtractContext* ctx, uint8_t* window, int solid);

// Steps of DecompressEntry, public for tests.
void ResetDecoder(ExtractContext* ctx, int solid);
void CopyMatch(ExtractContext* ctx);
void FlushWindow(ExtractContext* ctx);
void CheckTrailingTables(ExtractContext* ctx);

// Hands `count` bytes to the entry's sink and, unless in skip mode, folds
// the accepted ones into ctx->dataCrc. Returns the bytes accepted.
uint32_t DeliverOutput(ExtractContext* ctx, const uint8_t* data, uint32_t count);

#endif
