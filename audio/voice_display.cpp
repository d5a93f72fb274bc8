// The elapsed-time label and the progress bar of the button panel, shared by recording and
// playback, and the panel buttons the engines enable.
#include "audio/voice_display.h"

#include <commctrl.h>

#include "resources/resource_ids.h"
#include "state/app_state.h"
#include "state/voice_units.h"

HWND PanelControl(HWND window, int id) {
  if (window == nullptr) return nullptr;
  HWND panel = GetDlgItem(window, IDC_BUTTON_PANEL);
  return panel == nullptr ? nullptr : GetDlgItem(panel, id);
}

void EnablePanelButton(HWND window, int id, BOOL enable) {
  if (HWND button = PanelControl(window, id)) EnableWindow(button, enable);
}

void SetVoiceProgressRange(HWND window, int upper) {
  if (HWND progress = PanelControl(window, IDC_PROGRESS)) {
    SendMessageW(progress, PBM_SETRANGE, 0, MAKELONG(0, upper));
  }
}

void ClearVoiceTime(HWND window) {
  if (HWND progress = PanelControl(window, IDC_PROGRESS)) {
    SendMessageW(progress, PBM_SETPOS, 0, 0);
  }
  if (HWND label = PanelControl(window, IDC_TIME_DISPLAY)) SetWindowTextW(label, u"0.0s");
}

void ShowVoiceTime(HWND window, DWORD position) {
  const double bytesPerSecond =
      appState.waveFormat != nullptr ? appState.waveFormat->nAvgBytesPerSec : 16000.0;
  if (HWND label = PanelControl(window, IDC_TIME_DISPLAY)) {
    WCHAR text[16];
    wsprintfW(text, u"%5.1lfs", static_cast<double>(position) / bytesPerSecond);
    SetWindowTextW(label, text);
  }
  if (HWND progress = PanelControl(window, IDC_PROGRESS)) {
    SendMessageW(progress, PBM_SETPOS, position / PCM_BUFFER_SIZE, 0);
  }
}
