// The packer, read back by the product's own reader: archives through
// WalkArchiveHeaders and ArchivePass (only the header checksums, which it
// ignores, are walked here); table sets against their cost estimates. Code
// lengths are judged by what they cost: the round trips read them back and
// the ratio guard holds the sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <tuple>

#include "archive/archive_pass.h"
#include "format/rar_format.h"
#include "pack/archive_writer.h"
#include "pack/bit_writer.h"
#include "pack/table_set_writer.h"
#include "support/archive_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Entries = std::vector<PackInput>;
using testsupport::Cat;
using testsupport::SampleText;

// An entry to pack, each with its own time so that fields mixed up show.
PackInput E(const std::string& name, Bytes data, uint32_t attributes = kAttrArchive)
{
    return {name, std::move(data), testsupport::DosTime(2024, 3, 1, 12, 0, 0) + uint32_t(name.size()), attributes};
}

Bytes Noise(size_t n, uint32_t seed) // incompressible
{
    std::mt19937 random(seed);
    Bytes out(n);
    std::generate(out.begin(), out.end(), [&] { return uint8_t(random()); });
    return out;
}

// Tiny, empty and repeated entries, a name of the longest length, a directory
// between compressed ones; incompressible entries under 16 KiB, stored after a
// trial run. Text sizes sit where parse chunks and split units end.
Entries Mixed()
{
    Entries in = {E("FILE_ID.DIZ", SampleText(300, 1)),
                  E("empty.txt", {}),
                  E("two.bin", {7, 7}),
                  E("text\\readme.txt", SampleText(20000, 2), kAttrReadOnly | kAttrArchive),
                  E("docs", {}, kAttrDirectory),
                  E("docs\\" + std::string(254, 'a'), SampleText(20000, 2)),
                  E("zeros.bin", Bytes(100000, 0))};
    const size_t sizes[] = {3000, 8191, 8192, 8193, 32767, 32768, 32769, 65536};
    for (uint32_t i = 0; i < 32; ++i) {
        in.push_back(E("r" + std::to_string(i), Noise(12000, 100 + i)));
        in.push_back(E("t" + std::to_string(i), SampleText(sizes[i % 8], 200 + i)));
    }
    return in;
}

// Runs and short periods make matches that overlap themselves; an entry that
// ends inside a run is followed by one that continues it, so a match may reach
// back into the earlier entry but must stop at the entry's end. Then
// thousands of tiny entries.
Entries Small()
{
    Entries in;
    for (int period = 1; period <= 6; ++period) {
        Bytes data(3000 + period * 517);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = uint8_t("abcdef"[i % period]);
        in.push_back(E("run" + std::to_string(period), data));
        in.push_back(E("tail" + std::to_string(period), Bytes(period * 37 + 1, 'a')));
    }
    for (size_t size : {1, 2, 3, 4, 5, 257, 258, 259, 260, 261, 262, 600})
        in.push_back(E("z" + std::to_string(size), Bytes(size, 0)));
    Bytes text = SampleText(200000, 31); // and thousands of 0 to 40 bytes
    for (size_t i = 0, at = 0; i < 3000; ++i, at = (at * 7 + 12345) % 150000)
        in.push_back(E("f\\" + std::to_string(i) + ".txt", Bytes(&text[at], &text[at + at % 41])));
    return in;
}

// Repeats at the distances where the reader adds length bonuses (0x101 for
// recent distances, 0x2000 and 0x40000 for all), with lengths around the least
// each kind can code, each twice so that the recent-distance and repeat-last
// symbols get used; between them six-bit noise, compressible yet unrepetitive.
Entries Distances()
{
    Bytes data = Noise(600000, 11);
    for (uint8_t& b : data)
        b &= 0x3F;
    size_t pos = 510000;
    for (uint32_t d :
         {1u, 2u, 255u, 256u, 257u, 258u, 0x1FFFu, 0x2000u, 0x2001u, 0x3FFFFu, 0x40000u, 0x40001u, 500000u})
        for (uint32_t len : {2u, 3u, 4u, 5u, 6u, 40u, 300u, 2u, 3u, 4u, 5u, 6u, 40u, 300u}) {
            for (uint32_t i = 0; i < len; ++i)
                data[pos + i] = data[pos + i - d];
            pos += len + 3 + len % 5;
        }
    // Stored by its statistics alone, and stored bytes never enter the reader's
    // window: a later repeat of them cannot be a copy.
    Bytes noise = Noise(40000, 3);
    return {E("distances.bin", data), E("noise.bin", noise), E("mixed.bin", Cat({SampleText(30000, 4), noise}))};
}

// Past the 1 MiB window, which wraps. The noise repeats from 1,048,000 bytes
// back: only such far matches bring the archive below two copies of it. The
// tiny entry before makes the packer try the leading entries alone, over the
// first noise only: that part must not get the whole entry stored.
Entries Window()
{
    Bytes noise = Noise(200000, 22), far = Cat({noise, Bytes(848000, 0), noise});
    return {E("tiny.txt", SampleText(40, 24)), E("far.bin", far), E("small.txt", SampleText(5000, 23)),
            E("again.bin", Bytes(&far[0], &far[1 << 20]))};
}

