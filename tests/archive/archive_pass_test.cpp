// The archive container and pass: finding the archive and walking its
// blocks, the callback protocol and the output modes, damaged entries in
// every mode, output files, and the memory sink.
#include "archive/archive_pass.h"
#include "archive/output_sink.h"

#include "format/rar_format.h"
#include "pack/lz_encoder.h"
#include "support/archive_builder.h"
#include "support/bit_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace testsupport;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Archive(std::vector<FileEntry> entries, bool bare = false)
{
    ArchiveBuilder b;
    if (bare)
        b.NoMarker().NoMainHeader();
    for (auto& e : entries)
        b.File(e);
    return b.Build();
}

FileEntry Entry(const std::string& name, uint16_t flags = 0x8000, uint8_t host = 2, uint32_t attr = 0x20)
{
    FileEntry e = StoredEntry(name, BytesOf("x"));
    e.flags = flags;
    e.hostOs = host;
    e.fileAttr = attr;
    e.headCrc = 0xBEEF; // never checked
    return e;
}

// "RE~^" as the first bytes of a 13-byte main header, found only with "RSFX"
// at file offsets 28..31.
Bytes OldGeneration(bool signature, const Bytes& body)
{
    Bytes bytes(40, ' ');
    if (signature)
        std::copy_n("RSFX", 4, bytes.begin() + 28);
    return Cat({bytes, {'R', 'E', '~', '^', 0, 13, 0, 0, 0, 0, 0, 0, 0}, body});
}

// Walks the headers of `bytes`: the result, and each entry's name with "@"
// and its attribute word when that is not 0x20.
std::pair<int, std::vector<std::string>> Walk(const Bytes& bytes, EntryHeaderInfo* first = nullptr)
{
    TempDir dir;
    WriteFileBytes(dir.File("archive.bin"), bytes);
    std::pair<std::vector<std::string>, EntryHeaderInfo*> seen{{}, first};
    auto visit = [](const EntryHeaderInfo* info, void* user) {
        auto* s = static_cast<decltype(seen)*>(user);
        s->first.push_back(info->name + (info->fileAttr == 0x20 ? "" : "@" + std::to_string(info->fileAttr)));
        if (s->second && s->first.size() == 1)
            *s->second = *info;
        return 0;
    };
    int result = WalkArchiveHeaders(WidePath(dir.File("archive.bin")).c_str(), visit, &seen);
    return {result, seen.first};
}

enum : wchar_t { kSkip = 0, kMemory = 7, kCheckOnly = kNameCodeCheckOnly | 1, kToFile = L'F' };
using Mode = std::function<wchar_t(const std::wstring& name)>;

Mode All(wchar_t code)
{
    return [code](const std::wstring&) { return code; };
}

// One archive file and passes over it, with a log of the callback's calls.
struct Pass {
    TempDir dir;
    Mode mode = All(kMemory);
    int stopAt = 0; // the call whose answer ends the walk
    int calls = 0;
    std::vector<std::wstring> firsts;
    std::map<std::wstring, Bytes> seconds;
    EntryHeaderInfo info{};

    explicit Pass(const Bytes& bytes) { WriteFileBytes(Out(L"setup.bin"), bytes); }
    std::string Out(const std::wstring& name) const { return dir.File({name.begin(), name.end()}); }
    bool Exists(const std::wstring& name) const { return std::filesystem::exists(Out(name)); }

    int Run()
    {
        calls = 0;
        firsts.clear();
        seconds.clear();
        return ArchivePassWithInfo(WidePath(Out(L"setup.bin")).c_str(), Callback, this, &info);
    }

    static int Callback(wchar_t* name, const unsigned char* data, uint32_t size, void* user)
    {
        Pass* p = static_cast<Pass*>(user);
        if (!data) {
            p->firsts.push_back(name);
            std::wstring entry = name;
#ifndef _WIN32
            std::replace(entry.begin(), entry.end(), L'\\', L'/');
#endif
            std::wstring path = WidePath(p->Out(entry));
            name[0] = p->mode(p->firsts.back());
            if (name[0] == kToFile)
                wcsncpy(name, path.c_str(), 259);
        } else {
            EXPECT_EQ(name[0], p->mode(p->firsts.back())) << "the chosen code stays";
            EXPECT_EQ(data[size], 0) << "one extra zero byte";
            p->seconds[p->firsts.back()].assign(data, data + size);
        }
        return ++p->calls == p->stopAt;
    }
};

