// The archive pass: callback protocol, output modes, result codes, output
// files with their times and attributes, solid decoding across entries.
#include "archive/archive_pass.h"

#include "support/archive_builder.h"
#include "support/bit_writer.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <tuple>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace testsupport;

namespace {

// A callback made of a lambda, with a log of the calls it saw.
struct Call {
    std::wstring name;
    bool second;
    std::vector<uint8_t> data; // second calls: the bytes plus the extra zero
    uint32_t size;
};

struct Recorder {
    std::vector<Call> calls;
    // Chooses the output for a first call by rewriting the name.
    std::function<void(wchar_t* name)> choose = [](wchar_t* name) { name[0] = 7; };
    std::function<int(const Call&)> answer = [](const Call&) { return 0; };
    std::vector<std::wstring> FirstNames() const
    {
        std::vector<std::wstring> v;
        for (auto& c : calls)
            if (!c.second)
                v.push_back(c.name);
        return v;
    }
    std::map<std::wstring, std::vector<uint8_t>> Data() const
    {
        std::map<std::wstring, std::vector<uint8_t>> m;
        std::wstring last;
        for (auto& c : calls) {
            if (!c.second)
                last = c.name;
            else
                m[last] = std::vector<uint8_t>(c.data.begin(), c.data.end() - 1);
        }
        return m;
    }
};

int RecordingCallback(wchar_t* name, const unsigned char* data, uint32_t size, void* user)
{
    auto* r = static_cast<Recorder*>(user);
    Call c{name, data != nullptr, {}, size};
    if (data)
        c.data.assign(data, data + size + 1);
    r->calls.push_back(c);
    if (!data)
        r->choose(name);
    return r->answer(r->calls.back());
}

// Writes `bytes` as an archive file in a fresh folder and runs a pass.
struct PassRun {
    TempDir dir;
    std::string archive;
    Recorder recorder;
    EntryHeaderInfo info{};
    explicit PassRun(const std::vector<uint8_t>& bytes)
    {
        archive = dir.File("setup.bin");
        WriteFileBytes(archive, bytes);
    }
    int Run() { return ArchivePassWithInfo(WidePath(archive).c_str(), RecordingCallback, &recorder, &info); }
    // File mode into the folder, under the entry's name.
    void ToFiles()
    {
        std::string folder = dir.path();
        recorder.choose = [folder](wchar_t* name) {
            std::wstring entry = name;
#ifndef _WIN32
            for (auto& ch : entry)
                if (ch == L'\\')
                    ch = L'/';
#endif
            std::wstring path = WidePath(folder) + L"/" + entry;
            wcsncpy(name, path.c_str(), 259);
            name[259] = 0;
        };
    }
    std::string Out(const std::string& name) const
    {
        return dir.File(name);
    }
};

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A solid archive: a stored entry, then three compressed ones continuing
// one stream, the third reaching back into the second.
struct SolidSample {
    std::vector<uint8_t> a = SampleText(5000, 1), b = SampleText(70000, 2), c = SampleText(3000, 3),
                         d = SampleText(10, 4);
    std::vector<uint8_t> bytes;
    SolidSample()
    {
        Rar20Writer w;
        w.TableSet(FlatLzLengths());
        std::vector<uint8_t> all = b;
        EmitTokens(w, GreedyParse(all));
        auto pb = w.FinishEntry();
        std::copy(b.begin() + 100, b.begin() + 400, c.begin()); // c repeats part of b
        all.insert(all.end(), c.begin(), c.end());
        EmitTokens(w, GreedyParse(all, 0x100000, true, b.size()));
        auto pc = w.FinishEntry();
        w.Literals(d);
        auto pd = w.FinishEntry();
        bytes = ArchiveBuilder()
                    .Prefix(std::vector<uint8_t>(1000, 0x4D))
                    .File(StoredEntry("a.txt", a))
                    .File(PackedEntry("sub\\b.txt", pb, b, false))
                    .File(PackedEntry("c.txt", pc, c, true))
                    .File(PackedEntry("d.txt", pd, d, true))
                    .Build();
    }
};

} // namespace

