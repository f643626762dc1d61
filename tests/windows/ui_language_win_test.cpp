// The interface language on Windows: the choice from the real system
// language, texts applied to real windows, and the message boxes as they
// appear on screen (found, read and closed from a second thread).
#include "app/setup_state.h"
#include "app/ui_language.h"
#include "base/text_utils.h"
#include "ui_window_probe.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <thread>

namespace {

// The text of the box is read the way a screen reader would: from its
// static controls.
struct SeenBox {
    bool seen = false;
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
};

// Waits on its own thread for a message box of this process, records it and
// presses its OK button. Join with Result() after the box call has returned.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(DWORD timeoutMs = 90000)
        : thread_([this, timeoutMs] {
            HWND box = WaitForProcessWindow(GetCurrentProcessId(), L"#32770", timeoutMs);
            if (!box)
                return;
            seen_.seen = true;
            seen_.caption = WindowText(box);
            for (const std::wstring& text : StaticTexts(box))
                seen_.text += text;
            seen_.owner = GetWindow(box, GW_OWNER);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        })
    {}
    ~MessageBoxWatcher()
    {
        if (thread_.joinable())
            thread_.join();
    }
    const SeenBox& Result()
    {
        thread_.join();
        return seen_;
    }

private:
    SeenBox seen_;
    std::thread thread_;
};

// Runs `show` (which brings up at most one box) under a watcher and returns
// what the watcher saw; `answer` gets what `show` returned.
template <typename Show>
SeenBox Watch(Show show, int* answer = nullptr, DWORD timeoutMs = 90000)
{
    MessageBoxWatcher watcher(timeoutMs);
    int result = show();
    if (answer)
        *answer = result;
    return watcher.Result();
}

// The system's own text for an error code, for comparison with the box.
std::wstring SystemText(DWORD code)
{
    wchar_t text[600] = {0};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 600, nullptr);
    return text;
}

// A setup state for the duration of one test.
class WithSetupState : public ::testing::Test {
protected:
    void SetUp() override
    {
        setupState = static_cast<SetupState*>(calloc(1, sizeof(SetupState)));
        setupState->language = kUiLanguages[0];
    }
    void TearDown() override
    {
        free(setupState);
        setupState = nullptr;
    }
};

using MessageBoxes = WithSetupState;
using SystemError = WithSetupState;

} // namespace

TEST_F(MessageBoxes, CaptionIsTheFileNamePartOfTheSource)
{
    const wchar_t* const cases[][2] = {
        {L"C:\\Program Files\\Tool\\Setup.exe", L"Setup.exe"},
        {L"C:/downloads/pack.exe", L"pack.exe"},
        {L"C:\\downloads\\", L"C:\\downloads\\"}, // no name part: the whole source
        {L"", L""},
    };
    for (const auto& c : cases) {
        int answer = 0;
        SeenBox box = Watch([&] { return ShowMessageBox(nullptr, L"Hello there", c[0], MB_OK); }, &answer);
        ASSERT_TRUE(box.seen) << "no box for " << testing::PrintToString(std::wstring(c[0]));
        EXPECT_EQ(answer, IDOK);
        EXPECT_EQ(box.caption, c[1]);
        EXPECT_EQ(box.text, L"Hello there");
    }
}

TEST_F(MessageBoxes, EmptyTextShowsNothingAndAnswersCancel)
{
    MessageBoxWatcher watcher(1500);
    EXPECT_EQ(ShowMessageBox(nullptr, L"", L"C:\\x\\Setup.exe", MB_OK), IDCANCEL);
    EXPECT_EQ(ShowMessageBox(nullptr, nullptr, L"C:\\x\\Setup.exe", MB_OK), IDCANCEL);
    // An id without text in the current table is the same empty text.
    EXPECT_EQ(ShowMessageById(nullptr, 1001, L"C:\\x\\Setup.exe", MB_OK), IDCANCEL);
    EXPECT_EQ(ShowMessageById(nullptr, 0, L"C:\\x\\Setup.exe", MB_OK), IDCANCEL);
    EXPECT_FALSE(watcher.Result().seen);
}

