// The real Setup.exe, driven from outside as a person would: started with
// CreateProcess, its dialog found on screen, its texts read with WM_GETTEXT,
// its buttons clicked and Esc typed; and its dialog template read from the
// file as the dialog manager reads it.
//
//   setup_dialog_test --setup=PATH --language=US|DE|IT [gtest options]
//   setup_dialog_test --setup=PATH --show-until=FILE
//       (for screenshots: shows the dialog, says so, closes it with Cancel
//        once FILE exists)
#include "ui_window_probe.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <wctype.h>

#include <string>
#include <vector>

namespace {

std::wstring setupPath;
std::string expectedLanguage = "US";

// Unix paths (as CMake gives them) become paths on Wine's Z: drive.
std::wstring WindowsPath(const std::string& path)
{
    std::wstring out;
    if (!path.empty() && path[0] == '/')
        out = L"Z:";
    for (char c : path)
        out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

// One run of Setup.exe with its dialog found.
class RunningSetup : public RunningProgram {
public:
    bool Start()
    {
        dialog_ = RunningProgram::Start(setupPath) ? WaitForProcessWindow(Id(), L"#32770", 30000) : nullptr;
        return dialog_ != nullptr;
    }
    HWND Dialog() const { return dialog_; }
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }
    std::wstring ItemText(int id) const { return WindowText(Item(id)); }

private:
    HWND dialog_ = nullptr;
};

void PressKey(WORD key)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

struct LanguageTexts {
    const char* code;
    const wchar_t* caption;
    const wchar_t* cancel;
    const wchar_t* destination;
    const wchar_t* programGroup;
    const wchar_t* desktop;
    const wchar_t* quickLaunch;
};

const LanguageTexts kLanguages[] = {
    {"US", L"Setup", L"Cancel", L"Destination folder", L"Put entry to Start Menu", L"Create a Desktop icon",
     L"Create a Quick Launch icon"},
    {"DE", L"Installation", L"Abbruch", L"Zielpfad:", L"Programmgruppe erstellen", L"Desktop-Symbol anlegen",
     L"Symbol in der Schnellstartleiste anlegen"},
    {"IT", L"Installazione", L"Annulla", L"Destinazione", L"Aggiungi collegamento nel menu Programmi",
     L"Aggiungi collegamento sul desktop", L"Aggiungi collegamento sulla barra di Avvio veloce"},
};

const LanguageTexts* Expected()
{
    for (const LanguageTexts& texts : kLanguages)
        if (expectedLanguage == texts.code)
            return &texts;
    return nullptr;
}

// --- the dialog template as stored in the file ---

struct TemplateControl {
    DWORD style;
    int x, y, cx, cy;
    WORD id;
    std::wstring className;
    std::wstring text; // "#n" for an ordinal (a resource id)
};

// One line per control, so that a mismatch shows every field at once. Class
// names are matched without regard to case, as the system does.
std::string Describe(const TemplateControl& c)
{
    std::string name, text;
    for (wchar_t ch : c.className)
        name += static_cast<char>(towlower(ch));
    for (wchar_t ch : c.text)
        text += ch < 0x80 ? static_cast<char>(ch) : '?';
    char line[200];
    snprintf(line, sizeof line, "id %u %s '%s' style %08lx at %d,%d size %dx%d", c.id, name.c_str(), text.c_str(),
             static_cast<unsigned long>(c.style), c.x, c.y, c.cx, c.cy);
    return line;
}

struct DialogTemplate {
    DWORD style = 0;
    int cx = 0, cy = 0;
    std::wstring menu, className, caption, fontName;
    int fontSize = -1;
    std::vector<TemplateControl> controls;
};

// Reads little-endian words, strings and ordinals ("#n") of a template.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size)
        : data_(data)
        , size_(size)
    {}
    bool Ok() const { return ok_; }
    WORD Word()
    {
        ok_ = ok_ && pos_ + 2 <= size_;
        WORD value = ok_ ? static_cast<WORD>(data_[pos_] | data_[pos_ + 1] << 8) : 0;
        pos_ += 2;
        return value;
    }
    DWORD Dword()
    {
        WORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }
    short Short() { return static_cast<short>(Word()); }
    std::wstring NameOrOrdinal()
    {
        WORD first = Word();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        std::wstring text;
        for (WORD c = first; c && ok_; c = Word())
            text += static_cast<wchar_t>(c);
        return text;
    }
    void AlignDword() { pos_ = (pos_ + 3) & ~static_cast<size_t>(3); }

private:
    const BYTE* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

bool ReadDialogTemplate(HMODULE module, int id, DialogTemplate* out)
{
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (!found)
        return false;
    TemplateReader in(static_cast<const BYTE*>(LockResource(LoadResource(module, found))),
                      SizeofResource(module, found));
    out->style = in.Dword();
    in.Dword(); // extended style
    if ((out->style & 0xFFFF) == 1 && out->style >> 16 == 0xFFFF)
        return false; // an extended template: not what the program carries
    WORD count = in.Word();
    in.Short(); // x and y: the program centres the dialog itself
    in.Short();
    out->cx = in.Short();
    out->cy = in.Short();
    out->menu = in.NameOrOrdinal();
    out->className = in.NameOrOrdinal();
    out->caption = in.NameOrOrdinal();
    if (out->style & DS_SETFONT) {
        out->fontSize = in.Word();
        out->fontName = in.NameOrOrdinal();
    }
    static const wchar_t* const kAtoms[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
    for (WORD i = 0; i < count && in.Ok(); i++) {
        in.AlignDword();
        TemplateControl c;
        c.style = in.Dword();
        in.Dword(); // extended style
        c.x = in.Short();
        c.y = in.Short();
        c.cx = in.Short();
        c.cy = in.Short();
        c.id = in.Word();
        c.className = in.NameOrOrdinal();
        int atom = c.className[0] == L'#' ? _wtoi(c.className.c_str() + 1) : 0;
        if (atom >= 0x80 && atom <= 0x85)
            c.className = kAtoms[atom - 0x80]; // predefined classes go by atom
        c.text = in.NameOrOrdinal();
        for (WORD extra = in.Word(), b = 0; b < (extra + 1) / 2; b++)
            in.Word();
        out->controls.push_back(c);
    }
    return in.Ok();
}

} // namespace

TEST(SetupTemplate, DialogAndControlsAsLaidOut)
{
    HMODULE module = LoadLibraryExW(setupPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << "cannot open the program file";
    DialogTemplate dialog;
    ASSERT_TRUE(ReadDialogTemplate(module, 1000, &dialog)) << "no readable dialog template 1000";

    EXPECT_EQ(dialog.style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(dialog.cx, 330);
    EXPECT_EQ(dialog.cy, 200);
    EXPECT_EQ(dialog.menu, L"");
    EXPECT_EQ(dialog.className, L"");
    EXPECT_EQ(dialog.caption, L"");
    EXPECT_EQ(dialog.fontSize, 8);
    EXPECT_EQ(dialog.fontName, L"MS Sans Serif");

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const TemplateControl expected[] = {
        {child | BS_DEFPUSHBUTTON | WS_TABSTOP, 206, 182, 58, 14, 99, L"Button", L"&O"},
        {child | BS_PUSHBUTTON | WS_TABSTOP, 267, 182, 58, 14, 2, L"Button", L""},
        {child | SS_ETCHEDHORZ | WS_GROUP, 3, 177, 324, 1, 0xFFFF, L"Static", L""},
        {child | SS_ICON, 298, 8, 20, 20, 0xFFFF, L"Static", L"#1"},
        {child | SS_LEFT | SS_CENTERIMAGE | WS_GROUP, 12, 15, 280, 20, 1001, L"Static", L""},
        {child | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SORTASCENDING, 235, 40, 88, 132, 1010, L"SysListView32",
         L""},
        {child | SS_LEFT | WS_GROUP, 12, 105, 130, 8, 1031, L"Static", L""},
        {child | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 10, 116, 200, 12, 1032, L"Edit", L""},
        {child | BS_PUSHBUTTON | WS_TABSTOP, 213, 116, 14, 12, 1033, L"Button", L"..."},
        {child | BS_AUTOCHECKBOX | WS_TABSTOP, 25, 137, 180, 10, 1041, L"Button", L""},
        {child | BS_AUTOCHECKBOX | WS_TABSTOP, 25, 150, 180, 10, 1042, L"Button", L""},
        {child | BS_AUTOCHECKBOX | WS_TABSTOP, 25, 163, 180, 10, 1043, L"Button", L""},
        {child | SS_LEFT | SS_CENTERIMAGE | WS_GROUP, 20, 184, 180, 10, 1047, L"Static", L""},
    };
    ASSERT_EQ(dialog.controls.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < dialog.controls.size(); i++)
        EXPECT_EQ(Describe(dialog.controls[i]), Describe(expected[i])) << "control " << i;

    // The icon the template names, in both sizes it is drawn at.
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
    ASSERT_NE(group, nullptr) << "no icon resource 1";
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    std::vector<int> sizes;
    for (int i = 0; i < (dir[4] | dir[5] << 8); i++)
        sizes.push_back(dir[6 + 14 * i]);
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
    FreeLibrary(module);
}

TEST(SetupDialog, ShowsCentredInTheSystemLanguageAndCancelEndsIt)
{
    const LanguageTexts* texts = Expected();
    ASSERT_NE(texts, nullptr) << "unknown --language " << expectedLanguage;
    RunningSetup setup;
    ASSERT_TRUE(setup.Start()) << "no dialog of Setup.exe appeared";
    HWND dialog = setup.Dialog();

    RECT desktop, own;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog, &own);
    EXPECT_EQ(own.left, ((desktop.right - desktop.left) - (own.right - own.left)) / 2);
    EXPECT_EQ(own.top, ((desktop.bottom - desktop.top) - (own.bottom - own.top)) / 2);

    EXPECT_EQ(WindowText(dialog), texts->caption);
    EXPECT_EQ(setup.ItemText(99), L"&OK");
    EXPECT_EQ(setup.ItemText(2), texts->cancel);
    EXPECT_EQ(setup.ItemText(1031), texts->destination);
    EXPECT_EQ(setup.ItemText(1041), texts->programGroup);
    EXPECT_EQ(setup.ItemText(1042), texts->desktop);
    EXPECT_EQ(setup.ItemText(1043), texts->quickLaunch);
    EXPECT_EQ(setup.ItemText(1033), L"...");
    EXPECT_EQ(setup.ItemText(1047), L"");
    ASSERT_NE(setup.Item(1010), nullptr);
    EXPECT_EQ(WindowClassName(setup.Item(1010)), L"SysListView32");

    // OK has nothing to install yet: the dialog stays.
    SendMessageW(setup.Item(99), BM_CLICK, 0, 0);
    Sleep(1000);
    EXPECT_TRUE(setup.Running());
    EXPECT_TRUE(IsWindowVisible(dialog));

    SendMessageW(setup.Item(2), BM_CLICK, 0, 0);
    DWORD exitCode = 1234;
    ASSERT_TRUE(setup.WaitForExit(10000, &exitCode)) << "Cancel did not end the program";
    EXPECT_EQ(exitCode, 0u);
}

TEST(SetupDialog, EscAndTheCloseBoxEndIt)
{
    for (bool esc : {true, false}) {
        RunningSetup setup;
        ASSERT_TRUE(setup.Start());
        if (esc) {
            SetForegroundWindow(setup.Dialog());
            Sleep(200);
            PressKey(VK_ESCAPE);
        } else {
            // What the window manager sends when the close box is clicked.
            PostMessageW(setup.Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        DWORD exitCode = 1234;
        ASSERT_TRUE(setup.WaitForExit(10000, &exitCode)) << (esc ? "Esc" : "the close box") << " did not end it";
        EXPECT_EQ(exitCode, 0u);
    }
}

// Shows the dialog until `doneFile` exists, for a screenshot; 0 when the
// dialog appeared and Cancel ended the program with exit code 0.
static int ShowUntil(const std::wstring& doneFile)
{
    RunningSetup setup;
    if (!setup.Start()) {
        fprintf(stderr, "setup_dialog_test: no dialog of Setup.exe appeared\n");
        return 1;
    }
    printf("dialog shown\n");
    fflush(stdout);
    for (int i = 0; i < 1200 && GetFileAttributesW(doneFile.c_str()) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(100);
    SendMessageW(setup.Item(2), BM_CLICK, 0, 0);
    DWORD exitCode = 1234;
    if (!setup.WaitForExit(10000, &exitCode) || exitCode != 0) {
        fprintf(stderr, "setup_dialog_test: Cancel did not end Setup.exe with exit code 0\n");
        return 1;
    }
    return 0;
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::string showUntil;
    for (int i = 1; i < argc; i++) {
        if (strncmp(argv[i], "--setup=", 8) == 0)
            setupPath = WindowsPath(argv[i] + 8);
        else if (strncmp(argv[i], "--language=", 11) == 0)
            expectedLanguage = argv[i] + 11;
        else if (strncmp(argv[i], "--show-until=", 13) == 0)
            showUntil = argv[i] + 13;
    }
    if (setupPath.empty()) {
        fprintf(stderr, "usage: setup_dialog_test --setup=PATH [--language=US|DE|IT] [--show-until=FILE]\n");
        return 2;
    }
    if (!showUntil.empty())
        return ShowUntil(WindowsPath(showUntil));
    return RUN_ALL_TESTS();
}
