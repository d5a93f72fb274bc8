// The 60-byte WAV header (format 49, GSM 06.10) in front of the uploaded voice chunks.
// Every number in it is stored most significant byte first: the transfer server reads it
// that way, unlike a RIFF file on disk.
#pragma once

#include "win/types.h"

#include "state/voice_units.h"

void PutBigEndian32(BYTE* destination, DWORD value);
void PutBigEndian16(BYTE* destination, WORD value);

// Fills WAV_HEADER_SIZE bytes for a recording of pcmBytes PCM bytes.
void WriteWavHeader(BYTE* header, LONG pcmBytes);
