#include "platform/gui/window_table.h"

#include <map>
#include <memory>

#include "win/text.h"

namespace murmel::gui {

namespace {

constexpr const char* kHandleProperty = "murmel_hwnd";

std::u16string Folded(const WCHAR* name) {
  std::u16string folded;
  for (; *name != 0; ++name) folded.push_back(towlower(*name));
  return folded;
}

std::map<std::u16string, std::unique_ptr<WindowClass>>& Classes() {
  static std::map<std::u16string, std::unique_ptr<WindowClass>> classes;
  return classes;
}

// Ordered by creation, so that children are listed in the order they were made.
std::vector<std::unique_ptr<WindowRecord>>& Windows() {
  static std::vector<std::unique_ptr<WindowRecord>> windows;
  return windows;
}

}  // namespace

const WindowClass* FindClass(const WCHAR* name) {
  if (name == nullptr) return nullptr;
  auto it = Classes().find(Folded(name));
  return it == Classes().end() ? nullptr : it->second.get();
}

bool AddClass(WindowClass window_class) {
  std::u16string key = Folded(window_class.name.c_str());
  if (Classes().count(key) != 0) return false;
  Classes().emplace(std::move(key), std::make_unique<WindowClass>(std::move(window_class)));
  return true;
}

bool RemoveClass(const WCHAR* name) { return Classes().erase(Folded(name)) != 0; }

WindowRecord* FindWindow(HWND window) {
  if (window == nullptr) return nullptr;
  for (auto& record : Windows()) {
    if (record->handle == window) return record.get();
  }
  return nullptr;
}

WindowRecord& AddWindow(HWND window) {
  auto record = std::make_unique<WindowRecord>();
  record->handle = window;
  Windows().push_back(std::move(record));
  return *Windows().back();
}

void RemoveWindow(HWND window) {
  auto& windows = Windows();
  for (auto it = windows.begin(); it != windows.end(); ++it) {
    if ((*it)->handle == window) {
      windows.erase(it);
      return;
    }
  }
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  for (auto& record : Windows()) {
    if (record->parent == parent && (record->style & WS_CHILD) != 0)
      children.push_back(record->handle);
  }
  return children;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> tops;
  for (auto& record : Windows()) {
    if ((record->style & WS_CHILD) == 0) tops.push_back(record->handle);
  }
  return tops;
}

void BindWidget(WindowRecord& record, QWidget* widget) {
  record.widget = widget;
  widget->setProperty(kHandleProperty,
                      QVariant::fromValue(reinterpret_cast<quintptr>(record.handle)));
}

HWND WindowOfWidget(const QWidget* widget) {
  for (; widget != nullptr; widget = widget->parentWidget()) {
    const QVariant value = widget->property(kHandleProperty);
    if (value.isValid()) return reinterpret_cast<HWND>(value.value<quintptr>());
  }
  return nullptr;
}

}  // namespace murmel::gui
