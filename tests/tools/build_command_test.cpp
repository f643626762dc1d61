// `mksetup build` end to end on real folders: what goes into the setup, what
// is refused, what is only warned about, and that a failed build leaves
// nothing behind.
#include "tests/tools/build_test_support.h"

#include "archive/archive_pass.h"

#include <chrono>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utime.h>
#endif

using namespace buildtest;

namespace {

const char kMarker[] = "Rar!\x1A\x07";

std::vector<std::string> Names(const std::vector<EntryHeader>& headers)
{
    std::vector<std::string> names;
    for (const EntryHeader& h : headers)
        names.push_back(h.name);
    return names;
}

uint32_t Dos(int year, int month, int day, int hour, int minute, int second)
{
    return (uint32_t(year - 1980) << 25) | (uint32_t(month) << 21) | (uint32_t(day) << 16) | (uint32_t(hour) << 11) |
           (uint32_t(minute) << 5) | uint32_t(second / 2);
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Collects every entry of a setup through the setup's own reader.
struct Collected {
    std::vector<std::pair<std::wstring, std::string>> entries;
    std::wstring pending;
};

int CollectEntry(wchar_t* name, const unsigned char* data, uint32_t size, void* user)
{
    Collected* c = static_cast<Collected*>(user);
    if (!data) {
        c->pending = name;
        name[0] = 7; // into memory
        name[1] = 0;
        return 0;
    }
    c->entries.push_back({c->pending, std::string(reinterpret_cast<const char*>(data), size)});
    return 0;
}

// Writes every entry to <folder>/<index>, so that times and attributes can be
// compared with the sources.
struct Extracted {
    std::wstring folder;
    std::vector<std::wstring> names;
};

int ExtractEntry(wchar_t* name, const unsigned char*, uint32_t, void* user)
{
    Extracted* x = static_cast<Extracted*>(user);
    x->names.push_back(name);
    std::wstring path = x->folder + L"/" + std::to_wstring(x->names.size());
    if (path.size() >= 260)
        return 1;
    std::copy(path.begin(), path.end(), name);
    name[path.size()] = 0;
    return 0;
}

} // namespace

TEST_F(BuildFixture, CleanProductBuildsSilentlyWithScriptAndDescriptionFirst)
{
    WriteCleanProduct();
    RunResult r = Build();
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(Contains(r.out, "7 files")) << r.out;
    EXPECT_TRUE(Leftovers().empty());

    std::vector<uint8_t> stubBytes = ReadBytes(stub), setup = ReadBytes(output);
    ASSERT_GT(setup.size(), stubBytes.size());
    EXPECT_TRUE(std::equal(stubBytes.begin(), stubBytes.end(), setup.begin()));
    EXPECT_EQ(std::memcmp(setup.data() + stubBytes.size(), kMarker, 7), 0);

    std::vector<EntryHeader> headers = ReadEntryHeaders(setup, stubBytes.size());
    // Script, description, then grouped by extension (EXE, LNG, TXT).
    EXPECT_EQ(Names(headers), (std::vector<std::string>{"INSTALL.INF", "FILE_ID.DIZ", "OALPHA.EXE", "AB_IT.LNG",
                                                        "AB_US.LNG", "docs\\readme.txt", "LICENSE.TXT"}));
    bool seenCompressed = false;
    for (const EntryHeader& h : headers) {
        EXPECT_EQ(h.host, 2) << h.name;
        EXPECT_EQ(h.unpVer, 20) << h.name;
        EXPECT_EQ(h.attributes, 0x20u) << h.name;
        // Solid from the first compressed entry on.
        EXPECT_EQ((h.flags & 0x10) != 0, seenCompressed) << h.name;
        seenCompressed = seenCompressed || h.method != 0x30;
        if (h.method == 0x30) {
            EXPECT_EQ(h.packSize, h.unpSize) << h.name;
        }
    }
    EXPECT_TRUE(seenCompressed);
}

TEST_F(BuildFixture, NameOrderKeepsPlainNameOrderAfterScriptAndDescription)
{
    WriteCleanProduct();
    ASSERT_EQ(Build({"--name-order"}).code, kExitOk);
    std::vector<uint8_t> setup = ReadBytes(output);
    EXPECT_EQ(Names(ReadEntryHeaders(setup, 4096)),
              (std::vector<std::string>{"INSTALL.INF", "FILE_ID.DIZ", "AB_IT.LNG", "AB_US.LNG", "docs\\readme.txt",
                                        "LICENSE.TXT", "OALPHA.EXE"}));
}

TEST_F(BuildFixture, ReaderGetsEveryFileBackIncludingAtTheLastFindableStubSize)
{
    WriteCleanProduct();
    WriteBytes(product / "empty.dat", "");
    std::string big;
    for (int i = 0; i < 200000; i++)
        big += char('a' + (i * 7 + i / 13) % 26);
    WriteBytes(product / "data" / "big.bin", big);
    // The largest stub behind which the setup's scan still finds the archive.
    std::string stubBytes = "MZ";
    stubBytes.append(249996 - 2, '\0');
    WriteBytes(stub, stubBytes);

    for (const char* level : {"1", "5"}) {
        RunResult r = Build({"--level", level});
        ASSERT_EQ(r.code, kExitOk) << r.err;
        Collected c;
        std::wstring path = WideOf(output);
        ASSERT_EQ(ArchivePass(path.c_str(), CollectEntry, &c), kPassOk) << "level " << level;
        ASSERT_EQ(c.entries.size(), 9u);
        for (const auto& entry : c.entries) {
            std::wstring rel = entry.first;
            for (wchar_t& ch : rel)
                if (ch == L'\\')
                    ch = L'/';
            std::vector<uint8_t> original = ReadBytes(product / PathOf(rel));
            EXPECT_EQ(entry.second, std::string(original.begin(), original.end())) << PathOf(rel).u8string();
        }
    }
}

TEST_F(BuildFixture, StubOneByteTooLargeForTheScanIsRefusedAndReallyUnfindable)
{
    WriteCleanProduct();
    std::string stubBytes = "MZ";
    stubBytes.append(249997 - 2, '\0');
    WriteBytes(stub, stubBytes);
    RunResult r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "249,996")) << r.err;
    EXPECT_FALSE(fs::exists(output));

    // The same archive glued behind that stub by hand: the reader misses it.
    WriteBytes(stub, "");
    ASSERT_EQ(Build().code, kExitOk);
    std::vector<uint8_t> archive = ReadBytes(output);
    WriteBytes(output, stubBytes + std::string(archive.begin(), archive.end()));
    Collected c;
    std::wstring path = WideOf(output);
    EXPECT_EQ(ArchivePass(path.c_str(), CollectEntry, &c), kPassNoArchive);
}

