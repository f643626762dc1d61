#include "archive/archive_pass.h"

#include "support/archive_builder.h"
#include "support/bit_writer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace testsupport;

namespace {

// Collects every entry in memory mode (code 7).
struct Collected {
    std::vector<std::wstring> firstCalls;
    std::map<std::wstring, std::vector<uint8_t>> data;
    std::vector<uint32_t> sizes;
};

int CollectToMemory(wchar_t* name, const unsigned char* data, uint32_t size, void* user)
{
    auto* c = static_cast<Collected*>(user);
    if (!data) {
        c->firstCalls.push_back(name);
        name[0] = 7;
        return 0;
    }
    EXPECT_EQ(name[0], 7);
    EXPECT_EQ(data[size], 0) << "the data ends with one extra zero byte";
    c->data[c->firstCalls.back()] = std::vector<uint8_t>(data, data + size);
    c->sizes.push_back(size);
    return 0;
}

} // namespace

TEST(ArchivePassSmoke, StoredAndSolidCompressedEntriesReachMemory)
{
    std::vector<uint8_t> a = BytesOf("first entry, stored");
    std::vector<uint8_t> b = BytesOf("second entry second entry second entry");
    std::vector<uint8_t> c = BytesOf("entry three reaches back: second entry");

    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    w.Literals(BytesOf("second entry "));
    w.Match(25, 13);
    auto packedB = w.FinishEntry();
    w.Literals(BytesOf("entry three reaches back: "));
    w.Match(12, 38 + 26); // "second entry" at the start of b
    auto packedC = w.FinishEntry();

    TempDir dir;
    std::string path = dir.File("a.rar");
    ASSERT_TRUE(WriteFileBytes(path, ArchiveBuilder()
                                         .File(StoredEntry("dir/a.txt", a))
                                         .File(PackedEntry("b.txt", packedB, b, false))
                                         .File(PackedEntry("c.txt", packedC, c, true))
                                         .Build()));
    Collected got;
    EXPECT_EQ(ArchivePass(WidePath(path).c_str(), CollectToMemory, &got), kPassOk);
    ASSERT_EQ(got.firstCalls.size(), 3u);
    EXPECT_EQ(got.firstCalls[0], L"dir\\a.txt");
    EXPECT_EQ(got.data[L"dir\\a.txt"], a);
    EXPECT_EQ(got.data[L"b.txt"], b);
    EXPECT_EQ(got.data[L"c.txt"], c);
}
