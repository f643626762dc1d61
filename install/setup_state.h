// The setup's one global record. Start-up fills its first fields, the scan
// of the payload the rest; every part of the setup reads it.
#ifndef OV_INSTALL_SETUP_STATE_H
#define OV_INSTALL_SETUP_STATE_H

#include <windows.h>

struct UiLanguage;

// Filled at start-up and by the scan pass at dialog initialisation;
// read-only afterwards. Every text buffer always holds a terminated text.
struct SetupState {
    HICON icon;                 // icon resource 1 of the program's module
    char languageCode[4];       // "DE", "IT" or "US"
    const UiLanguage* language; // current built-in table, never null after start-up
    char productId[4];          // setup script "ID": name of the remembered-destination value
    char group[32];             // product name: script "Group", else from FILE_ID.DIZ
    char windowClass[32];       // class of the product's main window (script "Class", else group)
    char exeName[32];           // script "Exe": the product's main executable, may be empty
    wchar_t lngPrefix[32];      // <lngPrefix>_<code>.LNG of the language files
    wchar_t setupPath[260];     // full path of the running program: the payload archive
};

// The one instance, from start-up until the dialog has ended; null otherwise.
extern SetupState* setupState;

#endif