// The benchmark corpora (bench/make_corpora.sh: Windows DLLs and EXEs, text
// and HTML documentation); skipped when they are not built.
Entries Corpus(const char* name)
{
    std::string dir = std::string(OV_DEFAULT_CORPORA) + "/" + name;
    std::ifstream list(dir + ".list");
    Entries in;
    for (std::string rel; std::getline(list, rel);) {
        in.push_back(E(rel, {}));
        EXPECT_TRUE(testsupport::ReadFileBytes(dir + "/" + rel, &in.back().data)) << rel;
        std::replace(in.back().name.begin(), in.back().name.end(), '/', '\\');
    }
    return in;
}

const struct Case {
    const char* name;
    Entries (*make)();
    const char* methods; // per entry: S stored, s mostly stored, C compressed, - either
    int maxPercent;      // of the input, for the archive (0: any)
} kCases[] = {
    {"Mixed", Mixed,
     "CSSCSCC"
     "sCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsCsC",
     0},
    {"Small", Small, "", 0},
    {"Distances", Distances, "CSC", 0},
    {"Window", Window, "-CCC", 16},
    {"SmallCorpus", [] { return Corpus("small"); }, "", 50}, // executables and documentation
    {"LargeCorpus", [] { return Corpus("large"); }, "", 50},
};

// Every entry's header (directories too), every file's bytes.
using ReadBack = std::pair<std::vector<EntryHeaderInfo>, std::vector<Bytes>>;

class RoundTrip : public ::testing::TestWithParam<std::tuple<int, int>> {}; // case, level (0: stored only)

// The reader finds every header field as given, every file's bytes, entries
// solid from the first compressed one on; packing again, on 2 or 5 threads,
// gives the same bytes.
TEST_P(RoundTrip, ReadsBack)
{
    const Case& c = kCases[std::get<0>(GetParam())];
    Entries in = c.make();
    if (in.empty())
        GTEST_SKIP() << "no corpus: bench/make_corpora.sh";
    PackSettings settings;
    settings.level = std::max(1, std::get<1>(GetParam()));
    settings.storeOnly = std::get<1>(GetParam()) == 0;
    settings.threads = 1;
    Bytes archive, again;
    std::string error;
    uint64_t input = 0, done = 0;
    for (const PackInput& e : in)
        input += e.data.size();
    ASSERT_TRUE(WriteArchive(in, settings, &archive, &error, [&](uint64_t now, uint64_t total) {
        EXPECT_TRUE(now >= done && now <= total && total == input) << "progress " << now << " of " << total;
        done = now;
    })) << error;
    EXPECT_EQ(done, input); // the progress ends at the total
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("a"), archive));
    std::wstring path = testsupport::WidePath(dir.File("a"));
    ReadBack r;
    auto header = [](const EntryHeaderInfo* info, void* to) {
        static_cast<ReadBack*>(to)->first.push_back(*info);
        return 0;
    };
    auto entry = [](wchar_t* name, const unsigned char* data, uint32_t size, void* to) {
        if (data)
            static_cast<ReadBack*>(to)->second.emplace_back(data, data + size);
        name[0] = 1, name[1] = 0; // memory mode
        return 0;
    };
    EXPECT_EQ(WalkArchiveHeaders(path.c_str(), header, &r), kPassOk);
    EXPECT_EQ(ArchivePass(path.c_str(), entry, &r), kPassOk);
    const auto& [headers, data] = r;
    ASSERT_EQ(headers.size(), in.size());
    size_t file = 0, trial = 0, trialStored = 0;
    bool solid = false;
    for (size_t i = 0; i < in.size(); ++i) {
        const EntryHeaderInfo& h = headers[i];
        const PackInput& e = in[i];
        EXPECT_EQ(std::make_tuple(std::string(h.name), h.unpSize, h.fileCrc, h.fileTime, h.fileAttr, h.hostOs, h.unpVer,
                                  (h.headFlags & kFlagSolid) != 0),
                  std::make_tuple(e.name, uint32_t(e.data.size()), testsupport::Crc32(e.data), e.dosTime, e.attributes,
                                  uint8_t(kHostWindows), uint8_t(kUnpackVersion20), solid));
        solid |= h.method != kMethodStored;
        char m = settings.storeOnly ? 'S' : i < strlen(c.methods) ? c.methods[i] : '-';
        EXPECT_TRUE((m != 'S' || h.method == kMethodStored) && (m != 'C' || h.method == kMethodBest)) << e.name;
        EXPECT_LE(h.packSize, h.unpSize) << e.name << " grew"; // a table set is no reason to
        trial += m == 's';
        trialStored += m == 's' && h.method == kMethodStored;
        if (e.attributes & (kAttrDirectory | kAttrVolumeLabel))
            continue;
        // Compared without gtest's element dump: inputs run to megabytes.
        EXPECT_TRUE(file < data.size() && data[file] == e.data) << e.name << " differs";
        ++file;
    }
    EXPECT_EQ(file, data.size());
    // Judged on the first run's streams: a few may stay packed.
    EXPECT_GE(trialStored * 4, trial * 3);
    EXPECT_TRUE(c.maxPercent == 0 || settings.storeOnly || archive.size() * 100 < c.maxPercent * input);
    // The corpora aside: they take long enough once. Every level splits its
    // work among the threads, never changing a bit.
    settings.threads = 2 + 3 * (std::get<0>(GetParam()) % 2);
    EXPECT_TRUE(input > (4u << 20) || (WriteArchive(in, settings, &again, &error) && again == archive));
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTrip,
                         ::testing::Combine(::testing::Range(0, int(std::size(kCases))), ::testing::Range(0, 6)),
                         [](const ::testing::TestParamInfo<RoundTrip::ParamType>& info) {
                             return std::string(kCases[std::get<0>(info.param)].name) + "_level" +
                                    std::to_string(std::get<1>(info.param));
                         });

