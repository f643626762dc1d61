// The LZ loop: every symbol kind, length bonuses at their boundaries, the
// window, solid carry-over, trailing table sets, and damaged streams.
#include "unpack/decoder_harness.h"

#include "support/bit_writer.h"
#include "unpack/bit_input.h"
#include "unpack/huffman.h"

#include <gtest/gtest.h>

#include <random>

using namespace testsupport;

namespace {

std::vector<uint8_t> Repeat(uint8_t b, size_t n)
{
    return std::vector<uint8_t>(n, b);
}

// Appends `length` bytes copied from `distance` back, as a match does.
void CopyBack(std::vector<uint8_t>& out, uint32_t length, uint32_t distance)
{
    for (uint32_t k = 0; k < length; k++)
        out.push_back(out[out.size() - distance]);
}

} // namespace

TEST(LzDecoder, LiteralThenShortMatchAndMatchOfDistanceOne)
{
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    w.Literal('x');
    w.ShortMatch(1);
    w.Match(5, 1);
    DecoderHarness h;
    auto out = h.Decode(w.FinishEntry(), 8, false);
    EXPECT_EQ(out, Repeat('x', 8));
}

TEST(LzDecoder, ShortDistanceCodesCoverOneTo256)
{
    // One short match per distance 1..256, each after enough literals.
    std::vector<uint8_t> expected;
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    for (uint32_t i = 0; i < 300; i++) {
        w.Literal(uint8_t(i * 13));
        expected.push_back(uint8_t(i * 13));
    }
    for (uint32_t d = 1; d <= 256; d++) {
        w.ShortMatch(d);
        CopyBack(expected, 2, d);
    }
    DecoderHarness h;
    EXPECT_EQ(h.Decode(w.FinishEntry(), uint32_t(expected.size()), false), expected);
}

// Raw symbols, so that the writer's own bonus rules play no part: the output
// size tells the length the decoder used.
TEST(LzDecoder, LengthBonusOfNewMatchesAtDistance8192And262144)
{
    struct Case {
        uint32_t distance;
        size_t expected;
        uint32_t code, base; // the distance code and its base
        int bits;
    } cases[] = {{8191, 3, 25, 6144, 11},
                 {8192, 4, 25, 6144, 11},
                 {262143, 4, 35, 196608, 16},
                 {262144, 5, 35, 196608, 16},
                 {1048576, 5, 47, 983040, 16}};
    for (auto c : cases) {
        Rar20Writer w;
        w.TableSet(FlatLzLengths());
        w.MainSymbol(270); // length code 0: base 0 + 3
        w.DistanceSymbol(c.code);
        w.Bits(c.distance - 1 - c.base, c.bits);
        DecoderHarness h;
        auto out = h.Decode(w.FinishEntry(), 1, false);
        EXPECT_EQ(out.size(), c.expected) << "distance " << c.distance;
        EXPECT_EQ(h.ctx()->prevMatchDistance, c.distance);
    }
}

TEST(LzDecoder, LengthBonusOfRecentDistanceMatches)
{
    struct Case {
        uint32_t distance;
        size_t bonus;
    } cases[] = {{256, 0}, {257, 1}, {8191, 1}, {8192, 2}, {262143, 2}, {262144, 3}};
    for (auto c : cases) {
        Rar20Writer w;
        w.TableSet(FlatLzLengths());
        size_t before = c.distance >= 0x40000 ? 5 : c.distance >= 0x2000 ? 4 : 3;
        w.Match(uint32_t(before), c.distance);
        w.MainSymbol(257);       // the most recent distance
        w.RepeatLengthSymbol(0); // length base 0 + 2
        DecoderHarness h;
        auto out = h.Decode(w.FinishEntry(), uint32_t(before + 1), false);
        EXPECT_EQ(out.size(), before + 2 + c.bonus) << "distance " << c.distance;
    }
}

