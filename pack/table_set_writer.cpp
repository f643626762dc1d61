#include "pack/table_set_writer.h"

#include <cstring>
#include <vector>

#include "pack/huffman_builder.h"
#include "pack/symbol_codes.h"

namespace {

const int kLengthCodeSymbols = 19;
const int kRepeatPrevious = 16;  // previous new length 3..6 times, 2 extra bits
const int kZeros = 17;           // 3..10 zeros, 3 extra bits
const int kLongZeros = 18;       // 11..138 zeros, 7 extra bits
const int kExtraBits[kLengthCodeSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                            0, 0, 0, 0, 0, 0, 2, 3, 7};

struct Op {
    uint8_t symbol;
    uint8_t extra;
};

// Runs of zeros and repeats are absolute in both codings; single lengths
// are deltas to `base` (all zero for an absolute set).
void Encode(const uint8_t* lengths, const uint8_t* base, std::vector<Op>* ops) {
    int i = 0;
    while (i < kTableSetLengths) {
        uint8_t v = lengths[i];
        int run = 1;
        if (v == 0) {
            while (i + run < kTableSetLengths && run < 138 && lengths[i + run] == 0) ++run;
            if (run >= 11) {
                ops->push_back({kLongZeros, uint8_t(run - 11)});
                i += run;
                continue;
            }
            if (run >= 3) {
                ops->push_back({kZeros, uint8_t(run - 3)});
                i += run;
                continue;
            }
        } else if (i > 0 && lengths[i - 1] == v) {
            while (i + run < kTableSetLengths && run < 6 && lengths[i + run] == v) ++run;
            if (run >= 3) {
                ops->push_back({kRepeatPrevious, uint8_t(run - 3)});
                i += run;
                continue;
            }
        }
        ops->push_back({uint8_t((v - base[i]) & 15), 0});
        ++i;
    }
}

uint32_t Cost(const std::vector<Op>& ops, uint8_t* codeLengths) {
    uint32_t freq[kLengthCodeSymbols] = {0};
    for (const Op& op : ops) freq[op.symbol]++;
    BuildCodeLengths(freq, kLengthCodeSymbols, kMaxCodeLength, codeLengths);
    uint32_t bits = 2 + 4 * kLengthCodeSymbols;
    for (int s = 0; s < kLengthCodeSymbols; ++s) bits += freq[s] * (codeLengths[s] + kExtraBits[s]);
    return bits;
}

}  // namespace

uint32_t WriteTableSet(const uint8_t* lengths, uint8_t* previous, BitWriter* out) {
    static const uint8_t kZeroBase[kTableSetLengths] = {0};
    std::vector<Op> absolute, delta;
    absolute.reserve(kTableSetLengths);
    delta.reserve(kTableSetLengths);
    Encode(lengths, kZeroBase, &absolute);
    Encode(lengths, previous, &delta);
    uint8_t absoluteCode[kLengthCodeSymbols], deltaCode[kLengthCodeSymbols];
    uint32_t absoluteBits = Cost(absolute, absoluteCode);
    uint32_t deltaBits = Cost(delta, deltaCode);
    bool keep = deltaBits < absoluteBits;
    if (!out) return keep ? deltaBits : absoluteBits;

    const std::vector<Op>& ops = keep ? delta : absolute;
    const uint8_t* codeLengths = keep ? deltaCode : absoluteCode;
    uint16_t codes[kLengthCodeSymbols];
    BuildCanonicalCodes(codeLengths, kLengthCodeSymbols, codes);
    out->Put(0, 1);  // not a multimedia set
    out->Put(keep ? 1 : 0, 1);
    for (int s = 0; s < kLengthCodeSymbols; ++s) out->Put(codeLengths[s], 4);
    for (const Op& op : ops) {
        out->Put(codes[op.symbol], codeLengths[op.symbol]);
        if (kExtraBits[op.symbol]) out->Put(op.extra, kExtraBits[op.symbol]);
    }
    memcpy(previous, lengths, kTableSetLengths);
    return keep ? deltaBits : absoluteBits;
}
