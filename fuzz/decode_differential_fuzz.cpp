// Holds the fast decoding loop (DecompressEntry) to a plain one that reads
// one field at a time and copies byte by byte, built from the decoder's
// public pieces: for any input both deliver the same bytes and end with the
// same overrun flag, bit position, match history and code lengths. The input
// makes one or two solid entries: raw packed bytes with chosen sizes, or data
// repeated up to a chosen size (small inputs reach refills and the window's
// end), packed at a chosen level, then a few packed bytes flipped.
#include <fuzzer/FuzzedDataProvider.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "pack/lz_encoder.h"
#include "unpack/bit_input.h"
#include "unpack/lz_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Field(DecoderState* d, uint32_t bits)
{
    return bits ? ReadBitField(d, bits) : 0;
}

void PlainDecode(DecoderState* d, uint8_t* window, int solid)
{
    d->slidingWindow = window;
    d->inputOverrun = 0;
    ResetDecoder(d, solid);
    FillInput(d, 1);
    if (!solid)
        ReadCodeLengths(d);
    for (d->unpackedLeft--; d->unpackedLeft >= 0;) {
        if (d->inputPos > kMainRefillAbove && (FillInput(d, 0), d->inputOverrun))
            break;
        if (d->flushedPos != d->windowPos && ((d->flushedPos - d->windowPos) & kRingMask) < 270)
            FlushWindow(d);
        uint32_t s = DecodeSymbol(d, d->multimediaBlock ? d->channelTables[d->currentChannel] : &d->mainTable), length,
                 distance;
        if (s == (d->multimediaBlock ? kSymbolMultimediaTables : kSymbolNewTables)) {
            ReadCodeLengths(d);
            continue;
        } else if (s < 256) {
            window[d->windowPos] = uint8_t(s);
            d->windowPos = (d->windowPos + 1) & kRingMask;
            d->unpackedLeft--;
            if (d->multimediaBlock)
                d->currentChannel = (d->currentChannel + 1) % d->channelCount;
            continue;
        } else if (s >= kSymbolMatch) {
            length = kLengthBase[s - kSymbolMatch] + 3 + Field(d, kLengthExtraBits[s - kSymbolMatch]);
            uint32_t code = DecodeSymbol(d, &d->distanceTable);
            distance = kDistanceBase[code] + 1 + Field(d, kDistanceExtraBits[code]);
            length += MatchLengthBonus(distance);
        } else if (s == kSymbolRepeatLast) {
            length = d->prevMatchLength;
            distance = d->prevMatchDistance;
        } else if (s < kSymbolShort) {
            distance = d->recentDistances[(d->recentCount - (s - kSymbolRepeatLast)) & 3];
            uint32_t code = DecodeSymbol(d, &d->repeatLengthTable);
            length = kLengthBase[code] + 2 + Field(d, kLengthExtraBits[code]) + RecentLengthBonus(distance);
        } else {
            distance = kShortDistanceBase[s - kSymbolShort] + 1 + Field(d, kShortDistanceExtraBits[s - kSymbolShort]);
            length = 2;
        }
        d->recentDistances[d->recentCount++ & 3] = distance;
        d->prevMatchDistance = distance;
        d->prevMatchLength = length;
        d->unpackedLeft -= int32_t(length);
        for (; length > 0; length--, d->windowPos = (d->windowPos + 1) & kRingMask)
            window[d->windowPos] = window[(d->windowPos - (distance ? distance : kWindowSize)) & kRingMask];
    }
    if (!d->inputOverrun)
        CheckTrailingTables(d);
    FlushWindow(d);
}

// A record and window for each loop, kept across the entries of one input.
struct Decoder {
    DecoderState* d = static_cast<DecoderState*>(malloc(sizeof(DecoderState)));
    uint8_t* window = static_cast<uint8_t*>(malloc(kRingSize));
    Bytes out;