TEST(LzDecoder, RecentDistancesFormARingThatEveryMatchJoins)
{
    std::vector<uint8_t> text = SampleText(4000, 3);
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    w.Literals(text);
    std::vector<uint8_t> expected = text;
    auto copy = [&](uint32_t length, uint32_t distance) { CopyBack(expected, length, distance); };
    w.Match(10, 1000); // ring: 1000
    copy(10, 1000);
    w.Match(10, 2000); // 2000 1000
    copy(10, 2000);
    w.Match(10, 3000); // 3000 2000 1000
    copy(10, 3000);
    // Ring by index: 1000 2000 3000 -, three matches so far.
    // 258: the second most recent (2000), which then becomes the most recent.
    w.MainSymbol(258);
    w.RepeatLengthSymbol(4); // 2 + 4 + 1 (distance above 256)
    copy(7, 2000);           // ring 1000 2000 3000 2000
    w.MainSymbol(257);       // the most recent: 2000
    w.RepeatLengthSymbol(0);
    copy(3, 2000);     // ring 2000 2000 3000 2000
    w.MainSymbol(259); // the third most recent: 3000
    w.RepeatLengthSymbol(0);
    copy(3, 3000);     // ring 2000 3000 3000 2000
    w.MainSymbol(260); // the fourth most recent: 3000
    w.RepeatLengthSymbol(1);
    copy(4, 3000);
    w.MainSymbol(256); // the last match again: 4 at 3000
    copy(4, 3000);
    w.Match(20, 77);
    copy(20, 77);
    w.MainSymbol(256);
    copy(20, 77);
    DecoderHarness h;
    EXPECT_EQ(h.Decode(w.FinishEntry(), uint32_t(expected.size()), false), expected);
}

TEST(LzDecoder, RepeatAtTheStartIsEmptyAndMatchPastTheSizeIsDeliveredWhole)
{
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    w.MainSymbol(256); // length 0, distance 0
    w.Literal('z');
    w.Match(100, 1);
    DecoderHarness h;
    EXPECT_EQ(h.Decode(w.FinishEntry(), 10, false), Repeat('z', 101));
}

TEST(LzDecoder, SolidEntriesReachBackIntoEarlierEntries)
{
    auto a = SampleText(50000, 1);
    auto b = SampleText(30000, 2);
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    w.Literals(a);
    auto packedA = w.FinishEntry();
    // b starts with a copy of a's first 200 bytes: 50000 back.
    w.Match(200, 50000);
    w.Literals(std::vector<uint8_t>(b.begin() + 200, b.end()));
    auto packedB = w.FinishEntry();
    std::copy(a.begin(), a.begin() + 200, b.begin());

    DecoderHarness h;
    EXPECT_EQ(h.Decode(packedA, uint32_t(a.size()), false), a);
    EXPECT_EQ(h.Decode(packedB, uint32_t(b.size()), true), b);
    // A non-solid entry starts over: a zeroed window and no history.
    Rar20Writer fresh;
    fresh.TableSet(FlatLzLengths());
    fresh.Match(200, 50000);
    EXPECT_EQ(h.Decode(fresh.FinishEntry(), 200, false), Repeat(0, 200));
}

TEST(LzDecoder, TableSetsOfEmptyEntriesAndAfterTheLastSymbolServeTheNextSolidEntry)
{
    // An empty non-solid entry still reads its set.
    std::vector<uint8_t> lengths(374, 0);
    lengths['q'] = 1;
    lengths['r'] = 1;
    Rar20Writer w;
    w.TableSet(lengths);
    auto empty = w.FinishEntry();
    w.Literals(BytesOf("qrrq"));
    auto next = w.FinishEntry();
    ASSERT_EQ(next.size(), 1u); // four one-bit codes
    DecoderHarness h;
    EXPECT_TRUE(h.Decode(empty, 0, false).empty());
    EXPECT_EQ(h.Decode(next, 4, true), BytesOf("qrrq"));

    // 269 as an entry's last symbol, then the set for the next entry.
    std::vector<uint8_t> second(374, 0);
    second['k'] = 2;
    second['m'] = 2;
    second[269] = 1;
    Rar20Writer w2;
    w2.TableSet(FlatLzLengths());
    w2.Literals(BytesOf("first"));
    w2.NewTables(second);
    auto packedA = w2.FinishEntry();
    w2.Literals(BytesOf("kmmk"));
    EXPECT_EQ(h.Decode(packedA, 5, false), BytesOf("first"));
    EXPECT_EQ(h.Decode(w2.FinishEntry(), 4, true), BytesOf("kmmk"));
}

