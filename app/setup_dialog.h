// The setup's one window: the modal dialog of template 1000.
#ifndef OV_APP_SETUP_DIALOG_H
#define OV_APP_SETUP_DIALOG_H

#include <windows.h>

#include "resources/resource_ids.h"

// Returns 0 for every message, WM_INITDIALOG included, so that the system
// does not pick a control for the keyboard focus.
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// WM_INITDIALOG: centre, class icon, interface texts, then the component list.
void InitSetupDialog(HWND dialog);

#endif
