// The install run behind OK: extract the chosen entries into the
// destination (through a temporary folder when files cannot be created
// there), then remember the destination, register the uninstaller, make the
// shortcuts and report success.
#ifndef OV_APP_INSTALL_RUN_H
#define OV_APP_INSTALL_RUN_H

#include <windows.h>

// 0 when the product is installed and the dialog may close; anything else
// leaves the dialog and every choice as they were, says why, and leaves no
// remembered destination, uninstall entry, shortcut or newly made folder.
int RunInstall(HWND dialog);

#endif