// Times and attribute words of three of the Sample's entries.
const struct {
    int entry;
    const wchar_t* name;
    int year, month, day, hour, minute, second, attributes;
} kTimes[] = {{0, L"a.txt", 2009, 7, 15, 10, 30, 44, 0x20},
              {4, L"b.txt", 1999, 12, 31, 23, 59, 58, 0x21},
              {6, L"d.txt", 2030, 1, 2, 3, 4, 6, 0x22}};

// A solid archive behind a stub: a stored entry larger than the copy buffer,
// a folder with a data area, a volume label, a stored entry with surplus
// packed bytes, three compressed entries of one stream (c repeats part of
// b), an empty entry; three with times and attribute words.
struct Sample {
    Bytes a = SampleText(100000, 1), b = SampleText(70000, 2), c = SampleText(3000, 3), d = SampleText(10, 4);
    std::map<std::wstring, Bytes> contents;
    Bytes bytes;

    Sample()
    {
        std::copy(b.begin() + 100, b.begin() + 400, c.begin());
        std::vector<Bytes> packed;
        std::vector<uint64_t> tableBits;
        CompressSolid({{b.data(), b.size()}, {c.data(), c.size()}, {d.data(), d.size()}}, 3, &packed, &tableBits,
                      [](uint64_t) {});
        FileEntry entries[] = {StoredEntry("a.txt", a),
                               Entry("folder", 0x8000, 2, kAttrDirectory),
                               Entry("LABEL", 0x8000, 2, kAttrVolumeLabel),
                               StoredEntry("surplus", BytesOf("keep this|drop this")),
                               PackedEntry("b.txt", packed[0], b, false),
                               PackedEntry("c.txt", packed[1], c, true),
                               PackedEntry("d.txt", packed[2], d, true),
                               StoredEntry("empty", {})};
        entries[3].unpSize = 9;
        entries[3].fileCrc = Crc32(BytesOf("keep this"));
        for (auto& t : kTimes) {
            entries[t.entry].fileTime = DosTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
            entries[t.entry].fileAttr = t.attributes;
        }
        bytes = Cat({Bytes(1000, 'M'), Archive(std::vector<FileEntry>(entries, entries + 8))});
        contents = {{L"a.txt", a}, {L"surplus", BytesOf("keep this")}, {L"b.txt", b}, {L"c.txt", c}, {L"d.txt", d},
                    {L"empty", {}}};
    }
};

} // namespace

