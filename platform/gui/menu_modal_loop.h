// The modal loop of pop-up menus and the file dialog is the dialogs' own: posted messages
// keep being dispatched in order, and sent ones served, until the surface is done.
#pragma once

#include "platform/gui/dialog_manager.h"
