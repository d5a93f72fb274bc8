// The core of the handheld platform's API: types, last error, text, code pages, system
// information, files, threads, synchronisation and the process heap.
#pragma once

// In dependency order, not alphabetical.
// clang-format off
#include "win/types.h"
#include "win/error.h"
#include "win/text.h"
#include "win/codepage.h"
#include "win/system.h"
#include "win/kernel.h"
#include "win/message.h"
#include "win/gui.h"
#include "win/gui_controls.h"
#include "win/gui_gdi.h"
#include "win/gui_dialog.h"
#include "win/gui_menu.h"
// clang-format on
