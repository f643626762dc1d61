// The decoder on what the packer never writes: incomplete and over-subscribed
// codes, odd table sets, odd starts and ends of entries, table sets behind
// the last symbol, multimedia sets, streams that would run for ever. The
// packer's output is read back in tests/pack (which also covers the length
// bonuses; their thresholds are held to the format's at compile time);
// fuzz/decode_differential_fuzz.cpp holds the fast loop to the plain one.
#include "unpack/decoder_harness.h"

#include "pack/huffman_builder.h"
#include "support/bit_writer.h"
#include "unpack/bit_input.h"
#include "unpack/huffman.h"

#include <gtest/gtest.h>

#include <random>

using namespace testsupport;
using Bytes = std::vector<uint8_t>;

namespace {

// Reads one raw LZ table set and a marker byte behind it; returns the lengths.
const uint8_t* ReadSet(DecoderHarness& h, const std::vector<LengthSymbol>& symbols, uint32_t marker)
{
    Rar20Writer w;
    w.RawTableSet(false, false, 1, Bytes(kBitLengthSymbols, 5), symbols);
    w.Bits(marker, 8);
    PackedFile file(h.ctx(), w.FinishEntry(), 1000);
    FillInput(h.ctx(), 1);
    h.ctx()->bitPos = 0;
    ReadCodeLengths(h.ctx());
    EXPECT_EQ(ReadBitField(h.ctx(), 8), marker) << "the reader stands right behind the set";
    return h.ctx()->previousLengths;
}

} // namespace

// The quick lookup must answer exactly as the rule for every look-ahead,
// whatever the lengths: proper, incomplete or over-subscribed codes.
TEST(HuffmanTable, QuickLookupAgreesWithTheRuleForEveryLookAhead)
{
    std::mt19937 rng(42);
    HuffmanTable tables[3] = {}; // one per alphabet: rebuilds leave old slots
    for (int round = 0; round < 48; round++) {
        uint32_t n = round % 3 == 0 ? kMainSymbols : round % 3 == 1 ? kDistanceSymbols : kBitLengthSymbols;
        Bytes lengths(n);
        std::vector<uint32_t> freq(n);
        for (uint32_t i = 0; i < n; i++) {
            lengths[i] = uint8_t(rng() % 16); // usually over-subscribed
            freq[i] = rng() % 3 == 0 ? 0 : 1 + rng() % (round % 4 == 1 ? 5 : 100000);
        }
        if (round % 4 != 0)
            BuildCodeLengths(freq.data(), int(n), kMaxCodeLength, lengths.data());
        if (round % 4 == 3)
            lengths[rng() % n] = 0; // incomplete
        HuffmanTable& t = tables[round % 3];
        BuildHuffmanTable(lengths.data(), &t, n);
        for (uint32_t v = 0; v < 0x10000; v++) {
            uint32_t ruleBits, bits;
            uint32_t expected = LookupSymbol(&t, v, &ruleBits);
            ASSERT_EQ(SymbolFor(&t, v, &bits), expected) << "round " << round << " look-ahead " << v;
            ASSERT_EQ(bits, ruleBits) << "round " << round << " look-ahead " << v;
            ASSERT_LT(expected, n);
        }
    }
}

TEST(TableSet, RunsStopAtTheEndOfTheSet)
{
    DecoderHarness h;
    // 7, six more by 16, 138 + 10 zeros by 18 and 17, then three runs of 138
    // zeros that pass 374 and are cut there.
    const uint8_t* l = ReadSet(h, {{7, 0}, {16, 3}, {18, 127}, {17, 7}, {18, 127}, {18, 127}}, 0x5A);
    EXPECT_EQ(Bytes(l, l + 8), Bytes({7, 7, 7, 7, 7, 7, 7, 0}));
    EXPECT_EQ(Bytes(l + 7, l + kMaxSetSize), Bytes(kMaxSetSize - 7, 0));
    // So does a repeat of the length before.
    std::vector<LengthSymbol> last(kLzSetSize - 1, {4, 0});
    last.push_back({16, 3});
    l = ReadSet(h, last, 0x3C);
    EXPECT_EQ(Bytes(l + kLzSetSize - 2, l + kLzSetSize + 6), Bytes({4, 4, 0, 0, 0, 0, 0, 0}));
    // A repeat with nothing before it repeats a zero length.
    std::vector<LengthSymbol> first(kLzSetSize - 2, {4, 0});
    first[0] = {16, 0};
    l = ReadSet(h, first, 0xA5);
    EXPECT_EQ(Bytes(l, l + 4), Bytes({0, 0, 0, 4}));
}

