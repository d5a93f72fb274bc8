#include "win/codepage.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/core/code_page_conversion.h"
#include "platform/core/locale_table.h"
#include "win/error.h"
#include "win/text.h"

namespace {

// CP_ACP and CP_THREAD_ACP name the ANSI code page; 0 when the number is not supported.
UINT ResolveCodePage(UINT code_page) {
  if (code_page == CP_ACP || code_page == CP_THREAD_ACP) code_page = GetACP();
  return murmel::core::IsSupportedCodePage(code_page) ? code_page : 0;
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

// Hands a converted result to the caller: the size query, a full copy, or as much as fits
// and the platform's insufficient-buffer failure.
template <typename Unit>
int Deliver(UINT code_page, const std::basic_string<Unit>& converted, Unit* dest, int capacity) {
  if (converted.size() > static_cast<std::size_t>(INT_MAX)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  const auto size = static_cast<int>(converted.size());
  if (capacity == 0) return size;
  if (size <= capacity) {
    std::copy(converted.begin(), converted.end(), dest);
    return size;
  }
  std::size_t fits = static_cast<std::size_t>(capacity);
  if constexpr (sizeof(Unit) == 1) {
    fits = murmel::core::WholeCharactersWithin(code_page, converted, fits);
  } else if (fits > 0 && converted[fits - 1] >= 0xD800 && converted[fits - 1] <= 0xDBFF) {
    --fits;  // never leave half a surrogate pair
  }
  std::copy_n(converted.begin(), fits, dest);
  return Fail(ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace

UINT GetACP() { return murmel::core::CurrentLocaleDefaults().ansiCodePage; }

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar) {
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && lpMultiByteStr == nullptr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const UINT code_page = ResolveCodePage(CodePage);
  if (code_page == 0) return Fail(ERROR_INVALID_PARAMETER);
  if (dwFlags != 0) return Fail(ERROR_INVALID_FLAGS);
  if (code_page == CP_UTF8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }

  const std::size_t units =
      cchWideChar == -1 ? wcslen(lpWideCharStr) + 1 : static_cast<std::size_t>(cchWideChar);
  const char replacement = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
  const auto encoded =
      murmel::core::EncodeUtf16(code_page, std::u16string_view(lpWideCharStr, units), replacement);
  if (!encoded) return Fail(ERROR_INVALID_PARAMETER);
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = encoded->usedDefault ? TRUE : FALSE;
  return Deliver(code_page, encoded->bytes, lpMultiByteStr, cbMultiByte);
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && lpWideCharStr == nullptr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const UINT code_page = ResolveCodePage(CodePage);
  if (code_page == 0) return Fail(ERROR_INVALID_PARAMETER);
  if (dwFlags != 0) return Fail(ERROR_INVALID_FLAGS);

  const std::size_t bytes =
      cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<std::size_t>(cbMultiByte);
  const auto decoded =
      murmel::core::DecodeToUtf16(code_page, std::string_view(lpMultiByteStr, bytes));
  if (!decoded) return Fail(ERROR_INVALID_PARAMETER);
  return Deliver(code_page, *decoded, lpWideCharStr, cchWideChar);
}