// Refused, leaving the vector as it was: levels beyond 1 to 5, what the reader
// cannot take (it never decodes directories or labels: their bytes are lost).
TEST(ArchiveWriter, RefusesWhatTheReaderCannotTake)
{
    auto expectRefused = [](const PackInput& entry, int level) {
        PackSettings settings;
        settings.level = level;
        Bytes out(3, 0x4D);
        std::string error;
        EXPECT_FALSE(WriteArchive({entry}, settings, &out, &error)) << entry.name << " level " << level;
        EXPECT_TRUE(out.size() == 3 && !error.empty()) << entry.name << " level " << level;
    };
    for (const PackInput& entry : {E(std::string(260, 'a'), {1}), E("", {1}), E(std::string("a\0b", 3), {1}),
                                   E("dir", {1}, kAttrDirectory), E("label", {1}, kAttrVolumeLabel)})
        expectRefused(entry, 3);
    expectRefused(E("a", {1}), 0);
    expectRefused(E("a", {1}), 6);
}

// The setup program's image comes first: the archive goes behind it and must
// end below 2 GiB, whether the end block (1) or an entry (8) would pass it.
TEST(ArchiveWriter, AppendsBehindTheStubAndEndsBelowTwoGibibytes)
{
    Entries in = {E("a.txt", SampleText(3000, 5))};
    PackSettings settings;
    Bytes alone, out(100, 0x4D);
    std::string error;
    ASSERT_TRUE(WriteArchive(in, settings, &alone, &error) && WriteArchive(in, settings, &out, &error)) << error;
    EXPECT_TRUE(out == Cat({Bytes(100, 0x4D), alone}));
    for (uint64_t over : {0, 1, 8}) {
        settings.archiveOffset = (uint64_t(1) << 31) - 1 - alone.size() + over;
        out.assign(100, 0x4D);
        EXPECT_EQ(WriteArchive(in, settings, &out, &error), over == 0) << over;
        EXPECT_EQ(out.size(), over == 0 ? 100 + alone.size() : 100) << over;
    }
}

// Runs of zeros (one longer than 11), runs of equal lengths, scattered values.
Bytes RandomSet(uint32_t x)
{
    Bytes set(kLzSetSize, 0);
    for (int i = 1; i < kLzSetSize; ++i, x = x * 1103515245u + 12345u)
        set[i] = (x >> 16) % 10 < 4 ? set[i - 1] : (x >> 16) % 10 < 6 || (i >= 300 && i < 340) ? 0 : (x >> 8) % 15 + 1;
    return set;
}

// Sets in a row: near copies (cheaper as changes under the keep flag),
// all-equal and all-zero sets (runs). Each costs what the writer says before
// and while writing it; the round trips read sets back.
TEST(TableSetWriter, SetsCostWhatTheWriterSays)
{
    auto near = [](Bytes set) { return set[5] ^= 3, set[200] = 0, set[201] = 9, set; };
    std::vector<Bytes> sets = {RandomSet(1),         near(RandomSet(1)), Bytes(kLzSetSize, 8), Bytes(kLzSetSize, 0),
                               Bytes(kLzSetSize, 8), RandomSet(2),       near(RandomSet(2))};
    Bytes previous(kLzSetSize, 0), none(kLzSetSize, 0);
    BitWriter out;
    for (size_t k = 0; k < sets.size(); ++k) {
        uint64_t before = out.BitCount();
        uint32_t estimate = WriteTableSet(sets[k].data(), previous.data(), nullptr);
        EXPECT_TRUE((k != 1 && k != 6) || estimate < WriteTableSet(sets[k].data(), none.data(), nullptr)) << k;
        EXPECT_EQ(WriteTableSet(sets[k].data(), previous.data(), &out), estimate) << k;
        EXPECT_EQ(out.BitCount() - before, estimate) << k;
        // Runs bring a set of equal lengths below a bit per length.
        EXPECT_TRUE(std::count(sets[k].begin(), sets[k].end(), sets[k][0]) < kLzSetSize || estimate < kLzSetSize);
    }
}

} // namespace
