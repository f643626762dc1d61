#include "unpack/bit_input.h"

int32_t ReadPacked(ExtractContext* ctx, uint8_t* dest, int32_t count)
{
    int32_t total = 0;
    while (count > 0) {
        int32_t chunk = count > ctx->packedLeft ? ctx->packedLeft : count;
        if (!ctx->archive || chunk <= 0)
            break;
        size_t got = fread(dest, 1, size_t(chunk), ctx->packedInput);
        if (got == 0)
            break; // the archive file has ended
        dest += got;
        total += int32_t(got);
        count -= int32_t(got);
        ctx->packedLeft -= int32_t(got);
        if (ctx->packedLeft <= 0)
            break;
    }
    // Bytes that did arrive are reported even when the file ended in the
    // middle of a request: they are in `dest` and belong to the entry.
    return total;
}

void FillInput(ExtractContext* ctx, int first)
{
    if (first) {
        ctx->inputEnd = ReadPacked(ctx, ctx->inputBuffer, kInputSize);
        ctx->inputPos = 0;
        return;
    }
    // Far past the last byte read: the packed data is damaged or cut short,
    // and whatever follows would be decoded from stale bytes.
    if (int64_t(ctx->inputPos) - ctx->inputEnd > kStaleInputLimit)
        ctx->inputOverrun = 1;
    int32_t carriedValid = ctx->inputEnd - (kInputSize - kInputCarry);
    memmove(ctx->inputBuffer, ctx->inputBuffer + (kInputSize - kInputCarry), kInputCarry);
    ctx->inputPos &= kInputCarry - 1;
    int32_t got = ReadPacked(ctx, ctx->inputBuffer + kInputCarry, kInputSize - kInputCarry);
    if (got > 0) {
        ctx->inputEnd = got + kInputCarry;
    } else {
        // The carried bytes that were read from the entry still count, so
        // that a table set stored among them after the last symbol is seen
        // by the trailing check.
        ctx->inputEnd = carriedValid > int32_t(ctx->inputPos) ? carriedValid : int32_t(ctx->inputPos);
    }
}
