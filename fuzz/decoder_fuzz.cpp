// The decoder as the archive pass drives it, on what the differential target
// never makes: up to 16 entries on one record and window, each with its own
// solid flag (the first too), any packed size and an unpacked size of 2 GiB
// or more or below 16 MiB, read one after the other from one stream. Input:
// a count byte, per entry a flag byte and the two sizes (little-endian),
// then the stream. Every byte the loop produces must be delivered, once.
#include "unpack/decoder_state.h"
#include "unpack/lz_decoder.h"

#include <stdio.h>
#include <stdlib.h>

static uint32_t Le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t count = size ? data[0] % 16 + 1 : 0, header = 1 + 9 * count;
    if (size <= header)
        return 0;
    DecoderState* d = static_cast<DecoderState*>(calloc(1, sizeof(DecoderState)));
    uint8_t* window = static_cast<uint8_t*>(calloc(kRingSize, 1));
    uint64_t delivered = 0, offset = 0, stream = size - header;
    PrepareDecoder(d);
    d->sink = &delivered;
    d->deliver = [](void* sink, const uint8_t* bytes, uint32_t n) {
        // Every byte read, for the sanitizers; without a compare, which the
        // fuzzer would trace for every byte of outputs of many megabytes.
        for (uint32_t i = 0; i < n; i++)
            *static_cast<uint64_t*>(sink) += (uint64_t(1) << 32) + (bytes[i] & 1);
        return n;
    };
    d->packedInput = fmemopen(const_cast<uint8_t*>(data + header), stream, "rb");
    for (const uint8_t* h = data + 1; h < data + header; h += 9, delivered = 0) {
        fseek(d->packedInput, long(offset < stream ? offset : stream), SEEK_SET);
        offset += Le32(h + 1);
        d->packedLeft = int32_t(Le32(h + 1));
        // Sizes of 2 GiB or more stay (nothing may come out); smaller ones
        // are kept below 16 MiB, as an input of a few kilobytes can make
        // tens of megabytes of matches, which take minutes here.
        uint32_t unpacked = Le32(h + 5) < 0x80000000u ? Le32(h + 5) & 0xFFFFFF : Le32(h + 5);
        d->unpackedLeft = int32_t(unpacked);
        int64_t start = int64_t(int32_t(unpacked)) - 1; // counted down to below 0; 2 GiB or more: nothing
        DecompressEntry(d, window, h[0] & 1);
        if (d->windowPos != d->flushedPos || d->windowPos >= kRingSize ||
            int64_t(delivered >> 32) != (start >= 0 ? start - d->unpackedLeft : 0))
            fprintf(stderr, "entry %zu: a byte lost or given twice\n", size_t(h - data) / 9), abort();
    }
    fclose(d->packedInput);
    free(window);
    free(d);
    return 0;
}
