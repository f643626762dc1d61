// Length-limited codes: complete, within 15 bits, optimal, and canonical in
// the order the reader rebuilds them (checked against the test-only writer).
#include <gtest/gtest.h>

#include <vector>

#include "pack/huffman_builder.h"
#include "support/bit_writer.h"

namespace {

uint64_t Kraft(const std::vector<uint8_t>& lengths)
{ // in units of 2^-15
    uint64_t sum = 0;
    for (uint8_t l : lengths)
        if (l)
            sum += 1u << (15 - l);
    return sum;
}

uint64_t Cost(const std::vector<uint32_t>& freq, const std::vector<uint8_t>& lengths)
{
    uint64_t bits = 0;
    for (size_t i = 0; i < freq.size(); ++i)
        bits += uint64_t(freq[i]) * lengths[i];
    return bits;
}

std::vector<uint8_t> Build(const std::vector<uint32_t>& freq)
{
    std::vector<uint8_t> lengths(freq.size());
    BuildCodeLengths(freq.data(), int(freq.size()), kMaxCodeLength, lengths.data());
    return lengths;
}

std::vector<uint8_t> Reference(const std::vector<uint32_t>& freq)
{
    return testsupport::HuffmanLengths(std::vector<uint64_t>(freq.begin(), freq.end()), 15);
}

TEST(HuffmanBuilder, SkewedFrequenciesStayWithinFifteenBitsAndComplete)
{
    // Fibonacci weights would need codes of up to 39 bits without a limit.
    std::vector<uint32_t> freq(40);
    uint32_t a = 1, b = 1;
    for (uint32_t& f : freq) {
        f = a;
        uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::vector<uint8_t> lengths = Build(freq);
    for (uint8_t l : lengths) {
        EXPECT_GE(l, 1);
        EXPECT_LE(l, 15);
    }
    EXPECT_EQ(Kraft(lengths), 1u << 15);
    EXPECT_LE(Cost(freq, lengths), Cost(freq, Reference(freq)));
}

TEST(HuffmanBuilder, EqualsPlainHuffmanWhenTheLimitDoesNotBind)
{
    // The test writer's codes are plain Huffman codes: optimal when no code
    // would exceed the limit, as here.
    uint32_t x = 12345;
    for (int round = 0; round < 50; ++round) {
        std::vector<uint32_t> freq(298);
        for (uint32_t& f : freq) {
            x = x * 1103515245u + 12345u;
            // Weights within a factor of ten: plain Huffman stays far below 15 bits.
            f = (x >> 16) % 7 == 0 ? 0 : (x >> 8) % 900 + 100;
        }
        std::vector<uint8_t> lengths = Build(freq);
        std::vector<uint8_t> ref = Reference(freq);
        SCOPED_TRACE(round);
        EXPECT_EQ(Cost(freq, lengths), Cost(freq, ref));
        EXPECT_EQ(Kraft(lengths), 1u << 15);
        for (size_t i = 0; i < freq.size(); ++i)
            EXPECT_EQ(lengths[i] == 0, freq[i] == 0);
    }
}

TEST(HuffmanBuilder, LoneOrNoSymbol)
{
    std::vector<uint32_t> freq(28, 0);
    EXPECT_EQ(Build(freq), std::vector<uint8_t>(28, 0));
    freq[17] = 5;
    std::vector<uint8_t> lengths = Build(freq);
    EXPECT_EQ(lengths[17], 1);
    lengths[17] = 0;
    EXPECT_EQ(lengths, std::vector<uint8_t>(28, 0));
    freq[3] = 1;
    lengths = Build(freq);
    EXPECT_EQ(lengths[3], 1);
    EXPECT_EQ(lengths[17], 1);
}

TEST(HuffmanBuilder, CanonicalCodesMatchTheTestWriter)
{
    uint32_t x = 99;
    for (int round = 0; round < 20; ++round) {
        std::vector<uint32_t> freq(298);
        for (uint32_t& f : freq) {
            x = x * 1103515245u + 12345u;
            f = (x >> 20) & 1 ? (x >> 8) % (1u << (round % 16)) + 1 : 0;
        }
        std::vector<uint8_t> lengths = Build(freq);
        std::vector<uint16_t> ours(lengths.size());
        BuildCanonicalCodes(lengths.data(), int(lengths.size()), ours.data());
        std::vector<uint32_t> theirs = testsupport::CanonicalCodes(lengths);
        for (size_t i = 0; i < lengths.size(); ++i)
            if (lengths[i]) {
                EXPECT_EQ(ours[i], theirs[i]) << "symbol " << i;
            }
    }
}

TEST(HuffmanBuilder, FixedPointLogarithm)
{
    EXPECT_EQ(Log2Fixed(1), 0u);
    EXPECT_EQ(Log2Fixed(2), 65536u);
    EXPECT_EQ(Log2Fixed(1024), 10u * 65536u);
    EXPECT_EQ(Log2Fixed(uint64_t(1) << 40), 40u * 65536u);
    // log2(3) = 1.5849625...; log2(1000) = 9.9657842...
    EXPECT_NEAR(double(Log2Fixed(3)) / 65536, 1.5849625, 2.0 / 65536);
    EXPECT_NEAR(double(Log2Fixed(1000)) / 65536, 9.9657842, 2.0 / 65536);
    EXPECT_NEAR(double(Log2Fixed(0xFFFFFFFFull)) / 65536, 32.0, 2.0 / 65536);
    for (uint64_t x = 1; x < 5000; x += 7)
        EXPECT_LE(Log2Fixed(x), Log2Fixed(x + 1));
}

} // namespace
