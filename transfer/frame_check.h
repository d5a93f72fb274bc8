// The two checks of a frame, free of any socket: the transfer server shares them.
#pragma once

#include "win/types.h"

WORD FrameCrc16(const BYTE* bytes, WORD count);
BYTE FrameHeaderCheck(WORD length);
