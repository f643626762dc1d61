// Code tables, symbol decoding, the bit reader and table sets.
#include "unpack/decoder_harness.h"

#include "support/bit_writer.h"
#include "unpack/bit_input.h"
#include "unpack/huffman.h"

#include <gtest/gtest.h>

#include <random>

using namespace testsupport;

namespace {

// Decodes one symbol with the record's reader from a 16-bit look-ahead
// placed at the start of the input buffer; returns the symbol and the bits
// it took.
uint32_t DecodeAt(DecoderState* ctx, const HuffmanTable* table, uint32_t lookAhead, uint32_t* bits)
{
    memset(ctx->inputBuffer, 0, 8);
    ctx->inputBuffer[0] = uint8_t(lookAhead >> 8);
    ctx->inputBuffer[1] = uint8_t(lookAhead);
    ctx->inputPos = 0;
    ctx->bitPos = 0;
    uint32_t symbol = DecodeSymbol(ctx, table);
    *bits = ctx->inputPos * 8 + ctx->bitPos;
    return symbol;
}

} // namespace

TEST(HuffmanTable, LimitsCodesAndCapOfTheDesignExample)
{
    const uint8_t lengths[4] = {1, 2, 3, 3};
    HuffmanTable t = {};
    BuildHuffmanTable(lengths, &t, 4);
    EXPECT_EQ(t.limits[1], 0x8000u);
    EXPECT_EQ(t.limits[2], 0xC000u);
    for (int l = 3; l < 16; l++)
        EXPECT_EQ(t.limits[l], 0xFFFFu) << l;

    DecoderHarness h;
    // Codes 0, 10, 110, 111. The lowest look-ahead bit is masked, so 0xFFFF
    // still lies below the cap.
    const uint32_t cases[][3] = {{0x0000, 0, 1}, {0x8000, 1, 2}, {0xC000, 2, 3}, {0xE000, 3, 3}, {0xFFFF, 3, 3}};
    for (auto& c : cases) {
        uint32_t bits;
        EXPECT_EQ(DecodeAt(h.ctx(), &t, c[0], &bits), c[1]) << c[0];
        EXPECT_EQ(bits, c[2]) << c[0];
    }
    EXPECT_EQ(h.ctx()->lastSymbol, 3u);
}

TEST(HuffmanTable, LoneAndIncompleteCodesReachSlotsLeftByAnEarlierBuild)
{
    // All 298 symbols at 9 bits fill symbols[0..297] with 0..297; a rebuild
    // with one symbol leaves slots 1..297 as they were. A look-ahead beyond
    // the only code takes 15 bits and indexes into those old slots, or
    // index 0 once past the alphabet.
    std::vector<uint8_t> lengths(298, 9);
    HuffmanTable t = {};
    BuildHuffmanTable(lengths.data(), &t, 298);
    std::fill(lengths.begin(), lengths.end(), 0);
    lengths[5] = 1;
    BuildHuffmanTable(lengths.data(), &t, 298);

    DecoderHarness h;
    uint32_t bits;
    EXPECT_EQ(DecodeAt(h.ctx(), &t, 0x1234, &bits), 5u); // a lone symbol decodes from code 0
    EXPECT_EQ(bits, 1u);
    EXPECT_EQ(DecodeAt(h.ctx(), &t, 0x8004, &bits), 3u); // index 1 + 2
    EXPECT_EQ(bits, 15u);
    EXPECT_EQ(DecodeAt(h.ctx(), &t, 0xF000, &bits), 5u); // index past 297: slot 0
    EXPECT_EQ(bits, 15u);
}

// The quick lookup must answer exactly as the rule for every look-ahead,
// whatever the lengths: proper, incomplete or over-subscribed codes.
TEST(HuffmanTable, QuickLookupAgreesWithTheRuleForEveryLookAhead)
{
    std::mt19937 rng(42);
    DecoderHarness h;
    // One table per alphabet, as in the decoder: rebuilds leave old slots.
    HuffmanTable tables[3] = {};
    for (int round = 0; round < 60; round++) {
        uint32_t n = round % 3 == 0 ? 298 : round % 3 == 1 ? 48 : 19;
        HuffmanTable& t = tables[round % 3];
        std::vector<uint8_t> lengths(n);
        if (round % 4 == 0) {
            // Random lengths: usually over-subscribed.
            for (auto& l : lengths)
                l = uint8_t(rng() % 16);
        } else {
            // Fitted to random frequencies: proper, sometimes sparse.
            std::vector<uint64_t> freq(n);
            for (auto& f : freq)
                f = rng() % 3 == 0 ? 0 : 1 + rng() % (round % 4 == 1 ? 5 : 100000);
            lengths = HuffmanLengths(freq, 15);
            if (round % 4 == 3 && lengths.size() > 3)
                lengths[rng() % n] = 0; // make it incomplete
        }
        BuildHuffmanTable(lengths.data(), &t, n);
        for (uint32_t v = 0; v < 0x10000; v++) {
            uint32_t ruleBits, bits;
            uint32_t expected = LookupSymbol(&t, v, &ruleBits);
            uint32_t got = DecodeAt(h.ctx(), &t, v, &bits);
            ASSERT_EQ(got, expected) << "round " << round << " look-ahead " << v;
            ASSERT_EQ(bits, ruleBits) << "round " << round << " look-ahead " << v;
            ASSERT_LT(got, n);
        }
    }
}

