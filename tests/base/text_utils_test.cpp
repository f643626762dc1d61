#include "base/platform.h"
#include "base/text_utils.h"

#include <gtest/gtest.h>

#include <string>

TEST(BoundedCopy, CutsToCapacityAndTerminates)
{
    wchar_t buf[8];
    CopyTextBounded(L"abcdefghij", buf, 8);
    EXPECT_EQ(std::wstring(buf), L"abcdefg");
    CopyTextBounded(L"xyz", buf, 1);
    EXPECT_EQ(buf[0], 0);
    CopyTextBounded(nullptr, buf, 8);
    EXPECT_EQ(buf[0], 0);
    CopyTextBounded(L"abc", nullptr, 8); // no destination: nothing happens

    char a[4];
    CopyTextBounded("hello", a, 4);
    EXPECT_STREQ(a, "hel");
}

TEST(BoundedAppend, FullBufferGetsNothingAndStaysTerminated)
{
    wchar_t buf[6] = L"abc";
    AppendText(L"defgh", buf, 6);
    EXPECT_EQ(std::wstring(buf), L"abcde");
    AppendText(L"x", buf, 6);
    EXPECT_EQ(std::wstring(buf), L"abcde");

    char a[6] = "ab";
    AppendText("cdefg", a, 6);
    EXPECT_STREQ(a, "abcde");

    wchar_t path[8] = L"C:\\";
    AppendAnsi("Programme", path, 8);
    EXPECT_EQ(std::wstring(path), L"C:\\Prog");
}

TEST(AnsiConversion, Windows1252RoundTrip)
{
    // "beschädigt" with the euro sign and a typographic dash from 0x80..0x9F.
    const char ansi[] = "besch\xE4"
                        "digt \x80 \x96";
    wchar_t wide[32];
    AnsiToWide(ansi, wide, 32);
    EXPECT_EQ(std::wstring(wide), L"besch\u00E4digt \u20AC \u2013");
    char back[32];
    WideToAnsi(wide, back, 32);
    EXPECT_STREQ(back, ansi);
}

TEST(AnsiConversion, LongTextEndsTerminatedAtLastCharacter)
{
    wchar_t wide[5] = {L'#', L'#', L'#', L'#', L'#'};
    EXPECT_EQ(AnsiToWide("abcdefgh", wide, 5), wide);
    EXPECT_EQ(std::wstring(wide), L"abcd");
    EXPECT_EQ(AnsiToWide("abc", nullptr, 5), nullptr);

    char ansi[4];
    WideToAnsi(L"\u4E2D\u6587xy", ansi, 4); // not in the code page: '?'
    EXPECT_STREQ(ansi, "??x");
    EXPECT_FALSE(PlatformIsAnsiRepresentable(L"\u4E2D"));
    EXPECT_TRUE(PlatformIsAnsiRepresentable(L"Gr\u00FC\u00DFe \u20AC"));
}

TEST(PathJoin, OneSeparatorBetweenParts)
{
    // An empty base gets no separator; a part that does not fit is left out.
    struct Case {
        const wchar_t *base, *part;
        size_t capacity;
        const wchar_t* expected;
    } cases[] = {{L"C:\\Program Files", L"\\Tool", kPathCapacity, L"C:\\Program Files\\Tool"},
                 {L"C:\\Program Files\\", L"Tool", kPathCapacity, L"C:\\Program Files\\Tool"},
                 {L"C:/x/", L"/y", kPathCapacity, L"C:/x/y"},
                 {L"C:/x", L"", kPathCapacity, L"C:/x"},
                 {L"C:/x", nullptr, kPathCapacity, L"C:/x"},
                 {L"", L"a", 8, L"a"},
                 {L"C:\\ab", L"cdef", 6, L"C:\\ab"}};
    for (auto& c : cases) {
        wchar_t buf[kPathCapacity];
        CopyTextBounded(c.base, buf, kPathCapacity);
        JoinPath(c.part, buf, c.capacity);
        EXPECT_EQ(std::wstring(buf), c.expected) << c.base;
    }
}

TEST(PathParts, FileNamePositionAndParent)
{
    EXPECT_EQ(FileNamePosition(L"C:\\dir/sub\\name.txt"), 11u);
    EXPECT_EQ(FileNamePosition(L"name.txt"), 0u);
    EXPECT_EQ(FileNamePosition("a\\b/"), 4u);

    wchar_t p[kPathCapacity] = L"C:\\Data\\Sub";
    CutToParentFolder(p);
    EXPECT_EQ(std::wstring(p), L"C:\\Data");
    CutToParentFolder(p);
    EXPECT_EQ(std::wstring(p), L"C:\\");
    CutToParentFolder(p);
    EXPECT_EQ(std::wstring(p), L"C:\\");

    CopyTextBounded(L"Data", p, kPathCapacity);
    CutToParentFolder(p);
    EXPECT_EQ(std::wstring(p), L"");

    CopyTextBounded(L"\\\\server\\share", p, kPathCapacity);
    CutToParentFolder(p);
    EXPECT_EQ(std::wstring(p), L"\\\\server");
}

TEST(TextSearch, FindAndCompare)
{
    const wchar_t* t = L"GUID=x\r\nID=y";
    EXPECT_EQ(FindText(t, L"ID"), t + 2);
    EXPECT_EQ(FindText(t, L"id"), nullptr);
    EXPECT_EQ(FindText("abc", "c"), std::string("c"));
    EXPECT_TRUE(EqualsNoCase(L"file_id.diz", L"FILE_ID.DIZ"));
    EXPECT_FALSE(EqualsNoCase("de", "DEU"));
    EXPECT_TRUE(EndsWithNoCase(L"docs\\setup.inf", L".INF"));
    EXPECT_FALSE(EndsWithNoCase(L"INF", L".INF"));
}

TEST(FileQueries, PathMissingSeesFilesAndFolders)
{
    // The working folder exists; a file made in it too; a made-up name not.
    wchar_t dir[kPathCapacity] = L".";
    MakeFullPath(dir);
    EXPECT_EQ(PathMissing(dir), 0);

    wchar_t file[kPathCapacity];
    CopyTextBounded(dir, file, kPathCapacity);
    JoinPath(L"ov_path_missing_probe.tmp", file, kPathCapacity);
    FILE* f = CreateOutputStream(file);
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(PathMissing(file), 0);
    EXPECT_TRUE(DeleteFilePath(file));
    EXPECT_EQ(PathMissing(file), -1);
}

TEST(FileQueries, MakeFullPathLeavesOverlongResultUnchanged)
{
    wchar_t p[kPathCapacity];
    std::wstring longName(250, L'n');
    CopyTextBounded(longName.c_str(), p, kPathCapacity);
    MakeFullPath(p); // the full form would exceed 259 characters
    EXPECT_EQ(std::wstring(p), longName);

    CopyTextBounded(L"rel", p, kPathCapacity);
    MakeFullPath(p);
    EXPECT_GT(TextLength(p), 3u);
    EXPECT_EQ(std::wstring(p + FileNamePosition(p)), L"rel");
}
