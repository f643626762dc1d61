// mksetup list, test and extract on real files: output, exit codes, and
// extraction that never leaves its folder.
#include "tests/tools/build_test_support.h"

#include "support/bit_writer.h"

#include <sys/stat.h>

using namespace testsupport;
using namespace buildtest;

namespace {

// True when `path` lies inside `folder`.
bool Inside(const fs::path& path, const fs::path& folder)
{
    auto rel = path.lexically_normal().lexically_relative(folder.lexically_normal());
    return !rel.empty() && *rel.begin() != "..";
}

std::vector<uint8_t> Text(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v;
    while (v.size() < n) {
        seed = seed * 1103515245u + 12345u;
        v.push_back(uint8_t("setup archive \n"[(seed >> 16) % 15]));
    }
    return v;
}

// A small setup: a stub in front, a stored script, a folder, compressed
// solid entries, one with a Windows-1252 name.
struct Sample {
    TempDir dir;
    std::string setup = dir.File("setup.exe");
    std::vector<uint8_t> script = BytesOf("[Setup]\nID=OVD\n");
    std::vector<uint8_t> readme = Text(20000, 1);
    std::vector<uint8_t> german = Text(3000, 2);
    std::vector<uint8_t> bytes;
    size_t readmeDataOffset = 0;

    explicit Sample(const std::vector<FileEntry>& extra = {})
    {
        Rar20Writer w;
        w.TableSet(FlatLzLengths());
        EmitTokens(w, GreedyParse(readme));
        auto packedReadme = w.FinishEntry();
        std::vector<uint8_t> all = readme;
        all.insert(all.end(), german.begin(), german.end());
        EmitTokens(w, GreedyParse(all, 0x100000, true, readme.size()));
        auto packedGerman = w.FinishEntry();

        FileEntry scriptEntry = StoredEntry("INSTALL.INF", script);
        scriptEntry.fileTime = DosTime(2008, 3, 1, 12, 0, 0);
        FileEntry folder = StoredEntry("docs", {});
        folder.fileAttr = 0x10;
        FileEntry readmeEntry = PackedEntry("docs\\README.TXT", packedReadme, readme, false);
        readmeEntry.fileTime = DosTime(2009, 7, 15, 10, 30, 44);
        readmeEntry.fileAttr = 0x21;
        FileEntry germanEntry = PackedEntry("gr\xFC\xDF"
                                            "e.txt",
                                            packedGerman, german, true);
        ArchiveBuilder b;
        b.Prefix(std::vector<uint8_t>(4096, 'M')).File(scriptEntry).File(folder).File(readmeEntry).File(germanEntry);
        for (auto& e : extra)
            b.File(e);
        bytes = b.Build();
        readmeDataOffset = 4096 + 20 + (32 + 11 + script.size()) + (32 + 4) + (32 + 15);
        WriteFileBytes(setup, bytes);
    }
    void Rewrite() { WriteFileBytes(setup, bytes); }
};

} // namespace

TEST(ListCommand, TableAndJsonShowEveryEntry)
{
    Sample s;
    RunResult o = RunCaptured(RunList, {s.setup});
    EXPECT_EQ(o.code, kExitOk) << o.err;
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", Crc32(s.readme));
    for (const std::string& part : std::vector<std::string>{"INSTALL.INF", "docs\\README.TXT",
                                                            "gr\xC3\xBC\xC3\x9F"
                                                            "e.txt" /* UTF-8 */,
                                                            "R...A  2009-07-15 10:30:44", "...D.", "4 entries", crc})
        EXPECT_TRUE(Contains(o.out, part)) << part << "\n" << o.out;

    o = RunCaptured(RunList, {"--json", s.setup});
    EXPECT_EQ(o.code, kExitOk) << o.err;
    for (const char* part : {"\"name\": \"docs\\\\README.TXT\", \"size\": 20000", "\"solid\": true",
                             "\"directory\": true", "\"method\": \"store\"", "\"time\": \"2008-03-01 12:00:00\""})
        EXPECT_TRUE(Contains(o.out, part)) << part << "\n" << o.out;
    EXPECT_EQ(o.out.front(), '{');
    EXPECT_EQ(o.out.substr(o.out.size() - 2), "}\n");
}