TEST(ArchivePass, MemoryModeDeliversEveryEntryWithAnExtraZero)
{
    SolidSample s;
    PassRun run(s.bytes);
    EXPECT_EQ(run.Run(), kPassOk);
    EXPECT_EQ(run.recorder.FirstNames(), (std::vector<std::wstring>{L"a.txt", L"sub\\b.txt", L"c.txt", L"d.txt"}));
    auto data = run.recorder.Data();
    EXPECT_EQ(data[L"a.txt"], s.a);
    EXPECT_EQ(data[L"sub\\b.txt"], s.b);
    EXPECT_EQ(data[L"c.txt"], s.c);
    EXPECT_EQ(data[L"d.txt"], s.d);
    for (auto& c : run.recorder.calls) {
        if (c.second) {
            EXPECT_EQ(c.name[0], 7) << "the chosen code stays in name[0]";
            EXPECT_EQ(c.data.back(), 0);
        }
    }
}

TEST(ArchivePass, EmptyEntryArrivesAsJustTheExtraZero)
{
    PassRun run(ArchiveBuilder().File(StoredEntry("empty", {})).Build());
    EXPECT_EQ(run.Run(), kPassOk);
    ASSERT_EQ(run.recorder.calls.size(), 2u);
    EXPECT_EQ(run.recorder.calls[1].data, std::vector<uint8_t>{0});
}

TEST(ArchivePass, SkippedEntriesKeepTheSolidStateAndTestNoChecksum)
{
    SolidSample s;
    PassRun run(s.bytes);
    // Skip all but c.txt, which reaches back into the skipped b.txt.
    run.recorder.choose = [](wchar_t* name) { name[0] = std::wstring(name) == L"c.txt" ? 1 : 0; };
    EXPECT_EQ(run.Run(), kPassOk);
    EXPECT_EQ(run.recorder.calls.size(), 5u);
    EXPECT_EQ(run.recorder.Data()[L"c.txt"], s.c);

    FileEntry bad = StoredEntry("bad", BytesOf("damaged"));
    bad.fileCrc ^= 1;
    FileEntry old = PackedEntry("old", BytesOf("\x01\x02\x03"), BytesOf("abc"), false);
    old.unpVer = 15; // never decoded, so only a skip succeeds
    PassRun skip(ArchiveBuilder().File(bad).File(old).File(StoredEntry("next", BytesOf("ok"))).Build());
    skip.recorder.choose = [](wchar_t* name) { name[0] = 0; };
    EXPECT_EQ(skip.Run(), kPassOk);
    EXPECT_EQ(skip.recorder.FirstNames(), (std::vector<std::wstring>{L"bad", L"old", L"next"}));
    EXPECT_EQ(skip.recorder.calls.size(), 3u);
}

TEST(ArchivePass, NonZeroCallbackAnswerEndsTheWalkWithSuccess)
{
    SolidSample s;
    PassRun first(s.bytes);
    first.recorder.answer = [](const Call&) { return 1; };
    EXPECT_EQ(first.Run(), kPassOk);
    EXPECT_EQ(first.recorder.calls.size(), 1u);

    PassRun second(s.bytes);
    second.recorder.answer = [](const Call& c) { return c.second ? 1 : 0; };
    EXPECT_EQ(second.Run(), kPassOk);
    EXPECT_EQ(second.recorder.calls.size(), 2u);
}

TEST(ArchivePass, DirectoriesAndVolumeLabels)
{
    FileEntry dir = StoredEntry("folder", {});
    dir.fileAttr = 0x10;
    FileEntry dirWithData = StoredEntry("odd", BytesOf("a data area a folder should not have"));
    dirWithData.fileAttr = 0x10;
    FileEntry label = StoredEntry("LABEL", {});
    label.fileAttr = 0x08;
    PassRun run(
        ArchiveBuilder().File(dir).File(dirWithData).File(label).File(StoredEntry("file", BytesOf("content"))).Build());
    run.ToFiles();
    EXPECT_EQ(run.Run(), kPassOk);
    // No call for folders, the first call only for the label; the folder's
    // data area is stepped over, not read as the next header.
    ASSERT_EQ(run.recorder.calls.size(), 2u);
    EXPECT_EQ(run.recorder.calls[0].name, L"LABEL");
    EXPECT_EQ(run.recorder.calls[1].name, L"file");
    EXPECT_FALSE(Exists(run.Out("folder")));
    EXPECT_FALSE(Exists(run.Out("LABEL")));
    std::vector<uint8_t> got;
    ASSERT_TRUE(ReadFileBytes(run.Out("file"), &got));
    EXPECT_EQ(got, BytesOf("content"));
}