TEST_F(BuildFixture, TimesAndAttributesSurviveTheRoundTrip)
{
    WriteCleanProduct();
    fs::path readOnly = product / "locked.txt";
    WriteBytes(readOnly, "do not touch");
#ifdef _WIN32
    WriteBytes(product / "secret.txt", "hidden");
    SetFileAttributesW((product / "secret.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    const char* hiddenName = "secret.txt";
#else
    WriteBytes(product / ".secret", "hidden");
    chmod(readOnly.c_str(), 0444);
    const char* hiddenName = ".secret";
#endif
    ASSERT_EQ(Build().code, kExitOk);
    std::vector<uint8_t> setup = ReadBytes(output);
    for (const EntryHeader& h : ReadEntryHeaders(setup, 4096)) {
        uint32_t expected = h.name == "locked.txt" ? 0x21 : h.name == hiddenName ? 0x22 : 0x20;
        EXPECT_EQ(h.attributes, expected) << h.name;
    }

    Extracted x;
    fs::path folder = root / "x";
    fs::create_directories(folder);
    x.folder = WideOf(folder);
    std::wstring path = WideOf(output);
    ASSERT_EQ(ArchivePass(path.c_str(), ExtractEntry, &x), kPassOk);
    ASSERT_EQ(x.names.size(), 9u);
    for (size_t i = 0; i < x.names.size(); i++) {
        std::wstring rel = x.names[i];
        for (wchar_t& ch : rel)
            if (ch == L'\\')
                ch = L'/';
        fs::path source = product / PathOf(rel), copy = folder / std::to_string(i + 1);
        // MS-DOS times have two-second steps and are cut, not rounded.
        auto diff = fs::last_write_time(source) - fs::last_write_time(copy);
        EXPECT_GE(diff, fs::file_time_type::duration::zero()) << source.u8string();
        EXPECT_LT(diff, std::chrono::seconds(2)) << source.u8string();
        bool sourceWritable = (fs::status(source).permissions() & fs::perms::owner_write) != fs::perms::none;
        bool copyWritable = (fs::status(copy).permissions() & fs::perms::owner_write) != fs::perms::none;
        EXPECT_EQ(sourceWritable, copyWritable) << source.u8string();
    }
}

TEST_F(BuildFixture, SourceDateEpochGivesEveryEntryThatMomentInUtc)
{
    WriteCleanProduct();
    SetEnv("SOURCE_DATE_EPOCH", "1700000000"); // 2023-11-14 22:13:20 UTC
#ifndef _WIN32
    // The build machine's time zone must not matter.
    const char* oldTz = std::getenv("TZ");
    std::string savedTz = oldTz ? oldTz : "";
    SetEnv("TZ", "JST-9");
    tzset();
#endif
    ASSERT_EQ(Build().code, kExitOk);
#ifndef _WIN32
    SetEnv("TZ", oldTz ? savedTz.c_str() : nullptr);
    tzset();
#endif
    std::vector<uint8_t> setup = ReadBytes(output);
    std::vector<EntryHeader> headers = ReadEntryHeaders(setup, 4096);
    ASSERT_EQ(headers.size(), 7u);
    for (const EntryHeader& h : headers)
        EXPECT_EQ(h.time, Dos(2023, 11, 14, 22, 13, 20)) << h.name;

    // Before 1980 the format has no time: the earliest one it has.
    SetEnv("SOURCE_DATE_EPOCH", "0");
    ASSERT_EQ(Build().code, kExitOk);
    setup = ReadBytes(output);
    for (const EntryHeader& h : ReadEntryHeaders(setup, 4096))
        EXPECT_EQ(h.time, Dos(1980, 1, 1, 0, 0, 0)) << h.name;

    SetEnv("SOURCE_DATE_EPOCH", "soon");
    fs::remove(output);
    RunResult r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "SOURCE_DATE_EPOCH")) << r.err;
    EXPECT_FALSE(fs::exists(output));
}