TEST(LzDecoder, MatchCopiesAgreeWithAByteByByteCopyAtTheBuffersEnd)
{
    // Literals up to just before the end of the decoder's buffer of two
    // windows, then matches of every kind of overlap (short distances that
    // repeat, distances from 16 on, distances of almost a whole window that
    // read across the end) and lengths around the copy's 16-byte pieces,
    // across the end and beyond: the output must be that of the format's
    // byte by byte copy in a window of its own size.
    std::mt19937 rng(7);
    Bytes window(kWindowSize, 0), expected;
    uint32_t pos = 0;
    auto put = [&](uint8_t b) {
        window[pos] = b;
        expected.push_back(b);
        pos = (pos + 1) & kWindowMask;
    };
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    Bytes literals(kRingSize - 700);
    for (auto& b : literals)
        b = uint8_t(rng() % 7);
    w.Literals(literals);
    for (uint8_t b : literals)
        put(b);
    const uint32_t n = kWindowSize, distances[] = {1,  2,  3,   7,    8,      9,      15,     16,     17,    31,
                                                   32, 33, 100, 5000, n - 40, n - 17, n - 16, n - 15, n - 1, n};
    for (int round = 0; round < 6; round++)
        for (uint32_t distance : distances) {
            uint32_t bonus = MatchLengthBonus(distance);
            uint32_t length = 3 + bonus + rng() % (round == 5 ? 256 : 40);
            w.Match(length, distance);
            for (uint32_t k = 0; k < length; k++)
                put(window[(pos - distance) & kWindowMask]);
        }
    DecoderHarness h;
    EXPECT_EQ(h.Decode(w.FinishEntry(), uint32_t(expected.size()), false), expected);

    // A far match that ends right at the buffer's end: its pieces must not
    // write past it (the sanitizers see the harness's buffer end there).
    Rar20Writer edge;
    edge.TableSet(FlatLzLengths());
    Bytes bytes(kRingSize - 24);
    for (auto& b : bytes)
        b = uint8_t(rng());
    edge.Literals(bytes);
    edge.Match(24, 5000);
    Bytes copy(bytes.end() - 5000, bytes.end() - 5000 + 24);
    bytes.insert(bytes.end(), copy.begin(), copy.end());
    EXPECT_EQ(DecoderHarness().Decode(edge.FinishEntry(), kRingSize, false), bytes);
}

TEST(LzDecoder, EntryStartsAndEnds)
{
    // A repeat before any match is empty; a match past the size is
    // delivered whole.
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    w.MainSymbol(kSymbolRepeatLast);
    w.Literal('z');
    w.Match(100, 1);
    for (int i = 0; i < 3; i++) // every recent distance taken
        w.Match(3, 300);
    Bytes expected(101, 'z');
    expected.resize(110, 0);
    DecoderHarness h;
    Bytes first = w.FinishEntry();
    EXPECT_EQ(h.Decode(first, 108, false), expected);
    for (uint32_t size : {0x80000000u, 0xFFFFFFFFu}) // 2 GiB or more: nothing at all
        EXPECT_TRUE(h.Decode(first, size, false).empty()) << size;

    // A non-solid entry starts over: no last match, no recent distances (a
    // distance of 300 would lengthen the recent match; the second most recent,
    // as the empty repeat takes the first), a zeroed window.
    Rar20Writer again;
    again.TableSet(FlatLzLengths());
    again.MainSymbol(kSymbolRepeatLast);
    again.MainSymbol(kSymbolRecent + 1);
    again.RepeatLengthSymbol(0);
    again.Match(200, kWindowSize);
    EXPECT_EQ(h.Decode(again.FinishEntry(), 202, false), Bytes(202, 0));

    // A recent distance of 0 (never set) reaches a whole window back: zeros
    // here, not the bytes the copy before wrote past its end.
    Rar20Writer zero;
    zero.TableSet(FlatLzLengths());
    zero.Literals(Bytes(40, 'x'));
    zero.Match(30, 20);
    zero.MainSymbol(kSymbolRecent + 1);
    zero.RepeatLengthSymbol(0);
    Bytes xs(70, 'x');
    xs.resize(72, 0);
    EXPECT_EQ(h.Decode(zero.FinishEntry(), 72, false), xs);

    // The encoder's last byte is missing: decoding goes on over what the
    // buffer still holds, in a fresh record zero bits like the padding.
    Bytes ab(kLzSetSize, 0);
    ab['a'] = ab['b'] = 1;
    Rar20Writer cut;
    cut.TableSet(ab);
    cut.Literals(BytesOf("baaaaaaaaa"));
    Bytes packed = cut.FinishEntry();
    ASSERT_EQ(packed.back(), 0);
    packed.pop_back();
    DecoderHarness fresh;
    EXPECT_EQ(fresh.Decode(packed, 10, false), BytesOf("baaaaaaaaa"));
    EXPECT_EQ(fresh.ctx()->inputOverrun, 0);

    // A first entry marked solid has no set to go on with: it reads its own,
    // and zeros end with the data, whatever size they claim.
    DecoderHarness solidFirst, zeros;
    EXPECT_EQ(solidFirst.Decode(packed, 10, true), BytesOf("baaaaaaaaa"));
    EXPECT_LT(zeros.Decode(Bytes(64, 0), 1u << 24, true).size(), 100000u);
    EXPECT_EQ(zeros.ctx()->inputOverrun, 1);
}

