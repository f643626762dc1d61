// Where an entry's bytes go: its output file, the pass's memory buffer, or
// nowhere. Every byte a pass produces leaves through WriteEntryOutput.
#ifndef OV_ARCHIVE_OUTPUT_SINK_H
#define OV_ARCHIVE_OUTPUT_SINK_H

#include <stdint.h>
#include <stdio.h>

struct ExtractContext;

// A growable byte block holding one entry at a time.
struct ByteBuffer {
    uint8_t* data;        // null until the first append
    uint32_t appendCount; // appends since the last clear
    uint32_t capacity;
    uint32_t size;
};

void ByteBufferCreate(ByteBuffer* buffer);
// Empties the buffer; the allocation stays for reuse.
void ByteBufferClear(ByteBuffer* buffer);
// Appends `count` bytes, growing by `count` or by 4096, whichever is larger.
// Returns 1 when nothing was appended (no memory: the earlier content is
// then lost and `data` is null), else 0.
int ByteBufferAppend(ByteBuffer* buffer, const uint8_t* bytes, uint32_t count);
// Makes room for `total` bytes at once, so that a large entry is not copied
// again at every growth step. Keeps the content; 1 when it cannot.
int ByteBufferReserve(ByteBuffer* buffer, uint32_t total);
void ByteBufferDestroy(ByteBuffer* buffer);

// Writes to `output` when there is one and returns the bytes written; else
// appends to ctx->memorySink and returns `count`; else returns 0. A failed
// append sets ctx->sinkFailed, which ends the pass.
uint32_t WriteEntryOutput(ExtractContext* ctx, FILE* output, const uint8_t* bytes, uint32_t count);

#endif