#ifndef _WIN32
TEST_F(BuildFixture, FileTimesAreTakenInLocalTime)
{
    WriteBytes(product / "a.txt", "a");
    struct utimbuf t = {1700000000, 1700000001}; // 2023-11-14 22:13:21 UTC
    ASSERT_EQ(utime((product / "a.txt").c_str(), &t), 0);
    const char* oldTz = std::getenv("TZ");
    std::string savedTz = oldTz ? oldTz : "";
    SetEnv("TZ", "JST-9");
    tzset();
    RunResult r = Build();
    SetEnv("TZ", oldTz ? savedTz.c_str() : nullptr);
    tzset();
    ASSERT_EQ(r.code, kExitOk);
    std::vector<uint8_t> setup = ReadBytes(output);
    std::vector<EntryHeader> headers = ReadEntryHeaders(setup, 4096);
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(headers[0].time, Dos(2023, 11, 15, 7, 13, 20));
}
#endif

TEST_F(BuildFixture, SameInputsGiveTheSameBytes)
{
    WriteCleanProduct();
    for (int i = 0; i < 40; i++)
        WriteBytes(product / ("part" + std::to_string(i) + ".txt"), "line " + std::to_string(i * i) + "\r\n");
    SetEnv("SOURCE_DATE_EPOCH", "1600000000");
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, {"--level", "5"}, {"--store"}, {"--name-order"}}) {
        ASSERT_EQ(Build(options).code, kExitOk);
        std::vector<uint8_t> first = ReadBytes(output);
        fs::remove(output);
        // Touching the files changes nothing under SOURCE_DATE_EPOCH.
        WriteBytes(product / "LICENSE.TXT", "Free.\r\n");
        ASSERT_EQ(Build(options).code, kExitOk);
        EXPECT_EQ(first, ReadBytes(output)) << (options.empty() ? "" : options[0]);
    }
}

TEST_F(BuildFixture, StoreAndLevelsChangeThePacking)
{
    WriteCleanProduct();
    ASSERT_EQ(Build({"--store"}).code, kExitOk);
    std::vector<uint8_t> stored = ReadBytes(output);
    for (const EntryHeader& h : ReadEntryHeaders(stored, 4096))
        EXPECT_EQ(h.method, 0x30) << h.name;
    ASSERT_EQ(Build().code, kExitOk);
    EXPECT_LT(ReadBytes(output).size(), stored.size());
}