TEST(ArchivePass, FileModeWritesAndTruncates)
{
    SolidSample s;
    PassRun run(ArchiveBuilder().File(StoredEntry("a.txt", s.a)).File(StoredEntry("b.txt", BytesOf("b"))).Build());
    WriteFileBytes(run.Out("b.txt"), std::vector<uint8_t>(5000, 'x'));
    run.ToFiles();
    EXPECT_EQ(run.Run(), kPassOk);
    std::vector<uint8_t> got;
    ASSERT_TRUE(ReadFileBytes(run.Out("a.txt"), &got));
    EXPECT_EQ(got, s.a);
    ASSERT_TRUE(ReadFileBytes(run.Out("b.txt"), &got));
    EXPECT_EQ(got, BytesOf("b"));
}

TEST(ArchivePass, OutputThatCannotBeCreatedEndsWithMinusFive)
{
    auto bytes = ArchiveBuilder()
                     .File(StoredEntry("first", BytesOf("1")))
                     .File(StoredEntry("missing/second", BytesOf("2")))
                     .File(StoredEntry("third", BytesOf("3")))
                     .Build();
    PassRun run(bytes);
    run.ToFiles();
    EXPECT_EQ(run.Run(), kPassCannotCreate);
    EXPECT_TRUE(Exists(run.Out("first"))) << "files written before stay";
    EXPECT_FALSE(Exists(run.Out("third")));

    // A folder where the file should go.
    PassRun folder(ArchiveBuilder().File(StoredEntry("taken", BytesOf("1"))).Build());
    ASSERT_TRUE(std::filesystem::create_directory(folder.Out("taken")));
    folder.ToFiles();
    EXPECT_EQ(folder.Run(), kPassCannotCreate);

#ifndef _WIN32
    // An existing read-only file (Wine lets root truncate one, Windows and
    // our POSIX layer do not).
    PassRun readOnly(ArchiveBuilder().File(StoredEntry("ro", BytesOf("1"))).Build());
    WriteFileBytes(readOnly.Out("ro"), BytesOf("old"));
    chmod(readOnly.Out("ro").c_str(), 0444);
    readOnly.ToFiles();
    EXPECT_EQ(readOnly.Run(), kPassCannotCreate);
#endif
}

TEST(ArchivePass, DamagedEntryDeletesItsOutputAndStopsTheWalk)
{
    SolidSample s;
    // Flip a byte inside b.txt's packed data.
    auto bytes = s.bytes;
    size_t bStart = 1000 + 7 + 13 + 32 + 5 + s.a.size() + 32 + 9;
    bytes[bStart + 300] ^= 0x40;
    PassRun run(bytes);
    run.ToFiles();
    std::filesystem::create_directory(run.Out("sub"));
    EXPECT_EQ(run.Run(), kPassBadChecksum);
    EXPECT_TRUE(Exists(run.Out("a.txt")));
    EXPECT_FALSE(Exists(run.Out("sub/b.txt")));
    EXPECT_EQ(run.recorder.FirstNames(), (std::vector<std::wstring>{L"a.txt", L"sub\\b.txt"}));
    EXPECT_FALSE(Exists(run.Out("c.txt")));
    EXPECT_STREQ(run.info.name, "sub\\b.txt");
    EXPECT_EQ(run.info.checksumOk, 0);

    // In memory mode the second call is not made.
    PassRun memory(bytes);
    EXPECT_EQ(memory.Run(), kPassBadChecksum);
    EXPECT_EQ(memory.recorder.calls.size(), 3u);
}