TEST_F(MessageBoxes, ActiveWindowOwnsABoxWithoutOwner)
{
    HWND window = CreateWindowExW(0, L"Static", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    SetForegroundWindow(window);
    SetActiveWindow(window);
    ASSERT_EQ(GetActiveWindow(), window);
    EXPECT_EQ(Watch([] { return ShowMessageBox(nullptr, L"owned", L"a.exe", MB_OK); }).owner, window);
    HWND other = CreateWindowExW(0, L"Static", L"other", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    EXPECT_EQ(Watch([&] { return ShowMessageBox(other, L"owned", L"a.exe", MB_OK); }).owner, other);
    DestroyWindow(other);
    DestroyWindow(window);
}

TEST_F(MessageBoxes, MessageByIdSpeaksTheCurrentLanguage)
{
    setupState->language = FindUiLanguage("DE");
    int answer = 0;
    SeenBox box = Watch(
        [] { return ShowMessageById(nullptr, kTextBrokenFile, L"D:\\dl\\Setup.exe", MB_OK | MB_ICONSTOP); }, &answer);
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(box.text, L"Die Datei ist besch\u00e4digt, bitte nochmal herunterladen!");
    EXPECT_EQ(box.caption, L"Setup.exe");
    setupState->language = FindUiLanguage("IT");
    EXPECT_EQ(Watch([] { return ShowMessageById(nullptr, kTextSuccessTail, L"Setup.exe", MB_OK); }).text,
              L" \u00e8 stato installato correttamente.");
    // Without a setup state the English table speaks.
    free(setupState);
    setupState = nullptr;
    EXPECT_EQ(Watch([] { return ShowMessageById(nullptr, kTextBrokenFile, L"Setup.exe", MB_OK); }).text,
              L"Broken file, please download again.");
}

TEST_F(SystemError, Error82ShowsTheSystemTextInAStopBox)
{
    std::wstring expected = SystemText(ERROR_CANNOT_MAKE);
    ASSERT_FALSE(expected.empty()) << "the system has no text for error 82";
    EXPECT_NE(expected.find(L"create"), std::wstring::npos) << testing::PrintToString(expected);
    int answer = 0;
    SeenBox box = Watch([] { return ShowSystemError(nullptr, ERROR_CANNOT_MAKE, L"C:\\dl\\Setup.exe"); }, &answer);
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(box.text, expected);
    EXPECT_EQ(box.caption, L"Setup.exe");
    // No caption source: an empty caption, not a made-up one.
    box = Watch([] { return ShowSystemError(nullptr, ERROR_CANNOT_MAKE, nullptr); });
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.caption, L"");
}

TEST_F(SystemError, CodeZeroTakesTheLastErrorAndNoErrorShowsNothing)
{
    SeenBox box = Watch([] {
        SetLastError(ERROR_CANNOT_MAKE);
        return ShowSystemError(nullptr, 0, L"Setup.exe");
    });
    EXPECT_EQ(box.text, SystemText(ERROR_CANNOT_MAKE));
    MessageBoxWatcher watcher(1500);
    SetLastError(0);
    EXPECT_EQ(ShowSystemError(nullptr, 0, L"Setup.exe"), 0);
    // A code the system has no text for shows nothing either.
    ASSERT_TRUE(SystemText(0x2000F00D).empty());
    EXPECT_EQ(ShowSystemError(nullptr, 0x2000F00D, L"Setup.exe"), IDCANCEL);
    EXPECT_FALSE(watcher.Result().seen);
}

TEST(ApplyUiTexts, CaptionAndControlsComeFromTheTable)
{
    HWND window = CreateWindowExW(0, L"Static", L"old caption", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    for (int id : {99, 2, 1031, 1041, 1047})
        CreateWindowExW(0, L"Button", L"old", WS_CHILD, 0, 0, 10, 10, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);

    const uint16_t ids[] = {1000, 99, 2, 1031, 1041, 1047, 4242, 0};
    ApplyUiTexts(window, FindUiLanguage("DE"), ids);
    EXPECT_EQ(WindowText(window), L"Installation");
    EXPECT_EQ(WindowText(GetDlgItem(window, 99)), L"&OK");
    EXPECT_EQ(WindowText(GetDlgItem(window, 2)), L"Abbruch");
    EXPECT_EQ(WindowText(GetDlgItem(window, 1041)), L"Programmgruppe erstellen");
    EXPECT_EQ(WindowText(GetDlgItem(window, 1047)), L""); // no text for this id: emptied

    // A first id of 0 leaves the caption alone.
    const uint16_t controlsOnly[] = {0, 2, 0};
    ApplyUiTexts(window, FindUiLanguage("US"), controlsOnly);
    EXPECT_EQ(WindowText(window), L"Installation");
    EXPECT_EQ(WindowText(GetDlgItem(window, 2)), L"Cancel");
    EXPECT_EQ(WindowText(GetDlgItem(window, 99)), L"&OK");
    DestroyWindow(window);
}

TEST(LanguageChoice, KeepsAPresetCode)
{
    SetupState state = {};
    CopyTextBounded("it", state.languageCode, sizeof state.languageCode);
    ChooseUiLanguage(&state);
    EXPECT_STREQ(state.languageCode, "it");
    EXPECT_EQ(state.language, FindUiLanguage("IT"));

    CopyTextBounded("FR", state.languageCode, sizeof state.languageCode);
    ChooseUiLanguage(&state);
    EXPECT_EQ(state.language, kUiLanguages[0]);
}

// Run by CTest once per system language (LANG of the Wine process), with the
// expected system language id and interface language in the environment.
TEST(LanguageChoice, FollowsTheSystemDefaultLanguage)
{
    const char* expectedId = getenv("OV_EXPECT_LANGID");
    const char* expectedCode = getenv("OV_EXPECT_UI_LANGUAGE");
    if (!expectedId || !expectedCode)
        GTEST_SKIP() << "run through CTest, which sets the system language for it";
    // The environment must really give the system language this run is for.
    ASSERT_EQ(GetSystemDefaultLangID(), static_cast<LANGID>(strtoul(expectedId, nullptr, 16)));

    SetupState state = {};
    ChooseUiLanguage(&state);
    EXPECT_STREQ(state.languageCode, expectedCode);
    ASSERT_NE(state.language, nullptr);
    EXPECT_STREQ(state.language->code, expectedCode);
}
