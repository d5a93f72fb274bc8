// Fixed sizes of the voice path: 8 kHz mono 16-bit PCM, GSM 06.10 in WAV49 blocks.
#pragma once

// One capture buffer: 2560 samples, 0.32 s of speech.
constexpr int PCM_BUFFER_SIZE = 5120;
// One WAV49 block carries two 160-sample GSM frames.
constexpr int GSM_FRAME_SAMPLES = 160;
constexpr int GSM_BLOCK_SAMPLES = 2 * GSM_FRAME_SAMPLES;
constexpr int GSM_BLOCK_SIZE = 65;
// Offsets of the second frame of a block: the encoder writes from byte 32 (sharing the
// half byte the first frame left), the decoder reads from byte 33.
constexpr int GSM_SECOND_FRAME_ENCODE_OFFSET = 32;
constexpr int GSM_SECOND_FRAME_DECODE_OFFSET = 33;
constexpr int GSM_BLOCKS_PER_CHUNK = PCM_BUFFER_SIZE / 2 / GSM_BLOCK_SAMPLES;
// One PCM buffer compressed.
constexpr int VOICE_CHUNK_SIZE = GSM_BLOCKS_PER_CHUNK * GSM_BLOCK_SIZE;
constexpr int WAV_HEADER_SIZE = 60;

static_assert(GSM_BLOCKS_PER_CHUNK == 8);
static_assert(VOICE_CHUNK_SIZE == 520);