TEST(ReaderCommands, HelpAndBadCommandLines)
{
    for (auto command : {RunList, RunTest, RunExtract}) {
        RunResult help = RunCaptured(command, {"--help"});
        EXPECT_EQ(help.code, kExitOk);
        EXPECT_TRUE(Contains(help.out, "usage: mksetup"));
        EXPECT_TRUE(Contains(help.out, "Exit codes"));
        RunResult none = RunCaptured(command, {});
        EXPECT_EQ(none.code, kExitUsage);
        RunResult unknown = RunCaptured(command, {"file", "--bogus"});
        EXPECT_EQ(unknown.code, kExitUsage);
        EXPECT_TRUE(Contains(unknown.err, "--bogus"));
    }
    EXPECT_EQ(RunCaptured(RunExtract, {"file"}).code, kExitUsage) << "extract needs -o";
}

TEST(ReaderCommands, MissingUnreadableAndForeignFiles)
{
    TempDir dir;
    WriteFileBytes(dir.File("plain.bin"), Text(1000, 3));
    for (auto command : {RunList, RunTest}) {
        RunResult missing = RunCaptured(command, {dir.File("absent.exe")});
        EXPECT_EQ(missing.code, kExitFailure);
        EXPECT_TRUE(Contains(missing.err, "absent.exe: no such file")) << missing.err;
        RunResult folder = RunCaptured(command, {dir.path()});
        EXPECT_EQ(folder.code, kExitFailure);
        EXPECT_TRUE(Contains(folder.err, "folder")) << folder.err;
        RunResult foreign = RunCaptured(command, {dir.File("plain.bin")});
        EXPECT_EQ(foreign.code, kExitFailure);
        EXPECT_TRUE(Contains(foreign.err, "no setup archive found")) << foreign.err;
    }
    RunResult missing = RunCaptured(RunExtract, {dir.File("absent.exe"), "-o", dir.File("out")});
    EXPECT_EQ(missing.code, kExitFailure);
    EXPECT_FALSE(fs::exists(dir.File("out")));
}

TEST(TestCommand, AnswersOkOrNamesTheFirstBadEntryAndTheReason)
{
    Sample s;
    EXPECT_EQ(RunCaptured(RunTest, {s.setup}).out, "OK\n");
    EXPECT_EQ(RunCaptured(RunTest, {"-q", s.setup}).out, "");
    s.bytes[s.readmeDataOffset + 100] ^= 0x10;
    s.Rewrite();
    RunResult o = RunCaptured(RunTest, {s.setup});
    EXPECT_EQ(o.code, kExitFailure);
    EXPECT_TRUE(Contains(o.err, "entry 'docs\\README.TXT': checksum mismatch")) << o.err;
    // The headers are intact, so list still works.
    EXPECT_EQ(RunCaptured(RunList, {s.setup}).code, kExitOk);

    // Cut short inside the packed data.
    Sample cut;
    cut.bytes.resize(cut.readmeDataOffset + 50);
    cut.Rewrite();
    RunResult c = RunCaptured(RunTest, {cut.setup});
    EXPECT_EQ(c.code, kExitFailure);
    EXPECT_TRUE(Contains(c.err, "README.TXT")) << c.err;

    // An entry packed by an old method.
    FileEntry old = PackedEntry("OLD.DAT", BytesOf("\x11\x22"), BytesOf("old"), true);
    old.unpVer = 15;
    Sample withOld({old});
    RunResult v = RunCaptured(RunTest, {withOld.setup});
    EXPECT_EQ(v.code, kExitFailure);
    EXPECT_TRUE(Contains(v.err, "'OLD.DAT': packed with an unsupported method (version 1.5)")) << v.err;

    // The last entry goes on in a volume that does not exist.
    FileEntry split = StoredEntry("PART.DAT", BytesOf("first half"));
    split.flags = 0x8002;
    Sample withSplit({split});
    RunResult p = RunCaptured(RunTest, {withSplit.setup});
    EXPECT_EQ(p.code, kExitFailure);
    EXPECT_TRUE(Contains(p.err, "PART.DAT', which continues in a next volume")) << p.err;
}

