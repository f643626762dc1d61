#include "unpack/decoder_harness.h"

#include "support/bit_writer.h"

#include <gtest/gtest.h>

using namespace testsupport;

static std::vector<uint8_t> Repeat(uint8_t b, size_t n)
{
    return std::vector<uint8_t>(n, b);
}

TEST(LzDecoder, LiteralsAndShortMatchOfDistanceOne)
{
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    w.Literal('x');
    w.ShortMatch(1); // two more 'x'
    w.Match(5, 1);   // five more
    DecoderHarness h;
    auto out = h.Decode(w.FinishEntry(), 8, false);
    EXPECT_EQ(out, Repeat('x', 8));
    EXPECT_EQ(h.StoredCrc(), Crc32(out));
}

TEST(LzDecoder, GreedyParseRoundTrip)
{
    std::vector<uint8_t> data;
    uint32_t seed = 12345;
    for (int i = 0; i < 300000; i++) {
        seed = seed * 1103515245u + 12345u;
        data.push_back(uint8_t("abcdefgh  \n"[(seed >> 16) % 11]));
    }
    auto tokens = GreedyParse(data);
    ASSERT_EQ(ExpandTokens(tokens), data);
    DecoderHarness h;
    auto out = h.Decode(EncodeTokens(tokens), uint32_t(data.size()), false);
    EXPECT_EQ(out, data);
}
