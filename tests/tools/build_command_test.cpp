// `mksetup build` end to end on real folders: what goes into the setup, what
// is refused, what is only warned about, and that a failed build leaves
// nothing behind.
#include "tests/tools/build_test_support.h"

#include "archive/archive_pass.h"

#include <chrono>
#include <cstring>
#include <map>

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

std::vector<std::string> Names(const std::vector<EntryHeader>& headers)
{
    std::vector<std::string> names;
    for (const EntryHeader& h : headers)
        names.push_back(h.name);
    return names;
}

// Sets TZ for its lifetime (on Windows the build never reads TZ).
struct TimeZone {
    std::string saved;
    bool had;
    explicit TimeZone(const char* zone)
        : had(std::getenv("TZ") != nullptr)
    {
        if (had)
            saved = std::getenv("TZ");
        SetEnv("TZ", zone);
        Apply();
    }
    ~TimeZone()
    {
        SetEnv("TZ", had ? saved.c_str() : nullptr);
        Apply();
    }
    static void Apply()
    {
#ifndef _WIN32
        tzset();
#endif
    }
};

std::wstring Slashed(std::wstring name)
{
    for (wchar_t& ch : name)
        if (ch == L'\\')
            ch = L'/';
    return name;
}

// Every entry of a setup through the setup's own reader: into memory, or
// with a folder to <folder>/<index> so that times and attributes can be
// compared with the sources.
struct Entries {
    std::wstring folder;
    std::vector<std::wstring> names;
    std::vector<std::string> data;
};