TEST(Walk, FindsTheArchiveStepsOverBlocksAndStopsAtDamage)
{
    FileEntry tiny = Entry("tiny");
    tiny.headSizeOverride = 6;
    Bytes two = Archive({Entry("a"), StoredEntry("bbbbbbbb", {})});
    auto behind = [&](int type, int size, size_t cutBy) {
        Bytes b = Cat({two, ArchiveBuilder().NoMarker().NoMainHeader().Block(type, size).Build()});
        return Bytes(b.begin(), b.end() - cutBy);
    };
    auto at = [](size_t offset) { return Cat({Bytes(offset, ' '), Archive({Entry("a")})}); };
    // A data area beyond 2 GiB; in 32-bit arithmetic its end would wrap to
    // 16 bytes behind the block's start, where a file header hides.
    Bytes wrapping = ArchiveBuilder().NoMarker().NoMainHeader().Block(0x75, 64, 0x8000).Build();
    for (int i = 0; i < 4; i++)
        wrapping[size_t(7 + i)] = uint8_t((0xFFFFFFFFu - 48 + 1) >> (8 * i));
    Bytes hidden = Archive({Entry("evil")}, true);
    std::copy(hidden.begin(), hidden.end(), wrapping.begin() + 16);
    const std::vector<std::string> a = {"a"}, ab = {"a", "b"}, none = {};
    const struct {
        const char* what;
        Bytes bytes;
        int result;
        std::vector<std::string> names;
    } cases[] = {
        // At 0, or found by the scan of file offsets 7..250,005: the marker
        // and the type byte 9 places on must lie within it.
        {"at 0", at(0), kPassOk, a},
        {"at 3", at(3), kPassNoArchive, none},
        {"at 7", at(7), kPassOk, a},
        {"at 249996", at(249996), kPassOk, a},
        {"at 249997", at(249997), kPassNoArchive, none},
        {"too short", BytesOf("Rar!"), kPassNoArchive, none},
        {"no main header", ArchiveBuilder().NoMainHeader().Build(), kPassNoArchive, none},
        {"wrong type passed over", Cat({Bytes(9, ' '), ArchiveBuilder().MainHeader(13, 0, 0x74).Build(), at(50)}),
         kPassOk, a},
        {"old without signature", OldGeneration(false, Archive({Entry("a")}, true)), kPassNoArchive, none},
        {"old", OldGeneration(true, Archive({Entry("a")}, true)), kPassOk, a},
        // Blocks of other types, even the end block, are stepped over.
        {"blocks",
         ArchiveBuilder()
             .MainHeader(40) // with a comment
             .Block(0x75, 40)
             .File(Entry("a"))
             .Block(0x76, 33, 0x8000, Bytes(500, 1))
             .Block(0x77, 32, 0x8000, Bytes(70, 1)) // old-style sub-block
             .Block(0x7B, 32)                       // end of archive
             .File(Entry("b"))
             .Build(),
         kPassOk, ab},
        {"head size below 7", Archive({Entry("a"), tiny, Entry("b")}), kPassOk, a},
        // A header cut by the end of the file is a cut download (the
        // corruption sweep cuts file headers); a whole short block at the end
        // is the end of the archive.
        {"cut in a 40-byte header", behind(0x75, 40, 5), kPassTruncated, {"a", "bbbbbbbb"}},
        {"end block", behind(0x7B, 7, 0), kPassOk, {"a", "bbbbbbbb"}},
        {"beyond 2 GiB", Cat({Archive({Entry("a")}), wrapping, Archive({Entry("b")}, true)}), kPassOk, a},
        // Only a first entry continued from elsewhere, only a last one
        // continued elsewhere count.
        {"continued first", Archive({Entry("a", 0x8001)}), kPassNoArchive, none},
        {"continued later", Archive({Entry("a"), Entry("b", 0x8001)}), kPassOk, ab},
        {"split last", Archive({Entry("a", 0x8002)}), kPassMissingVolume, a},
        {"split earlier", Archive({Entry("a", 0x8002), Entry("b")}), kPassOk, ab},
        {"names cut to 259 bytes, separators backslashes",
         Archive({Entry(std::string(300, 'n')), Entry("a/b\\c/d")}),
         kPassOk,
         {std::string(259, 'n'), "a\\b\\c\\d"}},
        // Windows and MS-DOS words as stored; Unix and unknown hosts' words
        // mean nothing to Windows: a file or, by the flags, a folder.
        {"hosts",
         Archive({Entry("w", 0x8000, 2, 0x2021), Entry("d", 0x8000, 0, 0x01), Entry("u", 0x8000, 3, 0x81A4),
                  Entry("f", 0x80E0, 3, 0x41ED), Entry("x", 0x8000, 7, 0xFFFF)}),
         kPassOk,
         {"w@8225", "d@1", "u", "f@16", "x"}},
    };
    for (auto& c : cases)
        EXPECT_EQ(Walk(c.bytes), std::make_pair(int(c.result), c.names)) << c.what;

    EntryHeaderInfo info;
    Walk(at(7), &info);
    EXPECT_EQ(info.blockPos, 7 + 7 + 13);
    TempDir dir;
    for (std::string path : {dir.File("missing"), dir.path()})
        EXPECT_EQ(WalkArchiveHeaders(
                      WidePath(path).c_str(), [](const EntryHeaderInfo*, void*) { return 0; }, nullptr),
                  kPassNoArchive);
}

