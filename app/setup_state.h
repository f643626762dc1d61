// Start-up of the setup's one global record.
#ifndef OV_APP_SETUP_STATE_H
#define OV_APP_SETUP_STATE_H

#include "install/setup_state.h"

// Start-up initialisation: fills `icon`, `languageCode`, `language` and
// `setupPath` of `setupState`, which must exist.
void InitSetupState(HINSTANCE instance);

#endif
