#include "audio/wav_header.h"

#include <cstring>

namespace {

constexpr WORD WAVE_FORMAT_GSM610 = 49;
constexpr DWORD GSM_SAMPLE_RATE = 8000;
constexpr DWORD GSM_AVERAGE_BYTES_PER_SECOND = 1625;

BYTE* PutChunkId(BYTE* destination, const char (&id)[5]) {
  std::memcpy(destination, id, 4);
  return destination + 4;
}

BYTE* Put32(BYTE* destination, DWORD value) {
  PutBigEndian32(destination, value);
  return destination + 4;
}

BYTE* Put16(BYTE* destination, WORD value) {
  PutBigEndian16(destination, value);
  return destination + 2;
}

}  // namespace

void PutBigEndian32(BYTE* destination, DWORD value) {
  destination[0] = static_cast<BYTE>(value >> 24);
  destination[1] = static_cast<BYTE>(value >> 16);
  destination[2] = static_cast<BYTE>(value >> 8);
  destination[3] = static_cast<BYTE>(value);
}

void PutBigEndian16(BYTE* destination, WORD value) {
  destination[0] = static_cast<BYTE>(value >> 8);
  destination[1] = static_cast<BYTE>(value);
}

void WriteWavHeader(BYTE* header, LONG pcmBytes) {
  const LONG samples = pcmBytes / 2;
  const LONG blocks = (samples + GSM_BLOCK_SAMPLES - 1) / GSM_BLOCK_SAMPLES;
  const LONG dataSize = blocks * GSM_BLOCK_SIZE;
  // RIFF counts the pad byte of odd data, though none is ever written.
  const LONG riffSize = (dataSize + 1) / 2 * 2 + 52;

  BYTE* p = header;
  p = PutChunkId(p, "RIFF");
  p = Put32(p, static_cast<DWORD>(riffSize));
  p = PutChunkId(p, "WAVE");
  p = PutChunkId(p, "fmt ");
  p = Put32(p, 20);
  p = Put16(p, WAVE_FORMAT_GSM610);
  p = Put16(p, 1);
  p = Put32(p, GSM_SAMPLE_RATE);
  p = Put32(p, GSM_AVERAGE_BYTES_PER_SECOND);
  p = Put16(p, GSM_BLOCK_SIZE);
  p = Put16(p, 0);  // bits per sample: not meaningful for GSM
  p = Put16(p, 2);  // extra format bytes: the samples per block below
  p = Put16(p, GSM_BLOCK_SAMPLES);
  p = PutChunkId(p, "fact");
  p = Put32(p, 4);
  p = Put32(p, static_cast<DWORD>(blocks * GSM_BLOCK_SAMPLES));
  p = PutChunkId(p, "data");
  Put32(p, static_cast<DWORD>(dataSize));
}
