// mksetup: the rules `build` applies to a product, as tables of its checks;
// what only whole runs show (the setup reads back through the setup's own
// reader, a refused build writes nothing, exit codes); what list, test and
// extract add to the archive pass; the sample product and its programs.
#include "archive/archive_pass.h"
#include "format/rar_format.h"
#include "support/archive_builder.h"
#include "tools/mksetup/build_checks.h"
#include "tools/mksetup/commands.h"
#include "tools/mksetup/host.h"
#include "tools/mksetup/product_scan.h"
#include "tools/mksetup/tool_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <tuple>

#ifdef _WIN32
#include <windows.h>
#define setenv(name, value, overwrite) _putenv_s(name, value) // an empty value removes the variable
#else
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <utime.h>
#endif

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

fs::path PathOf(const std::wstring& name)
{
    return fs::u8path(Utf8Of(name));
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct RunResult {
    int code;
    std::string out, err;
};

RunResult RunCaptured(int (*command)(const Arguments&), const Arguments& args)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = command(args);
    std::fflush(stdout);
    std::fflush(stderr);
    std::string out = testing::internal::GetCapturedStdout();
    return RunResult{code, out, testing::internal::GetCapturedStderr()};
}

// Names (wide, "\" separators) and contents; "#N" stands for N bytes that
// are never read.
using Files = std::map<std::wstring, std::string>;

// The build's checks on a product that exists only as names and bytes.
Findings Check(const Files& files)
{
    std::vector<PlanEntry> entries;
    std::map<std::wstring, std::vector<uint8_t>> bytes;
    for (const auto& [name, text] : files) {
        entries.push_back({PathOf(name), name, std::string(name.begin(), name.end()), // Latin-1 letters only
                           text[0] == '#' ? std::stoull(text.substr(1)) : text.size()});
        bytes[name] = BytesOf(text);
    }
    OrderEntries(&entries, false);
    Findings findings;
    CheckEntries(entries, 4096, &findings);
    std::vector<const std::vector<uint8_t>*> data;
    for (const PlanEntry& e : entries)
        data.push_back(&bytes[e.wideName]);
    CheckContents(entries, data, &findings);
    return findings;
}

std::set<std::string> Tree(const fs::path& root)
{
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root))
        names.insert(e.path().lexically_relative(root).generic_u8string());
    return names;
}

// A Windows-1252 letter is one byte in the stored name, two in UTF-8.
fs::path LongName(size_t lastPart)
{
    std::wstring part(100, L'\x00E4');
    return PathOf(part + L"/" + part + L"/" + std::wstring(lastPart, L'\x00E4') + L".txt");
}

// The file headers of a setup as the setup's reader walks them.
std::vector<EntryHeaderInfo> Headers(const fs::path& setup)
{
    std::vector<EntryHeaderInfo> all;
    auto collect = [](const EntryHeaderInfo* info, void* user) {
        static_cast<std::vector<EntryHeaderInfo>*>(user)->push_back(*info);
        return 0;
    };
    WalkArchiveHeaders(WideOf(setup.u8string()).c_str(), collect, &all);
    return all;
}

// A stored entry with a time and attributes, for setups made by hand.
FileEntry Entry(const char* name, const std::string& data, uint32_t attributes = kAttrArchive)
{
    FileEntry e = StoredEntry(name, BytesOf(data));
    e.fileTime = DosTime(2009, 7, 15, 10, 30, 44);
    e.fileAttr = attributes;
    return e;
}

// A scratch folder with a sound product and a 4 KiB stub, SOURCE_DATE_EPOCH
// unset. The output's name begins like the product folder's but lies beside
// it.
class Mksetup : public testing::Test {
protected:
    Mksetup()
    {
        setenv("SOURCE_DATE_EPOCH", "", 1);
        WriteCleanProduct();
        WriteBytes(stub, "MZ" + std::string(4094, '\0'));
    }
    ~Mksetup() override { setenv("SOURCE_DATE_EPOCH", "", 1); }

    void WriteCleanProduct()
    {
        WriteBytes(product / "INSTALL.INF", "ID=AB\r\nClass=AlphaWindow\r\n");
        WriteBytes(product / "FILE_ID.DIZ", "Alpha Version 1.0\r\n");
        WriteBytes(product / "OALPHA.EXE", "MZ program " + std::string(3000, 'x'));
        WriteBytes(product / "AB_US.LNG", "[Text]\r\nLanguage=English\r\n");
        WriteBytes(product / "docs" / "readme.txt", "Read me.\r\n");
        WriteBytes(product / "LICENSE.TXT", "Free.\r\n");
    }

    RunResult Build() { return RunCaptured(RunBuild, {p, "-o", o, "--stub", s}); }

