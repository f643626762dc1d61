// The planning rules of `mksetup build` on their own: times, archive-start
// detection, folder containment and archive order.
#include "tools/mksetup/build_checks.h"
#include "tools/mksetup/product_scan.h"

#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using testsupport::DosTime;

namespace {

std::vector<uint8_t> Bytes(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

// The offset CheckStub reports for an archive it finds in `stub`, or -1.
int64_t FindArchiveMarker(const std::vector<uint8_t>& stub)
{
    Findings findings;
    CheckStub(stub, &findings);
    for (const std::string& e : findings.errors) {
        size_t at = e.find("(at offset ");
        if (at != std::string::npos)
            return std::stoll(e.substr(at + 11));
    }
    return -1;
}

const std::string kMarker("Rar!\x1A\x07\x00", 7);

PlanEntry Entry(const std::wstring& name)
{
    PlanEntry e;
    e.wideName = name;
    for (wchar_t c : name)
        e.name += char(c);
    return e;
}

std::vector<std::wstring> Order(std::vector<std::wstring> names, bool nameOrder)
{
    std::vector<PlanEntry> entries;
    for (const std::wstring& n : names)
        entries.push_back(Entry(n));
    OrderEntries(&entries, nameOrder);
    std::vector<std::wstring> out;
    for (const PlanEntry& e : entries)
        out.push_back(e.wideName);
    return out;
}

} // namespace

TEST(DosTime, UtcMomentsAndTheFormatsLimits)
{
    EXPECT_EQ(DosTimeFromUnix(1700000001, true), DosTime(2023, 11, 14, 22, 13, 20)); // odd seconds are cut
    EXPECT_EQ(DosTimeFromUnix(315532800, true), DosTime(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(DosTimeFromUnix(951782400, true), DosTime(2000, 2, 29, 0, 0, 0)); // leap day
    EXPECT_EQ(DosTimeFromUnix(4354819199LL, true), DosTime(2107, 12, 31, 23, 59, 58));
    // Outside 1980..2107: the nearest time the format has.
    EXPECT_EQ(DosTimeFromUnix(0, true), DosTime(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(DosTimeFromUnix(-86400, true), DosTime(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(DosTimeFromUnix(315532799, true), DosTime(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(DosTimeFromUnix(4354819200LL, true), DosTime(2107, 12, 31, 23, 59, 58));
    EXPECT_EQ(DosTimeFromUnix(int64_t(1) << 40, true), DosTime(2107, 12, 31, 23, 59, 58));
}

TEST(DosTime, SourceDateEpochMustBeAWholeNumber)
{
    TimePolicy policy;
    std::string error;
    ASSERT_TRUE(ReadTimePolicy(nullptr, &policy, &error));
    EXPECT_FALSE(policy.fixed);
    ASSERT_TRUE(ReadTimePolicy("", &policy, &error));
    EXPECT_FALSE(policy.fixed);
    ASSERT_TRUE(ReadTimePolicy("1700000000", &policy, &error));
    EXPECT_TRUE(policy.fixed);
    EXPECT_EQ(policy.epoch, 1700000000);
    for (const char* bad : {"-5", "12a", " 1", "1.5", "99999999999999999999"}) {
        EXPECT_FALSE(ReadTimePolicy(bad, &policy, &error)) << bad;
        EXPECT_NE(error.find("SOURCE_DATE_EPOCH"), std::string::npos);
    }
}

TEST(ArchiveStart, FoundWhereTheSetupsScanWouldFindIt)
{
    std::string header = std::string("\x00\x00\x73", 3); // checksum, main header type
    EXPECT_EQ(FindArchiveMarker(Bytes(kMarker)), 0);     // at offset 0 no type check
    EXPECT_EQ(FindArchiveMarker(Bytes("MZ" + std::string(100, 'R') + kMarker + header)), 102);
    // The marker needs the main header's type 9 bytes on.
    EXPECT_EQ(FindArchiveMarker(Bytes("MZ" + kMarker + std::string("\x00\x00\x74", 3))), -1);
    EXPECT_EQ(FindArchiveMarker(Bytes("MZ" + kMarker + std::string("\x00\x00", 2))), -1);
    EXPECT_EQ(FindArchiveMarker(Bytes("MZ" + kMarker.substr(0, 6) + "!" + header)), -1);
    // Old generation: "RE~^" counts only with "RSFX" at offsets 28..31.
    std::string old = "MZ" + std::string(26, '\0') + "RSFX" + std::string(10, '\0') + "RE~^";
    EXPECT_EQ(FindArchiveMarker(Bytes(old)), 42);
    old.replace(28, 4, "RSFY");
    EXPECT_EQ(FindArchiveMarker(Bytes(old)), -1);
}

TEST(Names, ContainmentComparesWholeFolderNames)
{
    fs::path base = fs::temp_directory_path() / "mksetup-plan-inside";
    fs::create_directories(base / "product" / "sub");
    fs::create_directories(base / "product2");
    EXPECT_TRUE(IsInsideFolder(base / "product" / "a.exe", base / "product"));
    EXPECT_TRUE(IsInsideFolder(base / "product" / "sub" / "new" / "a.exe", base / "product"));
    EXPECT_TRUE(IsInsideFolder(base / "product", base / "product" / ""));
    EXPECT_TRUE(IsInsideFolder(base / "x" / ".." / "product" / "a.exe", base / "product"));
    EXPECT_FALSE(IsInsideFolder(base / "product2" / "a.exe", base / "product"));
    EXPECT_FALSE(IsInsideFolder(base / "product" / ".." / "a.exe", base / "product"));
    EXPECT_FALSE(IsInsideFolder(base / "a.exe", base / "product"));
#ifdef _WIN32
    EXPECT_TRUE(IsInsideFolder(base / "PRODUCT" / "a.exe", base / "product"));
#endif
    fs::remove_all(base);
}

TEST(Order, ScriptThenDescriptionThenByExtensionAndName)
{
    EXPECT_EQ(Order({L"b.txt", L"FILE_ID.DIZ", L"a.exe", L"z\\INSTALL.INF", L"c", L"A.TXT", L"x\\B.EXE"}, false),
              (std::vector<std::wstring>{L"z\\INSTALL.INF", L"FILE_ID.DIZ", L"c", L"a.exe", L"x\\B.EXE", L"A.TXT",
                                         L"b.txt"}));
    EXPECT_EQ(Order({L"b.txt", L"FILE_ID.DIZ", L"a.exe", L"c", L"A.TXT", L"SETUP.INF"}, true),
              (std::vector<std::wstring>{L"SETUP.INF", L"FILE_ID.DIZ", L"a.exe", L"A.TXT", L"b.txt", L"c"}));
    // With several scripts, INSTALL.INF at the top leads; others stay with
    // their extension.
    EXPECT_EQ(Order({L"a\\A.INF", L"INSTALL.INF", L"b.txt"}, false),
              (std::vector<std::wstring>{L"INSTALL.INF", L"a\\A.INF", L"b.txt"}));
    EXPECT_EQ(Order({L"z\\B.INF", L"a\\C.INF"}, false), (std::vector<std::wstring>{L"a\\C.INF", L"z\\B.INF"}));
    // The result does not depend on the order the folder was read in.
    EXPECT_EQ(Order({L"q.dat", L"p.dat", L"r.dat"}, false), Order({L"r.dat", L"q.dat", L"p.dat"}, false));
}
