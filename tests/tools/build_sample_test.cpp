// The sample product: it builds into a setup without a single warning, and
// on Windows its two programs behave as the setup expects of them: the main
// program opens a window of the class the script names and ends when that
// window gets WM_DESTROY; the uninstaller asks before it deletes anything.
#include "tests/tools/build_test_support.h"

#include <string>

#ifdef _WIN32
#include "tests/windows/ui_window_probe.h"
#endif

using namespace buildtest;

namespace {

// CMake hands over Unix paths; under Wine they live on drive Z:.
fs::path NativePath(const std::string& text)
{
#ifdef _WIN32
    if (!text.empty() && text[0] == '/') {
        std::string windows = "Z:" + text;
        for (char& c : windows)
            if (c == '/')
                c = '\\';
        return fs::u8path(windows);
    }
#endif
    return fs::u8path(text);
}

fs::path SampleProduct()
{
    return NativePath(OV_SOURCE_DIR) / "samples" / "product";
}

std::string ScriptValue(const std::string& key)
{
    std::vector<uint8_t> script = ReadBytes(SampleProduct() / "INSTALL.INF");
    std::string text(script.begin(), script.end());
    size_t at = text.find(key + "=");
    if (at == std::string::npos)
        return std::string();
    size_t end = text.find_first_of("\r\n", at);
    return text.substr(at + key.size() + 1, end - at - key.size() - 1);
}

} // namespace

TEST_F(BuildFixture, SampleProductBuildsWithoutWarnings)
{
    ASSERT_TRUE(fs::is_directory(SampleProduct()));
    fs::copy(SampleProduct(), product, fs::copy_options::recursive);
#ifdef OV_SAMPLE_PROGRAMS
    for (const char* program : {"OVDEMO.EXE", "UnInst.exe"})
        fs::copy_file(NativePath(OV_SAMPLE_PROGRAMS) / program, product / program);
#else
    // The programs are built for Windows only; stand-ins carry their names.
    WriteBytes(product / "OVDEMO.EXE", "MZ main program");
    WriteBytes(product / "UnInst.exe", "MZ uninstaller");
#endif
    RunResult r = Build();
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<EntryHeader> headers = ReadEntryHeaders(ReadBytes(output), 4096);
    ASSERT_EQ(headers.size(), 13u);
    EXPECT_EQ(headers[0].name, "INSTALL.INF");
    EXPECT_EQ(headers[1].name, "FILE_ID.DIZ");
    EXPECT_EQ(ScriptValue("ID").size(), 2u);
    EXPECT_FALSE(ScriptValue("Class").empty());
}

#ifdef _WIN32

namespace {

// The exit code, or 9999 when the program did not end in time.
DWORD Finish(RunningProgram* program, DWORD waitMs)
{
    DWORD code = 9999;
    return program->WaitForExit(waitMs, &code) ? code : 9999;
}

// A first start in a fresh Wine prefix can take several seconds.
HWND WaitForWindow(DWORD process, const wchar_t* className)
{
    return WaitForProcessWindow(process, className, 30000);
}

std::wstring TextOfBox(HWND box)
{
    std::wstring all;
    for (const std::wstring& text : StaticTexts(box))
        all += text + L"\n";
    return all;
}

void Press(HWND dialog, int button)
{
    HWND b = GetDlgItem(dialog, button);
    if (!b && button == IDOK) // a lone OK button may carry the cancel id
        b = GetDlgItem(dialog, IDCANCEL);
    ASSERT_NE(b, nullptr);
    SendMessageW(b, BM_CLICK, 0, 0);
}

} // namespace

TEST(SamplePrograms, MainProgramOpensTheScriptsWindowClassAndEndsOnDestroy)
{
    std::string className = ScriptValue("Class");
    ASSERT_FALSE(className.empty());
    std::wstring wideClass(className.begin(), className.end());
    RunningProgram demo;
    ASSERT_TRUE(demo.Start((NativePath(OV_SAMPLE_PROGRAMS) / "OVDEMO.EXE").wstring()));
    HWND window = WaitForWindow(demo.Id(), wideClass.c_str());
    EXPECT_NE(window, nullptr) << "no window of class " << className;
    if (window)
        PostMessageW(window, WM_DESTROY, 0, 0); // what the setup sends
    EXPECT_EQ(Finish(&demo, 30000), 0u);
}

TEST_F(BuildFixture, UninstallerAsksThenDeletesTheFolder)
{
    fs::path folder = root / "installed";
    fs::create_directories(folder);
    fs::copy_file(NativePath(OV_SAMPLE_PROGRAMS) / "UnInst.exe", folder / "UnInst.exe");
    WriteBytes(folder / "OVDEMO_US.LNG", "[Text]\r\n");
    WriteBytes(folder / "LICENSE.TXT", "Free.\r\n");
    const wchar_t* key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvanex Demo";
    HKEY created;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(created);

    // "No": the question names the files, and nothing is touched.
    RunningProgram first;
    ASSERT_TRUE(first.Start((folder / "UnInst.exe").wstring()));
    HWND question = WaitForWindow(first.Id(), L"#32770");
    ASSERT_NE(question, nullptr);
    std::wstring text = TextOfBox(question);
    EXPECT_NE(text.find(L"LICENSE.TXT"), std::wstring::npos);
    EXPECT_NE(text.find(L"OVDEMO_US.LNG"), std::wstring::npos);
    Press(question, IDNO);
    EXPECT_EQ(Finish(&first, 30000), 0u);
    EXPECT_TRUE(fs::exists(folder / "LICENSE.TXT"));

    // "Yes": the files and the uninstall entry go.
    RunningProgram second;
    ASSERT_TRUE(second.Start((folder / "UnInst.exe").wstring()));
    question = WaitForWindow(second.Id(), L"#32770");
    ASSERT_NE(question, nullptr);
    Press(question, IDYES);
    for (int i = 0; i < 100 && IsWindow(question); i++)
        Sleep(50);
    HWND done = WaitForWindow(second.Id(), L"#32770");
    ASSERT_NE(done, nullptr);
    EXPECT_NE(TextOfBox(done).find(L"removed"), std::wstring::npos);
    Press(done, IDOK);
    EXPECT_EQ(Finish(&second, 30000), 0u);
    EXPECT_FALSE(fs::exists(folder / "LICENSE.TXT"));
    EXPECT_FALSE(fs::exists(folder / "OVDEMO_US.LNG"));
    HKEY opened;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened), ERROR_SUCCESS);
}

#endif
