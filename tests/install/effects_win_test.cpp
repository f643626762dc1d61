// The installation actions against the real system under Wine: a list view
// in a window of ours, the prefix's registry, link files read back, folders
// and the shell's file operations.
#include "archive/archive_pass.h"
#include "base/text_utils.h"
#include "install/component_list.h"
#include "install/folders.h"
#include "install/install_entries.h"
#include "install/registry.h"
#include "install/scan_entries.h"
#include "install/setup_state.h"
#include "install/shortcuts.h"
#include "pack/archive_writer.h"
#include "resources/resource_ids.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A window with the controls the effects reach through the dialog.
struct TestDialog {
    HWND window, list;
    TestDialog()
    {
        window = CreateWindowExW(0, L"STATIC", L"Setup", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr, nullptr,
                                 nullptr);
        list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | LVS_SORTASCENDING, 0, 0, 150, 200, window,
                               HMENU(IDC_COMPONENT_LIST), nullptr, nullptr);
        for (int id : {IDC_TITLE_LINE, IDC_STATUS_LINE})
            CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 100, 20, window, HMENU(INT_PTR(id)), nullptr, nullptr);
        const ListColumn columns[] = {{L"Language", -1, 0}, {nullptr, 0, 0}};
        PrepareComponentList(list, columns, L"English", L"German");
    }
    ~TestDialog() { DestroyWindow(window); }
    std::vector<std::wstring> Items(int state = 0) const
    {
        std::vector<std::wstring> items;
        for (int i = 0; i < ListView_GetItemCount(list); i++) {
            wchar_t text[64];
            ListView_GetItemText(list, i, 0, text, 64);
            if (!state || ComponentCheckState(list, i) == state)
                items.push_back(text);
        }
        return items;
    }
};

class Effects : public testing::Test {
protected:
    void SetUp() override
    {
        InitCommonControls();
        CoInitialize(nullptr);
        state_ = SetupState();
        setupState = &state_;
        strcpy(state_.productId, "T1");
        strcpy(state_.group, "Test Tool");
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root = std::wstring(temp) + L"effects-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(root.c_str(), nullptr);
    }
    void TearDown() override
    {
        ShellDeleteTree(root.c_str());
        setupState = nullptr;
        CoUninitialize();
    }
    std::wstring Path(const std::wstring& name) const { return root + L"\\" + name; }
    static void Write(const std::wstring& path, const char* text)
    {
        std::ofstream(path.c_str(), std::ios::binary) << text;
    }
    static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    SetupState state_;
    std::wstring root;
};

std::wstring RegistryString(HKEY root, const wchar_t* key, const wchar_t* value, DWORD* bytes = nullptr)
{
    wchar_t data[300] = {0};
    DWORD size = sizeof data;
    if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<missing>";
    if (bytes)
        *bytes = size;
    return data;
}

} // namespace

TEST_F(Effects, ComponentListItemsChecksAndLanguageFiles)
{
    TestDialog dialog;
    EXPECT_EQ(ListView_GetExtendedListViewStyle(dialog.list), DWORD(0x424));
    EXPECT_GE(ListView_GetColumnWidth(dialog.list, 0), 100); // a narrow list still gets 100 pixels
    const uint8_t italian[] = "[Text]\r\nLanguage=Italiano (Italian)\r\n";
    const uint8_t english[] = "[Text]\r\nLanguage=Other English\r\n";
    AddLanguageFromFile(dialog.window, italian, sizeof italian - 1, L"\x04VDEMO_IT.LNG");
    AddLanguageFromFile(dialog.window, english, sizeof english - 1, L"\x04VDEMO_US.LNG"); // "US" is listed
    EXPECT_EQ(dialog.Items(), (std::vector<std::wstring>{L"English", L"German", L"Italiano "}));
    EXPECT_EQ(dialog.Items(kItemChecked).size(), 3u);
    int german = FindComponentItem(dialog.list, kTagGerman);
    EXPECT_EQ(ComponentItemTag(dialog.list, german), uint32_t(kTagGerman));
    EXPECT_EQ(FindComponentItem(dialog.list, 'F' | ('R' << 8)), -1);

    SetComponentCheckState(dialog.list, german, false);
    InvertComponents(dialog.list);
    EXPECT_EQ(dialog.Items(kItemChecked), (std::vector<std::wstring>{L"German"}));
    CheckAllComponents(dialog.list);
    EXPECT_EQ(dialog.Items(kItemChecked).size(), 3u);
    UncheckAllComponents(dialog.list);
    EXPECT_EQ(dialog.Items(kItemUnchecked).size(), 3u);

    // An update keeps the languages installed in the folder; English and
    // German are never unchecked.
    CheckAllComponents(dialog.list);
    wcscpy(state_.lngPrefix, L"OVDEMO");
    PreselectInstalledLanguages(dialog.window, root.c_str());
    EXPECT_EQ(dialog.Items(kItemUnchecked), (std::vector<std::wstring>{L"Italiano "}));
}

