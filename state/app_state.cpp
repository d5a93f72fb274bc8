#include "state/app_state.h"

AppState appState;