TEST(ArchivePass, StoredEntriesInPiecesAndWithSurplusBytes)
{
    // 100,000 bytes go through the 32 KiB copy buffer in pieces; more packed
    // than unpacked bytes: the surplus is read, not delivered.
    auto big = SampleText(100000, 8);
    FileEntry surplus = StoredEntry("surplus", BytesOf("keep this|drop this"));
    surplus.unpSize = 9;
    surplus.fileCrc = Crc32(BytesOf("keep this"));
    PassRun run(
        ArchiveBuilder().File(StoredEntry("big", big)).File(surplus).File(StoredEntry("after", BytesOf("z"))).Build());
    EXPECT_EQ(run.Run(), kPassOk);
    EXPECT_EQ(run.recorder.Data()[L"big"], big);
    EXPECT_EQ(run.recorder.Data()[L"surplus"], BytesOf("keep this"));
    EXPECT_EQ(run.recorder.Data()[L"after"], BytesOf("z"));
}

TEST(ArchivePass, DamagedOrMissizedEntriesAreNeitherDeliveredNorKept)
{
    // A bad checksum; then checksums that match what was produced with sizes
    // that do not: fewer bytes than stated (the callback would read past
    // them), none at all beyond 2 GiB, a match running past the stated size.
    FileEntry bad = StoredEntry("bad.bin", SampleText(1000, 5));
    bad.fileCrc ^= 0x80000000u;
    FileEntry huge = StoredEntry("huge", BytesOf("abc"));
    huge.unpSize = 0x80000003u;
    FileEntry shortStored = StoredEntry("short", BytesOf("ten bytes!"));
    shortStored.unpSize = 1000;
    FileEntry hugeEmpty = StoredEntry("huge", {});
    hugeEmpty.unpSize = 0xFFFFFFF0u;
    hugeEmpty.fileCrc = 0; // the checksum of nothing
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    w.Literal('o');
    w.Match(50, 1);
    FileEntry overshoot = PackedEntry("overshoot", w.FinishEntry(), std::vector<uint8_t>(51, 'o'), false);
    overshoot.unpSize = 20;
    for (const FileEntry& e : {bad, huge, shortStored, hugeEmpty, overshoot}) {
        PassRun memory(ArchiveBuilder().File(e).Build());
        EXPECT_EQ(memory.Run(), kPassBadChecksum) << e.name;
        EXPECT_EQ(memory.recorder.calls.size(), 1u) << e.name << ": no second call";
        PassRun file(ArchiveBuilder().File(e).Build());
        file.ToFiles();
        EXPECT_EQ(file.Run(), kPassBadChecksum) << e.name;
        EXPECT_FALSE(Exists(file.Out(e.name))) << e.name;
    }
}

TEST(ArchivePass, CompressedEntriesOfOldVersionsAreNotDecoded)
{
    FileEntry old = PackedEntry("old", BytesOf("\x01\x02\x03"), BytesOf("abc"), false);
    old.unpVer = 15;
    PassRun run(ArchiveBuilder().File(old).Build());
    EXPECT_EQ(run.Run(), kPassBadChecksum);
    FileEntry empty = PackedEntry("empty", {}, {}, false);
    empty.unpVer = 15;
    PassRun emptyRun(ArchiveBuilder().File(empty).Build());
    EXPECT_EQ(emptyRun.Run(), kPassOk);
}

TEST(ArchivePass, NoArchiveResults)
{
    TempDir dir;
    Recorder r;
    EXPECT_EQ(ArchivePass(WidePath(dir.File("nothing-here")).c_str(), RecordingCallback, &r), kPassNoArchive);
    EXPECT_EQ(ArchivePass(WidePath(dir.path()).c_str(), RecordingCallback, &r), kPassNoArchive);
    WriteFileBytes(dir.File("plain.txt"), SampleText(300000, 1));
    EXPECT_EQ(ArchivePass(WidePath(dir.File("plain.txt")).c_str(), RecordingCallback, &r), kPassNoArchive);
    EXPECT_TRUE(r.calls.empty());

    FileEntry continued = StoredEntry("cont", BytesOf("x"));
    continued.flags = 0x8001;
    PassRun run(ArchiveBuilder().File(continued).Build());
    EXPECT_EQ(run.Run(), kPassNoArchive);
    EXPECT_TRUE(run.recorder.calls.empty());
}