TEST(ExtractCommand, WritesTheTreeWithTimesAndAttributes)
{
    Sample s;
    std::string out = s.dir.File("out");
    RunResult o = RunCaptured(RunExtract, {s.setup, "-o", out});
    EXPECT_EQ(o.code, kExitOk) << o.err;
    EXPECT_TRUE(Contains(o.out, "3 files extracted"));
    EXPECT_EQ(ReadBytes(fs::path(out) / "INSTALL.INF"), s.script);
    EXPECT_EQ(ReadBytes(fs::path(out) / "docs" / "README.TXT"), s.readme);
    EXPECT_EQ(ReadBytes(fs::path(out) / fs::u8path("gr\xC3\xBC\xC3\x9F"
                                                   "e.txt")),
              s.german);
    auto perms = fs::status(fs::path(out) / "docs" / "README.TXT").permissions();
    EXPECT_EQ(perms & fs::perms::owner_write, fs::perms::none) << "read-only attribute";
#ifndef _WIN32
    struct stat st;
    ASSERT_EQ(stat((fs::path(out) / "INSTALL.INF").c_str(), &st), 0);
    struct tm t;
    localtime_r(&st.st_mtime, &t);
    EXPECT_EQ(t.tm_year + 1900, 2008);
    EXPECT_EQ(t.tm_mon + 1, 3);
    EXPECT_EQ(t.tm_hour, 12);
    // Again into the same folder: the read-only file cannot be replaced.
    RunResult again = RunCaptured(RunExtract, {s.setup, "-o", out});
    EXPECT_EQ(again.code, kExitFailure);
    EXPECT_TRUE(Contains(again.err, "cannot create")) << again.err;
#endif
}

TEST(ExtractCommand, RefusesNamesThatLeaveTheFolder)
{
    std::vector<FileEntry> evil = {
        StoredEntry("..\\escaped.txt", BytesOf("x")), StoredEntry("docs\\..\\..\\escaped2.txt", BytesOf("x")),
        StoredEntry("\\absolute.txt", BytesOf("x")),  StoredEntry("/rooted.txt", BytesOf("x")),
        StoredEntry("C:\\drive.txt", BytesOf("x")),   StoredEntry("c:relative.txt", BytesOf("x")),
        StoredEntry("docs\\nul.txt", BytesOf("x")),   StoredEntry("fine\\..name.txt", BytesOf("kept"))};
    Sample s(evil);
    std::string out = s.dir.File("nested") + "/out";
    RunResult o = RunCaptured(RunExtract, {s.setup, "-o", out});
    EXPECT_EQ(o.code, kExitFailure);
    for (auto* name : {"..\\escaped.txt", "docs\\..\\..\\escaped2.txt", "\\absolute.txt", "\\rooted.txt",
                       "C:\\drive.txt", "c:relative.txt", "docs\\nul.txt"})
        EXPECT_TRUE(Contains(o.err, std::string("refusing '") + name + "'")) << name << "\n" << o.err;
    EXPECT_FALSE(Contains(o.err, "..name.txt"));
    // Nothing anywhere but below the output folder.
    size_t outside = 0;
    for (auto& e : fs::recursive_directory_iterator(s.dir.path()))
        if (e.is_regular_file() && !Inside(e.path(), out) && e.path().filename() != "setup.exe")
            outside++;
    EXPECT_EQ(outside, 0u);
    EXPECT_FALSE(fs::exists(fs::path(s.dir.path()) / "absolute.txt"));
    EXPECT_TRUE(fs::exists(fs::path(out) / "fine" / "..name.txt"));
    EXPECT_TRUE(fs::exists(fs::path(out) / "INSTALL.INF")) << "the good entries are written";
}

TEST(ExtractCommand, DamagedEntryIsRemovedAndReported)
{
    Sample s;
    s.bytes[s.readmeDataOffset + 10] ^= 0x01;
    s.Rewrite();
    std::string out = s.dir.File("out");
    RunResult o = RunCaptured(RunExtract, {s.setup, "-o", out});
    EXPECT_EQ(o.code, kExitFailure);
    EXPECT_TRUE(Contains(o.err, "README.TXT': checksum mismatch")) << o.err;
    EXPECT_TRUE(fs::exists(fs::path(out) / "INSTALL.INF"));
    EXPECT_FALSE(fs::exists(fs::path(out) / "docs" / "README.TXT"));
    EXPECT_TRUE(fs::is_directory(fs::path(out) / "docs"));
}

TEST(ExtractCommand, BareArchiveAndAFileInPlaceOfTheFolder)
{
    Sample s;
    std::vector<uint8_t> bare(s.bytes.begin() + 4096, s.bytes.end());
    WriteFileBytes(s.dir.File("bare.rar"), bare);
    EXPECT_EQ(RunCaptured(RunTest, {s.dir.File("bare.rar")}).out, "OK\n");
    EXPECT_EQ(RunCaptured(RunExtract, {s.dir.File("bare.rar"), "-o", s.dir.File("bare-out")}).code, kExitOk);
    RunResult blocked = RunCaptured(RunExtract, {s.setup, "-o", s.setup});
    EXPECT_EQ(blocked.code, kExitFailure);
    EXPECT_TRUE(Contains(blocked.err, "cannot create the folder")) << blocked.err;
}
