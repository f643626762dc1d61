// Cuts the packed sample product at every length from its archive on and
// changes some 100,000 single bytes, and reads each damaged file with the
// setup's pass (memory mode), `mksetup test` and `mksetup extract`. None may
// crash, hang or write outside its folder; the pass may deliver only original
// bytes, extract may succeed only with the original files, and test only when
// nothing that matters changed. A success is "intact" when the damage lay
// where readers may ignore it (stub, padding, bits the decoder never reads),
// "ignored" when the reader let through a change it need not see (the pass
// and extract do not check header checksums). Exits 1 on any violation.
//   corruption_sweep [--sample=K (every K-th case)] [--case=N (N alone, loud)]
#include "archive/archive_pass.h"
#include "format/rar_format.h"
#include "tools/mksetup/commands.h"
#include "tools/mksetup/tool_text.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>; // name (backslashes) -> bytes

namespace {

const char* const kReaders[] = {"pass", "test", "extract"};
char g_case[96] = "setting up"; // told when a case crashes or hangs
int g_console = 2;              // stderr while the readers' output goes to /dev/null

void Die(const char* why) // from signal handlers: write() only
{
    for (const char* part : {"corruption_sweep: ", static_cast<const char*>(g_case), ": ", why, "\n"})
        if (write(g_console, part, std::strlen(part)) < 0)
            _exit(3);
}

void Quiet(bool on)
{
    static int out = dup(1), null = open("/dev/null", O_WRONLY);
    std::fflush(stdout), std::fflush(stderr);
    dup2(on ? null : out, 1), dup2(on ? null : g_console, 2);
}

std::string Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Reading {
    PassResult pass;
    std::vector<std::pair<std::string, std::string>> entries; // names, and bytes once delivered
    std::vector<bool> delivered;
    int test, extract;
    Files tree; // what extract left; "..\x" outside its folder
};

int Record(wchar_t* name, const unsigned char* data, uint32_t size, void* user)
{
    auto* r = static_cast<Reading*>(user);
    if (!data)
        r->entries.push_back({Utf8Of(name), ""}), r->delivered.push_back(false), name[0] = 1;
    else
        r->entries.back().second.assign(reinterpret_cast<const char*>(data), size), r->delivered.back() = true;
    return 0;
}

Reading ReadAll(const std::string& file, bool quiet)
{
    std::ofstream("setup.exe", std::ios::binary) << file;
    Reading r;
    alarm(10);
    Quiet(quiet);
    r.pass = ArchivePass(L"setup.exe", Record, &r);
    r.test = RunTest({"-q", "setup.exe"});
    r.extract = RunExtract({"-q", "setup.exe", "-o", "out"});
    Quiet(false), alarm(0);
    for (auto& e : fs::recursive_directory_iterator("."))
        if (e.is_regular_file() && e.path() != "./setup.exe") {
            std::string name = e.path().lexically_relative("./out").generic_u8string();
            std::replace(name.begin(), name.end(), '/', '\\');
            r.tree[name] = Read(e.path());
        }
    for (auto& e : fs::directory_iterator("."))
        if (e.path() != "./setup.exe")
            fs::remove_all(e.path());
    return r;
}

struct Sweep {
    std::string original;
    Reading intact;
    Files files;
    size_t sample = 1, marker = 0, end = 0, number = 0, violations = 0, counts[2][3][4] = {};
    long only = -1;
    std::vector<std::string> where; // what each byte of the original is
    std::vector<bool> starts;       // where a block starts

    void Map()
    {
        auto le = [&](size_t at, int n) { // the original is whole: every header lies within it
            uint32_t v = 0;
            while (n--)
                v = v << 8 | uint8_t(original[at + n]);
            return v;
        };
        marker = original.find(std::string(kArchiveMarker, kArchiveMarker + kMarkerSize));
        where.assign(original.size() + 1, "after the archive"), starts.assign(original.size() + 1, false);
        std::fill_n(where.begin(), marker, "stub"), std::fill_n(where.begin() + marker, kMarkerSize, "header: marker");
        size_t at = marker + kMarkerSize;
        while (at + kMinBlockSize <= original.size() && !end) {
            int type = uint8_t(original[at + kHeadTypeOffset]);
            size_t head = at + std::max<size_t>(le(at + kHeadSizeOffset, 2), kMinBlockSize);
            size_t next = head + (le(at + kHeadFlagsOffset, 2) & kFlagHasData ? le(at + kPackSizeOffset, 4) : 0);
            for (size_t i = at; i < next && i < original.size(); i++)
                where[i] = i >= head            ? (i + 1 == next ? "data: last byte" : "data")
                           : type == kBlockFile ? "header: file"
                           : type == kBlockMain ? "header: main"
                           : type == kBlockEnd  ? "header: end"
                                                : "header: other";
            starts[at] = true, at = next, end = type == kBlockEnd ? next : 0; // a walk stop may follow
        }
        end = end ? end : at;
    }

