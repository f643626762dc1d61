// Table sets decoded by an independent reading of the format: flags, the
// 19-symbol code-length code, deltas under the keep flag and absolute runs.
#include <gtest/gtest.h>

#include <vector>

#include "pack/bit_writer.h"
#include "pack/huffman_builder.h"
#include "pack/table_set_writer.h"

namespace {

const int kSetSize = 374;

class BitReader {
public:
    explicit BitReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    uint32_t Get(int bits) {
        uint32_t v = 0;
        for (int i = 0; i < bits; ++i) {
            size_t byte = pos_ / 8;
            int bit = byte < bytes_.size() ? (bytes_[byte] >> (7 - pos_ % 8)) & 1 : 0;
            v = v << 1 | uint32_t(bit);
            ++pos_;
        }
        return v;
    }
    size_t Position() const { return pos_; }

private:
    const std::vector<uint8_t>& bytes_;
    size_t pos_ = 0;
};

// Decodes one symbol by walking canonical codes bit by bit.
int DecodeCanonical(BitReader* in, const uint8_t* lengths, int n) {
    uint16_t codes[32];
    BuildCanonicalCodes(lengths, n, codes);
    uint32_t code = 0;
    for (int len = 1; len <= 15; ++len) {
        code = code << 1 | in->Get(1);
        for (int s = 0; s < n; ++s)
            if (lengths[s] == len && codes[s] == code) return s;
    }
    return -1;
}

struct Decoded {
    bool keep;
    std::vector<uint8_t> lengths;
};

Decoded ReadSet(BitReader* in, std::vector<uint8_t>* previous) {
    Decoded d;
    EXPECT_EQ(in->Get(1), 0u);  // never a multimedia set
    d.keep = in->Get(1) == 1;
    if (!d.keep) previous->assign(kSetSize, 0);
    uint8_t bitLengths[19];
    for (uint8_t& l : bitLengths) l = uint8_t(in->Get(4));
    d.lengths.assign(kSetSize, 0);
    int i = 0;
    while (i < kSetSize) {
        int s = DecodeCanonical(in, bitLengths, 19);
        if (s < 0) {
            ADD_FAILURE() << "undecodable code-length symbol at " << i;
            break;
        }
        if (s < 16) {
            d.lengths[i] = uint8_t((s + (*previous)[i]) & 15);
            ++i;
            continue;
        }
        EXPECT_TRUE(s != 16 || i > 0) << "repeat with nothing before it";
        int n = s == 16 ? int(in->Get(2)) + 3 : s == 17 ? int(in->Get(3)) + 3 : int(in->Get(7)) + 11;
        for (; n > 0 && i < kSetSize; --n, ++i) d.lengths[i] = s == 16 ? d.lengths[i - 1] : 0;
    }
    *previous = d.lengths;
    return d;
}

std::vector<uint8_t> SomeLengths(uint32_t seed) {
    std::vector<uint8_t> lengths(kSetSize, 0);
    uint32_t x = seed;
    for (int i = 0; i < kSetSize; ++i) {
        x = x * 1103515245u + 12345u;
        int r = (x >> 16) % 10;
        // Runs of zeros, runs of equal lengths and scattered values.
        if (i > 0 && r < 4) lengths[i] = lengths[i - 1];
        else if (r < 6) lengths[i] = 0;
        else lengths[i] = uint8_t((x >> 8) % 15 + 1);
    }
    for (int i = 300; i < 340; ++i) lengths[i] = 0;  // a run longer than 11
    return lengths;
}

TEST(TableSetWriter, SetsDecodeToTheirLengthsAndCostWhatTheyWrite) {
    std::vector<uint8_t> writerPrevious(kSetSize, 0), readerPrevious(kSetSize, 0);
    BitWriter out;
    std::vector<std::vector<uint8_t>> sets;
    std::vector<uint32_t> costs;
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
        uint8_t previousCopy[kSetSize];
        std::copy(writerPrevious.begin(), writerPrevious.end(), previousCopy);
        uint32_t estimated = WriteTableSet(lengths.data(), previousCopy, nullptr);
        costs.push_back(WriteTableSet(lengths.data(), writerPrevious.data(), &out));
        EXPECT_EQ(costs.back(), out.BitCount() - before);
        EXPECT_EQ(estimated, costs.back());
        EXPECT_EQ(writerPrevious, lengths);
    }
    out.Finish();
    BitReader in(out.Bytes());
    for (size_t k = 0; k < sets.size(); ++k) {
        SCOPED_TRACE(k);
        Decoded d = ReadSet(&in, &readerPrevious);
        EXPECT_EQ(d.lengths, sets[k]);
        if (k % 2 == 1) {
            EXPECT_TRUE(d.keep);  // a near copy is cheaper as deltas
        }
    }
}

TEST(TableSetWriter, AllZeroAndAllEqualSets) {
    std::vector<uint8_t> previous(kSetSize, 0), readerPrevious(kSetSize, 0);
    BitWriter out;
    std::vector<uint8_t> zeros(kSetSize, 0), eights(kSetSize, 8);
    WriteTableSet(eights.data(), previous.data(), &out);
    WriteTableSet(zeros.data(), previous.data(), &out);
    WriteTableSet(eights.data(), previous.data(), &out);
    out.Finish();
    BitReader in(out.Bytes());
    EXPECT_EQ(ReadSet(&in, &readerPrevious).lengths, eights);
    EXPECT_EQ(ReadSet(&in, &readerPrevious).lengths, zeros);
    EXPECT_EQ(ReadSet(&in, &readerPrevious).lengths, eights);
    // Runs make these sets small: below one bit per length.
    EXPECT_LT(in.Position(), 3u * 374u);
}

}  // namespace