int TakeEntry(wchar_t* name, const unsigned char* data, uint32_t size, void* user)
{
    Entries* e = static_cast<Entries*>(user);
    if (data) {
        e->data.push_back(std::string(reinterpret_cast<const char*>(data), size));
        return 0;
    }
    e->names.push_back(name);
    std::wstring target = e->folder.empty() ? std::wstring(1, wchar_t(7)) // 7: into memory
                                            : e->folder + L"/" + std::to_wstring(e->names.size());
    if (target.size() >= 260)
        return 1;
    std::copy(target.begin(), target.end(), name);
    name[target.size()] = 0;
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
    EXPECT_EQ(std::memcmp(setup.data() + stubBytes.size(), "Rar!\x1A\x07", 7), 0);

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

    ASSERT_EQ(Build({"--name-order"}).code, kExitOk);
    EXPECT_EQ(Names(ReadEntryHeaders(ReadBytes(output), 4096)),
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
    WriteBytes(stub, "MZ" + std::string(249996 - 2, '\0'));
    for (const char* level : {"1", "5"}) {
        RunResult r = Build({"--level", level});
        ASSERT_EQ(r.code, kExitOk) << r.err;
        Entries e;
        ASSERT_EQ(ArchivePass(WideOf(output).c_str(), TakeEntry, &e), kPassOk) << "level " << level;
        ASSERT_EQ(e.data.size(), 9u);
        for (size_t i = 0; i < e.data.size(); i++) {
            std::vector<uint8_t> original = ReadBytes(product / PathOf(Slashed(e.names[i])));
            EXPECT_EQ(e.data[i], std::string(original.begin(), original.end())) << Utf8Of(e.names[i]);
        }
    }
}

TEST_F(BuildFixture, StubOneByteTooLargeForTheScanIsRefusedAndReallyUnfindable)
{
    WriteCleanProduct();
    std::string stubBytes = "MZ" + std::string(249997 - 2, '\0');
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
    Entries e;
    EXPECT_EQ(ArchivePass(WideOf(output).c_str(), TakeEntry, &e), kPassNoArchive);
}

TEST_F(BuildFixture, TimesAndAttributesSurviveTheRoundTrip)
{
    WriteCleanProduct();
    fs::path readOnly = product / "locked.txt";
    WriteBytes(readOnly, "do not touch");
#ifdef _WIN32
    const char* hiddenName = "secret.txt";
    WriteBytes(product / hiddenName, "hidden");
    SetFileAttributesW((product / hiddenName).c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
#else
    const char* hiddenName = ".secret";
    WriteBytes(product / hiddenName, "hidden");
    chmod(readOnly.c_str(), 0444);
#endif
    ASSERT_EQ(Build().code, kExitOk);
    for (const EntryHeader& h : ReadEntryHeaders(ReadBytes(output), 4096))
        EXPECT_EQ(h.attributes, h.name == "locked.txt" ? 0x21u : h.name == hiddenName ? 0x22u : 0x20u) << h.name;

    Entries e;
    fs::path folder = root / "x";
    fs::create_directories(folder);
    e.folder = WideOf(folder);
    ASSERT_EQ(ArchivePass(WideOf(output).c_str(), TakeEntry, &e), kPassOk);
    ASSERT_EQ(e.names.size(), 9u);
    for (size_t i = 0; i < e.names.size(); i++) {
        fs::path source = product / PathOf(Slashed(e.names[i])), copy = folder / std::to_string(i + 1);
        // MS-DOS times have two-second steps and are cut, not rounded.
        auto diff = fs::last_write_time(source) - fs::last_write_time(copy);
        EXPECT_GE(diff, fs::file_time_type::duration::zero()) << source.u8string();
        EXPECT_LT(diff, std::chrono::seconds(2)) << source.u8string();
        auto writable = [](const fs::path& p) {
            return (fs::status(p).permissions() & fs::perms::owner_write) != fs::perms::none;
        };
        EXPECT_EQ(writable(source), writable(copy)) << source.u8string();
    }
}

TEST_F(BuildFixture, SourceDateEpochGivesEveryEntryThatMomentInUtc)
{
    WriteCleanProduct();
    SetEnv("SOURCE_DATE_EPOCH", "1700000000"); // 2023-11-14 22:13:20 UTC
    {
        TimeZone tokyo("JST-9"); // the build machine's zone must not matter
        ASSERT_EQ(Build().code, kExitOk);
    }
    std::vector<EntryHeader> headers = ReadEntryHeaders(ReadBytes(output), 4096);
    ASSERT_EQ(headers.size(), 7u);
    for (const EntryHeader& h : headers)
        EXPECT_EQ(h.time, DosTime(2023, 11, 14, 22, 13, 20)) << h.name;

    // Before 1980 the format has no time: the earliest one it has.
    SetEnv("SOURCE_DATE_EPOCH", "0");
    ASSERT_EQ(Build().code, kExitOk);
    for (const EntryHeader& h : ReadEntryHeaders(ReadBytes(output), 4096))
        EXPECT_EQ(h.time, DosTime(1980, 1, 1, 0, 0, 0)) << h.name;

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
    {
        TimeZone tokyo("JST-9");
        ASSERT_EQ(Build().code, kExitOk);
    }
    std::vector<EntryHeader> headers = ReadEntryHeaders(ReadBytes(output), 4096);
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(headers[0].time, DosTime(2023, 11, 15, 7, 13, 20));
}
#endif

TEST_F(BuildFixture, SameInputsGiveTheSameBytesAndStoreStoresEverything)
{
    WriteCleanProduct();
    for (int i = 0; i < 40; i++)
        WriteBytes(product / ("part" + std::to_string(i) + ".txt"), "line " + std::to_string(i * i) + "\r\n");
    SetEnv("SOURCE_DATE_EPOCH", "1600000000");
    std::vector<size_t> sizes;
    for (const Arguments& options : {Arguments{}, {"--level", "5"}, {"--store"}, {"--name-order"}}) {
        ASSERT_EQ(Build(options).code, kExitOk);
        std::vector<uint8_t> first = ReadBytes(output);
        sizes.push_back(first.size());
        fs::remove(output);
        // Touching the files changes nothing under SOURCE_DATE_EPOCH.
        WriteBytes(product / "LICENSE.TXT", "Free.\r\n");
        ASSERT_EQ(Build(options).code, kExitOk);
        EXPECT_EQ(first, ReadBytes(output)) << (options.empty() ? "" : options[0]);
    }
    ASSERT_EQ(Build({"--store"}).code, kExitOk);
    for (const EntryHeader& h : ReadEntryHeaders(ReadBytes(output), 4096))
        EXPECT_EQ(h.method, 0x30) << h.name;
    EXPECT_LT(sizes[0], sizes[2]);
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
TEST_F(BuildFixture, NamesWindowsCannotCreateOrTellApartAreRefused)
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
    WriteBytes(product / "bad\xFF.txt", "x");
    RunResult r = Build();
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "UTF-8")) << r.err;
    fs::remove(product / "bad\xFF.txt");

    // Names that differ only in case would land on one file.
    WriteBytes(product / "Docs" / "README.TXT", "x");
    WriteBytes(product / "docs" / "ReadMe.txt", "y");
    WriteBytes(product / "\xC3\xA4rger.txt", "x"); // "ärger"
    WriteBytes(product / "\xC3\x84RGER.TXT", "y"); // "ÄRGER"
    r = Build();
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
    std::vector<uint8_t> kept = ReadBytes(output);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous setup");
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
    // Each case changes a small sound product: a name with text adds or
    // replaces that file, a name starting with '-' removes it.
    const std::map<std::string, std::string> base = {
        {"INSTALL.INF", "ID=AB\r\nClass=W\r\n"}, {"FILE_ID.DIZ", "A Version 1\r\n"}, {"OA.EXE", "x"}};
    const std::string english = "[Text]\r\nLanguage=English\r\n";
    const struct {
        std::vector<std::pair<std::string, std::string>> changes;
        const char* expected;
    } cases[] = {
        {{{"-FILE_ID.DIZ", ""}}, "no FILE_ID.DIZ"},
        {{{"-FILE_ID.DIZ", ""}, {"d/FILE_ID.DIZ", "A Version 1\r\n"}}, "one in a subfolder is not read"},
        {{{"-INSTALL.INF", ""}}, "no setup script"},
        {{{"INSTALL.INF", "Class=W\r\n"}}, "sets no \"ID\""},
        {{{"INSTALL.INF", "ID = AB\r\n"}}, "sets no \"ID\""},
        {{{"INSTALL.INF", "GUID=123\r\nID=AB\r\n"}}, "reads '123' as the product id"},
        {{{"INSTALL.INF", "ID=ABCDE\r\n"}}, "the setup keeps 'ABC'"},
        {{{"x/OTHER.INF", "ID=AB\r\n"}}, "several setup scripts"},
        {{{"a/read.me", "1"}, {"b/READ.ME", "2"}}, "'a\\read.me', 'b\\READ.ME' have the same file name"},
        {{{"ABUS.LNG", english}}, "'ABUS.LNG' is not named <prefix>_<code>.LNG"},
        {{{"AB_USA.LNG", english}}, "'AB_USA.LNG' is not named"},
        {{{"AB_US.LNG", english}, {"XYZ_IT.LNG", "[Text]\r\nLanguage=Italian\r\n"}},
         "'XYZ_IT.LNG' does not share the prefix 'AB'"},
        {{{"AB_NL.LNG", "Language=Nederlands\r\n"}}, "'AB_NL.LNG' does not begin like a language file"},
        {{{"-OA.EXE", ""}}, "no main program"},
        {{{"-OA.EXE", ""}, {"INSTALL.INF", "ID=AB\r\nClass=W\r\nExe=MAIN.EXE\r\n"}},
         "names the main program 'MAIN.EXE', but no file"},
        {{{"-OA.EXE", ""}, {"OB.EXE", "x"}, {"oa.exe", "x"}}, "takes the first in the archive, 'oa.exe', not 'OB.EXE'"},
        {{{"FILE_ID.DIZ", "\r\nA Version 1\r\n"}}, "FILE_ID.DIZ has no product name"},
    };
    for (const auto& c : cases) {
        std::map<std::string, std::string> files = base;
        for (const auto& change : c.changes) {
            if (change.first[0] == '-')
                files.erase(change.first.substr(1));
            else
                files[change.first] = change.second;
        }
        fs::remove_all(product);
        fs::create_directories(product);
        for (const auto& f : files)
            WriteBytes(product / fs::u8path(f.first), f.second);
        fs::remove(output);
        RunResult r = Build();
        EXPECT_EQ(r.code, kExitOk) << c.expected << ": " << r.err;
        EXPECT_TRUE(fs::exists(output)) << c.expected;
        EXPECT_TRUE(Contains(r.err, "mksetup: warning: ")) << c.expected << ": " << r.err;
        EXPECT_TRUE(Contains(r.err, c.expected)) << r.err;
        EXPECT_FALSE(Contains(r.err, "error")) << c.expected << ": " << r.err;
    }
}

TEST_F(BuildFixture, CommandLineMistakesAreUsageErrors)
{
    WriteCleanProduct();
    std::string p = product.u8string(), o = output.u8string(), s = stub.u8string();
    const Arguments bad[] = {{},
                             {p},
                             {"-o", o},
                             {p, "-o"},
                             {p, "-o", o, "--level", "0"},
                             {p, "-o", o, "--level", "6"},
                             {p, "-o", o, "--level=x"},
                             {p, "-o", o, "--fast"},
                             {p, p, "-o", o}};
    for (const Arguments& args : bad) {
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
