// The container the writer produces, checked field by field against the
// block layout the reader walks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pack/archive_writer.h"
#include "support/archive_builder.h"
#include "read_back.h"

namespace {

PackInput Entry(const std::string& name, const std::string& text, uint32_t time = 0x5A215C3E, uint32_t attr = 0x2020)
{
    PackInput e = MakeEntry(name, std::vector<uint8_t>(text.begin(), text.end()));
    e.dosTime = time;
    e.attributes = attr;
    return e;
}

TEST(ArchiveWriter, StoredArchiveHasTheReaderLayout)
{
    std::vector<PackInput> in = {Entry("FILE_ID.DIZ", "Orvanex Demo"),
                                 Entry("docs\\readme.txt", std::string(5000, 'x'), 0x12345678, 0x21),
                                 Entry("empty.dat", "")};
    PackSettings settings;
    settings.storeOnly = true;
    std::vector<uint8_t> out;
    std::string error;
    ASSERT_TRUE(WriteArchive(in, settings, &out, &error)) << error;

    const uint8_t marker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    ASSERT_GE(out.size(), 20u);
    EXPECT_EQ(0, memcmp(out.data(), marker, 7));
    EXPECT_EQ(out[9], 0x73);
    EXPECT_EQ(Get16(out, 10), 0x0008u);
    EXPECT_EQ(Get16(out, 12), 13u);
    EXPECT_EQ(Get16(out, 7), testsupport::Crc32(out.data() + 9, 11) & 0xFFFF);

    std::vector<Block> blocks = Walk(out);
    ASSERT_EQ(blocks.size(), 4u);
    for (size_t i = 0; i < 3; ++i) {
        const Block& b = blocks[i];
        SCOPED_TRACE(b.name);
        EXPECT_EQ(b.type, 0x74);
        EXPECT_EQ(b.flags, 0x8000u); // all stored: nothing to be solid with
        EXPECT_EQ(b.host, 2);
        EXPECT_EQ(b.version, 20);
        EXPECT_EQ(b.method, 0x30);
        EXPECT_EQ(b.name, in[i].name);
        EXPECT_EQ(b.payload, in[i].data);
        EXPECT_EQ(b.unpSize, in[i].data.size());
        EXPECT_EQ(b.crc, testsupport::Crc32(in[i].data.data(), in[i].data.size()));
        EXPECT_EQ(b.time, in[i].dosTime);
        EXPECT_EQ(b.attr, in[i].attributes);
    }
    EXPECT_EQ(blocks[3].type, 0x7B);
    EXPECT_EQ(blocks[3].headSize, 7u);
}

TEST(ArchiveWriter, RejectsEntriesTheReaderCannotTake)
{
    PackSettings settings;
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(WriteArchive({Entry(std::string(260, 'a'), "x")}, settings, &out, &error));
    EXPECT_NE(error.find("259"), std::string::npos);
    EXPECT_FALSE(WriteArchive({Entry("", "x")}, settings, &out, &error));
    EXPECT_FALSE(WriteArchive({Entry(std::string("a\0b", 3), "x")}, settings, &out, &error));
    // The reader never decodes a directory entry, so its bytes would be lost.
    EXPECT_FALSE(WriteArchive({Entry("dir", "x", 0, 0x10)}, settings, &out, &error));
    EXPECT_TRUE(out.empty());
    settings.level = 6;
    EXPECT_FALSE(WriteArchive({Entry("a", "x")}, settings, &out, &error));
    // A name of exactly 259 bytes and an empty directory entry are fine.
    settings.level = 3;
    EXPECT_TRUE(WriteArchive({Entry(std::string(259, 'a'), "x"), Entry("dir", "", 0, 0x10)}, settings, &out, &error))
        << error;
}

// The setup program's image comes first: the archive is appended to what
// the vector holds; passing 2 GiB fails and leaves that untouched.
TEST(ArchiveWriter, AppendsBehindWhatIsThereAndRefusesToPassTwoGibibytes)
{
    std::vector<PackInput> in = {Entry("a.txt", std::string(3000, 'q') + "tail")};
    PackSettings settings;
    std::vector<uint8_t> alone, behind(100, 0x4D);
    std::string error;
    ASSERT_TRUE(WriteArchive(in, settings, &alone, &error)) << error;
    ASSERT_TRUE(WriteArchive(in, settings, &behind, &error)) << error;
    ASSERT_EQ(behind.size(), 100 + alone.size());
    EXPECT_EQ(std::vector<uint8_t>(behind.begin(), behind.begin() + 100), std::vector<uint8_t>(100, 0x4D));
    EXPECT_TRUE(std::equal(alone.begin(), alone.end(), behind.begin() + 100));
    settings.archiveOffset = 0x7FFFFFFFu - 50;
    EXPECT_FALSE(WriteArchive(in, settings, &behind, &error));
    EXPECT_NE(error.find("2 GiB"), std::string::npos);
    EXPECT_EQ(behind.size(), 100 + alone.size());
    settings.storeOnly = true;
    settings.archiveOffset = 0x7FFFFFFFu - 100;
    std::vector<uint8_t> out;
    EXPECT_FALSE(WriteArchive({Entry("a.txt", std::string(200, 'z'))}, settings, &out, &error));
    EXPECT_TRUE(out.empty());
    settings.archiveOffset = 110592;
    EXPECT_TRUE(WriteArchive({Entry("a.txt", std::string(200, 'z'))}, settings, &out, &error));
}

} // namespace
