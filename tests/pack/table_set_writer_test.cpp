// Table sets read back by the product's own table-set reader: flags, the
// 19-symbol code-length code, deltas under the keep flag and absolute runs.
#include <gtest/gtest.h>

#include <vector>

#include "pack/bit_writer.h"
#include "pack/table_set_writer.h"
#include "unpack/bit_input.h"
#include "unpack/decoder_harness.h"
#include "unpack/huffman.h"

namespace {

const int kSetSize = 374;

// Reads the sets in `bytes` one after another; the lengths of each and
// whether its keep flag was set. `bitsRead` gets the reader's position.
std::vector<std::pair<bool, std::vector<uint8_t>>> ReadSets(std::vector<uint8_t> bytes, size_t count,
                                                            size_t* bitsRead = nullptr)
{
    DecoderHarness h;
    DecoderState* ctx = h.ctx();
    bytes.resize(bytes.size() + 8, 0);
    PackedFile file(ctx, bytes, int32_t(bytes.size()));
    FillInput(ctx, 1);
    std::vector<std::pair<bool, std::vector<uint8_t>>> sets;
    for (size_t k = 0; k < count; ++k) {
        uint32_t flags = PeekBits(ctx);
        EXPECT_EQ(flags & 0x8000, 0u); // never a multimedia set
        ReadCodeLengths(ctx);
        sets.emplace_back((flags & 0x4000) != 0,
                          std::vector<uint8_t>(ctx->previousLengths, ctx->previousLengths + kSetSize));
    }
    if (bitsRead)
        *bitsRead = ctx->inputPos * 8 + ctx->bitPos;
    return sets;
}

std::vector<uint8_t> SomeLengths(uint32_t seed)
{
    std::vector<uint8_t> lengths(kSetSize, 0);
    uint32_t x = seed;
    for (int i = 0; i < kSetSize; ++i) {
        x = x * 1103515245u + 12345u;
        int r = (x >> 16) % 10;
        // Runs of zeros, runs of equal lengths and scattered values.
        if (i > 0 && r < 4)
            lengths[i] = lengths[i - 1];
        else if (r < 6)
            lengths[i] = 0;
        else
            lengths[i] = uint8_t((x >> 8) % 15 + 1);
    }
    for (int i = 300; i < 340; ++i)
        lengths[i] = 0; // a run longer than 11
    return lengths;
}

TEST(TableSetWriter, SetsDecodeToTheirLengthsAndCostWhatTheyWrite)
{
    std::vector<uint8_t> writerPrevious(kSetSize, 0);
    BitWriter out;
    std::vector<std::vector<uint8_t>> sets;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        std::vector<uint8_t> lengths = SomeLengths(seed);
        if (seed % 2 == 0) {
            // Almost the previous set: coded as changes.
            lengths = sets.back();
            lengths[5] = uint8_t((lengths[5] + 3) % 16);
            lengths[200] = 0;
            lengths[201] = 9;
        }
        sets.push_back(lengths);
        uint64_t before = out.BitCount();
        std::vector<uint8_t> previousCopy = writerPrevious;
        uint32_t estimated = WriteTableSet(lengths.data(), previousCopy.data(), nullptr);
        uint32_t cost = WriteTableSet(lengths.data(), writerPrevious.data(), &out);
        EXPECT_EQ(cost, out.BitCount() - before);
        EXPECT_EQ(estimated, cost);
        EXPECT_EQ(writerPrevious, lengths);
    }
    out.Finish();
    auto read = ReadSets(out.Bytes(), sets.size());
    for (size_t k = 0; k < sets.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(read[k].second, sets[k]);
        if (k % 2 == 1) {
            EXPECT_TRUE(read[k].first); // a near copy is cheaper as deltas
        }
    }
}

TEST(TableSetWriter, AllZeroAndAllEqualSets)
{
    std::vector<uint8_t> previous(kSetSize, 0);
    BitWriter out;
    std::vector<uint8_t> zeros(kSetSize, 0), eights(kSetSize, 8);
    WriteTableSet(eights.data(), previous.data(), &out);
    WriteTableSet(zeros.data(), previous.data(), &out);
    WriteTableSet(eights.data(), previous.data(), &out);
    out.Finish();
    size_t bits = 0;
    auto read = ReadSets(out.Bytes(), 3, &bits);
    EXPECT_EQ(read[0].second, eights);
    EXPECT_EQ(read[1].second, zeros);
    EXPECT_EQ(read[2].second, eights);
    // Runs make these sets small: below one bit per length.
    EXPECT_LT(bits, 3u * 374u);
}

} // namespace