TEST(LzDecoder, TableSetsWithoutSymbolsServeTheNextSolidEntry)
{
    Bytes km(kLzSetSize, 0);
    km['k'] = km['m'] = 2;
    km[kSymbolNewTables] = 1;
    DecoderHarness h;
    // An empty non-solid entry still reads its set.
    Rar20Writer empty;
    empty.TableSet(km);
    EXPECT_TRUE(h.Decode(empty.FinishEntry(), 0, false).empty());
    empty.Literals(BytesOf("kmmk"));
    EXPECT_EQ(h.Decode(empty.FinishEntry(), 4, true), BytesOf("kmmk"));

    // 269 and a set behind an entry's last symbol: as the stream ends, and
    // among the 32 bytes a last refill (finding nothing more) carried over.
    for (size_t before : {size_t(0), size_t(8163)}) {
        Rar20Writer w;
        w.TableSet(FlatLzLengths());
        Bytes literals;
        do {
            literals.push_back(uint8_t('a' + literals.size() % 26));
            w.Literal(literals.back());
        } while (w.BitsWritten() < before * 8 + 9);
        w.NewTables(km);
        Bytes first = w.FinishEntry();
        ASSERT_LE(first.size(), 8192u);
        first.resize(before ? 8192 : first.size(), 0); // the first fill takes it all
        w.Literals(BytesOf("kmmk"));
        EXPECT_EQ(h.Decode(first, uint32_t(literals.size()), false), literals) << before;
        EXPECT_EQ(h.ctx()->inputEnd, before ? 32 : int32_t(first.size())) << before;
        EXPECT_EQ(h.Decode(w.FinishEntry(), 4, true), BytesOf("kmmk")) << before;
    }
}

TEST(LzDecoder, SymbolsThatProduceNothingCannotKeepTheLoopRunning)
{
    // 269 again and again, each set making 269 the only code again. Set and
    // symbol take 17 bytes, which divide the 8160 bytes a refill brings:
    // once the data runs out, the stale bytes go on with the same pattern.
    // (Empty matches again and again are the archive pass's endless stream.)
    const Bytes bitLengths = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2};
    const std::vector<LengthSymbol> set = {{18, 127}, {18, 120}, {1, 0},  {18, 35}, {18, 35},
                                           {17, 0},   {17, 0},   {17, 0}, {17, 0}};
    Rar20Writer w;
    for (int i = 0; i <= 1000; i++) {
        w.RawTableSet(false, false, 1, bitLengths, set);
        w.Bits(0, 1); // 269, the only code
    }
    Bytes loop = w.FinishEntry();
    ASSERT_EQ(loop.size(), 17u * 1001);
    DecoderHarness h;
    EXPECT_TRUE(h.Decode(loop, 1000, false).empty());
    EXPECT_EQ(h.ctx()->inputOverrun, 1);
}

TEST(LzDecoder, MultimediaSetsGiveBytesFromTheChannelsInTurn)
{
    // Our own choice for a corner our payloads never use: each channel's
    // symbol is a byte, the channels in turn, and 256 brings the next set.
    auto channels = [](const std::string& letters) {
        Bytes l(letters.size() * kMultimediaSymbols, 0);
        for (size_t c = 0; c < letters.size(); c++)
            l[c * kMultimediaSymbols + uint8_t(letters[c])] = l[c * kMultimediaSymbols + 256] = 1;
        return l;
    };
    Rar20Writer w;
    w.MultimediaSet(3, channels("ABC"));
    w.ChannelSymbol(0, 'A');
    w.ChannelSymbol(1, 'B');
    w.ChannelSymbol(2, 256); // channel 2 is past the next set's two
    w.MultimediaSet(2, channels("DE"));
    w.ChannelSymbol(0, 'D');
    w.ChannelSymbol(1, 'E');
    w.ChannelSymbol(0, 256); // back to LZ
    w.TableSet(FlatLzLengths());
    w.Literals(BytesOf("lz"));
    DecoderHarness h;
    EXPECT_EQ(h.Decode(w.FinishEntry(), 6, false), BytesOf("ABDElz"));
}
