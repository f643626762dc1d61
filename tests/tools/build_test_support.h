// Shared by the mksetup tests: running a command in-process and catching what
// it prints, file and name helpers, a plain walk over the block headers of a
// written setup, and a scratch folder with a product in it.
#ifndef OV_TESTS_TOOLS_BUILD_TEST_SUPPORT_H
#define OV_TESTS_TOOLS_BUILD_TEST_SUPPORT_H

#include "support/archive_builder.h"
#include "tools/mksetup/commands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace buildtest {

namespace fs = std::filesystem;
using testsupport::DosTime;

inline void SetEnv(const char* name, const char* value)
{
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    value ? setenv(name, value, 1) : unsetenv(name);
#endif
}

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Wide names and paths without the locale (which is "C" in the tests).
inline std::string Utf8Of(const std::wstring& w)
{
    std::string out;
    for (size_t i = 0; i < w.size(); i++) {
        uint32_t c = uint32_t(w[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < w.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(w[++i]) - 0xDC00);
        int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        out += char(extra == 0 ? c : (0xFF00u >> (extra + 1)) | (c >> (6 * extra)));
        for (int k = extra - 1; k >= 0; k--)
            out += char(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    return out;
}

inline fs::path PathOf(const std::wstring& w)
{
#ifdef _WIN32
    return fs::path(w);
#else
    return fs::u8path(Utf8Of(w));
#endif
}

inline std::wstring WideOf(const fs::path& p)
{
#ifdef _WIN32
    return p.wstring();
#else
    std::wstring out;
    const std::string& s = p.native();
    for (size_t i = 0; i < s.size();) {
        unsigned char b = (unsigned char)s[i];
        int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        uint32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k <= extra && i + size_t(k) < s.size(); k++)
            c = (c << 6) | ((unsigned char)s[i + size_t(k)] & 0x3F);
        out += wchar_t(c);
        i += size_t(extra) + 1;
    }
    return out;
#endif
}

inline void WriteBytes(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good()) << path.u8string();
}

// The bytes of a file (wide path on Windows, so any name works); empty when
// it cannot be read.
inline std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct RunResult {
    int code;
    std::string out;
    std::string err;
};

inline RunResult RunCaptured(int (*command)(const Arguments&), const Arguments& args)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = command(args);
    std::fflush(stdout);
    std::fflush(stderr);
    std::string out = testing::internal::GetCapturedStdout();
    return RunResult{code, out, testing::internal::GetCapturedStderr()};
}

inline RunResult RunBuildCaptured(const Arguments& args)
{
    return RunCaptured(RunBuild, args);
}

// One file header of a written archive.
struct EntryHeader {
    uint16_t flags = 0;
    uint32_t packSize = 0, unpSize = 0;
    uint8_t host = 0;
    uint32_t time = 0;
    uint8_t unpVer = 0, method = 0;
    uint32_t attributes = 0;
    std::string name;
};

inline uint32_t Le(const std::vector<uint8_t>& b, size_t at, int width)
{
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; i--)
        v = (v << 8) | b[at + size_t(i)];
    return v;
}

// Walks the blocks of the archive that starts at `start`; stops at the end
// block or the end of the data.
inline std::vector<EntryHeader> ReadEntryHeaders(const std::vector<uint8_t>& file, size_t start)
{
    std::vector<EntryHeader> out;
    if (file.size() < start + 20)
        return out;
    size_t pos = start + 7;
    pos += Le(file, pos + 5, 2);
    while (pos + 7 <= file.size()) {
        uint8_t type = file[pos + 2];
        uint16_t flags = uint16_t(Le(file, pos + 3, 2));
        uint32_t size = Le(file, pos + 5, 2);
        uint32_t pack = (flags & 0x8000) && pos + 11 <= file.size() ? Le(file, pos + 7, 4) : 0;
        if (type == 0x74) {
            EntryHeader h;
            h.flags = flags;
            h.packSize = pack;
            h.unpSize = Le(file, pos + 11, 4);
            h.host = file[pos + 15];
            h.time = Le(file, pos + 20, 4);
            h.unpVer = file[pos + 24];
            h.method = file[pos + 25];
            uint32_t nameSize = Le(file, pos + 26, 2);
            h.attributes = Le(file, pos + 28, 4);
            h.name.assign(file.begin() + long(pos + 32), file.begin() + long(pos + 32 + nameSize));
            out.push_back(h);
        }
        if (type == 0x7B || size < 7)
            break;
        pos += size + pack;
    }
    return out;
}

// A scratch folder per test with a product folder, a stub and an output
// path; removed afterwards. SOURCE_DATE_EPOCH is cleared around each test.
class BuildFixture : public testing::Test {
protected:
    void SetUp() override
    {
        static int counter = 0;
#ifdef _WIN32
        long pid = _getpid();
#else
        long pid = getpid();
#endif
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() /
               ("mksetup-build-" + std::to_string(pid) + "-" + std::to_string(++counter) + "-" + info->name());
        fs::remove_all(root);
        fs::create_directories(root);
        product = root / "product";
        fs::create_directories(product);
        stub = root / "stub.exe";
        output = root / "out.exe";
        std::string stubBytes = "MZ";
        stubBytes.append(4094, '\0');
        WriteBytes(stub, stubBytes);
        SetEnv("SOURCE_DATE_EPOCH", nullptr);
    }

    void TearDown() override
    {
        SetEnv("SOURCE_DATE_EPOCH", nullptr);
        std::error_code ec;
        // Read-only files would keep a folder from being removed on Windows.
        for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root, ec);
    }

    // A product that should build without a single message.
    void WriteCleanProduct()
    {
        WriteBytes(product / "INSTALL.INF", "ID=AB\r\nClass=AlphaWindow\r\n");
        WriteBytes(product / "FILE_ID.DIZ", "Alpha Version 1.0 [test]\r\nA product for tests.\r\n");
        WriteBytes(product / "OALPHA.EXE", std::string("MZ program ") + std::string(3000, 'x'));
        WriteBytes(product / "AB_US.LNG", "[Text]\r\nLanguage=English\r\n");
        WriteBytes(product / "AB_IT.LNG", "[Text]\r\nLanguage=Italian (Italiano)\r\n");
        WriteBytes(product / "docs" / "readme.txt", "Read me.\r\n");
        WriteBytes(product / "LICENSE.TXT", "Free.\r\n");
    }

    RunResult Build(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {product.u8string(), "-o", output.u8string(), "--stub", stub.u8string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunBuildCaptured(args);
    }

    // Names in the scratch folder other than the three the test set up.
    std::vector<std::string> Leftovers() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root)) {
            std::string name = e.path().filename().u8string();
            if (name != "product" && name != "stub.exe" && name != "out.exe")
                names.push_back(name);
        }
        return names;
    }

    fs::path root, product, stub, output;
};

} // namespace buildtest

#endif