TEST(LzDecoder, TrailingTableSetAmongTheBytesARefillCarriedOver)
{
    // 8192 packed bytes: the first fill takes them all. The last literal
    // starts behind byte 8162, so a refill (which finds nothing more) moves
    // the last 32 bytes to the front first; the table set after the last
    // symbol lies among them and must still be seen.
    std::vector<uint8_t> second(374, 0);
    second['k'] = 2;
    second['m'] = 2;
    second[269] = 1;
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    std::vector<uint8_t> literals;
    while (w.BitsWritten() < 8163 * 8) {
        literals.push_back(uint8_t('a' + literals.size() % 26));
        w.Literal(literals.back());
    }
    literals.push_back('!');
    w.Literal('!');
    w.NewTables(second);
    ASSERT_LE(w.BitsWritten(), 8192u * 8);
    auto packedA = w.FinishEntry();
    packedA.resize(8192, 0);
    w.Literals(BytesOf("kmmk"));
    auto packedB = w.FinishEntry();

    DecoderHarness h;
    EXPECT_EQ(h.Decode(packedA, uint32_t(literals.size()), false), literals);
    EXPECT_EQ(h.ctx()->inputEnd, 32);
    EXPECT_EQ(h.Decode(packedB, 4, true), BytesOf("kmmk"));
}

TEST(LzDecoder, WindowWrapsInTheMiddleOfAMatch)
{
    // 0xFFFF0 bytes, then a match of 40 that crosses the end of the window,
    // then more output that reads across the wrap.
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    std::vector<uint8_t> expected = SampleText(1000, 9);
    w.Literals(expected);
    while (expected.size() + 258 <= 0xFFFF0) {
        w.Match(258, 997);
        CopyBack(expected, 258, 997);
    }
    while (expected.size() < 0xFFFF0) {
        w.Literal(uint8_t(expected.size()));
        expected.push_back(uint8_t(expected.size()));
    }
    w.Match(40, 5);
    CopyBack(expected, 40, 5);
    w.Match(100, 70);
    CopyBack(expected, 100, 70);
    w.Match(258, 1048576); // a whole window back: the same bytes again
    CopyBack(expected, 258, 1048576);

    DecoderHarness h;
    EXPECT_EQ(h.Decode(w.FinishEntry(), uint32_t(expected.size()), false), expected);
    EXPECT_EQ(h.ctx()->flushedPos, h.ctx()->windowPos);
    EXPECT_EQ(h.ctx()->windowPos, uint32_t(expected.size()) & 0xFFFFF);
}

TEST(LzDecoder, LongStreamsRoundTripAcrossRefillsAndDeliveries)
{
    // Several megabytes through the greedy parser: every refill, every
    // delivery point and window wraps, solid across three entries.
    DecoderHarness h;
    std::vector<uint8_t> all;
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    for (int entry = 0; entry < 3; entry++) {
        auto data = SampleText(1500000 + size_t(entry) * 77777, uint32_t(entry + 20));
        size_t start = all.size();
        all.insert(all.end(), data.begin(), data.end());
        EmitTokens(w, GreedyParse(all, 0x100000, true, start));
        auto out = h.Decode(w.FinishEntry(), uint32_t(data.size()), entry > 0);
        ASSERT_EQ(out.size(), data.size());
        EXPECT_TRUE(out == data) << "entry " << entry;
    }
    // Fitted tables, one non-solid entry.
    auto data = SampleText(3000000, 99);
    EXPECT_TRUE(h.Decode(EncodeTokens(GreedyParse(data)), uint32_t(data.size()), false) == data);
}

