#include "app/ui_language_tables.h"

#include "base/cp1252.h"
#include "base/text_utils.h"

// The texts are Windows-1252: non-ASCII letters are written as byte escapes
// so that the source encoding cannot change them.

static const UiText kEnglishTexts[] = {
    {1000, "Setup"},
    {99, "&OK"},
    {2, "Cancel"},
    {1010, "Language"},
    {1031, "Destination folder"},
    {1041, "Put entry to Start Menu"},
    {1042, "Create a Desktop icon"},
    {1043, "Create a Quick Launch icon"},
    {2001, "English"},
    {2002, "German"},
    {3001, "Broken file, please download again."},
    {3000, " has been successfully installed."},
    {136, "Select &all"},
    {137, "&Deselect all"},
    {138, "&Invert selection"},
    {0, nullptr},
};

static const UiText kGermanTexts[] = {
    {1000, "Installation"},
    {99, "&OK"},
    {2, "Abbruch"},
    {1010, "Sprache"},
    {1031, "Zielpfad:"},
    {1041, "Programmgruppe erstellen"},
    {1042, "Desktop-Symbol anlegen"},
    {1043, "Symbol in der Schnellstartleiste anlegen"},
    {2001, "Englisch"},
    {2002, "Deutsch"},
    {3001, "Die Datei ist besch\xE4"
           "digt, bitte nochmal herunterladen!"},
    {3000, " wurde erfolgreich installiert."},
    {136, "Alles &markieren"},
    {137, "Markierung &aufheben"},
    {138, "Markierung &umkehren"},
    {0, nullptr},
};

static const UiText kItalianTexts[] = {
    {1000, "Installazione"},
    {99, "&OK"},
    {2, "Annulla"},
    {1010, "Lingua"},
    {1031, "Destinazione"},
    {1041, "Aggiungi collegamento nel menu Programmi"},
    {1042, "Aggiungi collegamento sul desktop"},
    {1043, "Aggiungi collegamento sulla barra di Avvio veloce"},
    {2001, "English"},
    {2002, "German"},
    {3001, "File danneggiato, esegui di nuovo il download."},
    {3000, " \xE8 stato installato correttamente."},
    {136, "Seleziona tutto"},
    {137, "Deseleziona tutto"},
    {138, "Inverti selezione"},
    {0, nullptr},
};

static const UiLanguage kEnglish = {kUiTextAnsi, "US", kEnglishTexts};
static const UiLanguage kGerman = {kUiTextAnsi, "DE", kGermanTexts};
static const UiLanguage kItalian = {kUiTextAnsi, "IT", kItalianTexts};

const UiLanguage* const kUiLanguages[] = {&kEnglish, &kGerman, &kItalian, nullptr};

const char* LanguageCodeForLangId(uint16_t langId)
{
    switch (langId) {
    case 0x0407: // Germany
    case 0x0807: // Switzerland
    case 0x0C07: // Austria
    case 0x1007: // Luxembourg
    case 0x1407: // Liechtenstein
        return "DE";
    case 0x0410: // Italy
    case 0x0810: // Switzerland
        return "IT";
    default:
        return "US";
    }
}

const UiLanguage* FindUiLanguage(const char* code)
{
    if (code)
        for (const UiLanguage* const* table = kUiLanguages; *table; table++)
            if (EqualsNoCase((*table)->code, code))
                return *table;
    return kUiLanguages[0];
}

void LookupUiText(const UiLanguage* table, uint16_t id, wchar_t* out, size_t capacity)
{
    if (!out || capacity == 0)
        return;
    out[0] = 0;
    if (!table || id == 0 || capacity < 2)
        return;
    const UiText* entry = table->entries;
    while (entry->id != 0 && entry->id != id)
        entry++;
    if (entry->id == 0 || !entry->text)
        return;

    // One character of the capacity stays unused: texts are cut to
    // capacity - 2 characters.
    if (table->textKind == kUiTextWide)
        CopyTextBounded(static_cast<const wchar_t*>(entry->text), out, capacity - 1);
    else
        Cp1252TextToWide(static_cast<const char*>(entry->text), out, capacity - 1);

    // "\t" written as two characters in a text stands for a tab.
    size_t to = 0;
    for (size_t from = 0; out[from]; from++) {
        if (out[from] == L'\\' && out[from + 1] == L't') {
            out[to++] = L'\t';
            from++;
        } else {
            out[to++] = out[from];
        }
    }
    out[to] = 0;
}