TEST(BitInput, PeekAndSkipTakeBitsMostSignificantFirst)
{
    DecoderHarness h;
    DecoderState* ctx = h.ctx();
    ctx->inputBuffer[0] = 0x80;
    ctx->inputBuffer[1] = 0x00;
    ctx->inputBuffer[2] = 0x00;
    ctx->inputPos = 0;
    ctx->bitPos = 0;
    EXPECT_EQ(PeekBits(ctx), 0x8000u);
    SkipBits(ctx, 1);
    EXPECT_EQ(PeekBits(ctx), 0x0000u);
    EXPECT_EQ(ctx->peekedBits, 0u);

    ctx->inputBuffer[10] = 0xAB;
    ctx->inputBuffer[11] = 0xCD;
    ctx->inputBuffer[12] = 0xEF;
    ctx->inputPos = 10;
    ctx->bitPos = 4;
    EXPECT_EQ(PeekBits(ctx), 0xBCDEu);
    SkipBits(ctx, 13); // 4 + 13 = 17 bits: two bytes on, one bit in
    EXPECT_EQ(ctx->inputPos, 12u);
    EXPECT_EQ(ctx->bitPos, 1u);
    EXPECT_EQ(ReadBitField(ctx, 3), 0x6u); // 0xEF = 1110 1111: bits 1..3 are 110
}

TEST(BitInput, RefillKeepsTheLast32BytesAndTheBitPosition)
{
    DecoderHarness h;
    DecoderState* ctx = h.ctx();
    auto data = SampleText(20000, 1);
    PackedFile file(ctx, data, 20000);
    FillInput(ctx, 1);
    EXPECT_EQ(ctx->inputEnd, 8192);
    EXPECT_EQ(ctx->inputPos, 0u);
    ctx->inputPos = 8163;
    ctx->bitPos = 5;
    FillInput(ctx, 0);
    EXPECT_EQ(ctx->inputPos, 3u);
    EXPECT_EQ(ctx->bitPos, 5u);
    EXPECT_EQ(ctx->inputEnd, 8192);
    EXPECT_EQ(std::vector<uint8_t>(ctx->inputBuffer, ctx->inputBuffer + 8192),
              std::vector<uint8_t>(data.begin() + 8160, data.begin() + 8160 + 8192));
    EXPECT_EQ(ctx->packedLeft, 20000 - 8192 - 8160);
    EXPECT_EQ(ctx->inputOverrun, 0);
}

TEST(BitInput, ReadsNeverPassTheEntrysPackedData)
{
    DecoderHarness h;
    DecoderState* ctx = h.ctx();
    auto data = SampleText(5000, 2);
    PackedFile file(ctx, data, 3000); // the entry owns the first 3000 bytes
    FillInput(ctx, 1);
    EXPECT_EQ(ctx->inputEnd, 3000);
    uint8_t more[16];
    EXPECT_EQ(ReadPacked(ctx, more, 16), 0);

    // Packed size 0: nothing at all.
    DecoderHarness h2;
    PackedFile empty(h2.ctx(), data, 0);
    FillInput(h2.ctx(), 1);
    EXPECT_EQ(h2.ctx()->inputEnd, 0);

    // A packed size beyond the end of the file: what is there arrives.
    DecoderHarness h3;
    PackedFile cut(h3.ctx(), data, 100000);
    FillInput(h3.ctx(), 1);
    EXPECT_EQ(h3.ctx()->inputEnd, 5000);
}

TEST(BitInput, EmptyRefillStillCountsCarriedBytesAndMarksFarOverruns)
{
    DecoderHarness h;
    DecoderState* ctx = h.ctx();
    auto data = SampleText(8192, 3);
    PackedFile file(ctx, data, 8192);
    FillInput(ctx, 1);
    ctx->inputPos = 8170;
    FillInput(ctx, 0); // nothing more to read
    EXPECT_EQ(ctx->inputPos, 10u);
    EXPECT_EQ(ctx->inputEnd, 32) << "the 32 carried bytes are still the entry's";
    EXPECT_EQ(ctx->inputOverrun, 0);

    // Decoding goes on over the stale bytes; a little past the end is
    // tolerated, far past it marks the entry.
    ctx->inputPos = 8163;
    FillInput(ctx, 0);
    EXPECT_EQ(ctx->inputOverrun, 1);
}