TEST(ArchivePass, CallbackChoosesEachOutputAndMayEndTheWalk)
{
    Sample s;
    Pass p(s.bytes);
    WriteFileBytes(p.Out(L"empty"), BytesOf("an older, longer file"));
    const struct {
        const char* what;
        Mode mode;
        int stopAt;
        int calls; // none for the folder, only a first one for the label
    } cases[] = {
        {"memory", All(kMemory), 0, 13},
        {"a non-zero answer to a first call", All(kMemory), 1, 1},
        {"a non-zero answer to a second call", All(kMemory), 2, 2},
        {"skip", All(kSkip), 0, 7},
        {"check only", All(kCheckOnly), 0, 13},
        {"only c, which reaches into the skipped b",
         [](const std::wstring& name) { return name == L"c.txt" ? kMemory : kSkip; }, 0, 8},
        {"files", All(kToFile), 0, 7},
    };
    for (auto& c : cases) {
        p.mode = c.mode;
        p.stopAt = c.stopAt;
        EXPECT_EQ(p.Run(), kPassOk) << c.what;
        EXPECT_EQ(p.calls, c.calls) << c.what;
        for (auto& [name, data] : p.seconds)
            EXPECT_TRUE(data == (p.mode(name) == kCheckOnly ? Bytes() : s.contents[name])) << c.what;
    }
    EXPECT_EQ(p.firsts,
              (std::vector<std::wstring>{L"a.txt", L"LABEL", L"surplus", L"b.txt", L"c.txt", L"d.txt", L"empty"}));
    // The files: their bytes (an older file replaced), their times and
    // attribute words; nothing for the folder and the label.
    for (auto& [name, data] : s.contents) {
        Bytes got;
        EXPECT_TRUE(ReadFileBytes(p.Out(name), &got) && got == data);
    }
    EXPECT_FALSE(p.Exists(L"folder") || p.Exists(L"LABEL"));
    for (auto& f : kTimes) {
        std::vector<int> want = {f.year, f.month, f.day, f.hour, f.minute, f.second};
#ifdef _WIN32
        std::wstring path = WidePath(p.Out(f.name));
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        FILETIME written, local;
        SYSTEMTIME t;
        ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &written));
        CloseHandle(h);
        FileTimeToLocalFileTime(&written, &local);
        FileTimeToSystemTime(&local, &t);
        EXPECT_EQ(std::vector<int>({t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond}), want);
        EXPECT_EQ(int(GetFileAttributesW(path.c_str()) & 0xFF), f.attributes);
#else
        struct stat st;
        ASSERT_EQ(stat(p.Out(f.name).c_str(), &st), 0);
        struct tm t;
        localtime_r(&st.st_mtime, &t);
        EXPECT_EQ(std::vector<int>({t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec}), want);
        EXPECT_EQ((st.st_mode & 0200) == 0, (f.attributes & kAttrReadOnly) != 0);
#endif
    }
}

