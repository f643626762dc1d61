#include "unpack/bit_input.h"

int32_t ReadPacked(DecoderState* d, uint8_t* dest, int32_t count)
{
    int32_t total = 0;
    while (count > 0) {
        int32_t chunk = count > d->packedLeft ? d->packedLeft : count;
        if (!d->packedInput || chunk <= 0)
            break;
        size_t got = fread(dest, 1, size_t(chunk), d->packedInput);
        if (got == 0)
            break; // the stream has ended
        dest += got;
        total += int32_t(got);
        count -= int32_t(got);
        d->packedLeft -= int32_t(got);
        if (d->packedLeft <= 0)
            break;
    }
    // Bytes that did arrive are reported even when the file ended in the
    // middle of a request: they are in `dest` and belong to the entry.
    return total;
}

void FillInput(DecoderState* d, int first)
{
    if (first) {
        d->inputEnd = ReadPacked(d, d->inputBuffer, kInputBufferSize);
        d->inputPos = 0;
        return;
    }
    // Far past the last byte read: the packed data is damaged or cut short,
    // and whatever follows would be decoded from stale bytes.
    if (int64_t(d->inputPos) - d->inputEnd > kStaleInputLimit)
        d->inputOverrun = 1;
    int32_t carriedValid = d->inputEnd - (kInputBufferSize - kInputCarry);
    memmove(d->inputBuffer, d->inputBuffer + (kInputBufferSize - kInputCarry), kInputCarry);
    d->inputPos &= kInputCarry - 1;
    int32_t got = ReadPacked(d, d->inputBuffer + kInputCarry, kInputBufferSize - kInputCarry);
    if (got > 0) {
        d->inputEnd = got + kInputCarry;
    } else {
        // The carried bytes that were read from the entry still count, so
        // that a table set stored among them after the last symbol is seen
        // by the trailing check.
        d->inputEnd = carriedValid > int32_t(d->inputPos) ? carriedValid : int32_t(d->inputPos);
    }
}
