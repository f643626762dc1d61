// The installation actions under Wine, where the end-to-end scenarios
// cannot reach: the list's context-menu operations, names a payload must not
// write, registry values without their terminator, what a link file stores,
// the shell's moves into a parent.
#include "base/text_utils.h"
#include "install/component_list.h"
#include "install/folders.h"
#include "install/install_entries.h"
#include "install/registry.h"
#include "install/scan_entries.h"
#include "install/setup_state.h"
#include "install/shortcuts.h"
#include "resources/resource_ids.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objbase.h>

#include <fstream>
#include <string>

namespace {

class Effects : public testing::Test {
protected:
    void SetUp() override
    {
        InitCommonControls();
        CoInitialize(nullptr);
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
    static void Write(const std::wstring& path) { std::ofstream(path.c_str()) << "x"; }
    static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    SetupState state_ = {};
    std::wstring root;
};

} // namespace

TEST_F(Effects, ComponentListCommandsAndLanguageFiles)
{
    HWND dialog =
        CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr, nullptr, nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | LVS_SORTASCENDING, 0, 0, 60, 200, dialog,
                                HMENU(IDC_COMPONENT_LIST), nullptr, nullptr);
    const ListColumn columns[] = {{L"Language", -1, 0}, {nullptr, 0, 0}};
    PrepareComponentList(list, columns, L"English", L"German");
    EXPECT_TRUE(ListView_GetExtendedListViewStyle(list) & LVS_EX_CHECKBOXES); // boxes to click
    EXPECT_GE(ListView_GetColumnWidth(list, 0), 100);                         // a narrow list still gets 100 pixels
    const uint8_t italian[] = "[Text]\r\nLanguage=Italiano (Italian)\r\n";
    const uint8_t english[] = "[Text]\r\nLanguage=Other English\r\n";
    AddLanguageFromFile(dialog, italian, sizeof italian - 1, L"\x04VDEMO_IT.LNG");
    AddLanguageFromFile(dialog, english, sizeof english - 1, L"\x04VDEMO_US.LNG"); // "US" is listed already
    ASSERT_EQ(ListView_GetItemCount(list), 3);
    auto checked = [&] {
        std::wstring states; // English, German, Italiano
        for (int i = 0; i < 3; i++)
            states += ComponentCheckState(list, i) == kItemChecked ? L'x' : L'-';
        return states;
    };
    EXPECT_EQ(checked(), L"xxx");
    SetComponentCheckState(list, FindComponentItem(list, kTagGerman), false);
    InvertComponents(list);
    EXPECT_EQ(checked(), L"-x-");
    CheckAllComponents(list);
    EXPECT_EQ(checked(), L"xxx");
    UncheckAllComponents(list);
    EXPECT_EQ(checked(), L"---");
    DestroyWindow(dialog);
}

TEST_F(Effects, NamesThatMustNotBeWrittenAreSkipped)
{
    InstallRun run = {};
    wcscpy(run.destination, root.c_str());
    for (const wchar_t* entry : {L"CON.txt", L"docs\\nul", L"x\\..", L"a:stream", L"docs\\"}) {
        wchar_t name[260];
        wcscpy(name, entry);
        InstallEntryCallback(name, nullptr, 0, &run);
        EXPECT_STREQ(name, L"") << entry;
    }
    // A target path that does not fit would name another file: the pass
    // gets the destination folder, which it cannot create as a file.
    std::wstring deep = root + L"\\" + std::wstring(240 - root.size(), L'd');
    wcscpy(run.destination, deep.c_str());
    wchar_t name[260] = L"a_rather_long_file_name.txt";
    InstallEntryCallback(name, nullptr, 0, &run);
    EXPECT_EQ(std::wstring(name), deep);
}

TEST_F(Effects, RegistryValuesComeBackTerminatedInsideTheBuffer)
{
    // Stored without a terminator, with an odd byte count, or filling the
    // whole buffer.
    const wchar_t raw[] = L"C:\\Raw\\FolderXX";
    for (DWORD size : {DWORD(2 * 13), DWORD(2 * 13 + 1), DWORD(2 * 14)}) {
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Orvanex", L"T1", REG_SZ, raw, size);
        wchar_t out[14];
        wmemset(out, L'#', 14);
        GetDefaultDestination(out, 14);
        EXPECT_STREQ(out, L"C:\\Raw\\Folder") << size;
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Orvanex");

    // Without a group the key would be the system's Uninstall key itself.
    state_.group[0] = 0;
    WriteUninstallEntry(L"C:\\x\\UnInst.exe");
    DWORD size = 0;
    EXPECT_NE(RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                           L"UninstallString", RRF_RT_ANY, nullptr, nullptr, &size),
              ERROR_SUCCESS);
}

TEST_F(Effects, LinkFilesStoreShowCommandFive)
{
    std::wstring link = Path(L"Tool.lnk");
    ASSERT_EQ(CreateShellLink(link.c_str(), L"C:\\Tool\\tool.exe", L"C:\\Tool"), S_OK);
    // Wine reports 1 for a stored 5: the file's header holds the stored value.
    std::ifstream bytes(link.c_str(), std::ios::binary);
    bytes.seekg(0x3C);
    EXPECT_EQ(bytes.get(), 5);
}

TEST_F(Effects, AGroupMovedIntoAParentThatHoldsItMerges)
{
    // The program group on the temporary-folder route goes into a Programs
    // folder that may hold it already: the two merge.
    CreateDirectoryTree(Path(L"g\\Group").c_str());
    CreateDirectoryTree(Path(L"Group").c_str());
    Write(Path(L"g\\Group\\new.lnk"));
    Write(Path(L"Group\\old.lnk"));
    EXPECT_EQ(ShellMove(nullptr, Path(L"g\\Group").c_str(), root.c_str()), 0);
    EXPECT_TRUE(Exists(Path(L"Group\\new.lnk")));
    EXPECT_TRUE(Exists(Path(L"Group\\old.lnk")));
    EXPECT_FALSE(Exists(Path(L"g\\Group")));
}
