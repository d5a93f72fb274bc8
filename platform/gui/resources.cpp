// The program's resources: a table registered once, read by the Load* calls.
#include <QImage>
#include <deque>
#include <mutex>

#include "platform/gui/gdi_objects.h"
#include "win/error.h"
#include "win/gui_dialog.h"
#include "win/gui_gdi.h"
#include "win/text.h"

namespace {

struct ResourceTable {
  std::mutex mutex;
  std::deque<MURMEL_RESOURCE> entries;  // a found resource stays where it is
};

ResourceTable& Table() {
  static ResourceTable table;
  return table;
}

// Resource names are ids made with MAKEINTRESOURCEW; named resources are not used.
bool IdOf(LPCWSTR name, WORD& id) {
  const auto value = reinterpret_cast<ULONG_PTR>(name);
  if (value > 0xFFFF) return false;
  id = static_cast<WORD>(value);
  return true;
}

const MURMEL_RESOURCE* FindEntry(WORD type, WORD id) {
  std::lock_guard lock(Table().mutex);
  for (const MURMEL_RESOURCE& entry : Table().entries) {
    if (entry.type == type && entry.id == id) return &entry;
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

QImage DecodeImage(const MURMEL_RESOURCE& entry) {
  return QImage::fromData(static_cast<const uchar*>(entry.data), static_cast<int>(entry.size));
}

}  // namespace

void RegisterResourceTable(const MURMEL_RESOURCE* entries, SIZE_T count) {
  std::lock_guard lock(Table().mutex);
  Table().entries.insert(Table().entries.end(), entries, entries + count);
}

int LoadStringW(HINSTANCE /*hInstance*/, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  if (lpBuffer == nullptr) return 0;
  const MURMEL_RESOURCE* entry = FindEntry(RT_STRING, static_cast<WORD>(uID));
  if (entry == nullptr) {
    if (cchBufferMax > 0) lpBuffer[0] = 0;
    return 0;
  }
  const auto* text = static_cast<const WCHAR*>(entry->data);
  // A zero-sized buffer asks for a read-only pointer to the string itself.
  if (cchBufferMax == 0) {
    *reinterpret_cast<const WCHAR**>(lpBuffer) = text;
    return static_cast<int>(wcslen(text));
  }
  lstrcpynW(lpBuffer, text, cchBufferMax);
  return lstrlenW(lpBuffer);
}

HBITMAP LoadBitmapW(HINSTANCE /*hInstance*/, LPCWSTR lpBitmapName) {
  WORD id = 0;
  if (!IdOf(lpBitmapName, id)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const MURMEL_RESOURCE* entry = FindEntry(RT_BITMAP, id);
  if (entry == nullptr) return nullptr;
  QImage image = DecodeImage(*entry);
  if (image.isNull()) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return murmel::gui::MakeBitmap(std::move(image));
}

HICON LoadIconW(HINSTANCE /*hInstance*/, LPCWSTR lpIconName) {
  WORD id = 0;
  if (!IdOf(lpIconName, id)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const MURMEL_RESOURCE* entry = FindEntry(RT_ICON, id);
  if (entry == nullptr) return nullptr;
  QImage image = DecodeImage(*entry);
  if (image.isNull()) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return murmel::gui::MakeIcon(std::move(image));
}

BOOL DestroyIcon(HICON hIcon) { return DeleteObject(hIcon); }

// A found resource is its table entry; loading and locking give its bytes, which live as
// long as the program.
HRSRC FindResourceW(HMODULE /*hModule*/, LPCWSTR lpName, LPCWSTR lpType) {
  WORD id = 0;
  WORD type = 0;
  if (!IdOf(lpType, type)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  if (!IdOf(lpName, id)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const MURMEL_RESOURCE* entry = FindEntry(type, id);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): handles are untyped to the caller
  return reinterpret_cast<HRSRC>(const_cast<MURMEL_RESOURCE*>(entry));
}

HGLOBAL LoadResource(HMODULE /*hModule*/, HRSRC hResInfo) {
  if (hResInfo == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): the bytes are only read
  return const_cast<void*>(reinterpret_cast<const MURMEL_RESOURCE*>(hResInfo)->data);
}

LPVOID LockResource(HGLOBAL hResData) { return hResData; }

DWORD SizeofResource(HMODULE /*hModule*/, HRSRC hResInfo) {
  if (hResInfo == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return reinterpret_cast<const MURMEL_RESOURCE*>(hResInfo)->size;
}