    void Run(Bytes& packed, uint32_t size, int solid, void (*decode)(DecoderState*, uint8_t*, int))
    {
        if (!solid)
            memset(d, 0, sizeof *d), PrepareDecoder(d);
        d->deliver = [](void* out, const uint8_t* bytes, uint32_t n) {
            return static_cast<Bytes*>(out)->insert(static_cast<Bytes*>(out)->end(), bytes, bytes + n), n;
        };
        d->sink = &out;
        d->packedInput = packed.empty() ? nullptr : fmemopen(packed.data(), packed.size(), "rb");
        d->packedLeft = int32_t(packed.size());
        d->unpackedLeft = int32_t(size);
        out.clear();
        decode(d, window, solid);
        if (d->packedInput)
            fclose(d->packedInput);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Decoder fast, plain;
    FuzzedDataProvider in(data, size);
    bool raw = in.ConsumeBool(), two = in.ConsumeBool();
    uint32_t sizes[2] = {in.ConsumeIntegralInRange<uint32_t>(0, 4u << 20), in.ConsumeIntegral<uint32_t>() >> 10};
    int level = in.ConsumeIntegralInRange(1, 5), flips = in.ConsumeIntegralInRange(0, 4);
    uint32_t seed = in.ConsumeIntegral<uint32_t>();
    size_t total = std::min(size_t(1) << in.ConsumeIntegralInRange(0, 21), size_t(kWindowSize) + 65536),
           split = in.ConsumeIntegral<uint8_t>();
    Bytes text = in.ConsumeRemainingBytes<uint8_t>(), all = raw ? text : Bytes();
    for (size_t k = 0; !raw && !text.empty() && all.size() < total; k++) {
        all.insert(all.end(), text.begin(), text.end());
        all[all.size() - 1 - k % text.size()] ^= uint8_t(k); // copies that differ a little
    }
    all.resize(raw ? all.size() : std::min(all.size(), total));
    size_t first = two ? all.size() * split / 256 : 0;
    std::vector<Bytes> packed = {Bytes(all.begin(), all.begin() + first), Bytes(all.begin() + first, all.end())};
    packed.erase(packed.begin(), packed.begin() + (first ? 0 : 1)); // no empty first entry
    if (!raw) {
        if (all.empty())
            return 0;
        std::vector<LzEntryInput> inputs;
        for (size_t e = 0; e < packed.size(); e++)
            inputs.push_back({packed[e].data(), sizes[e] = uint32_t(packed[e].size())});
        std::vector<std::vector<uint8_t>> out;
        std::vector<uint64_t> tableBits;
        CompressSolid(inputs, level, &out, &tableBits, [](uint64_t) {});
        packed.swap(out);
        for (; flips > 0; flips--) {
            seed = seed * 1103515245u + 12345u;
            Bytes& p = packed[seed % packed.size()];
            p[(seed >> 8) % p.size()] ^= uint8_t(1 + (seed >> 24) % 255);
        }
    }
    for (size_t e = 0; e < packed.size(); e++) {
        fast.Run(packed[e], sizes[e], int(e), DecompressEntry);
        plain.Run(packed[e], sizes[e], int(e), PlainDecode);
        const DecoderState &a = *fast.d, &b = *plain.d;
        if (fast.out != plain.out || a.inputOverrun != b.inputOverrun || a.inputPos != b.inputPos ||
            a.bitPos != b.bitPos || memcmp(a.recentDistances, b.recentDistances, sizeof a.recentDistances) ||
            a.recentCount != b.recentCount || a.currentChannel != b.currentChannel ||
            a.prevMatchLength != b.prevMatchLength || a.prevMatchDistance != b.prevMatchDistance ||
            memcmp(a.previousLengths, b.previousLengths, sizeof a.previousLengths)) {
            fprintf(stderr, "entry %zu: the two loops differ\n", e);
            abort();
        }
    }
    return 0;
}