TEST_F(Effects, ExtractionDecisionsOnTheRealList)
{
    TestDialog dialog;
    wcscpy(state_.lngPrefix, L"OVDEMO");
    SetComponentCheckState(dialog.list, FindComponentItem(dialog.list, kTagEnglish), false);
    InstallRun run = {};
    run.dialog = dialog.window;
    wcscpy(run.destination, root.c_str());
    Write(Path(L"readme.txt"), "old");
    struct Case {
        const wchar_t* entry;
        const wchar_t* target; // empty: skipped
    } cases[] = {
        {L"OVDEMO_US.LNG", L""},
        {L"docs\\OVDEMO_DE.TXT", L"OVDEMO_DE.TXT"},
        {L"OVDEMO_XX.TXT", L"OVDEMO_XX.TXT"},
        {L"INSTALL.INF", L""},
        {L"docs\\readme.txt", L"readme.txt"},
        {L"ovdemo.exe", L"ovdemo.exe"},
        {L"OTHER.EXE", L"OTHER.EXE"},
        {L"sub\\UNINST.EXE", L"UNINST.EXE"},
        {L"CON.txt", L""},
        {L"x\\..", L""},
        {L"a:stream", L""},
    };
    for (const Case& c : cases) {
        wchar_t name[260];
        wcscpy(name, c.entry);
        InstallEntryCallback(name, nullptr, 0, &run);
        EXPECT_EQ(std::wstring(name), c.target[0] ? Path(c.target) : L"") << c.entry;
    }
    EXPECT_FALSE(Exists(Path(L"readme.txt"))); // deleted before it is written again
    EXPECT_STREQ(run.mainProgram, L"ovdemo.exe");
    EXPECT_STREQ(run.uninstaller, L"UNINST.EXE");
    EXPECT_EQ(run.germanInstalled, 1);

    Write(Path(L"PSAPI.DLL"), "old");
    MovePsapiAside(root.c_str());
    EXPECT_TRUE(Exists(Path(L"OVPSAPI.DLL")));
    EXPECT_FALSE(Exists(Path(L"PSAPI.DLL")));
}

TEST_F(Effects, RegistryValuesWithTheirTerminators)
{
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Orvanex");
    wchar_t proposal[260];
    GetDefaultDestination(proposal, 260);
    wchar_t programFiles[260];
    ReadProgramFilesDir(programFiles, 260);
    ASSERT_TRUE(programFiles[0]);
    EXPECT_EQ(std::wstring(proposal), std::wstring(programFiles) + L"\\Test Tool");

    RememberDestination(L"D:\\Tools\\Gone");
    DWORD bytes = 0;
    EXPECT_EQ(RegistryString(HKEY_CURRENT_USER, L"Software\\Orvanex", L"T1", &bytes), L"D:\\Tools\\Gone");
    EXPECT_EQ(bytes, DWORD(2 * (13 + 1)));
    GetDefaultDestination(proposal, 260); // as stored, not tested, no group added
    EXPECT_STREQ(proposal, L"D:\\Tools\\Gone");

    // A value stored without its terminator, with an odd byte count, or
    // filling the whole buffer comes back terminated inside the buffer.
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Orvanex", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    const wchar_t raw[] = L"C:\\Raw\\FolderXXXXXXXX";
    for (DWORD size : {DWORD(2 * 13), DWORD(2 * 13 + 1), DWORD(2 * 14)}) {
        RegSetValueExW(key, L"T1", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), size);
        wchar_t out[14];
        wmemset(out, L'#', 14);
        GetDefaultDestination(out, 14);
        EXPECT_STREQ(out, L"C:\\Raw\\Folder") << size;
    }
    RegCloseKey(key);

    WriteUninstallEntry(L"C:\\Program Files\\Test Tool\\UnInst.exe");
    const wchar_t* uninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Test Tool";
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, uninstall, L"DisplayName"), L"Test Tool");
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, uninstall, L"UninstallString"),
              L"C:\\Program Files\\Test Tool\\UnInst.exe");
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, uninstall, L"Publisher"), L"Orvanex");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Orvanex");
}