TEST(ArchivePass, ArchiveEndingInsideASplitEntryFails)
{
    FileEntry split = StoredEntry("split", BytesOf("first half"));
    split.flags = 0x8002;
    PassRun run(ArchiveBuilder().File(StoredEntry("a", BytesOf("a"))).File(split).Build());
    run.recorder.choose = [](wchar_t* name) { name[0] = 0; };
    EXPECT_EQ(run.Run(), kPassMissingVolume);
    EXPECT_EQ(run.recorder.calls.size(), 2u);
}

TEST(ArchivePass, CraftedEndlessStreamEndsAsADamagedEntry)
{
    // Only symbol 256 has a code, and the data is zero bits: without a bound
    // the decoder would repeat an empty match for ever.
    std::vector<uint8_t> lengths(374, 0);
    lengths[256] = 1;
    Rar20Writer w;
    w.TableSet(lengths);
    auto packed = w.FinishEntry();
    packed.resize(packed.size() + 40, 0);
    PassRun run(ArchiveBuilder().File(PackedEntry("loop", packed, BytesOf("expected"), false)).Build());
    EXPECT_EQ(run.Run(), kPassBadChecksum);
    EXPECT_EQ(run.info.inputOverrun, 1);
}

TEST(ArchivePass, HeaderInfoDescribesTheEntry)
{
    FileEntry e = StoredEntry("dir/info.txt", BytesOf("12345"));
    e.fileTime = DosTime(2020, 2, 29, 13, 14, 16);
    e.fileAttr = 0x21;
    PassRun run(ArchiveBuilder().Prefix(std::vector<uint8_t>(64, 0)).File(e).Build());
    EXPECT_EQ(run.Run(), kPassOk);
    EXPECT_STREQ(run.info.name, "dir\\info.txt");
    EXPECT_EQ(run.info.unpSize, 5u);
    EXPECT_EQ(run.info.packSize, 5u);
    EXPECT_EQ(run.info.fileCrc, Crc32(BytesOf("12345")));
    EXPECT_EQ(run.info.fileTime, DosTime(2020, 2, 29, 13, 14, 16));
    EXPECT_EQ(run.info.fileAttr, 0x21u);
    EXPECT_EQ(run.info.method, 0x30);
    EXPECT_EQ(run.info.blockPos, 64 + 7 + 13);
    EXPECT_EQ(run.info.archiveFormat, 2);
    EXPECT_EQ(run.info.decoded, 1);
    EXPECT_EQ(run.info.checksumOk, 1);
}

TEST(ArchivePass, OldGenerationUsesTheRotateSum)
{
    // The old marker is read as the first bytes of a 13-byte main header.
    std::vector<uint8_t> bytes(40, 0x20);
    auto signature = BytesOf("RSFX");
    std::copy(signature.begin(), signature.end(), bytes.begin() + 28);
    const uint8_t header[13] = {'R', 'E', '~', '^', 0, 13, 0, 0, 0, 0, 0, 0, 0};
    bytes.insert(bytes.end(), header, header + 13);
    auto data = BytesOf("old generation data");
    FileEntry e = StoredEntry("old.txt", data);
    e.fileCrc = RotateSum(data);
    FileEntry bad = e;
    bad.name = "bad.txt";
    bad.fileCrc = Crc32(data);
    auto body = ArchiveBuilder().NoMarker().NoMainHeader().File(e).File(bad).Build();
    bytes.insert(bytes.end(), body.begin(), body.end());
    PassRun run(bytes);
    EXPECT_EQ(run.Run(), kPassBadChecksum);
    EXPECT_EQ(run.recorder.Data()[L"old.txt"], data);
    EXPECT_EQ(run.recorder.FirstNames().size(), 2u);
}

