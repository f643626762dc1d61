// The real Setup.exe, driven from outside as a person would.
//   setup_dialog_test --setup=STUB --language=US|DE|IT [gtest options]
//       runs a copy of STUB with a small product behind it;
//   setup_dialog_test --setup=EXE --show-until=FILE
//       for a screenshot: see ShowUntil.
#include "app/ui_language_tables.h"
#include "pack/archive_writer.h"
#include "ui_window_probe.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <fstream>
#include <iterator>

namespace {

std::string stubPath, language = "US";
const char* const kSetup = "setup_dialog_test-Setup.exe";

// The stub, then an archive with a product, as a vendor ships a setup.
bool MakeSetup()
{
    std::ifstream in(stubPath, std::ios::binary);
    std::vector<uint8_t> setup((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    PackSettings settings;
    settings.archiveOffset = setup.size();
    std::string error, text = "Read me.\r\n";
    if (setup.empty() || !WriteArchive({{"README.TXT", {text.begin(), text.end()}}}, settings, &setup, &error))
        return false;
    std::ofstream(kSetup, std::ios::binary).write(reinterpret_cast<char*>(setup.data()), setup.size());
    return true;
}

// One run of a setup whose dialog came up (not a message box instead).
struct RunningSetup : RunningProgram {
    HWND dialog = nullptr;
    bool Start(const std::string& exe = kSetup)
    {
        dialog = RunningProgram::Start(WindowsPath(exe)) ? WaitForProcessWindow(Id(), L"#32770", 30000) : nullptr;
        bool isDialog = dialog && GetDlgItem(dialog, IDC_COMPONENT_LIST);
        for (const std::wstring& text : dialog && !isDialog ? StaticTexts(dialog) : std::vector<std::wstring>())
            fprintf(stderr, "setup_dialog_test: a message box instead of the dialog: %ls\n", text.c_str());
        return isDialog;
    }
    bool EndsWithExitCodeZero()
    {
        DWORD code = 1234;
        return WaitForExit(10000, &code) && code == 0;
    }
};

std::wstring Text(const UiLanguage* table, uint16_t id)
{
    wchar_t text[600];
    LookupUiText(table, id, text, 600);
    return text;
}

} // namespace

TEST(SetupDialog, ShowsCentredInTheSystemLanguageAndCancelEndsIt)
{
    const UiLanguage* table = FindUiLanguage(language.c_str());
    ASSERT_STREQ(table->code, language.c_str()) << "no interface language " << language;
    RunningSetup setup;
    ASSERT_TRUE(setup.Start()) << "no dialog of Setup.exe appeared";

    RECT desktop, own;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(setup.dialog, &own);
    EXPECT_EQ(own.left, ((desktop.right - desktop.left) - (own.right - own.left)) / 2);
    EXPECT_EQ(own.top, ((desktop.bottom - desktop.top) - (own.bottom - own.top)) / 2);

    EXPECT_EQ(WindowText(setup.dialog), Text(table, IDD_SETUP));
    for (int id : {IDC_OK_BUTTON, IDC_CANCEL_BUTTON, IDC_DESTINATION_LABEL, IDC_PROGRAM_GROUP_BOX, IDC_DESKTOP_BOX,
                   IDC_QUICK_LAUNCH_BOX})
        EXPECT_EQ(WindowText(GetDlgItem(setup.dialog, id)), Text(table, id)) << "control " << id;

    Click(GetDlgItem(setup.dialog, IDC_CANCEL_BUTTON));
    EXPECT_TRUE(setup.EndsWithExitCodeZero()) << "Cancel did not end it with exit code 0";
}

TEST(SetupDialog, EscAndTheCloseBoxEndIt)
{
    for (bool esc : {true, false}) {
        RunningSetup setup;
        ASSERT_TRUE(setup.Start()) << "no dialog of Setup.exe appeared";
        if (esc)
            PressKey(setup.dialog, VK_ESCAPE);
        else // what the window manager sends when the close box is clicked
            PostMessageW(setup.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(setup.EndsWithExitCodeZero()) << (esc ? "Esc" : "the close box") << " did not end it with 0";
    }
}

// Starts `exe`, prints "dialog shown" once its dialog is up, and presses Cancel
// once `doneFile` exists: 0 when that ended it with exit code 0.
static int ShowUntil(const std::string& exe, const std::string& doneFile)
{
    RunningSetup setup;
    bool shown = setup.Start(exe);
    if (shown) {
        printf("dialog shown\n");
        fflush(stdout);
        for (int i = 0; i < 1200 && GetFileAttributesW(WindowsPath(doneFile).c_str()) == INVALID_FILE_ATTRIBUTES; i++)
            Sleep(100);
        Click(GetDlgItem(setup.dialog, IDC_CANCEL_BUTTON));
        if (setup.EndsWithExitCodeZero())
            return 0;
    }
    fprintf(stderr, "setup_dialog_test: %s\n", shown ? "Cancel did not end it with exit code 0" : "no dialog appeared");
    return 1;
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::string showUntil;
    const std::pair<const char*, std::string*> options[] = {
        {"--setup=", &stubPath}, {"--language=", &language}, {"--show-until=", &showUntil}};
    for (int i = 1; i < argc; i++)
        for (const auto& option : options)
            if (strncmp(argv[i], option.first, strlen(option.first)) == 0)
                *option.second = argv[i] + strlen(option.first);
    if (!showUntil.empty())
        return ShowUntil(stubPath, showUntil);
    if (!MakeSetup()) {
        fprintf(stderr, "setup_dialog_test: cannot add a product to %s\n", stubPath.c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}
