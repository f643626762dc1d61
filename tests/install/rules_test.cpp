// The setup's payload and entry rules, natively: the same functions decide
// in the setup and in mksetup, whose build checks (tests/tools) cover the
// quirks a vendor is warned of.
#include "install/entry_rules.h"
#include "install/payload_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Script(const char* text, const char* key, const char* before = "")
{
    char field[kProductIdCapacity + 28] = {0};
    std::string start(before);
    start.copy(field, sizeof field - 1);
    ReadScriptValue(text, key, field, std::string(key) == "ID" ? kProductIdCapacity : kNameFieldCapacity);
    return field;
}

std::wstring Language(const std::vector<uint8_t>& data)
{
    wchar_t name[260];
    return ReadLanguageName(data.data(), uint32_t(data.size()), name, 260) ? name : L"<none>";
}

std::vector<uint8_t> Bytes(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> Utf16(const std::wstring& s)
{
    std::vector<uint8_t> out = {0xFF, 0xFE};
    for (wchar_t c : s) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    return out;
}

} // namespace

TEST(PayloadRules, EntryKindsAndLanguagePrefix)
{
    EXPECT_EQ(EntryKindOf(L"file_id.diz"), kEntryDescription);
    EXPECT_EQ(EntryKindOf(L".INF"), kEntryOther); // fewer than 5 characters
    wchar_t prefix[32] = {0};
    TakeLanguagePrefix(L"lang\\AB_US.LNG", prefix, 32);
    EXPECT_STREQ(prefix, L"AB");
    TakeLanguagePrefix(L"CD_DE.LNG", prefix, 32); // the first one stays
    EXPECT_STREQ(prefix, L"AB");
    wchar_t whole[32] = {0};
    TakeLanguagePrefix(L"XY.LNG", whole, 32);
    EXPECT_STREQ(whole, L"XY.LNG");
}

TEST(PayloadRules, ScriptValuesWithTheirQuirks)
{
    EXPECT_EQ(Script("ID=OD\r\nClass=Win\r\n", "ID"), "OD");
    EXPECT_EQ(Script("ID=OD\r\nClass=Win\r\n", "Class"), "Win");
    EXPECT_EQ(Script("ID = CW\nID=OD\n", "ID"), "");                // a blank after the key: nothing
    EXPECT_EQ(Script("Group=Pro\n", "Group", "Tool "), "Tool Pro"); // appended
    EXPECT_EQ(Script("id=lower", "ID"), "");
}

TEST(PayloadRules, TitleLineOfTheDescription)
{
    struct Case {
        const char* text;
        const char* product;
        const char* version;
    } cases[] = {
        {"Orvanex Demo Version 1.0 [sample]\r\nmore", "Orvanex Demo", "1.0"},
        {"Tool Version 2.1 (build 7)", "Tool", "2.1"},
        {"Tool  (x)", "Tool ", ""}, // one blank only is dropped
        {"Just a name\nVersion 3", "Just a name", ""},
        {"[tag] Tool Version 1", "", ""},
    };
    for (const Case& c : cases) {
        char product[kProductNameCapacity], version[kVersionCapacity];
        ReadProductTitle(c.text, product, sizeof product, version, sizeof version);
        EXPECT_STREQ(product, c.product) << c.text;
        EXPECT_STREQ(version, c.version) << c.text;
    }
}

TEST(PayloadRules, LanguageFileHeaders)
{
    EXPECT_EQ(Language(Bytes("[Text]\r\nLanguage=Italian (Italiano)\r\n")), L"Italian ");
    EXPECT_EQ(Language(Utf16(L"[Text]\r\nLanguage=Fran\u00e7ais\r\n")), L"Fran\u00e7ais");
    EXPECT_EQ(Language(Bytes("[Language: Deutsch (German)]")), L" Deutsch ");
    EXPECT_EQ(Language(Bytes("[Strings]\nTitle=x\nLanguage=Nederlands\n")), L"Nederlands");
    EXPECT_EQ(Language(Bytes("[Language]\r\n")), L"<none>");
    EXPECT_EQ(Language(Bytes("[Text]\nLang=English\n")), L"<none>");
    // "Language" ending at the last of the 259 characters examined: the name
    // would start beyond them.
    std::string late = "[" + std::string(250, 'x') + "Language=English";
    EXPECT_EQ(Language(Bytes(late)), L"<none>");
    EXPECT_EQ(Language(Bytes(late.substr(0, 258))), L"<none>");
    EXPECT_EQ(LanguageFileTag(L"OVDEMO_it.LNG"), 0x5449u); // "IT"
    EXPECT_EQ(LanguageFileTag(L"A.LNG"), 0u);
    wchar_t path[260];
    LanguageFilePath(L"C:\\Tool\\", L"OVDEMO", LanguageTag(L"de", 2), path, 260);
    EXPECT_STREQ(path, L"C:\\Tool\\OVDEMO_DE.LNG");
}

TEST(EntryRules, LanguageEntriesRolesAndTargets)
{
    EXPECT_EQ(LanguageTagOfEntry(L"OVDEMO_US.CHM", L"OVDEMO"), 21333u);
    EXPECT_EQ(LanguageTagOfEntry(L"docs\\OVDEMO_DE.TXT", L"OVDEMO"), 17732u); // first folder level dropped
    EXPECT_EQ(LanguageTagOfEntry(L"ABCDE_US.LNG", L"OVDEM"), 21333u);         // the prefix's letters are not compared
    EXPECT_EQ(LanguageTagOfEntry(L"ABCDERES.DLL", L"ABCDE"), 0u);
    EXPECT_EQ(LanguageTagOfEntry(L"OVDEMO_LONGER.TXT", L"OVDEMO"), 0u);
    EXPECT_EQ(LanguageTagOfEntry(L"OVDEMO_ENG.TXT", L"OVDEMO"), LanguageTag(L"ENG", 3));

    EXPECT_EQ(EntryRoleOf(L"license.txt"), kRoleLicense);
    EXPECT_EQ(EntryRoleOf(L"BESTELL.HTM"), kRoleOrderGerman);
    EXPECT_EQ(EntryRoleOf(L"UNINST.EXE"), kRoleUninstaller);
    EXPECT_EQ(EntryRoleOf(L"INSTALL.INF"), kRoleScript);
    EXPECT_EQ(EntryRoleOf(L"ovdemo.exe"), kRoleProgram);
    EXPECT_EQ(EntryRoleOf(L"O.EXE"), kRoleProgram); // five characters are enough
    EXPECT_EQ(EntryRoleOf(L".INF"), kRoleOther);
    EXPECT_EQ(EntryRoleOf(L"Xtool.exe"), kRoleOther);

    for (const wchar_t* bad :
         {L"", L".", L"..", L"CON", L"nul.txt", L"COM1.log", L"a:b", L"C:", L"CON ", L"nul .txt", L"LPT\u00B2"})
        EXPECT_FALSE(IsSafeFileName(bad)) << bad;
    for (const wchar_t* good : {L"CONSOLE.TXT", L"COM0", L"...a", L"readme.txt"})
        EXPECT_TRUE(IsSafeFileName(good)) << good;

    wchar_t target[260];
    EXPECT_TRUE(FlatTargetPath(L"C:\\Tool", L"docs\\readme.txt", target, 260));
    EXPECT_STREQ(target, L"C:\\Tool\\readme.txt");
    std::wstring deep(250, L'd');
    EXPECT_FALSE(FlatTargetPath(deep.c_str(), L"a_long_file_name.txt", target, 260));
}
