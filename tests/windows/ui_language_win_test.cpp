// The interface language on Windows: the choice from the system language and
// the message boxes as they appear on screen (the setup's own texts on its
// dialog: tests/e2e).
#include "app/setup_state.h"
#include "app/ui_language.h"
#include "ui_window_probe.h"

#include <gtest/gtest.h>

#include <stdlib.h>

namespace {

// What was seen of the one box that `show` brings up.
template <typename Show>
SeenBox Watch(Show show)
{
    MessageBoxWatcher watcher(GetCurrentProcessId(), 90000);
    show();
    return watcher.Result();
}

std::wstring SystemText(DWORD code)
{
    wchar_t text[600] = {0};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 600, nullptr);
    return text;
}

HWND NewWindow(DWORD style)
{
    return CreateWindowExW(0, L"Static", L"", style, 10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr);
}

} // namespace

TEST(MessageBoxes, CaptionIsTheFileNamePartOfTheSourceElseTheWholeSource)
{
    const wchar_t* const cases[][2] = {
        {L"C:\\Program Files\\Tool\\Setup.exe", L"Setup.exe"}, {L"C:\\dl\\", L"C:\\dl\\"}, {L"", L""}};
    for (const auto& c : cases) {
        SeenBox box = Watch([&] { EXPECT_EQ(ShowMessageBox(nullptr, L"Hello there", c[0], MB_OK), IDOK); });
        EXPECT_EQ(box.caption, c[1]);
        EXPECT_EQ(box.text, L"Hello there");
    }
}

// Nothing to say: no text, or no system text for the error.
TEST(MessageBoxes, NothingToSayShowsNothing)
{
    MessageBoxWatcher watcher(GetCurrentProcessId(), 1500);
    EXPECT_EQ(ShowMessageBox(nullptr, L"", L"Setup.exe", MB_OK), IDCANCEL);
    EXPECT_EQ(ShowMessageBox(nullptr, nullptr, L"Setup.exe", MB_OK), IDCANCEL);
    ASSERT_EQ(SystemText(0x2000F00D), L"");
    EXPECT_EQ(ShowSystemError(nullptr, 0x2000F00D, L"Setup.exe"), IDCANCEL);
    EXPECT_FALSE(watcher.Result().seen);
}

TEST(MessageBoxes, TheActiveWindowOwnsABoxWithoutOwner)
{
    HWND active = NewWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE), other = NewWindow(WS_OVERLAPPEDWINDOW);
    SetForegroundWindow(active);
    ASSERT_EQ(GetActiveWindow(), active);
    EXPECT_EQ(Watch([] { ShowMessageBox(nullptr, L"owned", L"a.exe", MB_OK); }).owner, active);
    EXPECT_EQ(Watch([&] { ShowMessageBox(other, L"owned", L"a.exe", MB_OK); }).owner, other);
    DestroyWindow(other);
    DestroyWindow(active);
}

TEST(MessageBoxes, SystemErrorShowsTheSystemText)
{
    const std::wstring expected = SystemText(ERROR_CANNOT_MAKE);
    ASSERT_FALSE(expected.empty()) << "the system has no text for error 82";
    SeenBox box = Watch([] { EXPECT_EQ(ShowSystemError(nullptr, ERROR_CANNOT_MAKE, L"C:\\dl\\Setup.exe"), IDOK); });
    EXPECT_EQ(box.text, expected);
    EXPECT_EQ(box.caption, L"Setup.exe");
}

// Run by CTest once per system language (LANG of the Wine process), with the
// language id that must give and the interface language to choose.
TEST(LanguageChoice, FollowsTheSystemLanguage)
{
    const char* langId = getenv("OV_EXPECT_LANGID");
    const char* code = getenv("OV_EXPECT_UI_LANGUAGE");
    if (!langId || !code)
        GTEST_SKIP() << "run through CTest, which sets the system language for it";
    ASSERT_EQ(GetSystemDefaultLangID(), static_cast<LANGID>(strtoul(langId, nullptr, 16)));
    SetupState state = {};
    ChooseUiLanguage(&state);
    EXPECT_STREQ(state.languageCode, code);
    EXPECT_STREQ(state.language->code, code);
}
