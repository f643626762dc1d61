// Finding the archive, stepping over blocks, names and attribute words.
#include "archive/archive_pass.h"
#include "archive/container.h"
#include "archive/extract_context.h"
#include "base/platform.h"

#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace testsupport;

namespace {

struct Walked {
    int result = -100;
    std::vector<EntryHeaderInfo> entries;
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (auto& e : entries)
            names.push_back(e.name);
        return names;
    }
};

int Visit(const EntryHeaderInfo* info, void* user)
{
    static_cast<Walked*>(user)->entries.push_back(*info);
    return 0;
}

Walked WalkBytes(const std::vector<uint8_t>& bytes)
{
    TempDir dir;
    std::string path = dir.File("archive.bin");
    WriteFileBytes(path, bytes);
    Walked w;
    w.result = WalkArchiveHeaders(WidePath(path).c_str(), Visit, &w);
    return w;
}

// Runs FindArchiveStart on a file and reports the format it found (0 none).
int FormatFound(const std::vector<uint8_t>& bytes, long* positionAfter = nullptr)
{
    TempDir dir;
    std::string path = dir.File("archive.bin");
    WriteFileBytes(path, bytes);
    auto* ctx = static_cast<ExtractContext*>(calloc(1, sizeof(ExtractContext)));
    ctx->archive = OpenArchiveStream(WidePath(path).c_str());
    int found = FindArchiveStart(ctx);
    int format = found ? ctx->archiveFormat : 0;
    if (positionAfter)
        *positionAfter = std::ftell(ctx->archive);
    std::fclose(ctx->archive);
    free(ctx);
    return format;
}

std::vector<uint8_t> Filler(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = uint8_t(0x90 + i % 7); // never 0x52
    return v;
}

std::vector<uint8_t> OneEntryArchive(size_t prefix)
{
    return ArchiveBuilder().Prefix(Filler(prefix)).File(StoredEntry("a.txt", BytesOf("abc"))).Build();
}

} // namespace

TEST(FindArchive, AtOffsetZeroOrByScanningWithinTheRange)
{
    // The scan reads file offsets 7..250,005; a candidate's tested bytes
    // (the marker and the main header's type byte 9 places on) must lie
    // within it. Offsets 1..6 are never looked at.
    for (size_t prefix :
         {size_t(0), size_t(3), size_t(7), size_t(110592), size_t(249996), size_t(249997), size_t(300000)}) {
        bool found = prefix == 0 || (prefix >= 7 && prefix <= 249996);
        long after = 0;
        EXPECT_EQ(FormatFound(OneEntryArchive(prefix), &after), found ? kFormatCurrentGeneration : 0) << prefix;
        if (found) {
            EXPECT_EQ(after, long(prefix + 7 + 13)) << "the stream stands behind the main header";
            EXPECT_EQ(WalkBytes(OneEntryArchive(prefix)).Names(), std::vector<std::string>{"a.txt"});
        }
    }
    // Too short for a marker, or a marker without its main header.
    EXPECT_EQ(FormatFound(BytesOf("Rar!")), 0);
    EXPECT_EQ(FormatFound(ArchiveBuilder().NoMainHeader().Build()), 0);
    EXPECT_EQ(WalkBytes(BytesOf("Rar!")).result, kPassNoArchive);
}

TEST(FindArchive, MarkerWithoutMainHeaderTypeIsPassedOver)
{
    std::vector<uint8_t> bytes = Filler(100);
    auto fake = ArchiveBuilder().MainHeader(13, 0, 0x74).Build(); // type byte wrong
    bytes.insert(bytes.end(), fake.begin(), fake.end());
    EXPECT_EQ(FormatFound(bytes), 0);
    auto real = OneEntryArchive(50);
    bytes.insert(bytes.end(), real.begin(), real.end());
    long after = 0;
    EXPECT_EQ(FormatFound(bytes, &after), kFormatCurrentGeneration);
    EXPECT_EQ(after, long(100 + fake.size() + 50 + 20));
}

TEST(FindArchive, OldGenerationNeedsItsSignatureAtOffset28)
{
    // "RE~^" at offset 40 with a main header behind it.
    std::vector<uint8_t> bytes = Filler(40);
    auto old = BytesOf("RE~^");
    auto header = ArchiveBuilder().NoMarker().Build();
    bytes.insert(bytes.end(), old.begin(), old.end());
    bytes.insert(bytes.end(), header.begin(), header.end());
    EXPECT_EQ(FormatFound(bytes), 0);
    auto signature = BytesOf("RSFX");
    std::copy(signature.begin(), signature.end(), bytes.begin() + 28);
    EXPECT_EQ(FormatFound(bytes), kFormatOldGeneration);
}

