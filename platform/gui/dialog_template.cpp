#include "platform/gui/dialog_template.h"

#include <cstdint>
#include <cstring>

namespace murmel::gui {

namespace {

class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* start) : start_(start), at_(start) {}

  WORD Word() {
    WORD value = 0;
    std::memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }
  DWORD Dword() {
    const DWORD low = Word();
    return low | (static_cast<DWORD>(Word()) << 16);
  }
  short Short() { return static_cast<short>(Word()); }
  std::u16string Text() {
    std::u16string text;
    for (WORD c = Word(); c != 0; c = Word()) text.push_back(static_cast<char16_t>(c));
    return text;
  }
  NameOrOrdinal Name() {
    WORD first = 0;
    std::memcpy(&first, at_, sizeof first);
    if (first == 0xFFFF) {
      Word();
      return NameOrOrdinal{{}, Word(), true};
    }
    return NameOrOrdinal{Text(), 0, false};
  }
  void AlignToDword() {
    while ((at_ - start_) % 4 != 0) ++at_;
  }
  void Skip(std::size_t bytes) { at_ += bytes; }

 private:
  const BYTE* start_;
  const BYTE* at_;
};

}  // namespace

std::optional<DialogTemplate> ParseDialogTemplate(LPCDLGTEMPLATEW data) {
  if (data == nullptr) return std::nullopt;
  TemplateReader reader(reinterpret_cast<const BYTE*>(data));
  DialogTemplate result;
  result.style = reader.Dword();
  // An extended template starts with the version 1 and the signature 0xFFFF.
  if (result.style == 0xFFFF0001U) return std::nullopt;
  result.ex_style = reader.Dword();
  const WORD count = reader.Word();
  result.x = reader.Short();
  result.y = reader.Short();
  result.cx = reader.Short();
  result.cy = reader.Short();
  reader.Name();  // menu: dialogs on the handheld carry none
  reader.Name();  // class: always the platform's dialog class here
  result.caption = reader.Text();
  if ((result.style & DS_SETFONT) != 0) {
    result.point_size = reader.Word();
    result.face = reader.Text();
  }
  for (WORD i = 0; i < count; ++i) {
    reader.AlignToDword();
    DialogItem item;
    item.style = reader.Dword();
    item.ex_style = reader.Dword();
    item.x = reader.Short();
    item.y = reader.Short();
    item.cx = reader.Short();
    item.cy = reader.Short();
    item.id = reader.Word();
    item.window_class = reader.Name();
    item.title = reader.Name();
    reader.Skip(reader.Word());  // creation data, unused by the built-in classes
    result.items.push_back(std::move(item));
  }
  return result;
}

std::u16string ItemClassName(const NameOrOrdinal& window_class) {
  if (!window_class.is_ordinal) return window_class.text;
  switch (window_class.ordinal) {
    case DLG_CLASS_BUTTON:
      return u"button";
    case DLG_CLASS_EDIT:
      return u"EDIT";
    case DLG_CLASS_STATIC:
      return u"STATIC";
    case DLG_CLASS_LISTBOX:
      return u"LISTBOX";
    case DLG_CLASS_SCROLLBAR:
      return u"SCROLLBAR";
    case DLG_CLASS_COMBOBOX:
      return u"COMBOBOX";
    default:
      return {};
  }
}

}  // namespace murmel::gui
