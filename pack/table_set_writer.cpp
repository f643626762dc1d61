#include "pack/table_set_writer.h"

#include <cstring>
#include <vector>

#include "pack/huffman_builder.h"
#include "pack/symbol_codes.h"

namespace {

const int kLengthCodeSymbols = kBitLengthSymbols;
const int kExtraBits[kLengthCodeSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};

struct Op {
    uint8_t symbol;
    uint8_t extra;
};

// Runs of zeros and repeats are absolute in both codings; single lengths
// are deltas to `base` (all zero for an absolute set).
void Encode(const uint8_t* lengths, const uint8_t* base, std::vector<Op>* ops)
{
    int i = 0;
    while (i < kLzSetSize) {
        uint8_t v = lengths[i];
        int run = 1;
        if (v == 0) {
            while (i + run < kLzSetSize && run < 138 && lengths[i + run] == 0)
                ++run;
            if (run >= 11) {
                ops->push_back({kLengthLongZeros, uint8_t(run - 11)});
                i += run;
                continue;
            }
            if (run >= 3) {
                ops->push_back({kLengthZeros, uint8_t(run - 3)});
                i += run;
                continue;
            }
        } else if (i > 0 && lengths[i - 1] == v) {
            while (i + run < kLzSetSize && run < 6 && lengths[i + run] == v)
                ++run;
            if (run >= 3) {
                ops->push_back({kLengthRepeatPrevious, uint8_t(run - 3)});
                i += run;
                continue;
            }
        }
        ops->push_back({uint8_t((v - base[i]) & 15), 0});
        ++i;
    }
}

uint32_t Cost(const std::vector<Op>& ops, uint8_t* codeLengths)
{
    uint32_t freq[kLengthCodeSymbols] = {0};
    for (const Op& op : ops)
        freq[op.symbol]++;
    BuildCodeLengths(freq, kLengthCodeSymbols, kMaxCodeLength, codeLengths);
    uint32_t bits = 2 + 4 * kLengthCodeSymbols;
    for (int s = 0; s < kLengthCodeSymbols; ++s)
        bits += freq[s] * (codeLengths[s] + kExtraBits[s]);
    return bits;
}

} // namespace

uint32_t WriteTableSet(const uint8_t* lengths, uint8_t* previous, BitWriter* out)
{
    static const uint8_t kZeroBase[kLzSetSize] = {0};
    std::vector<Op> absolute, delta;
    absolute.reserve(kLzSetSize);
    delta.reserve(kLzSetSize);
    Encode(lengths, kZeroBase, &absolute);
    Encode(lengths, previous, &delta);
    uint8_t absoluteCode[kLengthCodeSymbols], deltaCode[kLengthCodeSymbols];
    uint32_t absoluteBits = Cost(absolute, absoluteCode);
    uint32_t deltaBits = Cost(delta, deltaCode);
    bool keep = deltaBits < absoluteBits;
    if (!out)
        return keep ? deltaBits : absoluteBits;

    const std::vector<Op>& ops = keep ? delta : absolute;
    const uint8_t* codeLengths = keep ? deltaCode : absoluteCode;
    uint16_t codes[kLengthCodeSymbols];
    BuildCanonicalCodes(codeLengths, kLengthCodeSymbols, codes);
    out->Put(0, 1); // not a multimedia set
    out->Put(keep ? 1 : 0, 1);
    for (int s = 0; s < kLengthCodeSymbols; ++s)
        out->Put(codeLengths[s], 4);
    for (const Op& op : ops) {
        out->Put(codes[op.symbol], codeLengths[op.symbol]);
        if (kExtraBits[op.symbol])
            out->Put(op.extra, kExtraBits[op.symbol]);
    }
    memcpy(previous, lengths, kLzSetSize);
    return keep ? deltaBits : absoluteBits;
}
