#include "archive/output_sink.h"

#include "archive/extract_context.h"

#include <stdlib.h>
#include <string.h>

enum { kGrowStep = 4096 };

void ByteBufferCreate(ByteBuffer* buffer)
{
    buffer->data = nullptr;
    buffer->appendCount = 0;
    buffer->capacity = 0;
    buffer->size = 0;
}

void ByteBufferClear(ByteBuffer* buffer)
{
    buffer->size = 0;
    buffer->appendCount = 0;
}

void ByteBufferDestroy(ByteBuffer* buffer)
{
    free(buffer->data);
    ByteBufferCreate(buffer);
}

// Moves the content into a new zero-filled block of `capacity` bytes; on
// failure the old block is gone too, as the sink has always behaved.
static void Regrow(ByteBuffer* buffer, uint64_t capacity)
{
    uint8_t* grown = capacity <= 0xFFFFFFFFu ? (uint8_t*)calloc(size_t(capacity), 1) : nullptr;
    if (grown && buffer->size)
        memcpy(grown, buffer->data, buffer->size);
    free(buffer->data);
    buffer->data = grown;
    buffer->capacity = grown ? uint32_t(capacity) : 0;
    if (!grown)
        buffer->size = 0;
}

int ByteBufferAppend(ByteBuffer* buffer, const uint8_t* bytes, uint32_t count)
{
    uint32_t appendsBefore = buffer->appendCount;
    if (!buffer->data) {
        uint32_t capacity = count > uint32_t(kGrowStep) ? count : uint32_t(kGrowStep);
        buffer->data = (uint8_t*)calloc(capacity, 1);
        buffer->capacity = buffer->data ? capacity : 0;
        buffer->size = 0;
        buffer->appendCount = 0;
        appendsBefore = 0;
    } else if (uint64_t(buffer->size) + count > buffer->capacity) {
        // Half again at each step: growing by a fixed step copies the whole
        // content every few kilobytes, which takes minutes for a large entry.
        uint64_t need = uint64_t(buffer->size) + count;
        uint64_t grown = uint64_t(buffer->capacity) + buffer->capacity / 2 + kGrowStep;
        if (grown > 0xFFFFFFFFu)
            grown = 0xFFFFFFFFu;
        Regrow(buffer, grown > need ? grown : need);
    }
    // The size check matters after a failed growth (capacity 0) and for a
    // first block smaller than the request, which cannot happen but costs
    // nothing to rule out.
    if (buffer->data && uint64_t(buffer->size) + count <= buffer->capacity) {
        if (count)
            memcpy(buffer->data + buffer->size, bytes, count);
        buffer->size += count;
        buffer->appendCount++;
    }
    return buffer->appendCount == appendsBefore ? 1 : 0;
}

int ByteBufferReserve(ByteBuffer* buffer, uint32_t total)
{
    if (buffer->data && buffer->capacity >= total)
        return 0;
    uint8_t* grown = (uint8_t*)calloc(total ? total : 1, 1);
    if (!grown)
        return 1;
    if (buffer->data && buffer->size)
        memcpy(grown, buffer->data, buffer->size);
    free(buffer->data);
    buffer->data = grown;
    buffer->capacity = total ? total : 1;
    return 0;
}

uint32_t WriteEntryOutput(ExtractContext* ctx, FILE* output, const uint8_t* bytes, uint32_t count)
{
    if (output) {
        size_t written = fwrite(bytes, 1, count, output);
        // A write cut short may leave no system error behind (the C runtime
        // then knows only that it was short); writing the rest again makes
        // the system tell why: on a full disk, that it is full.
        if (written < count)
            written += fwrite(bytes + written, 1, count - written, output);
        return uint32_t(written);
    }
    if (ctx->memorySink) {
        if (ByteBufferAppend(ctx->memorySink, bytes, count) != 0)
            ctx->sinkFailed = 1;
        return count;
    }
    return 0;
}
