// The interface-language tables, the language choice and the text lookup.
#include "app/ui_language_tables.h"

#include <gtest/gtest.h>

#include <wchar.h>

#include <set>
#include <string>

namespace {

std::wstring Lookup(const UiLanguage* table, uint16_t id, size_t capacity = 600)
{
    wchar_t out[600];
    wmemset(out, L'#', 600); // so that a missing terminator shows
    LookupUiText(table, id, out, capacity);
    return std::wstring(out, wcsnlen(out, 600));
}

const UiText kAnsiTexts[] = {{1, "Name\\tValue"}, {2, "ends in \\"}, {3, "\\\\t"}, {4, "\x80\xE4\\t"}, {0, nullptr}};
const UiLanguage kAnsi = {kUiTextAnsi, "XX", kAnsiTexts};
const UiText kWideTexts[] = {{1, L"\u00dcber\\tTab"}, {0, nullptr}};
const UiLanguage kWide = {kUiTextWide, "XX", kWideTexts};

} // namespace

TEST(UiLanguageTables, EveryTableHoldsEveryIdOnceWithAWindows1252Text)
{
    const std::multiset<uint16_t> ids = {
        kTextCancel,          kTextOk,          kTextCheckAll,       kTextUncheckAll,
        kTextInvert,          kTextCaption,     kTextLanguageColumn, kTextDestinationLabel,
        kTextProgramGroupBox, kTextDesktopBox,  kTextQuickLaunchBox, kTextEnglishItem,
        kTextGermanItem,      kTextSuccessTail, kTextBrokenFile};
    for (const UiLanguage* const* table = kUiLanguages; *table; table++) {
        std::multiset<uint16_t> seen;
        for (const UiText* e = (*table)->entries; e->id; e++) {
            seen.insert(e->id);
            EXPECT_NE(Lookup(*table, e->id), L"") << (*table)->code << " id " << e->id;
            // A lead byte and a continuation byte: an editor wrote UTF-8.
            for (auto* p = static_cast<const unsigned char*>(e->text); (*table)->textKind != kUiTextWide && *p; p++)
                EXPECT_FALSE(*p >= 0xC2 && *p <= 0xF4 && p[1] >= 0x80 && p[1] <= 0xBF) << (*table)->code << e->id;
        }
        EXPECT_EQ(seen, ids) << (*table)->code;
        // The success tail follows the product name directly.
        EXPECT_EQ(Lookup(*table, kTextSuccessTail)[0], L' ') << (*table)->code;
    }
}

TEST(UiLanguageChoice, GermanAndItalianVariantsElseEnglish)
{
    // Neutral, unknown and neighbouring ids are not German or Italian.
    const std::pair<const char*, std::set<uint16_t>> codes[] = {
        {"DE", {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407}},
        {"IT", {0x0410, 0x0810}},
        {"US", {0x0409, 0x040C, 0x0809, 0x0007, 0x0010, 0x1807, 0x0C10, 0x0413, 0x0000, 0xFFFF}}};
    for (const auto& code : codes)
        for (uint16_t id : code.second)
            EXPECT_STREQ(LanguageCodeForLangId(id), code.first) << std::hex << id;
    EXPECT_STREQ(FindUiLanguage("de")->code, "DE");
    EXPECT_STREQ(FindUiLanguage("It")->code, "IT");
    for (const char* other : {"US", "FR", "D", "DEU", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(FindUiLanguage(other), kUiLanguages[0]) << (other ? other : "null");
}

TEST(UiTextLookup, BackslashTBecomesATabAndWindows1252LettersComeThrough)
{
    const std::pair<std::wstring, std::wstring> cases[] = {{Lookup(&kAnsi, 1), L"Name\tValue"},
                                                           {Lookup(&kAnsi, 2), L"ends in \\"},
                                                           {Lookup(&kAnsi, 3), L"\\\t"},
                                                           {Lookup(&kAnsi, 4), L"\u20ac\u00e4\t"},
                                                           {Lookup(&kWide, 1), L"\u00dcber\tTab"},
                                                           // No entry, id 0 or no table: empty.
                                                           {Lookup(&kAnsi, 9), L""},
                                                           {Lookup(&kAnsi, 0), L""},
                                                           {Lookup(nullptr, 1), L""}};
    for (const auto& c : cases)
        EXPECT_EQ(c.first, c.second);
}

TEST(UiTextLookup, CutsToCapacityMinusTwoAndTerminates)
{
    EXPECT_EQ(Lookup(&kAnsi, 1, 13), L"Name\tValue"); // 11 characters before the tab is made
    EXPECT_EQ(Lookup(&kAnsi, 1, 12), L"Name\tValu");
    EXPECT_EQ(Lookup(&kAnsi, 1, 7), L"Name\\"); // a cut through the pair leaves the backslash
    EXPECT_EQ(Lookup(&kAnsi, 1, 2), L"");
    EXPECT_EQ(Lookup(&kWide, 1, 5), L"\u00dcbe");
    wchar_t untouched = L'x';
    LookupUiText(&kAnsi, 1, &untouched, 0);
    EXPECT_EQ(untouched, L'x');
}