    // A setup made by hand: a stub, a read-only file in a folder, a folder
    // entry, and `more`.
    std::string WriteSetup(const std::vector<FileEntry>& more = {})
    {
        ArchiveBuilder b;
        b.Sealed().Prefix(std::vector<uint8_t>(4096, 'M')).File(Entry("docs\\README.TXT", "read me", 0x21));
        b.File(Entry("empty", "", kAttrDirectory));
        for (const FileEntry& e : more)
            b.File(e);
        WriteFileBytes(dir.File("setup.exe"), b.Build());
        return dir.File("setup.exe");
    }

    TempDir dir;
    fs::path root = fs::path(dir.path()), product = root / "product", stub = root / "stub.exe",
             output = root / "product.exe";
    std::string p = product.u8string(), o = output.u8string(), s = stub.u8string();
};

} // namespace

TEST(BuildChecks, WarningsAndErrorsForTheProductsNamesAndContents)
{
    // Each case changes a sound product: a name with text adds or replaces
    // that file, a name starting with '-' removes it. Expected is an error
    // ('E'), a warning alone ('W') or no message at all ('-').
    const Files base = {
        {L"INSTALL.INF", "ID=AB\r\nClass=W\r\n"}, {L"FILE_ID.DIZ", "A Version 1\r\n"}, {L"OA.EXE", "x"}};
    const std::string us = "[Text]\r\nLanguage=English\r\n";
    const std::tuple<Files, char, const char*> cases[] = {
        {{}, '-', ""}, // the sound product itself
        {{{L"-FILE_ID.DIZ", ""}}, 'W', "no FILE_ID.DIZ"},
        {{{L"-FILE_ID.DIZ", ""}, {L"d\\FILE_ID.DIZ", "A Version 1"}}, 'W', "one in a subfolder is not read"},
        {{{L"FILE_ID.DIZ", "\r\nA Version 1\r\n"}}, 'W', "FILE_ID.DIZ has no product name"},
        {{{L"-INSTALL.INF", ""}}, 'W', "no setup script"},
        {{{L"INSTALL.INF", "Class=W\r\n"}}, 'W', "sets no \"ID\""},
        {{{L"INSTALL.INF", "ID = AB\r\n"}}, 'W', "sets no \"ID\""},
        {{{L"INSTALL.INF", "GUID=123\r\nID=AB\r\n"}}, 'W', "reads '123' as the product id"},
        {{{L"INSTALL.INF", "ID=ABCDE\r\n"}}, 'W', "the setup keeps 'ABC'"},
        {{{L"a\\read.me", "1"}, {L"b\\READ.ME", "2"}}, 'W', "'a\\read.me', 'b\\READ.ME' have the same file name"},
        {{{L"ABUS.LNG", us}}, 'W', "'ABUS.LNG' is not named <prefix>_<code>.LNG"},
        {{{L"AB_USA.LNG", us}}, 'W', "'AB_USA.LNG' is not named"},
        {{{L"AB_US.LNG", us}, {L"XYZ_IT.LNG", us}}, 'W', "'XYZ_IT.LNG' does not share the prefix 'AB'"},
        {{{L"AB_US.LNG", us}, {L"ab_it.lng", us}}, '-', ""},
        {{{L"AB_NL.LNG", "Language=Nederlands\r\n"}}, 'W', "'AB_NL.LNG' does not begin like a language file"},
        {{{L"-OA.EXE", ""}}, 'W', "no main program"},
        {{{L"INSTALL.INF", "ID=AB\r\nExe=MAIN.EXE\r\n"}}, 'W', "names the main program 'MAIN.EXE', but no file"},
        {{{L"-OA.EXE", ""}, {L"INSTALL.INF", "ID=AB\r\nExe=MAIN.EXE\r\n"}, {L"bin\\main.exe", "x"}}, '-', ""},
        {{{L"-OA.EXE", ""}, {L"OB.EXE", "x"}, {L"oa.exe", "x"}}, 'W', "first in the archive, 'oa.exe', not 'OB.EXE'"},
        {{{L"Docs\\README.TXT", "x"}, {L"docs\\ReadMe.txt", "y"}}, 'E', "'Docs\\README.TXT' and 'docs\\ReadMe.txt'"},
        {{{L"\x00E4rger.txt", "x"}, {L"\x00C4RGER.TXT", "y"}}, 'E', "differ only in case"},
        {{{L"huge.bin", "#2147483648"}}, 'E', "huge.bin: is 2,147,483,648 bytes"},
        {{{L"a.bin", "#1342177280"}, {L"b.bin", "#1342177280"}}, 'E', "a setup can hold at most 2,147,483,647"},
    };
    for (const auto& [changes, kind, expected] : cases) {
        Files files = base;
        for (const auto& [name, text] : changes)
            name[0] == L'-' ? void(files.erase(name.substr(1))) : void(files[name] = text);
        Findings f = Check(files);
        std::string errors = std::accumulate(f.errors.begin(), f.errors.end(), std::string()),
                    warnings = std::accumulate(f.warnings.begin(), f.warnings.end(), std::string());
        EXPECT_TRUE(Contains(kind == 'E' ? errors : warnings, expected)) << expected << "\n" << errors << warnings;
        EXPECT_EQ(errors.empty(), kind != 'E') << errors;
        EXPECT_TRUE(kind == 'E' || warnings.empty() == (kind == '-')) << warnings;
    }
}