TEST_F(Effects, LinksCarryTargetWorkingFolderAndShowCommand)
{
    std::wstring link = Path(L"Tool.lnk");
    ASSERT_EQ(CreateShellLink(link.c_str(), L"C:\\Tool\\tool.exe", L"C:\\Tool"), S_OK);
    IShellLinkW* shell = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                               reinterpret_cast<void**>(&shell)),
              S_OK);
    IPersistFile* file = nullptr;
    shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    ASSERT_EQ(file->Load(link.c_str(), STGM_READ), S_OK);
    wchar_t text[MAX_PATH];
    shell->GetPath(text, MAX_PATH, nullptr, 0);
    EXPECT_STREQ(text, L"C:\\Tool\\tool.exe");
    shell->GetWorkingDirectory(text, MAX_PATH);
    EXPECT_STREQ(text, L"C:\\Tool");
    shell->GetArguments(text, MAX_PATH);
    EXPECT_STREQ(text, L"");
    file->Release();
    shell->Release();
    // Wine reports 1 for a stored 5: the header holds the stored value.
    std::ifstream bytes(link.c_str(), std::ios::binary);
    std::vector<char> header(0x40);
    bytes.read(header.data(), 0x40);
    EXPECT_EQ(header[0x3C], 5);

    // The program group: no links over an existing group.
    InstallRun run = {};
    wcscpy(run.destination, L"C:\\Program Files\\Test Tool");
    wcscpy(run.mainProgram, L"tool.exe");
    wcscpy(run.licenseText, L"LICENSE.TXT");
    wcscpy(run.orderPageGerman, L"BESTELL.HTM");
    wchar_t programs[MAX_PATH];
    GetSpecialFolderPath(CSIDL_COMMON_PROGRAMS, programs);
    std::wstring group = std::wstring(programs) + L"\\Test Tool";
    ShellDeleteTree(group.c_str());
    CreateProgramGroup(nullptr, &run);
    EXPECT_TRUE(Exists(group + L"\\Test Tool.lnk"));
    EXPECT_TRUE(Exists(group + L"\\License.lnk"));
    EXPECT_FALSE(Exists(group + L"\\Uninstall.lnk"));  // no uninstaller installed
    EXPECT_FALSE(Exists(group + L"\\Bestellung.lnk")); // no German entries
    DeleteFileW((group + L"\\License.lnk").c_str());
    CreateProgramGroup(nullptr, &run);
    EXPECT_FALSE(Exists(group + L"\\License.lnk"));
    ShellDeleteTree(group.c_str());

    wchar_t desktop[MAX_PATH];
    GetSpecialFolderPath(CSIDL_DESKTOP, desktop);
    CreateDesktopLink(L"C:\\tool.exe", L"Test Tool");
    EXPECT_TRUE(Exists(std::wstring(desktop) + L"\\Test Tool.lnk"));
    DeleteFileW((std::wstring(desktop) + L"\\Test Tool.lnk").c_str());
    EXPECT_FALSE(QuickLaunchFolderExists()); // a fresh prefix has none
}

