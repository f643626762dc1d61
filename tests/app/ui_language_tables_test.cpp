#include "app/ui_language_tables.h"

#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>

namespace {

std::wstring Lookup(const UiLanguage* table, uint16_t id, size_t capacity = 600)
{
    wchar_t out[600];
    for (wchar_t& c : out)
        c = L'#'; // so that a missing terminator shows
    LookupUiText(table, id, out, capacity);
    return std::wstring(out);
}

const uint16_t kAllIds[] = {1000, 99, 2, 1010, 1031, 1041, 1042, 1043, 2001, 2002, 3001, 3000, 136, 137, 138};

const UiLanguage* English()
{
    return kUiLanguages[0];
}
const UiLanguage* German()
{
    return FindUiLanguage("DE");
}
const UiLanguage* Italian()
{
    return FindUiLanguage("IT");
}

} // namespace

TEST(UiLanguageTables, EveryTableHoldsEveryIdOnceWithAText)
{
    for (int i = 0; kUiLanguages[i]; i++) {
        std::set<uint16_t> seen;
        int count = 0;
        for (const UiText* e = kUiLanguages[i]->entries; e->id; e++, count++) {
            EXPECT_TRUE(seen.insert(e->id).second) << kUiLanguages[i]->code << " repeats id " << e->id;
            ASSERT_NE(e->text, nullptr);
        }
        EXPECT_EQ(count, 15) << kUiLanguages[i]->code;
        for (uint16_t id : kAllIds)
            EXPECT_FALSE(Lookup(kUiLanguages[i], id).empty()) << kUiLanguages[i]->code << " lacks id " << id;
    }
}

TEST(UiLanguageTables, NonAsciiLettersComeThroughAsWindows1252)
{
    EXPECT_EQ(Lookup(German(), 3001), L"Die Datei ist besch\u00e4digt, bitte nochmal herunterladen!");
    EXPECT_EQ(Lookup(Italian(), 3000), L" \u00e8 stato installato correttamente.");
}

TEST(UiLanguageTables, TextsTheMessagesAndListRelyOn)
{
    for (int i = 0; kUiLanguages[i]; i++) {
        // The success tail follows the product name directly.
        EXPECT_EQ(Lookup(kUiLanguages[i], 3000)[0], L' ') << kUiLanguages[i]->code;
        EXPECT_EQ(Lookup(kUiLanguages[i], 99), L"&OK") << kUiLanguages[i]->code;
    }
    // Italian names the two built-in list items in English.
    EXPECT_EQ(Lookup(Italian(), 2001), L"English");
    EXPECT_EQ(Lookup(Italian(), 2002), L"German");
    EXPECT_EQ(Lookup(German(), 2002), L"Deutsch");
}

TEST(UiLanguageChoice, GermanAndItalianVariantsAndEverythingElse)
{
    for (uint16_t id : {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407})
        EXPECT_STREQ(LanguageCodeForLangId(id), "DE") << std::hex << id;
    for (uint16_t id : {0x0410, 0x0810})
        EXPECT_STREQ(LanguageCodeForLangId(id), "IT") << std::hex << id;
    // Neutral, unknown and neighbouring ids are not German or Italian.
    for (uint16_t id : {0x0409, 0x040C, 0x0809, 0x0007, 0x0010, 0x1807, 0x0C10, 0x0413, 0x0000, 0xFFFF})
        EXPECT_STREQ(LanguageCodeForLangId(id), "US") << std::hex << id;
}

TEST(UiLanguageChoice, CodeMatchIgnoresCaseAndFallsBackToEnglish)
{
    EXPECT_STREQ(FindUiLanguage("de")->code, "DE");
    EXPECT_STREQ(FindUiLanguage("It")->code, "IT");
    for (const char* other : {"US", "FR", "D", "DEU", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(FindUiLanguage(other), English()) << (other ? other : "null");
}

TEST(UiTextLookup, MissingIdOrTableGivesEmptyText)
{
    EXPECT_EQ(Lookup(English(), 0), L"");
    EXPECT_EQ(Lookup(English(), 1001), L"");
    EXPECT_EQ(Lookup(nullptr, 1000), L"");
}

TEST(UiTextLookup, CutsToCapacityMinusTwoAndTerminates)
{
    // "Installation" has 12 characters.
    EXPECT_EQ(Lookup(German(), 1000, 14), L"Installation");
    EXPECT_EQ(Lookup(German(), 1000, 13), L"Installatio");
    EXPECT_EQ(Lookup(German(), 1000, 2), L"");

    wchar_t untouched[2] = {L'x', L'y'};
    LookupUiText(German(), 1000, untouched, 0);
    EXPECT_EQ(untouched[0], L'x');
}

TEST(UiTextLookup, BackslashTBecomesTabInBothTextKinds)
{
    static const UiText kAnsiTexts[] = {{1, "Name\\tValue"}, {2, "\\t\\t"},     {3, "ends in \\"},
                                        {4, "\\\\t"},        {5, "col\\t\xE4"}, {0, nullptr}};
    static const UiLanguage kAnsi = {kUiTextAnsi, "XX", kAnsiTexts};
    EXPECT_EQ(Lookup(&kAnsi, 1), L"Name\tValue");
    EXPECT_EQ(Lookup(&kAnsi, 2), L"\t\t");
    EXPECT_EQ(Lookup(&kAnsi, 3), L"ends in \\");
    EXPECT_EQ(Lookup(&kAnsi, 4), L"\\\t");
    EXPECT_EQ(Lookup(&kAnsi, 5), L"col\t\u00e4");
    // A cut that splits the pair leaves the lone backslash.
    EXPECT_EQ(Lookup(&kAnsi, 1, 7), L"Name\\");

    static const UiText kWideTexts[] = {{7, L"\u00dcbersicht\\tTab"}, {0, nullptr}};
    static const UiLanguage kWide = {kUiTextWide, "XX", kWideTexts};
    EXPECT_EQ(Lookup(&kWide, 7), L"\u00dcbersicht\tTab");
    EXPECT_EQ(Lookup(&kWide, 7, 5), L"\u00dcbe");
    EXPECT_EQ(Lookup(&kWide, 8), L"");
}