// Files of one extension go by size (near copies often share it), except
// where the setup reads meaning into their order: the first language file
// gives the prefix, the first fitting program becomes the main program (both
// keep name order, ahead), and of files of one name the last in name order
// replaces the others when installed (it stays behind them).
TEST(OrderEntries, BySizeWithinAnExtensionUnlessOrderMeansSomething)
{
    std::vector<PlanEntry> entries;
    for (auto [name, size] : std::vector<std::pair<std::wstring, uint64_t>>{{L"b.dll", 1},
                                                                            {L"a.dll", 3},
                                                                            {L"c.dll", 2},
                                                                            {L"y\\d.dll", 1},
                                                                            {L"x\\D.DLL", 9},
                                                                            {L"w\\d.dll", 5},
                                                                            {L"OB.EXE", 1},
                                                                            {L"OA.EXE", 2},
                                                                            {L"P_US.LNG", 5},
                                                                            {L"P_DE.LNG", 6}})
        entries.push_back({PathOf(name), name, std::string(name.begin(), name.end()), size});
    OrderEntries(&entries, false);
    std::string order;
    for (const PlanEntry& e : entries)
        order += e.name + " ";
    EXPECT_EQ(order, "b.dll c.dll a.dll w\\d.dll x\\D.DLL y\\d.dll OA.EXE OB.EXE P_DE.LNG P_US.LNG ");
}

// Size order may part a near copy from its original by more than the
// window: a.bin and b.bin share 600,000 bytes, and c.bin, between them by
// size, would put b.bin 1.2 MB behind a.bin. Name order keeps them together.
TEST(OrderEntries, NameOrderWhereSizeOrderPartsNearCopies)
{
    std::mt19937 random(7);
    auto bytes = [&](size_t n) {
        std::vector<uint8_t> v(n);
        for (uint8_t& b : v)
            b = uint8_t(random());
        return v;
    };
    std::map<std::string, std::vector<uint8_t>> data = {{"a.bin", bytes(600000)}, {"c.bin", bytes(610000)}};
    data["b.bin"] = data["a.bin"];
    std::vector<uint8_t> tail = bytes(20000);
    data["b.bin"].insert(data["b.bin"].end(), tail.begin(), tail.end());
    std::vector<PlanEntry> entries;
    for (const auto& [name, d] : data)
        entries.push_back({PathOf(WideOf(name)), WideOf(name), name, d.size()});
    OrderEntries(&entries, false);
    std::vector<const std::vector<uint8_t>*> contents;
    std::string order;
    for (const PlanEntry& e : entries) {
        contents.push_back(&data[e.name]);
        order += e.name + " ";
    }
    EXPECT_EQ(order, "a.bin c.bin b.bin ");
    order.clear();
    for (size_t k : SettleOrder(entries, contents))
        order += entries[k].name + " ";
    EXPECT_EQ(order, "a.bin b.bin c.bin ");
}

// Extensions of text and of binaries each go together, behind the first of
// their kind, so that binaries between two extensions of text do not push
// the first out of the window; packed data goes last, the script in front.
TEST(OrderEntries, TextApartFromBinariesAndPackedDataLast)
{
    std::mt19937 random(3);
    std::vector<uint8_t> binary(4000), packed(4000);
    for (uint8_t& b : binary)
        b = uint8_t(random() % 64);
    for (uint8_t& b : packed)
        b = uint8_t(random());
    std::vector<uint8_t> text = SampleText(4000, 2);
    std::map<std::string, std::vector<uint8_t>> data = {{"INSTALL.INF", BytesOf("Group=Tools\r\n")},
                                                        {"a.bin", binary},
                                                        {"b.cab", packed},
                                                        {"c.htm", text},
                                                        {"d.ocx", binary},
                                                        {"e.txt", text}};
    std::vector<PlanEntry> entries;
    for (const auto& [name, d] : data)
        entries.push_back({PathOf(WideOf(name)), WideOf(name), name, d.size()});
    OrderEntries(&entries, false);
    std::vector<const std::vector<uint8_t>*> contents;
    for (const PlanEntry& e : entries)
        contents.push_back(&data[e.name]);
    std::string order;
    for (size_t k : SettleOrder(entries, contents))
        order += entries[k].name + " ";
    EXPECT_EQ(order, "INSTALL.INF a.bin d.ocx c.htm e.txt b.cab ");
}