    void Case(int kind, size_t at, char value)
    {
        if (number++ % sample || (only >= 0 && long(number - 1) != only))
            return;
        std::string file = kind ? original : original.substr(0, at);
        if (kind)
            file[at] = value;
        std::snprintf(g_case, sizeof g_case, kind ? "case %zu (byte %zu: %02X to %02X)" : "case %zu (cut to %zu bytes)",
                      number - 1, at, uint8_t(original[at]), uint8_t(value));
        bool header = where[at].rfind("header", 0) == 0, matters = kind ? header : at < end;
        Reading r = ReadAll(file, only < 0);
        std::string why[3];
        if (r.entries.size() > intact.entries.size())
            why[0] = "more entries than the original";
        // By name: a header whose type changed is a block the walk may skip,
        // and the entries behind it move up. A changed name keeps its place.
        std::map<std::string, std::string> byName(intact.entries.begin(), intact.entries.end());
        for (size_t i = 0; i < r.entries.size(); i++) {
            auto named = byName.find(r.entries[i].first);
            const std::string* want = named != byName.end()       ? &named->second
                                      : i < intact.entries.size() ? &intact.entries[i].second
                                                                  : nullptr;
            if (r.delivered[i] && (!want || r.entries[i].second != *want))
                why[0] = "entry " + std::to_string(i + 1) + " delivered with other bytes";
        }
        if (r.pass == kPassOk && !kind && at < end && !starts[at])
            why[0] = "a cut inside a block passed";
        bool same = r.entries == intact.entries && r.delivered == intact.delivered;
        if (r.test == 0 && (matters || !same || r.extract || r.tree != files))
            why[1] = !kind ? "a cut file passed" : header ? "a changed header passed" : "passed a changed entry";
        if (r.extract == 0 && r.tree != files)
            why[2] = "succeeded with other files";
        for (auto& [name, bytes] : r.tree)
            if (r.extract && (!files.count(name) || files[name] != bytes))
                why[2] = "left '" + name + "', which is no original file";
        int ok[3] = {r.pass == kPassOk, r.test == 0, r.extract == 0};
        for (int i = 0; i < 3; i++) {
            int o = !why[i].empty() ? 3 : !ok[i] ? 0 : !kind || header || (i == 0 && !same) ? 2 : 1;
            counts[kind][i][o]++;
            if (o == 3 && ++violations && counts[kind][i][o] <= 3)
                std::printf("VIOLATION %s in %s: %s: %s\n", g_case, where[at].c_str(), kReaders[i], why[i].c_str());
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    Sweep s;
    for (int i = 1; i < argc; i++)
        if (!std::strncmp(argv[i], "--sample=", 9))
            s.sample = std::max(1L, std::atol(argv[i] + 9));
        else if (!std::strncmp(argv[i], "--case=", 7))
            s.only = std::atol(argv[i] + 7);
    g_console = dup(2);
    signal(SIGALRM, [](int) { Die("took over 10 s"), _exit(2); });
#ifndef __SANITIZE_ADDRESS__ // where the sanitizer reports a crash itself
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        signal(sig, [](int sig) { Die("crashed"), signal(sig, SIG_DFL), raise(sig); });
#endif
    // Some hundred thousand small files come and go: in memory unless TMPDIR
    // says otherwise. Working in the folder puts whatever a reader writes by
    // a relative name where it is seen.
    fs::path temp = !getenv("TMPDIR") && fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
    std::string dir = (temp / "corruption-sweep-XXXXXX").u8string();
    if (!mkdtemp(dir.data()) || chdir(dir.c_str()) != 0)
        return 1;
    std::ofstream("stub.exe", std::ios::binary) << "MZ" << std::string(4094, '\0');
    setenv("SOURCE_DATE_EPOCH", "1262304000", 1);
    Quiet(true), RunBuild({OV_SOURCE_DIR "/samples/product", "-o", "built.exe", "--stub", "stub.exe"}), Quiet(false);
    s.original = Read("built.exe");
    fs::remove("built.exe"), fs::remove("stub.exe");
    s.Map();
    s.intact = ReadAll(s.original, true); // a reading with every entry delivered, or its bytes differ from extract's
    for (auto& [name, bytes] : s.intact.entries)
        s.files[name] = bytes;
    Reading& r = s.intact;
    if (r.pass || r.test || r.extract || r.tree != s.files || s.files.empty())
        return std::printf("corruption_sweep: the intact setup does not read back\n"), 1;

    // Cuts: a few lengths within the stub, every one from the marker on.
    // Changes of every byte from the marker on, and of every 61st byte of the
    // stub and its last eight: one bit flipped, up to 34 added or taken away
    // (sizes and counts off by a little), 0, 0x7F, 0x80 and 0xFF.
    size_t m = s.marker, size = s.original.size();
    for (size_t n : {size_t(0), size_t(1), m / 2, m - 1})
        if (n < m)
            s.Case(0, n, 0);
    for (size_t n = m; n < size; n++)
        s.Case(0, n, 0);
    for (size_t pos = 0; pos < size; pos++)
        for (int v = 0; v < 256 && (pos >= m || pos % 61 == 0 || pos + 8 >= m); v++) {
            uint8_t by = v - s.original[pos], flip = v ^ s.original[pos];
            if (by && (by <= 34 || by >= 222 || !(flip & (flip - 1)) || v % 0x7F == 0 || v == 0x80))
                s.Case(1, pos, char(v));
        }
    std::printf("%zu-byte setup, archive from offset %zu, %zu entries\n", size, m, s.files.size());
    for (int k = 0; k < 2; k++) {
        std::printf("\n%-12s %10s %10s %10s %10s\n", k ? "byte change" : "cut", "failed", "ok intact", "ok ignored",
                    "VIOLATIONS");
        for (int i = 0; i < 3; i++)
            std::printf("  %-10s %10zu %10zu %10zu %10zu\n", kReaders[i], s.counts[k][i][0], s.counts[k][i][1],
                        s.counts[k][i][2], s.counts[k][i][3]);
    }
    std::printf("\n%zu violations\n", s.violations);
    fs::remove_all(dir);
    return s.violations != 0;
}