namespace {

// Reads one table set written by `w` with the harness's record.
void ReadSet(DecoderHarness& h, Rar20Writer& w)
{
    auto bytes = w.FinishEntry();
    bytes.resize(bytes.size() + 8, 0);
    PackedFile file(h.ctx(), bytes, int32_t(bytes.size()));
    FillInput(h.ctx(), 1);
    h.ctx()->bitPos = 0;
    ReadCodeLengths(h.ctx());
}

// Recovers the code lengths (up to 14 bits) from a built table, whose
// symbols are ordered by length.
std::vector<uint8_t> LengthsOf(const HuffmanTable& t)
{
    std::vector<uint8_t> lengths(t.symbolCount, 0);
    for (uint32_t len = 1; len < 15; len++)
        for (uint32_t i = t.firstIndex[len]; i < t.firstIndex[len + 1]; i++)
            lengths[t.symbols[i]] = uint8_t(len);
    return lengths;
}

} // namespace

TEST(TableSet, KeepFlagDecidesBetweenAbsoluteAndWrappingDeltas)
{
    DecoderHarness h;
    std::vector<uint8_t> first = FlatLzLengths();
    first[0] = 12;
    first[1] = 12;
    Rar20Writer w;
    w.TableSet(first);
    ReadSet(h, w);
    EXPECT_EQ(h.ctx()->previousLengths[0], 12);

    // keep = 1: symbol 6 on top of 12 gives (12 + 6) & 15 = 2.
    const std::vector<uint8_t> bitLengths(19, 5);
    std::vector<LengthSymbol> symbols(374, {0, 0});
    symbols[0] = {6, 0};
    Rar20Writer keep;
    keep.RawTableSet(false, true, 1, bitLengths, symbols);
    ReadSet(h, keep);
    EXPECT_EQ(h.ctx()->previousLengths[0], 2);
    EXPECT_EQ(h.ctx()->previousLengths[1], 12);
    EXPECT_EQ(h.ctx()->previousLengths[2], 9);

    // keep = 0: the same symbols are absolute lengths.
    Rar20Writer fresh;
    fresh.RawTableSet(false, false, 1, bitLengths, symbols);
    ReadSet(h, fresh);
    EXPECT_EQ(h.ctx()->previousLengths[0], 6);
    EXPECT_EQ(h.ctx()->previousLengths[1], 0);
    EXPECT_EQ(h.ctx()->previousLengths[2], 0);
}

TEST(TableSet, RunsStopAtTheEndOfTheSetAndARepeatFirstGivesZero)
{
    DecoderHarness h;
    const std::vector<uint8_t> bitLengths(19, 5);
    // 7, then 16 with field 3 (six more 7s), then 18 with field 127 (138
    // zeros), then 17 with field 7 (ten zeros), then 3 x 18/127 which runs
    // past 374 and is cut there. Then a marker field we read back.
    std::vector<LengthSymbol> symbols = {{7, 0}, {16, 3}, {18, 127}, {17, 7}, {18, 127}, {18, 127}};
    Rar20Writer w;
    w.RawTableSet(false, false, 1, bitLengths, symbols);
    w.Bits(0x5A, 8);
    ReadSet(h, w);
    const uint8_t* l = h.ctx()->previousLengths;
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(l[i], 7) << i;
    for (int i = 7; i < 374; i++)
        ASSERT_EQ(l[i], 0) << i;
    // 1 + 1 + 76 flag and length bits, then 6 symbols of 5 bits with their
    // fields (2, 7, 3, 7, 7): the reader stands right behind them.
    EXPECT_EQ(h.ctx()->inputPos * 8 + h.ctx()->bitPos, 78u + 30u + 26u);
    EXPECT_EQ(ReadBitField(h.ctx(), 8), 0x5Au);

    // A repeat with nothing before it repeats zero.
    std::vector<LengthSymbol> first = {{16, 0}, {4, 0}};
    first.resize(372, {4, 0});
    Rar20Writer w2;
    w2.RawTableSet(false, false, 1, bitLengths, first);
    ReadSet(h, w2);
    EXPECT_EQ(l[0], 0);
    EXPECT_EQ(l[2], 0);
    EXPECT_EQ(l[3], 4);
}

TEST(TableSet, MultimediaSetBuildsChannelTablesAndLeavesTheLzTables)
{
    DecoderHarness h;
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    ReadSet(h, w);
    HuffmanTable mainBefore = h.ctx()->mainTable;
    h.ctx()->currentChannel = 3;

    std::vector<uint8_t> lengths(2 * 257, 0);
    for (int i = 0; i < 257; i++)
        lengths[size_t(i)] = 9;
    lengths[257 + 65] = 1;
    lengths[257 + 66] = 1;
    Rar20Writer mm;
    mm.MultimediaSet(2, lengths);
    ReadSet(h, mm);
    EXPECT_EQ(h.ctx()->multimediaBlock, 0x8000u);
    EXPECT_EQ(h.ctx()->channelCount, 2u);
    EXPECT_EQ(h.ctx()->currentChannel, 0u);
    EXPECT_EQ(0, memcmp(&mainBefore, &h.ctx()->mainTable, sizeof mainBefore));
    EXPECT_EQ(h.ctx()->multimediaTables[1].symbolCount, 257u);
    EXPECT_EQ(LengthsOf(h.ctx()->multimediaTables[1])[65], 1);
    EXPECT_EQ(h.ctx()->previousLengths[257 + 66], 1);
    EXPECT_EQ(h.ctx()->previousLengths[514], 0);
}