TEST_F(Mksetup, BuiltSetupReadsBackThroughTheSetupsReader)
{
    WriteBytes(product / "empty.dat", "");
    std::vector<uint8_t> text = SampleText(200000, 1);
    WriteBytes(product / PathOf(L"gr\x00FC\x00DF.txt"), std::string(text.begin(), text.end()));
    WriteBytes(product / "locked.txt", "do not touch");
    WriteBytes(product / ".secret", "hidden");
    WriteBytes(product / "a" / "A.INF", "Group=Tools\r\n"); // INSTALL.INF at the top is the script that leads
#ifdef _WIN32
    SetFileAttributesW((product / ".secret").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((product / "locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
#else
    chmod((product / "locked.txt").c_str(), 0444);
    // File times are local; SOURCE_DATE_EPOCH is UTC whatever the zone.
    const char* zone = std::getenv("TZ");
    std::string savedZone = zone ? zone : "";
    setenv("TZ", "JST-9", 1);
    tzset();
    struct utimbuf t = {1700000000, 1700000001}; // 2023-11-14 22:13:21 UTC
    utime((product / "LICENSE.TXT").c_str(), &t);
#endif
    // The largest stub behind which the setup's scan still finds the archive.
    std::string stubBytes = "MZ" + std::string(249994, '\0');
    WriteBytes(stub, stubBytes);
    RunResult r = Build();
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_TRUE(Contains(r.err, "several setup scripts ('INSTALL.INF', 'a\\A.INF')")) << r.err;
    EXPECT_TRUE(Contains(r.out, "11 files")) << r.out;
    EXPECT_EQ(ReadBytes(output).substr(0, stubBytes.size()), stubBytes);
    std::vector<EntryHeaderInfo> headers = Headers(output);
    ASSERT_EQ(headers.size(), 11u);
    std::string order; // the script, the description, then by extension
    for (size_t i = 0; i < 5; i++)
        order += headers[i].name + std::string(" ");
    EXPECT_EQ(order, "INSTALL.INF FILE_ID.DIZ empty.dat OALPHA.EXE a\\A.INF ");
    EXPECT_TRUE(std::any_of(headers.begin(), headers.end(), [](auto& h) { return h.method != kMethodStored; }));
    for (const EntryHeaderInfo& h : headers) {
        std::string name = h.name;
        EXPECT_EQ(h.fileAttr, name == "locked.txt" ? 0x21u : name == ".secret" ? 0x22u : 0x20u) << name;
#ifndef _WIN32
        EXPECT_TRUE(name != "LICENSE.TXT" || h.fileTime == DosTime(2023, 11, 15, 7, 13, 20));
#endif
    }
    fs::path copy = root / "x";
    r = RunCaptured(RunExtract, {o, "-o", copy.u8string()});
    ASSERT_TRUE(r.code == kExitOk && Contains(r.out, "11 files extracted")) << r.out << r.err;
    for (const auto& e : fs::recursive_directory_iterator(product)) {
        fs::path source = e.path(), back = copy / source.lexically_relative(product);
        EXPECT_TRUE(e.is_directory() || ReadBytes(source) == ReadBytes(back)) << back.u8string();
    }

    // One byte more of stub the build refuses: the scan would miss the archive.
    WriteBytes(stub, stubBytes + '\0');
    EXPECT_TRUE(Contains(Build().err, "must start at offset 249,996 or earlier"));

    // Inline option values, SOURCE_DATE_EPOCH, and a warning, which does not
    // stop the build. Quiet means no summary (and standard error is no
    // terminal here, so there is no progress bar either).
    WriteBytes(product / LongName(53), "a stored name of 259 bytes");
    WriteBytes(stub, "#!/bin/sh\n");
    setenv("SOURCE_DATE_EPOCH", "1700000001", 1); // odd seconds are cut
    r = RunCaptured(RunBuild, {"--quiet", "--store", "--name-order", "--output=" + o, "--stub=" + s, p});
    EXPECT_TRUE(r.code == kExitOk && r.out.empty());
    EXPECT_TRUE(Contains(r.err, "mksetup: warning: " + s + ": the stub does not begin with \"MZ\"")) << r.err;
    headers = Headers(output);
    ASSERT_EQ(headers.size(), 12u);
    EXPECT_STREQ(headers[10].name, "OALPHA.EXE"); // by name alone
    for (const EntryHeaderInfo& h : headers)
        EXPECT_TRUE(h.method == kMethodStored && h.fileTime == DosTime(2023, 11, 14, 22, 13, 20)) << h.name;
    EXPECT_EQ(std::string(headers[11].name).size(), 259u);
    // Before 1980 the format has no time: the earliest one it has.
    setenv("SOURCE_DATE_EPOCH", "0", 1);
    EXPECT_EQ(RunCaptured(RunBuild, {"--level", "4", "--threads", "3", p, "-o", o, "--stub", s}).code, kExitOk);
    EXPECT_EQ(Headers(output)[0].fileTime, DosTime(1980, 1, 1, 0, 0, 0));
#ifndef _WIN32
    zone ? setenv("TZ", savedZone.c_str(), 1) : unsetenv("TZ");
    tzset();
#endif
}

TEST_F(Mksetup, RefusedBuildsWriteNothingAndKeepAnEarlierOutput)
{
    auto file = [](const fs::path& path, const std::string& bytes = "x") { return [=] { WriteBytes(path, bytes); }; };
    std::vector<uint8_t> bytes = ArchiveBuilder().File(StoredEntry("a", {})).Build();
    std::string archive(bytes.begin(), bytes.end()), usage = "usage: mksetup build";
    const std::tuple<std::string, std::function<void()>, Arguments> cases[] = {
        // Command-line mistakes (no arguments: the usual ones).
        {usage, nullptr, {p}},
        {usage, nullptr, {"-o", o}},
        {usage, nullptr, {p, "-o"}},
        {usage, nullptr, {p, p, "-o", o}},
        {usage, nullptr, {p, "-o", o, "--level", "0"}},
        {usage, nullptr, {p, "-o", o, "--level=6"}},
        {usage, nullptr, {p, "-o", o, "--threads", "0"}},
        {usage, nullptr, {p, "-o", o, "--threads=-2"}},
        {usage, nullptr, {p, "-o", o, "--fast"}},
        {usage, nullptr, {p, "-o", o, "--store=yes"}},
        // Inputs and outputs that cannot be used.
        {"nowhere: no such folder", nullptr, {(root / "nowhere").u8string(), "-o", o, "--stub", s}},
        {"stub.exe: not a folder", nullptr, {s, "-o", o, "--stub", s}},
        {"the folder holds no files", [&] { fs::remove_all(product), fs::create_directories(product / "a"); }, {}},
        {"the output is a folder", nullptr, {p, "-o", root.u8string(), "--stub", s}},
        {"inside the product folder", nullptr, {p + "/", "-o", (product / "a" / ".." / "s").u8string(), "--stub", s}},
        {"none: the stub is not a readable file", nullptr, {p, "-o", o, "--stub", (root / "none").u8string()}},
        {"the stub is 4 bytes", file(stub, "MZ12"), {}},
        {"already carries an archive (at offset 0)", file(stub, archive), {}},
        {"already carries an archive (at offset 4,096)", file(stub, std::string(4096, 'M') + archive), {}},
        {"SOURCE_DATE_EPOCH must be a whole number", [] { setenv("SOURCE_DATE_EPOCH", "soon", 1); }, {}},
        {"not '99999999999999999999'", [] { setenv("SOURCE_DATE_EPOCH", "99999999999999999999", 1); }, {}},
        {"Windows-1252 code page", file(product / PathOf(L"a\x540D.txt")), {}},
        {"is 260 bytes; the setup reads at most 259", file(product / LongName(54)), {}},
        {"cannot write the setup into", nullptr, {p, "-o", (root / "no" / "out.exe").u8string(), "--stub", s}},
#ifdef _WIN32
        {"inside the product folder", nullptr, {p, "-o", (root / "PRODUCT" / "s").u8string(), "--stub", s}},
#else
        {"a:b: the file name holds the character ':'", file(product / "a:b"), {}},
        {"dot.: the file name ends in a dot or a blank", file(product / "dot."), {}},
        {"LPT1: the folder name is the name of a Windows device", file(product / "LPT1" / "a"), {}},
        {"the name is not valid UTF-8", file(product / "bad\xFF.txt"), {}},
        {"pipe: is not a regular file", [&] { mkfifo((product / "pipe").c_str(), 0644); }, {}},
        {"loop: is a link to a folder", [&] { fs::create_directory_symlink(product, product / "loop"); }, {}},
        {"mem: read error", [&] { fs::create_symlink("/proc/self/mem", product / "mem"); }, {}},
        {"status: the file changed while it was read",
         [&] { fs::create_symlink("/proc/self/status", product / "status"); },
         {}},
        {"the output would replace the stub", nullptr, {p, "-o", s, "--stub", s}},
        {"inside the product folder",
         [&] { fs::create_directory_symlink(product, root / "alias"); },
         {p, "-o", (root / "alias" / "s").u8string(), "--stub", s}},
#endif
    };
    for (const auto& [expected, prepare, args] : cases) {
        std::vector<fs::path> old{fs::directory_iterator(root), fs::directory_iterator()};
        for (const fs::path& path : old)
            fs::remove_all(path);
        WriteCleanProduct();
        WriteBytes(stub, "MZ" + std::string(100, '\0'));
        WriteBytes(output, "previous setup");
        setenv("SOURCE_DATE_EPOCH", "", 1);
        if (prepare)
            prepare();
        std::set<std::string> before = Tree(root);
        RunResult r = RunCaptured(RunBuild, args.empty() ? Arguments{p, "-o", o, "--stub", s} : args);
        EXPECT_EQ(r.code, expected == usage ? kExitUsage : kExitFailure) << expected;
        EXPECT_TRUE(Contains(r.err, expected)) << expected << "\n" << r.err;
        EXPECT_EQ(Tree(root), before) << expected;
        EXPECT_EQ(ReadBytes(output), "previous setup") << expected;
    }
    EXPECT_TRUE(Contains(RunCaptured(RunBuild, {"--help"}).out, "SOURCE_DATE_EPOCH"));
}

TEST_F(Mksetup, ListShowsEveryEntryAsTableOrJson)
{
    FileEntry packed = Entry("gr\xFC\xDF.dat", "\x11\x22");
    packed.method = 0x33; // list reads the headers only
    packed.flags |= kFlagSolid;
    std::string setup = WriteSetup({packed});
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", Crc32(BytesOf("read me")));
    RunResult table = RunCaptured(RunList, {setup}), json = RunCaptured(RunList, {"--json", setup});
    EXPECT_TRUE(table.code == kExitOk && json.code == kExitOk) << table.err << json.err;
    for (const char* part : {"R...A  2009-07-15 10:30:44", "...D.", "m3 v2.0 yes", "gr\xC3\xBC\xC3\x9F.dat" /* UTF-8 */,
                             "3 entries", static_cast<const char*>(crc)})
        EXPECT_TRUE(Contains(table.out, part)) << part << "\n" << table.out;
    for (const char* part :
         {"{\n", "\"name\": \"docs\\\\README.TXT\", \"size\": 7", "\"solid\": true", "\"directory\": true",
          "\"method\": \"store\"", "\"time\": \"2009-07-15 10:30:44\"", "]\n}\n"})
        EXPECT_TRUE(Contains(json.out, part)) << part << "\n" << json.out;
}

TEST_F(Mksetup, ReaderCommandLinesAndFilesThatAreNoSetup)
{
    std::string plain = dir.File("plain.bin"), out = dir.File("out");
    WriteFileBytes(plain, SampleText(1000, 3));
    const std::tuple<Arguments, int, const char*> cases[] = {
        {{"--help"}, kExitOk, ""},
        {{}, kExitUsage, "no file given"},
        {{"file", "--bogus"}, kExitUsage, "unknown option '--bogus'"},
        {{"a", "b"}, kExitUsage, "more than one file"},
        {{dir.File("absent.exe")}, kExitFailure, "absent.exe: no such file"},
        {{dir.path()}, kExitFailure, "is a folder"},
        {{plain}, kExitFailure, "no setup archive found"},
    };
    for (auto command : {RunList, RunTest, RunExtract}) {
        for (auto [args, code, expected] : cases) {
            if (command == RunExtract && args.size() == 1 && args[0] != "--help")
                args.insert(args.end(), {"-o", out});
            RunResult r = RunCaptured(command, args);
            EXPECT_TRUE(r.code == code && Contains(r.err, expected)) << expected << "\n" << r.err;
            // Help and usage errors show the usage, failures only the reason.
            EXPECT_EQ(Contains(r.out + r.err, "usage: mksetup"), code != kExitFailure) << r.out << r.err;
        }
    }
    EXPECT_TRUE(Contains(RunCaptured(RunExtract, {plain}).err, "no output folder given"));
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(Mksetup, TestNamesTheFirstBadEntryAndTheReason)
{
    EXPECT_EQ(RunCaptured(RunTest, {WriteSetup()}).out, "OK\n");
    EXPECT_EQ(RunCaptured(RunTest, {"-q", WriteSetup()}).out, "");
    FileEntry bad = Entry("BAD.DAT", "data"), old = Entry("OLD.DAT", "\x11\x22"), split = Entry("PART.DAT", "half"),
              locked = Entry("LOCKED.DAT", "?");
    bad.fileCrc ^= 1;
    old.method = 0x33;
    old.unpVer = 15;
    split.flags |= kFlagContinuedIn;
    locked.flags |= kFlagEncrypted;
    locked.fileCrc ^= 1; // what decrypting nothing gives
    const std::pair<FileEntry, const char*> cases[] = {
        {bad, "entry 'BAD.DAT': checksum mismatch"},
        {old, "entry 'OLD.DAT': packed with an unsupported method (version 1.5)"},
        {split, "the archive ends inside entry 'PART.DAT', which continues in a next volume"},
        {locked, "entry 'LOCKED.DAT': encrypted entries are not supported"},
    };
    for (const auto& [entry, expected] : cases) {
        RunResult r = RunCaptured(RunTest, {WriteSetup({entry})});
        EXPECT_TRUE(r.code == kExitFailure && Contains(r.err, expected)) << expected << "\n" << r.err;
    }
    EXPECT_EQ(RunCaptured(RunList, {WriteSetup({bad})}).code, kExitOk) << "the headers are intact";

    // What the setup would accept but the vendor must not ship.
    FileEntry renamed = Entry("NAME.DAT", "x");
    renamed.headCrc = 0x1234;
    std::vector<uint8_t> good, changed;
    ReadFileBytes(WriteSetup({renamed}), &changed);
    ReadFileBytes(WriteSetup(), &good);
    const std::pair<std::vector<uint8_t>, const char*> strict[] = {
        {Cat({good, BytesOf("junk")}), "4 bytes follow the end-of-archive block"},
        {std::vector<uint8_t>(good.begin(), good.end() - 7), "no end-of-archive block"},
        {changed, "fails its checksum"},
    };
    for (const auto& [bytes, expected] : strict) {
        WriteFileBytes(dir.File("strict.exe"), bytes);
        RunResult r = RunCaptured(RunTest, {dir.File("strict.exe")});
        EXPECT_TRUE(r.code == kExitFailure && Contains(r.err, expected) && Contains(r.err, "would accept"))
            << expected << "\n"
            << r.err;
    }
}

TEST_F(Mksetup, ExtractWritesTheTreeButNoNameThatLeavesItNorADamagedFile)
{
    std::vector<FileEntry> more;
    const char* refused[] = {"..\\escaped.txt", "docs\\..\\..\\up.txt", "\\absolute.txt", "/rooted.txt",
                             "C:\\drive.txt",   "c:relative.txt",       "docs\\nul.txt"};
    for (const char* name : refused)
        more.push_back(Entry(name, "x"));
    more.push_back(Entry("fine\\..name.txt", "kept"));
    more.push_back(Entry("docs\\BAD.DAT", "data"));
    more.back().fileCrc ^= 1; // removed once found damaged
    std::string setup = WriteSetup(more);
    fs::path out = root / "nested" / "out";
    WriteBytes(out / "docs" / "BAD.DAT", "the user's own"); // not replaced by a damaged entry
    RunResult r = RunCaptured(RunExtract, {setup, "-o", out.u8string()});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(Contains(r.err, "entry 'docs\\BAD.DAT': checksum mismatch")) << r.err;
    for (std::string name : refused)
        EXPECT_TRUE(Contains(r.err, "refusing '" + (name[0] == '/' ? "\\" + name.substr(1) : name) + "'")) << r.err;
    EXPECT_FALSE(Contains(r.err, "..name.txt"));
    // Nothing anywhere but below the output folder; the folder entry too.
    fs::remove_all(product);
    EXPECT_EQ(Tree(root), (std::set<std::string>{"nested", "nested/out", "nested/out/docs", "nested/out/docs/BAD.DAT",
                                                 "nested/out/docs/README.TXT", "nested/out/empty", "nested/out/fine",
                                                 "nested/out/fine/..name.txt", "setup.exe", "stub.exe"}));
    EXPECT_EQ(ReadBytes(out / "docs" / "BAD.DAT"), "the user's own");
    r = RunCaptured(RunExtract, {setup, "-o", setup});
    EXPECT_TRUE(r.code == kExitFailure && Contains(r.err, "cannot use the folder")) << r.err;
#ifndef _WIN32
    // A folder name that is no UTF-8 is still that folder; links inside it
    // are never followed, to a folder or to a file; names are escaped.
    fs::path latin = root / std::string(250, 'l') / "out\xE9"; // longer than 259 in all
    fs::create_directories(root / "elsewhere");
    WriteBytes(root / "target", "kept");
    fs::create_directories(latin);
    fs::create_directory_symlink(root / "elsewhere", latin / "docs");
    fs::create_symlink(root / "target", latin / "LINK.TXT");
    std::string odd = WriteSetup({Entry("LINK.TXT", "x"), Entry("\x1B[2J", "")});
    r = RunCaptured(RunExtract, {"-o", latin.u8string(), "--", odd});
    EXPECT_TRUE(Contains(r.err, "refusing 'docs\\README.TXT': 'docs' is a symbolic link") &&
                Contains(r.err, "refusing 'LINK.TXT'"))
        << r.err;
    EXPECT_TRUE(Contains(RunCaptured(RunList, {odd}).out, " \\x1B[2J\n"));
    EXPECT_TRUE(fs::is_empty(root / "elsewhere") && ReadBytes(root / "target") == "kept" &&
                fs::exists(latin / "empty"));
#endif
}

#ifndef _WIN32
TEST_F(Mksetup, SystemFaultsGiveTheSystemsReasonAndLeaveNothingBehind)
{
    // A FIFO would block an open for reading until someone writes to it.
    mkfifo((root / "fifo").c_str(), 0644);
    EXPECT_EQ(OpenHostFile(root / "fifo", false), nullptr);
    EXPECT_TRUE(Contains(RunCaptured(RunTest, {(root / "fifo").u8string()}).err, "is not a regular file"));

    // Interrupted while the setup is written: its temporary file goes too.
    WriteBytes(product / "big.bin", std::string(48 << 20, 'b'));
    WriteBytes(stub, "MZ" + std::string(100, '\0'));
    WriteBytes(output, "previous setup");
    pid_t child = fork();
    if (child == 0)
        _exit(RunBuild({p, "-o", o, "--stub", s, "--store", "-q"}));
    fs::path temp = output.u8string() + ".tmp" + std::to_string(child);
    for (int i = 0; i < 200000 && !fs::exists(temp); i++)
        usleep(50);
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_EQ(ReadBytes(output), "previous setup");
    fs::remove(product / "big.bin");

    // A full and a read-only file system, where this machine lets us mount one.
    fs::path small = root / "small";
    fs::create_directory(small);
    if (std::system(("mount -t tmpfs -o size=64k none " + small.string() + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    WriteBytes(small / "filler", std::string(64 << 10, 'f')); // as much as fits
    std::string setup = WriteSetup();
    const std::tuple<bool, int (*)(const Arguments&), Arguments, const char*> cases[] = {
        {false, RunBuild, {p, "-o", (small / "out.exe").u8string(), "--stub", s}, "No space left on device"},
        {false, RunExtract, {setup, "-o", (small / "x").u8string()}, "cannot write 'docs\\README.TXT': No space left"},
        {true, RunBuild, {p, "-o", (small / "out.exe").u8string(), "--stub", s}, "Read-only file system"},
        {true, RunExtract, {setup, "-o", (small / "y").u8string()}, "Read-only file system"},
    };
    for (const auto& [readOnly, command, args, expected] : cases) {
        if (readOnly)
            std::system(("mount -o remount,ro " + small.string()).c_str());
        RunResult r = RunCaptured(command, args);
        EXPECT_TRUE(r.code == kExitFailure && Contains(r.err, expected)) << expected << "\n" << r.err;
    }
    std::set<std::string> left = Tree(small);
    std::system(("umount " + small.string()).c_str());
    EXPECT_EQ(left, (std::set<std::string>{"filler", "x", "x/docs", "x/empty"}));
}
#endif

#ifndef _WIN32
// Signing pads the file with zeros to 8 bytes and appends a certificate
// table; whatever the padding and the table's size, the setup still reads
// exactly its archive, and the signature stays valid.
TEST_F(Mksetup, SignedSetupsOfEverySizeReadBackAndVerify)
{
    // A real PE to sign: the fixture's stub is only a stand-in.
    std::string pe = "echo 'int main(void){return 0;}' | x86_64-w64-mingw32-gcc -s -x c - -o " + s + " 2>/dev/null";
    if (std::system("command -v openssl >/dev/null && command -v osslsigncode >/dev/null") != 0 ||
        std::system(pe.c_str()) != 0)
        GTEST_SKIP() << "openssl, osslsigncode or the MinGW compiler is not installed";
    const char* keys[] = {"rsa:2048", "rsa:3072", "ec -pkeyopt ec_paramgen_curve:prime256v1"};
    for (int k = 0; k < 3; k++) {
        std::string cert = dir.File("cert" + std::to_string(k)), key = dir.File("key" + std::to_string(k));
        std::string make = "openssl req -x509 -nodes -days 2 -newkey " + std::string(keys[k]) + " -keyout " + key +
                           " -out " + cert + " -subj '/CN=Vendor " + std::to_string(k) +
                           "/O=" + std::string(size_t(k) * 30 + 1, 'o') +
                           "' -addext extendedKeyUsage=codeSigning 2>/dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0);
        for (int size = 0; size < 9; size++) {
            WriteBytes(product / "PAD.TXT", size < 8 ? std::string(size_t(size), 'p') : std::string(300000, 'p'));
            RunResult r =
                RunCaptured(RunBuild, {p, "-o", o, "--stub", s, "--store", "-q", "--sign", cert, "--key", key});
            fs::path out = root / ("out" + std::to_string(k * 10 + size));
            RunResult t = RunCaptured(RunTest, {o}), x = RunCaptured(RunExtract, {o, "-o", out.u8string(), "-q"});
            std::string verify = "osslsigncode verify -in " + o + " -CAfile " + cert + " >/dev/null 2>&1";
            EXPECT_TRUE(r.code == 0 && t.code == 0 && x.code == 0 && std::system(verify.c_str()) == 0)
                << k << " " << size << r.err << t.err << x.err;
            EXPECT_EQ(Tree(out), Tree(product));
            EXPECT_EQ(ReadBytes(out / "PAD.TXT"), ReadBytes(product / "PAD.TXT"));
            EXPECT_TRUE(Contains(RunCaptured(RunList, {o}).out, "signed by CN=Vendor " + std::to_string(k)));
        }
    }
}
#endif