TEST(ArchivePass, WrittenFilesGetTheArchivedTimeAndAttributes)
{
    struct Expect {
        std::string name;
        int year, month, day, hour, minute, second;
        uint32_t attributes;
    } cases[] = {{"plain.txt", 2009, 7, 15, 10, 30, 44, 0x20},
                 {"readonly.txt", 1999, 12, 31, 23, 59, 58, 0x21},
                 {"hidden.txt", 2030, 1, 2, 3, 4, 6, 0x22}};
    ArchiveBuilder builder;
    for (auto& c : cases) {
        FileEntry e = StoredEntry(c.name, BytesOf(c.name));
        e.fileTime = DosTime(c.year, c.month, c.day, c.hour, c.minute, c.second);
        e.fileAttr = c.attributes;
        builder.File(e);
    }
    PassRun run(builder.Build());
    run.ToFiles();
    ASSERT_EQ(run.Run(), kPassOk);
    for (auto& c : cases) {
        auto want = std::make_tuple(c.year, c.month, c.day, c.hour, c.minute, c.second);
        std::string path = run.Out(c.name);
#ifdef _WIN32
        std::wstring wpath = WidePath(path);
        HANDLE h = CreateFileW(wpath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << c.name;
        FILETIME written, local;
        SYSTEMTIME st;
        ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &written));
        CloseHandle(h);
        FileTimeToLocalFileTime(&written, &local);
        FileTimeToSystemTime(&local, &st);
        EXPECT_EQ(std::make_tuple(int(st.wYear), int(st.wMonth), int(st.wDay), int(st.wHour), int(st.wMinute),
                                  int(st.wSecond)),
                  want)
            << c.name;
        EXPECT_EQ(GetFileAttributesW(wpath.c_str()) & 0xFF, c.attributes) << c.name;
        SetFileAttributesW(wpath.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0) << c.name;
        struct tm t;
        localtime_r(&st.st_mtime, &t);
        EXPECT_EQ(std::make_tuple(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec), want)
            << c.name;
        EXPECT_EQ((st.st_mode & 0200) == 0, (c.attributes & 1) != 0) << c.name;
#endif
    }
}

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OV_NO_MEMORY_LIMIT_TEST
#endif
#endif
#ifndef OV_NO_MEMORY_LIMIT_TEST
TEST(ArchivePass, MemorySinkThatCannotGrowEndsThePassAsForLackOfMemory)
{
    // 32 MB of zeros from a few kilobytes of packed data, decoded to memory
    // in a child process whose address space is capped: the sink cannot hold
    // the entry, and the callback must not receive a cut copy.
    const uint32_t size = 32u << 20;
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    w.Literal(0);
    uint32_t made = 1;
    while (made + 258 <= size) {
        w.Match(258, 1);
        made += 258;
    }
    while (made < size) {
        w.Literal(0);
        made++;
    }
    auto packed = w.FinishEntry();
    FileEntry e = PackedEntry("zeros", packed, {}, false);
    e.unpSize = size;
    std::vector<uint8_t> zeros(size, 0);
    e.fileCrc = Crc32(zeros);
    zeros.clear();
    zeros.shrink_to_fit();
    PassRun run(ArchiveBuilder().File(e).Build());
    EXPECT_EXIT(
        {
            struct rlimit limit;
            getrlimit(RLIMIT_AS, &limit);
            limit.rlim_cur = rlim_t(16) << 20; // well below the entry
            // The process as it stands plus the cap (its mappings count).
            FILE* f = std::fopen("/proc/self/statm", "r");
            unsigned long pages = 0;
            if (f && std::fscanf(f, "%lu", &pages) == 1)
                limit.rlim_cur += rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE));
            if (f)
                std::fclose(f);
            setrlimit(RLIMIT_AS, &limit);
            int result = run.Run();
            bool cutCopy = false;
            for (auto& c : run.recorder.calls)
                cutCopy = cutCopy || c.second;
            std::_Exit(result == kPassNoMemory && !cutCopy ? 0 : 10 + result);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif
#endif
