// Bounded text and path operations: never past the capacity given, always a
// terminated text; the ANSI code page; the platform's file queries.
#include "base/platform.h"
#include "base/text_utils.h"

#include <gtest/gtest.h>

#include <string>

TEST(BoundedText, CopyAndAppendCutToCapacityAndTerminate)
{
    const struct {
        const wchar_t *start, *text;
        size_t capacity;
        const wchar_t *copied, *appended;
    } cases[] = {{L"abc", L"defgh", 6, L"defgh", L"abcde"},
                 {L"abcde", L"x", 6, L"x", L"abcde"},
                 {L"ab", L"xyz", 1, L"", L""}, // a text longer than the capacity is cut
                 {L"ab", nullptr, 6, L"", L"ab"}};
    for (auto& c : cases) {
        wchar_t buf[8] = {};
        CopyTextBounded(c.text, buf, c.capacity);
        EXPECT_EQ(std::wstring(buf), c.copied) << c.start;
        CopyTextBounded(c.start, buf, 8);
        AppendText(c.text, buf, c.capacity);
        EXPECT_EQ(std::wstring(buf), c.appended) << c.start;
    }
    CopyTextBounded(L"abc", nullptr, 8); // no destination: nothing happens
    wchar_t path[8] = L"C:\\";
    AppendAnsi("Programme", path, 8);
    EXPECT_EQ(std::wstring(path), L"C:\\Prog");

    // Windows-1252 both ways: "beschädigt", the euro sign, a dash from 0x80..0x9F.
    wchar_t wide[5] = {L'#', L'#', L'#', L'#', L'#'};
    EXPECT_EQ(AnsiToWide("abcdefgh", wide, 5), wide);
    EXPECT_EQ(std::wstring(wide), L"abcd");
    EXPECT_EQ(AnsiToWide("abc", nullptr, 5), nullptr);
    const char ansi[] = "besch\xE4"
                        "digt \x80 \x96";
    wchar_t converted[32];
    AnsiToWide(ansi, converted, 32);
    EXPECT_EQ(std::wstring(converted), L"besch\u00E4digt \u20AC \u2013");
    char back[32], cut[4];
    WideToAnsi(converted, back, 32);
    EXPECT_STREQ(back, ansi);
    WideToAnsi(L"\u4E2D\u6587xy", cut, 4); // not in the code page: '?'
    EXPECT_STREQ(cut, "??x");

    // (Finding and comparing text: the payload rules' and languages' tests.)
    EXPECT_FALSE(EndsWithNoCase(L"INF", L".INF"));
}

TEST(Paths, JoinNamesParentsAndLastComponents)
{
    // An empty base gets no separator; a part that does not fit is left out.
    const struct {
        const wchar_t *base, *part;
        size_t capacity;
        const wchar_t* expected;
    } joins[] = {{L"C:\\Program Files", L"\\Tool", kPathCapacity, L"C:\\Program Files\\Tool"},
                 {L"C:\\Program Files\\", L"Tool", kPathCapacity, L"C:\\Program Files\\Tool"},
                 {L"C:/x/", L"/y", kPathCapacity, L"C:/x/y"},
                 {L"C:/x", L"", kPathCapacity, L"C:/x"},
                 {L"C:/x", nullptr, kPathCapacity, L"C:/x"},
                 {L"", L"a", 8, L"a"},
                 {L"C:\\ab", L"cdef", 6, L"C:\\ab"}};
    for (auto& c : joins) {
        wchar_t buf[kPathCapacity];
        CopyTextBounded(c.base, buf, kPathCapacity);
        JoinPath(c.part, buf, c.capacity);
        EXPECT_EQ(std::wstring(buf), c.expected) << c.base;
    }
    // {path, file name, parent folder, last component}
    const wchar_t* parts[][4] = {{L"C:\\dir/sub\\name.txt", L"name.txt", L"C:\\dir/sub", L"name.txt"},
                                 {L"C:\\Data\\Tool\\", L"", L"C:\\Data\\Tool", L"Tool"},
                                 {L"C:\\Data", L"Data", L"C:\\", L"Data"},
                                 {L"C:\\", L"", L"C:\\", L"C:"},
                                 {L"Data", L"Data", L"", L"Data"},
                                 {L"\\\\server\\share", L"share", L"\\\\server", L"share"}};
    for (auto& c : parts) {
        EXPECT_EQ(std::wstring(c[0] + FileNamePosition(c[0])), c[1]) << c[0];
        wchar_t p[kPathCapacity];
        CopyTextBounded(c[0], p, kPathCapacity);
        CutToParentFolder(p);
        EXPECT_EQ(std::wstring(p), c[2]) << c[0];
        size_t length = 0;
        const wchar_t* last = LastComponent(c[0], &length);
        EXPECT_EQ(std::wstring(last, length), c[3]) << c[0];
    }
}

TEST(FileQueries, PathMissingAndFullPaths)
{
    wchar_t file[kPathCapacity] = L".";
    MakeFullPath(file);
    EXPECT_EQ(PathMissing(file), 0);
    JoinPath(L"ov_path_missing_probe.tmp", file, kPathCapacity);
    FILE* f = CreateOutputStream(file);
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(PathMissing(file), 0);
    EXPECT_TRUE(DeleteFilePath(file));
    EXPECT_EQ(PathMissing(file), -1);

    std::wstring longName(250, L'n');
    CopyTextBounded(longName.c_str(), file, kPathCapacity);
    MakeFullPath(file); // the full form would exceed 259 characters: unchanged
    EXPECT_EQ(std::wstring(file), longName);
    CopyTextBounded(L"rel", file, kPathCapacity);
    MakeFullPath(file);
    EXPECT_GT(TextLength(file), 3u);
    EXPECT_EQ(std::wstring(file + FileNamePosition(file)), L"rel");
}