TEST(LzDecoder, StreamWithoutItsLastByteStillDecodesFromStaleBytes)
{
    // The encoder's last partial byte is missing: the decoder reads on into
    // what the buffer still holds, which here are zero bits as the writer
    // padded them. Such an entry must still decode.
    std::vector<uint8_t> lengths(374, 0);
    lengths['a'] = 1;
    lengths['b'] = 1;
    Rar20Writer w;
    w.TableSet(lengths);
    w.Literals(BytesOf("ba"));
    w.Literals(Repeat('a', 8));
    auto packed = w.FinishEntry();
    ASSERT_EQ(packed.back(), 0); // the last byte holds 'a' codes only
    packed.pop_back();
    DecoderHarness h;
    EXPECT_EQ(h.Decode(packed, 10, false), BytesOf("baaaaaaaaa"));
    EXPECT_EQ(h.ctx()->inputOverrun, 0);
}

TEST(LzDecoder, SymbolsThatProduceNothingCannotKeepTheLoopRunning)
{
    // A main table whose only code is 256 (repeat the last match, length 0
    // here) over zero bits: every step decodes 256 and produces nothing.
    std::vector<uint8_t> lengths(374, 0);
    lengths[256] = 1;
    Rar20Writer w;
    w.TableSet(lengths);
    auto packed = w.FinishEntry();
    packed.resize(packed.size() + 100, 0);
    DecoderHarness h;
    EXPECT_TRUE(h.Decode(packed, 1000, false).empty());
    EXPECT_EQ(h.ctx()->inputOverrun, 1);

    // 269 again and again: each set makes 269 the only code again. Set and
    // symbol take 136 bits, 17 bytes, which divides the 8160 bytes a refill
    // brings: when the data runs out, the bytes the buffer still holds go on
    // with the same pattern, for ever unless the decoder stops itself.
    const std::vector<uint8_t> bitLengths = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2};
    const std::vector<LengthSymbol> set = {{18, 127}, {18, 120}, {1, 0},  {18, 35}, {18, 35},
                                           {17, 0},   {17, 0},   {17, 0}, {17, 0}};
    Rar20Writer w2;
    w2.RawTableSet(false, false, 1, bitLengths, set);
    ASSERT_EQ(w2.MainLengths()[269], 1);
    ASSERT_EQ(w2.BitsWritten(), 135u);
    for (int i = 0; i < 1000; i++) {
        w2.MainSymbol(269);
        w2.RawTableSet(false, false, 1, bitLengths, set);
    }
    w2.MainSymbol(269);
    auto loop = w2.FinishEntry();
    ASSERT_EQ(loop.size(), 17u * 1001);
    DecoderHarness h2;
    EXPECT_TRUE(h2.Decode(loop, 1000, false).empty());
    EXPECT_EQ(h2.ctx()->inputOverrun, 1);
}

TEST(LzDecoder, MultimediaSetsDecodeChannelSymbolsAsBytesInTurn)
{
    // Our own choice for a format corner the payloads never use: bytes from
    // the channels' tables in turn, 256 for the next set.
    std::vector<uint8_t> mm(2 * 257, 0);
    mm['A'] = 1;
    mm[256] = 1;
    mm[257 + 'B'] = 1;
    mm[257 + 256] = 1;
    Rar20Writer w;
    w.MultimediaSet(2, mm);
    w.ChannelSymbol(0, 'A');
    w.ChannelSymbol(1, 'B');
    w.ChannelSymbol(0, 'A');
    w.ChannelSymbol(1, 256); // next set: back to LZ
    w.TableSet(FlatLzLengths());
    w.Literals(BytesOf("lz"));
    DecoderHarness h;
    EXPECT_EQ(h.Decode(w.FinishEntry(), 5, false), BytesOf("ABAlz"));
}
