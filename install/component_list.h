// The component list: the product's languages as items with check boxes in
// the dialog's list view. The list is the only store of the user's choice;
// the extraction asks it about every language entry.
#ifndef OV_INSTALL_COMPONENT_LIST_H
#define OV_INSTALL_COMPONENT_LIST_H

#include <windows.h>

#include <stdint.h>

// State images of an item: only 1 counts as not chosen.
enum { kItemUnchecked = 1, kItemChecked = 2 };

// The tags of the two built-in items.
enum : uint32_t { kTagEnglish = 'U' | ('S' << 8), kTagGerman = 'D' | ('E' << 8) };

// One column definition; a negative width fills what the others leave.
struct ListColumn {
    const wchar_t* header;
    int width;
    int format; // its two lowest bits: 0 left, 1 right, 2 centred
};

// Inserts the columns (ended by a definition without header), sets their
// headers, the extended styles (check boxes, full-row selection, info tips:
// exactly 0x424) and adds the built-in items English and German, checked.
void PrepareComponentList(HWND list, const ListColumn* columns, const wchar_t* english, const wchar_t* german);

// Appends an item and checks it; the list places it by its sorted order.
void AddComponentItem(HWND list, const wchar_t* text, uint32_t tag);
// The index of the item with this tag, or -1.
int FindComponentItem(HWND list, uint32_t tag);
// The tag of an item, 0 when it cannot be read.
uint32_t ComponentItemTag(HWND list, int index);
// The item's state image (kItemUnchecked, kItemChecked; 0 when unset).
int ComponentCheckState(HWND list, int index);
void SetComponentCheckState(HWND list, int index, bool checked);

// The context menu's commands.
void CheckAllComponents(HWND list);
void UncheckAllComponents(HWND list);
void InvertComponents(HWND list);

#endif