TEST(ArchivePass, DamagedEntriesFailInEveryModeButSkip)
{
    auto entry = [](FileEntry e, uint32_t size, uint32_t crc, uint8_t unpVer = 20) {
        e.unpSize = size;
        e.fileCrc = crc;
        e.unpVer = unpVer;
        return Archive({e});
    };
    Rar20Writer overshoot, endless;
    overshoot.TableSet(FlatLzLengths());
    overshoot.Literal('o');
    overshoot.Match(50, 1);
    Bytes only256(kLzSetSize, 0);
    only256[kSymbolRepeatLast] = 1; // an empty match again and again
    endless.TableSet(only256);
    Bytes text = SampleText(1000, 5), abc = BytesOf("abc");
    Bytes overshot = entry(PackedEntry("e", overshoot.FinishEntry(), {}, false), 20, Crc32(Bytes(51, 'o')));
    // The old generation sums (0x0556 is that of "abc"); a CRC there is damage.
    FileEntry good = StoredEntry("old.txt", abc);
    good.fileCrc = 0x0556;
    Bytes oldGeneration = OldGeneration(true, Archive({good, StoredEntry("crc", abc)}, true));
    const struct {
        const char* what;
        Bytes bytes;
        std::vector<std::wstring> reached; // the last one is the damaged entry
        int overrun, sizeMismatch;         // as the pass tells its caller
    } cases[] = {
        {"bad checksum", entry(StoredEntry("e", text), 1000, Crc32(text) ^ 0x80000000u), {L"e"}, 0, 0},
        // Checksums that match what was produced, sizes that do not.
        {"size beyond 2 GiB", entry(StoredEntry("e", abc), 0x80000003u, Crc32(abc)), {L"e"}, 0, 1},
        {"fewer bytes than stated", entry(StoredEntry("e", abc), 1000, Crc32(abc)), {L"e"}, 0, 1},
        {"nothing beyond 2 GiB", entry(StoredEntry("e", {}), 0xFFFFFFF0u, 0), {L"e"}, 0, 1},
        {"match past the size", overshot, {L"e"}, 0, 1},
        {"old method, never decoded", entry(PackedEntry("e", abc, {}, false), 3, Crc32(abc), 15), {L"e"}, 0, 1},
        {"endless stream", entry(PackedEntry("e", endless.FinishEntry(), {}, false), 3, Crc32(abc)), {L"e"}, 1, 1},
        {"old generation", oldGeneration, {L"old.txt", L"crc"}, 0, 0},
    };
    for (auto& c : cases) {
        Pass p(c.bytes);
        std::wstring bad = c.reached.back();
        EXPECT_EQ(p.Run(), kPassBadChecksum) << c.what;
        EXPECT_EQ(p.firsts, c.reached) << c.what;
        EXPECT_EQ(p.seconds.count(bad), 0u) << c.what;
        EXPECT_EQ(p.info.name, std::string(bad.begin(), bad.end())) << c.what;
        EXPECT_EQ(p.info.checksumOk, 0) << c.what;
        EXPECT_TRUE(p.info.inputOverrun == c.overrun && p.info.sizeMismatch == c.sizeMismatch) << c.what;
        p.mode = All(kToFile);
        EXPECT_EQ(p.Run(), kPassBadChecksum) << c.what;
        for (auto& name : c.reached)
            EXPECT_EQ(p.Exists(name), name != bad) << c.what;
        p.mode = All(kSkip);
        EXPECT_EQ(p.Run(), kPassOk) << c.what;
    }
}

TEST(ByteBuffer, KeepsItsContentAcrossGrowthClearAndReserve)
{
    Bytes all = SampleText(15210, 7);
    ByteBuffer b;
    ByteBufferCreate(&b);
    uint32_t at = 0;
    for (uint32_t n : {10u, 5000u, 4000u, 200u, 6000u}) {
        EXPECT_EQ(ByteBufferAppend(&b, all.data() + at, n), 0);
        at += n;
    }
    EXPECT_EQ(Bytes(b.data, b.data + b.size), Bytes(all.begin(), all.begin() + at));
    ByteBufferClear(&b);
    ByteBufferAppend(&b, all.data(), 2);
    EXPECT_EQ(ByteBufferReserve(&b, 100000), 0);
    ByteBufferAppend(&b, all.data() + 2, uint32_t(all.size() - 2));
    EXPECT_EQ(Bytes(b.data, b.data + b.size), all);
    ByteBufferDestroy(&b);
}

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) // the sanitizer reserves far more address space
TEST(ArchivePass, MemorySinkThatCannotGrowEndsThePassAsForLackOfMemory)
{
    // 32 MB of zeros from a few kilobytes of packed data, decoded to memory
    // in a child process whose address space is capped: the sink cannot hold
    // the entry, and the callback must not receive a cut copy.
    const uint32_t size = 32u << 20;
    Rar20Writer w;
    w.TableSet(FlatLzLengths());
    w.Literal(0);
    for (uint32_t made = 1, n; made < size; made += n)
        w.Match(n = std::min(258u, size - made), 1);
    Pass p(Archive({PackedEntry("zeros", w.FinishEntry(), Bytes(size, 0), false)}));
    EXPECT_EXIT(
        {
            // The cap: what the process maps now and 16 MB, well below the entry.
            struct rlimit limit;
            getrlimit(RLIMIT_AS, &limit);
            unsigned long pages = 0;
            FILE* f = std::fopen("/proc/self/statm", "r");
            if (f && std::fscanf(f, "%lu", &pages) == 1)
                limit.rlim_cur = (rlim_t(16) << 20) + rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE));
            setrlimit(RLIMIT_AS, &limit);
            int result = p.Run();
            std::_Exit(result == kPassNoMemory && p.seconds.empty() ? 0 : 10 + result);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif
