// Writes dialog templates in the platform's binary layout, so that a program's dialogs read
// like a resource script and DialogBoxIndirectParamW reads what a resource compiler makes:
//   DialogTemplateBuilder about(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION, 0,
//                               {0, 0, 147, 87}, u"About", 8, u"MS Sans Serif");
//   about.Item(DLG_CLASS_BUTTON, u"OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, {112, 72, 30, 14});
#pragma once

#include <cstddef>
#include <vector>

#include "win/gui_dialog.h"
#include "win/gui_gdi.h"
#include "win/text.h"
#include "win/types.h"

namespace murmel {

// Position and size in dialog units.
struct DialogUnits {
  short x;
  short y;
  short cx;
  short cy;
};

class DialogTemplateBuilder {
 public:
  // DS_SETFONT is added: every template carries its font.
  DialogTemplateBuilder(DWORD style, DWORD ex_style, DialogUnits place, const WCHAR* caption,
                        WORD point_size, const WCHAR* face) {
    PutDword(style | DS_SETFONT);
    PutDword(ex_style);
    PutWord(0);  // item count, counted as items are added
    PutRect(place);
    PutWord(0);  // no menu
    PutWord(0);  // the platform's dialog class
    PutText(caption);
    PutWord(point_size);
    PutText(face);
  }

  // An item whose class is one of the DLG_CLASS_ ordinals. WS_CHILD | WS_VISIBLE are added,
  // as a resource compiler does.
  DialogTemplateBuilder& Item(WORD class_ordinal, const WCHAR* text, WORD id, DWORD style,
                              DialogUnits place, DWORD ex_style = 0) {
    StartItem(style, ex_style, place, id);
    PutOrdinal(class_ordinal);
    PutText(text);
    PutWord(0);  // no creation data
    return *this;
  }

  // An item of a named class (e.g. "msctls_progress32").
  DialogTemplateBuilder& Item(const WCHAR* class_name, const WCHAR* text, WORD id, DWORD style,
                              DialogUnits place, DWORD ex_style = 0) {
    StartItem(style, ex_style, place, id);
    PutText(class_name);
    PutText(text);
    PutWord(0);
    return *this;
  }

  // An item whose text is a resource id, as a static icon names its icon.
  DialogTemplateBuilder& ResourceItem(WORD class_ordinal, WORD resource_id, WORD id, DWORD style,
                                      DialogUnits place, DWORD ex_style = 0) {
    StartItem(style, ex_style, place, id);
    PutOrdinal(class_ordinal);
    PutOrdinal(resource_id);
    PutWord(0);
    return *this;
  }

  LPCDLGTEMPLATEW get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(bytes_.data()); }
  const std::vector<BYTE>& bytes() const { return bytes_; }

  // The entry that registers the template as dialog resource `id`; the builder must
  // outlive the registration.
  MURMEL_RESOURCE Resource(WORD id) const {
    return MURMEL_RESOURCE{kDialogType, id, bytes_.data(), static_cast<DWORD>(bytes_.size())};
  }

  static constexpr WORD kDialogType = 5;

 private:
  static constexpr std::size_t kCountOffset = 8;

  void StartItem(DWORD style, DWORD ex_style, DialogUnits place, WORD id) {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    PutDword(style | WS_CHILD | WS_VISIBLE);
    PutDword(ex_style);
    PutRect(place);
    PutWord(id);
    const WORD count = static_cast<WORD>(bytes_[kCountOffset] | (bytes_[kCountOffset + 1] << 8));
    bytes_[kCountOffset] = static_cast<BYTE>((count + 1) & 0xFF);
    bytes_[kCountOffset + 1] = static_cast<BYTE>((count + 1) >> 8);
  }
  void PutWord(WORD value) {
    bytes_.push_back(static_cast<BYTE>(value & 0xFF));
    bytes_.push_back(static_cast<BYTE>(value >> 8));
  }
  void PutDword(DWORD value) {
    PutWord(static_cast<WORD>(value & 0xFFFF));
    PutWord(static_cast<WORD>(value >> 16));
  }
  void PutRect(DialogUnits place) {
    for (short value : {place.x, place.y, place.cx, place.cy}) PutWord(static_cast<WORD>(value));
  }
  void PutOrdinal(WORD ordinal) {
    PutWord(0xFFFF);
    PutWord(ordinal);
  }
  void PutText(const WCHAR* text) {
    for (const WCHAR* c = text; c != nullptr && *c != 0; ++c) PutWord(static_cast<WORD>(*c));
    PutWord(0);
  }

  std::vector<BYTE> bytes_;
};

}  // namespace murmel
