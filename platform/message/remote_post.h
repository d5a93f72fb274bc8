// Posting to a window of another process: the GUI layer, which knows how to reach other
// processes, installs the carrier when it hands out such a handle.
#pragma once

#include "win/types.h"

namespace murmel::message {

// True when the handle stands for a window of another process and the message went out.
using RemotePoster = bool (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void SetRemotePoster(RemotePoster poster);
// False without a carrier, or when the carrier does not know the handle.
bool PostToRemote(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace murmel::message
