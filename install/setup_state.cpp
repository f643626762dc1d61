#include "install/setup_state.h"

SetupState* setupState = nullptr;
