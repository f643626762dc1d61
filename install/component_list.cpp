#include "install/component_list.h"

#include <commctrl.h>

enum { kListExtendedStyles = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP };

void PrepareComponentList(HWND list, const ListColumn* columns, const wchar_t* english, const wchar_t* german)
{
    int fixed = 0;
    for (const ListColumn* c = columns; c->header; c++)
        if (c->width > 0)
            fixed += c->width;
    RECT client;
    GetClientRect(list, &client);
    int index = 0;
    for (const ListColumn* c = columns; c->header; c++, index++) {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = c->format & 3;
        column.cx = c->width;
        if (c->width < 0) {
            column.cx = (client.right - client.left) - fixed - (GetSystemMetrics(SM_CXVSCROLL) + 4);
            if (column.cx < 100)
                column.cx = 100;
        }
        column.pszText = const_cast<wchar_t*>(L"");
        SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
    }
    index = 0;
    for (const ListColumn* c = columns; c->header; c++, index++) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT;
        column.pszText = const_cast<wchar_t*>(c->header);
        SendMessageW(list, LVM_SETCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, ~0u, kListExtendedStyles);
    AddComponentItem(list, english, kTagEnglish);
    AddComponentItem(list, german, kTagGerman);
}

static void SetStateImage(HWND list, int index, int image)
{
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(image);
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(index), reinterpret_cast<LPARAM>(&item));
}

void AddComponentItem(HWND list, const wchar_t* text, uint32_t tag)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(text);
    item.lParam = LPARAM(tag);
    int index = int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index >= 0)
        SetStateImage(list, index, kItemChecked);
}

int FindComponentItem(HWND list, uint32_t tag)
{
    LVFINDINFOW find = {};
    find.flags = LVFI_PARAM;
    find.lParam = LPARAM(tag);
    return int(SendMessageW(list, LVM_FINDITEMW, WPARAM(-1), reinterpret_cast<LPARAM>(&find)));
}

uint32_t ComponentItemTag(HWND list, int index)
{
    wchar_t text[260];
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = text;
    item.cchTextMax = 260;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return uint32_t(item.lParam);
}

int ComponentCheckState(HWND list, int index)
{
    UINT state = UINT(SendMessageW(list, LVM_GETITEMSTATE, WPARAM(index), LVIS_STATEIMAGEMASK));
    return int(state >> 12);
}

void SetComponentCheckState(HWND list, int index, bool checked)
{
    SetStateImage(list, index, checked ? kItemChecked : kItemUnchecked);
}

void CheckAllComponents(HWND list)
{
    SetStateImage(list, -1, kItemChecked);
}

void UncheckAllComponents(HWND list)
{
    SetStateImage(list, -1, kItemUnchecked);
}

void InvertComponents(HWND list)
{
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; i++)
        SetStateImage(list, i, ComponentCheckState(list, i) == kItemUnchecked ? kItemChecked : kItemUnchecked);
    SetCursor(previous);
}
