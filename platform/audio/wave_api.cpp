// waveIn* and waveOut*: argument checks and results as the platform gives them, over the
// open-device table and the backend that MURMELPOST_AUDIO picks.
#include <memory>

#include "mmsystem.h"
#include "platform/audio/backend_choice.h"
#include "platform/audio/wave_device.h"
#include "platform/audio/wave_format.h"
#include "platform/audio/wave_handles.h"
#include "win/message.h"

namespace {

using murmel::audio::Direction;
using murmel::audio::WaveDevice;

// Handles are numbers that the platform's API passes as opaque pointers.
template <typename Handle>
Handle AsHandle(UINT_PTR value) {
  return reinterpret_cast<Handle>(value);
}

UINT DeviceCount(Direction direction) {
  return murmel::audio::CurrentBackend()->DeviceCount(direction);
}

MMRESULT OpenDevice(Direction direction, UINT_PTR* handle_out, UINT device_id,
                    LPCWAVEFORMATEX format, DWORD_PTR callback, DWORD flags) {
  if (format == nullptr) return MMSYSERR_INVALPARAM;
  murmel::audio::NotifyTarget target;
  switch (flags & CALLBACK_TYPEMASK) {
    case CALLBACK_NULL:
      break;
    case CALLBACK_WINDOW:
      target = {CALLBACK_WINDOW, AsHandle<HWND>(callback)};
      if (target.window != nullptr && !IsWindow(target.window)) return MMSYSERR_INVALPARAM;
      break;
    default:
      return MMSYSERR_NOTSUPPORTED;  // events, functions and threads are not offered
  }
  std::shared_ptr<murmel::audio::WaveBackend> backend = murmel::audio::CurrentBackend();
  const UINT count = backend->DeviceCount(direction);
  if (device_id == WAVE_MAPPER) {
    if (count == 0) return MMSYSERR_NODRIVER;
  } else if (device_id >= count) {
    return MMSYSERR_BADDEVICEID;
  }
  MMRESULT result = murmel::audio::CheckPcmFormat(*format);
  if (result == MMSYSERR_NOERROR) result = backend->Supports(direction, *format);
  if (result != MMSYSERR_NOERROR || (flags & WAVE_FORMAT_QUERY) != 0) return result;
  if (handle_out == nullptr) return MMSYSERR_INVALPARAM;

  murmel::audio::WaveHandles& handles = murmel::audio::OpenWaveDevices();
  const UINT_PTR handle = handles.Reserve(direction);
  if (handle == 0) return MMSYSERR_ALLOCATED;
  auto device = std::make_shared<WaveDevice>(direction, *format, target, handle);
  std::unique_ptr<murmel::audio::WaveStream> stream;
  result = backend->OpenStream(direction, *device, stream);
  if (result != MMSYSERR_NOERROR) {
    handles.Release(handle);
    return result;
  }
  device->Attach(std::move(stream));
  handles.Install(handle, device);
  *handle_out = handle;
  return MMSYSERR_NOERROR;
}

std::shared_ptr<WaveDevice> Find(HWAVEIN handle) {
  return murmel::audio::OpenWaveDevices().Find(reinterpret_cast<UINT_PTR>(handle),
                                               Direction::kInput);
}

std::shared_ptr<WaveDevice> Find(HWAVEOUT handle) {
  return murmel::audio::OpenWaveDevices().Find(reinterpret_cast<UINT_PTR>(handle),
                                               Direction::kOutput);
}

// Every other call is one member of the open device, or an invalid handle.
template <typename Handle, typename Member, typename... Args>
MMRESULT OnDevice(Handle handle, Member member, Args... args) {
  std::shared_ptr<WaveDevice> device = Find(handle);
  return device ? ((*device).*member)(args...) : MMSYSERR_INVALHANDLE;
}

template <typename Handle>
MMRESULT CloseDevice(Handle handle) {
  std::shared_ptr<WaveDevice> device = Find(handle);
  if (!device) return MMSYSERR_INVALHANDLE;
  const MMRESULT result = device->Close();
  if (result == MMSYSERR_NOERROR) {
    murmel::audio::OpenWaveDevices().Release(reinterpret_cast<UINT_PTR>(handle));
  }
  return result;
}

}  // namespace

UINT waveInGetNumDevs() { return DeviceCount(Direction::kInput); }

MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR /*dwInstance*/, DWORD fdwOpen) {
  UINT_PTR handle = 0;
  const MMRESULT result = OpenDevice(Direction::kInput, phwi != nullptr ? &handle : nullptr,
                                     uDeviceID, pwfx, dwCallback, fdwOpen);
  if (result == MMSYSERR_NOERROR && handle != 0) *phwi = AsHandle<HWAVEIN>(handle);
  return result;
}

MMRESULT waveInClose(HWAVEIN hwi) { return CloseDevice(hwi); }

MMRESULT waveInPrepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
  return OnDevice(hwi, &WaveDevice::Prepare, pwh, cbwh);
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
  return OnDevice(hwi, &WaveDevice::Unprepare, pwh, cbwh);
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
  return OnDevice(hwi, &WaveDevice::Queue, pwh, cbwh);
}

MMRESULT waveInStart(HWAVEIN hwi) { return OnDevice(hwi, &WaveDevice::Start); }

MMRESULT waveInReset(HWAVEIN hwi) { return OnDevice(hwi, &WaveDevice::Reset); }

MMRESULT waveInGetPosition(HWAVEIN hwi, LPMMTIME pmmt, UINT cbmmt) {
  return OnDevice(hwi, &WaveDevice::Position, pmmt, cbmmt);
}

UINT waveOutGetNumDevs() { return DeviceCount(Direction::kOutput); }

MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR /*dwInstance*/, DWORD fdwOpen) {
  UINT_PTR handle = 0;
  const MMRESULT result = OpenDevice(Direction::kOutput, phwo != nullptr ? &handle : nullptr,
                                     uDeviceID, pwfx, dwCallback, fdwOpen);
  if (result == MMSYSERR_NOERROR && handle != 0) *phwo = AsHandle<HWAVEOUT>(handle);
  return result;
}

MMRESULT waveOutClose(HWAVEOUT hwo) { return CloseDevice(hwo); }

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
  return OnDevice(hwo, &WaveDevice::Prepare, pwh, cbwh);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
  return OnDevice(hwo, &WaveDevice::Unprepare, pwh, cbwh);
}

MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
  return OnDevice(hwo, &WaveDevice::Queue, pwh, cbwh);
}

MMRESULT waveOutReset(HWAVEOUT hwo) { return OnDevice(hwo, &WaveDevice::Reset); }

MMRESULT waveOutGetPosition(HWAVEOUT hwo, LPMMTIME pmmt, UINT cbmmt) {
  return OnDevice(hwo, &WaveDevice::Position, pmmt, cbmmt);
}