TEST_F(BuildFixture, MissingOrEmptyFolderIsRefused)
{
    RunResult r = RunBuildCaptured({(root / "nowhere").u8string(), "-o", output.u8string(), "--stub", stub.u8string()});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "no such folder")) << r.err;

    fs::create_directories(product / "only" / "folders");
    r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "holds no files")) << r.err;
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(BuildFixture, NamesTheSetupCannotStoreAreRefused)
{
    WriteCleanProduct();
    // A Windows-1252 letter is one byte in the stored name (two in UTF-8):
    // 259 of them fit, 260 do not.
    const std::wstring part(100, L'\x00E4');
    fs::path folder = product / PathOf(part) / PathOf(part);
    std::error_code ec;
    fs::create_directories(folder, ec);
    fs::path longest = folder / PathOf(std::wstring(53, L'\x00E4') + L".txt");
#ifdef _WIN32
    FILE* probe = ec ? nullptr : _wfopen(longest.c_str(), L"wb");
#else
    FILE* probe = ec ? nullptr : std::fopen(longest.c_str(), "wb");
#endif
    if (!probe)
        GTEST_SKIP() << "the file system refuses such a long path here";
    std::fclose(probe);
    RunResult r = Build();
    ASSERT_EQ(r.code, kExitOk) << r.err;
    std::vector<uint8_t> good = ReadBytes(output);

    WriteBytes(folder / PathOf(std::wstring(54, L'\x00E4') + L".txt"), "x");
    WriteBytes(product / PathOf(L"\x540D\x5B57.txt"), "x"); // not in Windows-1252
    r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "is 260 bytes")) << r.err;
    EXPECT_TRUE(Contains(r.err, "Windows-1252")) << r.err;
    EXPECT_EQ(ReadBytes(output), good);
}

#ifndef _WIN32
TEST_F(BuildFixture, NamesWindowsCannotCreateAreRefused)
{
    WriteCleanProduct();
    for (const char* bad : {"a:b.txt", "CON.txt", "lpt1", "dot.", "what?.txt"}) {
        fs::path p = product / "w" / bad;
        WriteBytes(p, "x");
        RunResult r = Build();
        EXPECT_EQ(r.code, kExitFailure) << bad;
        EXPECT_FALSE(fs::exists(output)) << bad;
        fs::remove(p);
    }
    std::string invalid = "bad\xFF.txt";
    WriteBytes(product / invalid, "x");
    RunResult r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "UTF-8")) << r.err;
}

TEST_F(BuildFixture, NamesThatDifferOnlyInCaseAreRefused)
{
    WriteCleanProduct();
    WriteBytes(product / "Docs" / "README.TXT", "x");
    WriteBytes(product / "docs" / "ReadMe.txt", "y");
    WriteBytes(product / "\xC3\xA4rger.txt", "x");  // "ärger"
    WriteBytes(product / "\xC3\x84RGER.TXT", "y");  // "ÄRGER"
    RunResult r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "'Docs\\README.TXT' and 'docs\\ReadMe.txt' differ only in case")) << r.err;
    EXPECT_TRUE(Contains(r.err, "\xC3\x84RGER.TXT")) << r.err;
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(BuildFixture, OddEntriesAndReadErrorsAreRefused)
{
    WriteCleanProduct();
    ASSERT_EQ(mkfifo((product / "pipe").c_str(), 0644), 0);
    RunResult r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "not a regular file")) << r.err;
    fs::remove(product / "pipe");

    fs::create_directory_symlink(root, product / "loop");
    r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "link to a folder")) << r.err;
    fs::remove(product / "loop");

    // A file that fails in the middle of reading.
    fs::create_symlink("/proc/self/mem", product / "failing.bin");
    r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "read error")) << r.err;
    EXPECT_FALSE(fs::exists(output));
    EXPECT_TRUE(Leftovers().empty());
}
#endif

