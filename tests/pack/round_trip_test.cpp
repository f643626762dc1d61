// Archives of every level read back byte for byte through the product's
// reader: the writer must respect each rule the reader decodes by.
#include <gtest/gtest.h>

#include <cstring>

#include "read_back.h"

namespace {

class RoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(RoundTrip, MixedSmallEntries)
{
    std::vector<PackInput> in;
    in.push_back(MakeEntry("FILE_ID.DIZ", TextBytes(300, 1)));
    in.push_back(MakeEntry("empty.txt", {}));
    in.push_back(MakeEntry("one.bin", {42}));
    in.push_back(MakeEntry("two.bin", {7, 7}));
    in.push_back(MakeEntry("text\\readme.txt", TextBytes(20000, 2)));
    in.push_back(MakeEntry("random.bin", RandomBytes(5000, 3)));
    in.push_back(MakeEntry("again.txt", TextBytes(20000, 2))); // a copy: far matches
    in.push_back(MakeEntry("zeros.bin", std::vector<uint8_t>(100000, 0)));
    ExpectRoundTrip(in, GetParam());
}

// Runs and short periods make matches that overlap themselves, and an entry
// that ends inside a run is followed by one that continues it: a match may
// reach back into the earlier entry but must stop at the entry's end.
TEST_P(RoundTrip, RunsAcrossEntryBoundaries)
{
    std::vector<PackInput> in;
    for (int period = 1; period <= 6; ++period) {
        std::vector<uint8_t> data(3000 + period * 517);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = uint8_t("abcdef"[i % period]);
        in.push_back(MakeEntry("run" + std::to_string(period), data));
        in.push_back(MakeEntry("tail" + std::to_string(period), std::vector<uint8_t>(period * 37 + 1, 'a')));
    }
    for (size_t size : {1, 2, 3, 4, 5, 257, 258, 259, 260, 261, 262, 600})
        in.push_back(MakeEntry("z" + std::to_string(size), std::vector<uint8_t>(size, 0)));
    ExpectRoundTrip(in, GetParam());
}

// Repeats at exactly the distances where the reader adds length bonuses
// (0x101 for recent distances, 0x2000 and 0x40000 for all), with lengths
// around the minimum each kind can code, and again with the same distance
// so that the recent-distance and repeat-last symbols get used.
TEST_P(RoundTrip, DistancesAtLengthBonusBoundaries)
{
    std::vector<uint8_t> data = RandomBytes(600000, 11);
    const uint32_t distances[] = {1, 2, 255, 256, 257, 258, 0x1FFF, 0x2000, 0x2001, 0x3FFFF, 0x40000, 0x40001, 500000};
    size_t pos = 300000;
    for (uint32_t d : distances) {
        for (uint32_t len : {2u, 3u, 4u, 5u, 6u, 40u, 300u}) {
            for (int again = 0; again < 2; ++again) {
                if (pos + len + 8 > data.size() || pos < d)
                    break;
                for (uint32_t i = 0; i < len; ++i)
                    data[pos + i] = data[pos + i - d];
                pos += len + 3 + (len % 5); // a few random bytes apart
            }
        }
    }
    ExpectRoundTrip({MakeEntry("bonus.bin", data)}, GetParam());
}

// More than the 1 MiB window: the reader's window wraps, and content that
// repeats from just under 1 MiB back must still come out right.
TEST_P(RoundTrip, InputsLongerThanTheWindow)
{
    std::vector<uint8_t> text = TextBytes(900000, 21);
    std::vector<uint8_t> block = RandomBytes(200000, 22);
    std::vector<uint8_t> big;
    big.insert(big.end(), block.begin(), block.end());
    big.insert(big.end(), text.begin(), text.end());
    // ~1,048,000 bytes after its first copy.
    big.insert(big.end(), block.begin(), block.end() - 51424);
    big.insert(big.end(), text.begin(), text.begin() + 700000);
    std::vector<PackInput> in = {MakeEntry("big.bin", big), MakeEntry("small.txt", TextBytes(5000, 23)),
                                 MakeEntry("second.bin", big)};
    std::vector<uint8_t> archive = ExpectRoundTrip(in, GetParam());
    // The repeated random block can only shrink through far matches.
    EXPECT_LT(archive.size(), big.size());
}

TEST_P(RoundTrip, ThousandsOfTinyFiles)
{
    std::vector<PackInput> in;
    std::vector<uint8_t> text = TextBytes(200000, 31);
    uint32_t x = 5;
    size_t at = 0;
    for (int i = 0; i < 3000; ++i) {
        x = x * 1103515245u + 12345u;
        size_t size = (x >> 16) % 41; // 0..40 bytes, some empty
        std::vector<uint8_t> data(text.begin() + at, text.begin() + at + size);
        at = (at + size * 7) % 150000;
        in.push_back(MakeEntry("f\\" + std::to_string(i) + ".txt", data));
    }
    ExpectRoundTrip(in, GetParam());
}

// Entry sizes around the points where the writer's internal pieces end:
// parse chunks (32 KiB), split units and table sets, the window.
TEST_P(RoundTrip, SizesAtInternalBoundaries)
{
    std::vector<uint8_t> source = TextBytes(1100000, 41);
    for (size_t i = 0; i < source.size(); i += 3001)
        source[i] = uint8_t(i >> 3);
    std::vector<PackInput> in;
    size_t at = 0;
    for (size_t size : {32767, 32768, 32769, 65536, 8191, 8192, 8193, 1 << 20}) {
        size_t from = at % (source.size() - size);
        in.push_back(MakeEntry("s" + std::to_string(size),
                               std::vector<uint8_t>(source.begin() + from, source.begin() + from + size)));
        at += 99991;
    }
    ExpectRoundTrip(in, GetParam());
}

// Entries with very different statistics one after the other: new table
// sets begin at entry starts (symbol 269 as an entry's first symbol, coded
// with the tables of the entry before) as well as inside entries.
TEST_P(RoundTrip, TablesChangeBetweenAndWithinEntries)
{
    std::vector<PackInput> in;
    for (int i = 0; i < 8; ++i) {
        std::vector<uint8_t> data;
        switch (i % 4) {
        case 0:
            data = TextBytes(20000 + i * 1000, 300 + i);
            break;
        case 1: // bytes from a small range with short repeats
            data = RandomBytes(15000, 400 + i);
            for (size_t k = 0; k < data.size(); ++k)
                data[k] = uint8_t(0x80 + (data[k] & 7) + (k % 3 == 0 ? data[k / 2] & 0x10 : 0));
            break;
        case 2:
            data = std::vector<uint8_t>(30000, uint8_t(i));
            break;
        default: {
            data = TextBytes(8000, 500 + i);
            std::vector<uint8_t> noise = RandomBytes(8000, 600 + i);
            data.insert(data.end(), noise.begin(), noise.end());
            std::vector<uint8_t> more = TextBytes(8000, 700 + i);
            for (uint8_t& b : more)
                b = uint8_t(b ^ 0x20);
            data.insert(data.end(), more.begin(), more.end());
        }
        }
        in.push_back(MakeEntry("e" + std::to_string(i), data));
    }
    ExpectRoundTrip(in, GetParam());
}

TEST_P(RoundTrip, SameInputGivesTheSameBytes)
{
    std::vector<PackInput> in = {MakeEntry("a.txt", TextBytes(70000, 51)), MakeEntry("b.bin", RandomBytes(3000, 52)),
                                 MakeEntry("c.txt", TextBytes(90000, 53))};
    std::vector<uint8_t> first = Pack(in, GetParam());
    std::vector<uint8_t> second = Pack(in, GetParam());
    EXPECT_FALSE(first.empty());
    EXPECT_TRUE(first == second);
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTrip, ::testing::Values(1, 2, 3, 4, 5));

// Incompressible entries are stored, and stored bytes never enter the
// reader's window: a later entry that repeats a stored one must not be
// coded as a copy of it, while copies of compressed entries are fine.
TEST(StoredEntries, StayOutOfTheWindow)
{
    std::vector<uint8_t> noise = RandomBytes(40000, 61); // above the entropy test size
    std::vector<uint8_t> text = TextBytes(30000, 63);
    std::vector<uint8_t> mixed = text;
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    std::vector<PackInput> in = {MakeEntry("noise.bin", noise), MakeEntry("text.txt", text),
                                 MakeEntry("tiny", {1, 2, 3}), MakeEntry("empty", {}), MakeEntry("mixed.bin", mixed)};
    for (int level : {1, 3, 5}) {
        std::vector<uint8_t> archive = ExpectRoundTrip(in, level);
        std::vector<Block> h = FileBlocks(archive);
        ASSERT_EQ(h.size(), in.size());
        // Stored or compressed; solid from the first compressed entry on.
        const int method[] = {0x30, 0x35, 0x30, 0x30, 0x35};
        for (size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(h[i].method, method[i]) << h[i].name;
            EXPECT_EQ(h[i].flags & 0x10, i >= 2 ? 0x10u : 0u) << h[i].name;
        }
        // The text part is a copy; the noise cannot be: it was stored.
        EXPECT_GT(h[4].packSize, noise.size());
        EXPECT_LT(h[4].packSize, noise.size() + 2000);
    }
}

// Entries too small for the entropy test go through a trial run; when they
// do not shrink, the stream is built again without them.
TEST(StoredEntries, TrialRunStoresWhatDoesNotShrink)
{
    std::vector<PackInput> in;
    for (int i = 0; i < 12; ++i) {
        in.push_back(MakeEntry("r" + std::to_string(i), RandomBytes(12000, 100 + i)));
        in.push_back(MakeEntry("t" + std::to_string(i), TextBytes(3000, 200 + i)));
    }
    std::vector<uint8_t> archive = ExpectRoundTrip(in, 3);
    std::vector<Block> h = FileBlocks(archive);
    ASSERT_EQ(h.size(), in.size());
    for (size_t i = 0; i < h.size(); ++i) {
        EXPECT_EQ(h[i].method, i % 2 ? 0x35 : 0x30) << h[i].name;
        if (h[i].method == 0x35) {
            EXPECT_LT(h[i].packSize, h[i].unpSize) << h[i].name;
        }
    }
}

TEST(StoredEntries, StoreOnlyAndLevelsAgreeOnContent)
{
    std::vector<PackInput> in = {MakeEntry("a.txt", TextBytes(10000, 71)), MakeEntry("b", {1, 2, 3})};
    PackSettings settings;
    settings.storeOnly = true;
    std::vector<uint8_t> archive;
    std::string error;
    ASSERT_TRUE(WriteArchive(in, settings, &archive, &error)) << error;
    for (const Block& h : FileBlocks(archive))
        EXPECT_EQ(h.method, 0x30);
    ReadBackResult r = ReadBack(archive);
    EXPECT_EQ(r.passResult, 0);
    EXPECT_EQ(r.data, (std::vector<std::vector<uint8_t>>{in[0].data, in[1].data}));
}

// Directory entries carry no data and are skipped by the reader; the
// entries around them still form one solid stream.
TEST(StoredEntries, DirectoryEntriesBetweenCompressedOnes)
{
    PackInput dir = MakeEntry("docs", {});
    dir.attributes = 0x10;
    std::vector<PackInput> in = {MakeEntry("a.txt", TextBytes(10000, 81)), dir,
                                 MakeEntry("docs\\b.txt", TextBytes(10000, 81))};
    std::vector<uint8_t> archive = ExpectRoundTrip(in, 3);
    std::vector<Block> h = FileBlocks(archive);
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[1].method, 0x30);
    EXPECT_EQ(h[1].packSize, 0u);
    EXPECT_LT(h[2].packSize, 100u); // a copy of the first entry
}

TEST(Progress, RunsForwardToTheTotal)
{
    std::vector<PackInput> in = {MakeEntry("a.txt", TextBytes(300000, 91)), MakeEntry("b.txt", TextBytes(300000, 92)),
                                 MakeEntry("noise", RandomBytes(3000, 93))};
    uint64_t last = 0, total = 0;
    int calls = 0;
    bool forward = true;
    PackSettings settings;
    std::vector<uint8_t> archive;
    std::string error;
    ASSERT_TRUE(WriteArchive(in, settings, &archive, &error, [&](uint64_t done, uint64_t all) {
        forward &= done >= last && done <= all;
        last = done;
        total = all;
        ++calls;
    }));
    EXPECT_TRUE(forward);
    EXPECT_GT(calls, 2);
    EXPECT_EQ(total, 603000u);
    EXPECT_EQ(last, total);
}

} // namespace
