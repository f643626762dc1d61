#include "pack/table_set_writer.h"

#include <algorithm>
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
// are deltas to `base` (all zero for an absolute set). The ops are the
// cheapest sequence under `price` (bits per op symbol, extra bits
// included), found by a shortest path over the positions.
void Encode(const uint8_t* lengths, const uint8_t* base, const uint32_t* price, std::vector<Op>* ops)
{
    uint32_t cost[kLzSetSize + 1];
    Op choice[kLzSetSize + 1];
    uint16_t span[kLzSetSize + 1];
    cost[kLzSetSize] = 0;
    int same = 0;
    for (int i = kLzSetSize - 1; i >= 0; --i) {
        uint8_t v = lengths[i];
        uint8_t single = uint8_t((v - base[i]) & 15);
        cost[i] = price[single] + cost[i + 1];
        choice[i] = {single, 0};
        span[i] = 1;
        auto consider = [&](uint8_t symbol, int run, int extra) {
            uint32_t c = price[symbol] + cost[i + run];
            if (c < cost[i]) {
                cost[i] = c;
                choice[i] = {symbol, uint8_t(extra)};
                span[i] = uint16_t(run);
            }
        };
        // Lengths equal to v from i on, at most the longest run.
        same = i + 1 < kLzSetSize && lengths[i + 1] == v ? std::min(same + 1, 138) : 1;
        if (v == 0) {
            // A run stopped short of the zeros' end leaves ops to cover the
            // rest: the whole run is cheaper, unless the zeros outlast it.
            bool more = i + same < kLzSetSize && lengths[i + same] == 0;
            for (int run = same <= 10 ? std::max(same, 3) : 3; run <= std::min(same, 10); ++run)
                consider(kLengthZeros, run, run - 3);
            for (int run = more ? 11 : same; run <= same; ++run)
                if (run >= 11)
                    consider(kLengthLongZeros, run, run - 11);
        }
        if (i > 0 && lengths[i - 1] == v)
            for (int run = 3; run <= std::min(same, 6); ++run)
                consider(kLengthRepeatPrevious, run, run - 3);
    }
    for (int i = 0; i < kLzSetSize; i += span[i])
        ops->push_back(choice[i]);
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

// The ops and their code: up to `rounds` rounds of coding with the code the
// ops of the round before get, starting from flat prices; the cheapest round
// wins.
uint32_t EncodeBest(const uint8_t* lengths, const uint8_t* base, std::vector<Op>* ops, uint8_t* codeLengths,
                    int rounds = 3)
{
    uint32_t price[kLengthCodeSymbols];
    for (int s = 0; s < kLengthCodeSymbols; ++s)
        price[s] = 4 + kExtraBits[s];
    uint32_t best = 0xFFFFFFFFu;
    std::vector<Op> trial;
    uint8_t trialCode[kLengthCodeSymbols];
    for (int round = 0; round < rounds; ++round) {
        trial.clear();
        Encode(lengths, base, price, &trial);
        uint32_t bits = Cost(trial, trialCode);
        if (bits < best) {
            best = bits;
            ops->swap(trial);
            memcpy(codeLengths, trialCode, kLengthCodeSymbols);
        }
        // Symbols without a code stay possible at about what a rare one costs.
        // Unchanged prices would only repeat the round.
        bool same = round > 0;
        for (int s = 0; s < kLengthCodeSymbols; ++s) {
            uint32_t p = (trialCode[s] ? trialCode[s] : 8) + kExtraBits[s];
            same &= price[s] == p;
            price[s] = p;
        }
        if (same)
            break;
    }
    return best;
}

const uint8_t kZeroBase[kLzSetSize] = {0};

} // namespace

uint32_t TableSetBits(const uint8_t* lengths, const uint8_t* previous)
{
    std::vector<Op> ops;
    ops.reserve(kLzSetSize);
    uint8_t code[kLengthCodeSymbols];
    uint32_t delta = EncodeBest(lengths, previous, &ops, code, 1);
    ops.clear();
    return std::min(delta, EncodeBest(lengths, kZeroBase, &ops, code, 1));
}

uint32_t WriteTableSet(const uint8_t* lengths, uint8_t* previous, BitWriter* out)
{
    std::vector<Op> absolute, delta;
    absolute.reserve(kLzSetSize);
    delta.reserve(kLzSetSize);
    uint8_t absoluteCode[kLengthCodeSymbols], deltaCode[kLengthCodeSymbols];
    uint32_t absoluteBits = EncodeBest(lengths, kZeroBase, &absolute, absoluteCode);
    uint32_t deltaBits = EncodeBest(lengths, previous, &delta, deltaCode);
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