TEST_F(BuildFixture, SizesBeyondTheSetupsFieldsAreRefusedBeforeReading)
{
    WriteCleanProduct();
    fs::path huge = product / "huge.bin";
    WriteBytes(huge, "");
    std::error_code ec;
    fs::resize_file(huge, 0x80000000ull, ec); // sparse: nothing is written
    if (ec)
        GTEST_SKIP() << "no sparse files here: " << ec.message();
    RunResult r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "huge.bin: is 2,147,483,648 bytes")) << r.err;

    // Two files that fit one by one but not together.
    fs::resize_file(huge, 0x50000000ull);
    WriteBytes(product / "huge2.bin", "");
    fs::resize_file(product / "huge2.bin", 0x50000000ull);
    r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "a setup can hold at most 2,147,483,647")) << r.err;
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(BuildFixture, UnusableStubsAreRefused)
{
    WriteCleanProduct();
    RunResult r = Build({"--stub", (root / "none.exe").u8string()});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "none.exe")) << r.err;

    // A finished setup as the stub.
    ASSERT_EQ(Build().code, kExitOk);
    std::vector<uint8_t> setup = ReadBytes(output);
    WriteBytes(stub, std::string(setup.begin(), setup.end()));
    fs::remove(output);
    r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "already carries an archive (at offset 4,096)")) << r.err;
    EXPECT_FALSE(fs::exists(output));

    // Too short for the scan, which starts at offset 7.
    WriteBytes(stub, "MZ12");
    r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_FALSE(fs::exists(output));
    // Not a Windows program: only a warning.
    WriteBytes(stub, "#!/bin/sh\n");
    r = Build();
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_TRUE(Contains(r.err, "warning: " + stub.u8string() + ": the stub does not begin with \"MZ\"")) << r.err;
}

TEST_F(BuildFixture, OutputInsideTheProductFolderIsRefused)
{
    WriteCleanProduct();
    for (const fs::path& inside : {product / "setup.exe", product / "docs" / ".." / "setup.exe", product}) {
        RunResult r = RunBuildCaptured({product.u8string(), "-o", inside.u8string(), "--stub", stub.u8string()});
        EXPECT_EQ(r.code, kExitFailure) << inside.u8string();
        EXPECT_FALSE(fs::exists(product / "setup.exe"));
    }
    // A sibling folder whose name merely starts the same is fine.
    fs::path sibling = root / "product2" / "setup.exe";
    fs::create_directories(sibling.parent_path());
    EXPECT_EQ(RunBuildCaptured({product.u8string(), "-o", sibling.u8string(), "--stub", stub.u8string()}).code,
              kExitOk);
#ifndef _WIN32
    fs::create_directory_symlink(product, root / "alias");
    RunResult r =
        RunBuildCaptured({product.u8string(), "-o", (root / "alias" / "s.exe").u8string(), "--stub", stub.u8string()});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "inside the product folder")) << r.err;
#endif
}

