// The destination folder: proposed at dialog start, where a fresh install is
// told from an update, and chosen with the shell's folder browser.
#ifndef OV_APP_DESTINATION_H
#define OV_APP_DESTINATION_H

#include <windows.h>

// Puts the default destination into the edit. An existing folder means an
// update: the languages installed there stay chosen and the three option
// boxes start unchecked. A fresh install checks the group and desktop boxes,
// and the quick-launch box when that folder exists (else hides it).
void FillDestinationAndOptions(HWND dialog);

// The folder browser, opened at the edit's folder (or its parent when that
// does not exist); the chosen folder goes into the edit.
void BrowseForDestination(HWND dialog, int editId);

#endif