TEST_F(Effects, FoldersAndShellOperations)
{
    EXPECT_EQ(CreateDirectoryTree(Path(L"a\\b").c_str()), 0);
    EXPECT_EQ(CreateDirectoryTree(Path(L"a").c_str()), 2);
    EXPECT_EQ(CreateDirectoryTree(L"Q:\\no\\such\\drive"), 2);

    wchar_t temp[260], name[260];
    GetTempPathW(260, temp);
    MakeTempFolderName(name, 260);
    EXPECT_EQ(std::wstring(name), std::wstring(temp) + L"1");
    for (int i = 1; i <= 9; i++)
        CreateDirectoryW((std::wstring(temp) + std::to_wstring(i)).c_str(), nullptr);
    MakeTempFolderName(name, 260);
    EXPECT_EQ(std::wstring(name), std::wstring(temp) + L"a");
    for (int i = 1; i <= 9; i++)
        RemoveDirectoryW((std::wstring(temp) + std::to_wstring(i)).c_str());

    // Onto an existing folder of the same name: merged, not nested.
    CreateDirectoryTree(Path(L"t\\Tool").c_str());
    CreateDirectoryTree(Path(L"Tool").c_str());
    Write(Path(L"t\\Tool\\new.txt"), "new");
    Write(Path(L"t\\Tool\\both.txt"), "from the move");
    Write(Path(L"Tool\\both.txt"), "old");
    Write(Path(L"Tool\\kept.txt"), "kept");
    EXPECT_EQ(ShellMove(nullptr, Path(L"t\\Tool").c_str(), Path(L"Tool").c_str()), 0);
    EXPECT_FALSE(Exists(Path(L"t\\Tool")));
    EXPECT_FALSE(Exists(Path(L"Tool\\Tool")));
    for (const wchar_t* file : {L"new.txt", L"both.txt", L"kept.txt"})
        EXPECT_TRUE(Exists(Path(L"Tool\\") + file)) << file;
    {
        std::ifstream both(Path(L"Tool\\both.txt").c_str());
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(both), {}), "from the move");
    }

    // Into a parent that holds a folder of the same name.
    CreateDirectoryTree(Path(L"g\\Group").c_str());
    CreateDirectoryTree(Path(L"Group").c_str());
    Write(Path(L"g\\Group\\new.lnk"), "x");
    Write(Path(L"Group\\old.lnk"), "x");
    EXPECT_EQ(ShellMove(nullptr, Path(L"g\\Group").c_str(), root.c_str()), 0);
    EXPECT_TRUE(Exists(Path(L"Group\\new.lnk")));
    EXPECT_TRUE(Exists(Path(L"Group\\old.lnk")));
    EXPECT_FALSE(Exists(Path(L"g\\Group")));

    ShellDeleteTree(Path(L"Tool").c_str());
    EXPECT_FALSE(Exists(Path(L"Tool")));
    ShellDeleteTree(Path(L"nothing").c_str());
}

TEST_F(Effects, ScanAndExtractionPassesOverARealArchive)
{
    auto entry = [](const char* name, const std::string& text) {
        PackInput input;
        input.name = name;
        input.data.assign(text.begin(), text.end());
        return input;
    };
    std::vector<PackInput> entries = {
        entry("INSTALL.INF", "ID=T2\r\nExe=tool.exe\r\n"),
        entry("FILE_ID.DIZ", "Tool Version 2.1 [x]\r\n"),
        entry("TL_FR.LNG", "[Text]\r\nLanguage=Francais\r\n"),
        entry("tool.exe", std::string(5000, 'x')),
        entry("big.dat", std::string(300000, 'y')),
    };
    std::vector<uint8_t> archive;
    std::string error;
    ASSERT_TRUE(WriteArchive(entries, PackSettings(), &archive, &error)) << error;
    std::wstring path = Path(L"payload.rar");
    std::ofstream(path.c_str(), std::ios::binary).write(reinterpret_cast<const char*>(archive.data()), archive.size());

    state_ = SetupState();
    TestDialog dialog;
    SetWindowTextW(dialog.window, L"Setup");
    EXPECT_EQ(ArchivePass(path.c_str(), ScanEntryCallback, dialog.window), kPassOk);
    EXPECT_STREQ(state_.productId, "T2");
    EXPECT_STREQ(state_.group, "Tool");
    EXPECT_STREQ(state_.exeName, "tool.exe");
    EXPECT_STREQ(state_.lngPrefix, L"TL");
    wchar_t text[64];
    GetWindowTextW(dialog.window, text, 64);
    EXPECT_STREQ(text, L"Setup Tool 2.1");
    GetDlgItemTextW(dialog.window, IDC_TITLE_LINE, text, 64);
    EXPECT_STREQ(text, L"Tool 2.1");
    EXPECT_EQ(dialog.Items(), (std::vector<std::wstring>{L"English", L"Francais", L"German"}));

    // A folder where a file must go, and a file held open without sharing:
    // the pass cannot create them.
    std::wstring destination = Path(L"dest");
    CreateDirectoryW(destination.c_str(), nullptr);
    CreateDirectoryW((destination + L"\\tool.exe").c_str(), nullptr);
    InstallRun run = {};
    run.dialog = dialog.window;
    wcscpy(run.destination, destination.c_str());
    EXPECT_EQ(ArchivePass(path.c_str(), InstallEntryCallback, &run), kPassCannotCreate);
    RemoveDirectoryW((destination + L"\\tool.exe").c_str());
    HANDLE held =
        CreateFileW((destination + L"\\big.dat").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ArchivePass(path.c_str(), InstallEntryCallback, &run), kPassCannotCreate);
    CloseHandle(held);
    EXPECT_EQ(ArchivePass(path.c_str(), InstallEntryCallback, &run), kPassOk);
    EXPECT_FALSE(Exists(destination + L"\\INSTALL.INF"));
    EXPECT_TRUE(Exists(destination + L"\\TL_FR.LNG"));
}