TEST_F(BuildFixture, FailedBuildLeavesAnEarlierOutputUntouched)
{
    WriteCleanProduct();
    WriteBytes(output, "previous setup");
    WriteBytes(product / PathOf(L"\x540D.txt"), "x");
    EXPECT_EQ(Build().code, kExitFailure);
    EXPECT_EQ(ReadBytes(output), std::vector<uint8_t>({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's', ' ', 's', 'e', 't',
                                                       'u', 'p'}));
    EXPECT_TRUE(Leftovers().empty());

    // An output folder that does not exist: nothing is created anywhere.
    fs::remove(product / PathOf(L"\x540D.txt"));
    fs::path missing = root / "no" / "such" / "out.exe";
    RunResult r = RunBuildCaptured({product.u8string(), "-o", missing.u8string(), "--stub", stub.u8string()});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "cannot create")) << r.err;
    EXPECT_FALSE(fs::exists(root / "no"));
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(BuildFixture, SurprisesAreWarnedAboutButBuilt)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        const char* expected;
    };
    const std::string script = "ID=AB\r\nClass=W\r\n";
    const std::vector<Case> cases = {
        {"no description", {{"INSTALL.INF", script}, {"OA.EXE", "x"}}, "no FILE_ID.DIZ"},
        {"nested description",
         {{"INSTALL.INF", script}, {"OA.EXE", "x"}, {"d/FILE_ID.DIZ", "A Version 1\r\n"}},
         "one in a subfolder is not read"},
        {"no script", {{"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"}}, "no setup script"},
        {"script without ID",
         {{"INSTALL.INF", "Class=W\r\n"}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"}},
         "sets no \"ID\""},
        {"ID with a blank",
         {{"INSTALL.INF", "ID = AB\r\n"}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"}},
         "sets no \"ID\""},
        {"ID inside another word",
         {{"INSTALL.INF", "GUID=123\r\nID=AB\r\n"}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"}},
         "reads '123' as the product id"},
        {"long ID",
         {{"INSTALL.INF", "ID=ABCDE\r\n"}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"}},
         "the setup keeps 'ABC'"},
        {"two scripts",
         {{"INSTALL.INF", script}, {"x/OTHER.INF", script}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"}},
         "several setup scripts"},
        {"same name twice",
         {{"INSTALL.INF", script}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"}, {"a/read.me", "1"},
          {"b/READ.ME", "2"}},
         "'a\\read.me', 'b\\READ.ME' have the same file name"},
        {"language file without code",
         {{"INSTALL.INF", script}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"},
          {"ABUS.LNG", "[Text]\r\nLanguage=English\r\n"}},
         "'ABUS.LNG' is not named <prefix>_<code>.LNG"},
        {"language code of three letters",
         {{"INSTALL.INF", script}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"},
          {"AB_USA.LNG", "[Text]\r\nLanguage=English\r\n"}},
         "'AB_USA.LNG' is not named"},
        {"two prefixes",
         {{"INSTALL.INF", script}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"},
          {"AB_US.LNG", "[Text]\r\nLanguage=English\r\n"}, {"XYZ_IT.LNG", "[Text]\r\nLanguage=Italian\r\n"}},
         "'XYZ_IT.LNG' does not share the prefix 'AB'"},
        {"language file without a language",
         {{"INSTALL.INF", script}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"},
          {"AB_NL.LNG", "Language=Nederlands\r\n"}},
         "'AB_NL.LNG' does not begin like a language file"},
        {"no main program", {{"INSTALL.INF", script}, {"FILE_ID.DIZ", "A Version 1\r\n"}}, "no main program"},
        {"main program named but missing",
         {{"INSTALL.INF", script + "Exe=MAIN.EXE\r\n"}, {"FILE_ID.DIZ", "A Version 1\r\n"}},
         "names the main program 'MAIN.EXE', but no file"},
        {"two main program candidates",
         {{"INSTALL.INF", script}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OB.EXE", "x"}, {"oa.exe", "x"}},
         "takes the first in the archive, 'oa.exe', not 'OB.EXE'"},
        {"description without a title",
         {{"INSTALL.INF", script}, {"FILE_ID.DIZ", "\r\nA Version 1\r\n"}, {"OA.EXE", "x"}},
         "FILE_ID.DIZ has no product name"},
    };
    for (const Case& c : cases) {
        fs::remove_all(product);
        fs::create_directories(product);
        for (const auto& f : c.files)
            WriteBytes(product / fs::u8path(f.first), f.second);
        fs::remove(output);
        RunResult r = Build();
        EXPECT_EQ(r.code, kExitOk) << c.what << ": " << r.err;
        EXPECT_TRUE(fs::exists(output)) << c.what;
        EXPECT_TRUE(Contains(r.err, "mksetup: warning: ")) << c.what << ": " << r.err;
        EXPECT_TRUE(Contains(r.err, c.expected)) << c.what << ": " << r.err;
        EXPECT_FALSE(Contains(r.err, "error")) << c.what << ": " << r.err;
    }
}

TEST_F(BuildFixture, CommandLineMistakesAreUsageErrors)
{
    WriteCleanProduct();
    std::string p = product.u8string(), o = output.u8string(), s = stub.u8string();
    const std::vector<std::vector<std::string>> bad = {
        {},
        {p},
        {"-o", o},
        {p, "-o"},
        {p, "-o", o, "--level", "0"},
        {p, "-o", o, "--level", "6"},
        {p, "-o", o, "--level=x"},
        {p, "-o", o, "--fast"},
        {p, p, "-o", o},
    };
    for (const auto& args : bad) {
        RunResult r = RunBuildCaptured(args);
        EXPECT_EQ(r.code, kExitUsage) << testing::PrintToString(args);
        EXPECT_TRUE(Contains(r.err, "usage: mksetup build")) << r.err;
    }
    EXPECT_FALSE(fs::exists(output));

    RunResult help = RunBuildCaptured({"--help"});
    EXPECT_EQ(help.code, kExitOk);
    EXPECT_TRUE(Contains(help.out, "--name-order")) << help.out;
    EXPECT_TRUE(Contains(help.out, "SOURCE_DATE_EPOCH")) << help.out;
    RunResult version = RunBuildCaptured({"--version"});
    EXPECT_EQ(version.code, kExitOk);
    EXPECT_TRUE(Contains(version.out, "mksetup")) << version.out;

    // Options in either spelling; quiet means no summary. Standard error is
    // no terminal here, so no progress bar either.
    RunResult quiet = RunBuildCaptured({"--quiet", "--level=1", "--output=" + o, "--stub=" + s, p});
    EXPECT_EQ(quiet.code, kExitOk) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
}