TEST(WalkBlocks, OtherBlockTypesAreSteppedOverAndTheEndBlockDoesNotEnd)
{
    auto bytes = ArchiveBuilder()
                     .MainHeader(40) // with 27 bytes of comment behind the fixed part
                     .Block(0x75, 40)
                     .File(StoredEntry("one", BytesOf("1")))
                     .Block(0x76, 33, 0x8000, Filler(500))
                     .Block(0x77, 32, 0x8000, Filler(70)) // old-style sub-block
                     .Block(0x78, 32, 0x8000, Filler(1000))
                     .Block(0x79, 32)
                     .Block(0x7A, 60, 0x8000, Filler(3))
                     .File(StoredEntry("two", BytesOf("22")))
                     .Block(0x7B, 32) // end of archive
                     .File(StoredEntry("three", BytesOf("333")))
                     .Build();
    Walked w = WalkBytes(bytes);
    EXPECT_EQ(w.result, 0);
    EXPECT_EQ(w.Names(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST(WalkBlocks, NamesAreCutTo259BytesAndSeparatorsBecomeBackslashes)
{
    std::string longName(300, 'n');
    auto bytes = ArchiveBuilder()
                     .File(StoredEntry(longName, BytesOf("x")))
                     .File(StoredEntry("a/b\\c/d.txt", BytesOf("y")))
                     .Build();
    Walked w = WalkBytes(bytes);
    ASSERT_EQ(w.entries.size(), 2u);
    EXPECT_EQ(std::string(w.entries[0].name), std::string(259, 'n'));
    EXPECT_EQ(std::string(w.entries[1].name), "a\\b\\c\\d.txt");
}

TEST(WalkBlocks, HostAttributeMappingWithUncheckedHeaderChecksums)
{
    struct Case {
        uint8_t host;
        uint32_t attr, expected;
        uint16_t flags;
    } cases[] = {{2, 0x2021, 0x2021, 0x8000}, // Windows: as stored
                 {3, 0x81A4, 0x20, 0x8000},   // Unix file
                 {3, 0x41ED, 0x10, 0x80E0},   // Unix folder
                 {7, 0xFFFF, 0x20, 0x8000},   // unknown host
                 {0, 0x01, 0x01, 0x8000}};    // MS-DOS
    ArchiveBuilder builder;
    for (auto& c : cases) {
        FileEntry e = StoredEntry("e", {});
        e.hostOs = c.host;
        e.fileAttr = c.attr;
        e.flags = c.flags;
        e.headCrc = 0xBEEF; // never checked
        builder.File(e);
    }
    Walked w = WalkBytes(builder.Build());
    ASSERT_EQ(w.entries.size(), 5u);
    for (size_t i = 0; i < 5; i++)
        EXPECT_EQ(w.entries[i].fileAttr, cases[i].expected) << i;
    EXPECT_EQ(w.entries[3].hostOs, 0);
}

TEST(WalkBlocks, DamagedHeadersEndTheWalk)
{
    // A head size below 7.
    FileEntry tiny = StoredEntry("tiny", {});
    tiny.headSizeOverride = 6;
    EXPECT_EQ(
        WalkBytes(ArchiveBuilder().File(StoredEntry("a", {})).File(tiny).File(StoredEntry("b", {})).Build()).Names(),
        std::vector<std::string>{"a"});

    // A header cut short by the end of the file, within the fixed part and
    // within the name.
    auto full = ArchiveBuilder().File(StoredEntry("a", {})).File(StoredEntry("bbbbbbbb", {})).Build();
    for (size_t cut : {size_t(1), size_t(20), size_t(31), size_t(35)}) {
        auto bytes = full;
        bytes.resize(bytes.size() - 40 + cut);
        Walked w = WalkBytes(bytes);
        EXPECT_EQ(w.result, 0) << cut;
        EXPECT_EQ(w.Names(), std::vector<std::string>{"a"}) << cut;
    }

    // A block whose data area would reach beyond 2 GiB ends the walk. In
    // 32-bit arithmetic this one would wrap around to 16 bytes behind its
    // own start, where a file header hides inside the block.
    auto far = ArchiveBuilder().File(StoredEntry("a", {})).Build();
    auto block = ArchiveBuilder().NoMarker().NoMainHeader().Block(0x75, 64, 0x8000).Build();
    uint32_t packSize = 0xFFFFFFFFu - 48 + 1;
    for (int i = 0; i < 4; i++)
        block[size_t(7 + i)] = uint8_t(packSize >> (8 * i));
    auto hidden = ArchiveBuilder().NoMarker().NoMainHeader().File(StoredEntry("evil", {})).Build();
    std::copy(hidden.begin(), hidden.end(), block.begin() + 16);
    far.insert(far.end(), block.begin(), block.end());
    auto after = ArchiveBuilder().NoMarker().NoMainHeader().File(StoredEntry("b", {})).Build();
    far.insert(far.end(), after.begin(), after.end());
    EXPECT_EQ(WalkBytes(far).Names(), std::vector<std::string>{"a"});
}

TEST(WalkBlocks, VolumeFlags)
{
    FileEntry continued = StoredEntry("cont", BytesOf("x"));
    continued.flags = 0x8001;
    EXPECT_EQ(WalkBytes(ArchiveBuilder().File(continued).Build()).result, kPassNoArchive);
    // Only the first entry counts.
    EXPECT_EQ(WalkBytes(ArchiveBuilder().File(StoredEntry("a", {})).File(continued).Build()).result, 0);

    // The last entry goes on in a next volume that does not exist.
    FileEntry split = StoredEntry("split", BytesOf("x"));
    split.flags = 0x8002;
    EXPECT_EQ(WalkBytes(ArchiveBuilder().File(split).Build()).result, kPassMissingVolume);
    EXPECT_EQ(WalkBytes(ArchiveBuilder().File(split).File(StoredEntry("b", {})).Build()).result, 0);
}
