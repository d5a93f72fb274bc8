#include "resources/dialogs.h"

#include <windows.h>

#include "resources/resource_ids.h"
#include "win/dialog_template_builder.h"

namespace {

using murmel::DialogTemplateBuilder;

// Items with no id of their own carry -1, as a resource compiler gives them.
constexpr WORD kNoId = 0xFFFF;
constexpr WORD kFontPoints = 8;
constexpr const WCHAR* kFontFace = u"MS Sans Serif";
constexpr DWORD kLabel = SS_LEFT | WS_GROUP;
constexpr DWORD kEdit = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
// Full-screen forms: an OK button in the caption, and the pen cannot drag them.
constexpr DWORD kFormStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION;
constexpr DWORD kFormExStyle = WS_EX_CAPTIONOKBTN | WS_EX_NODRAG;

WORD Id(int id) { return static_cast<WORD>(id); }

DialogTemplateBuilder AboutDialog() {
  DialogTemplateBuilder dialog(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0,
                               {0, 0, 147, 87}, u"About Murmelpost", kFontPoints, kFontFace);
  dialog.Item(DLG_CLASS_BUTTON, u"OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, {112, 72, 30, 14})
      .ResourceItem(DLG_CLASS_STATIC, Id(IDI_APP), kNoId, SS_ICON, {4, 4, 20, 20})
      .Item(DLG_CLASS_STATIC, u"Murmelpost", kNoId, kLabel, {30, 5, 37, 8})
      .Item(DLG_CLASS_STATIC, u"Voice e-mail, version " MURMELPOST_VERSION, kNoId, kLabel,
            {30, 29, 112, 8})
      .Item(DLG_CLASS_STATIC, u"" MURMELPOST_HOME_URL, kNoId, kLabel, {30, 59, 91, 8});
  return dialog;
}

DialogTemplateBuilder ProfileDialog() {
  DialogTemplateBuilder dialog(kFormStyle, kFormExStyle, {0, 0, 159, 118},
                               u"User Profile(Requires all)", kFontPoints, kFontFace);
  dialog.Item(DLG_CLASS_STATIC, u"1. Your e-mail address", kNoId, kLabel, {6, 2, 74, 8})
      .Item(DLG_CLASS_EDIT, u"", Id(IDC_PROFILE_EMAIL), kEdit, {45, 10, 108, 12})
      .Item(DLG_CLASS_STATIC, u"2. Re-enter e-mail to confirm", kNoId, kLabel, {6, 22, 96, 8})
      .Item(DLG_CLASS_EDIT, u"", Id(IDC_PROFILE_EMAIL_CONFIRM), kEdit, {45, 30, 108, 12})
      .Item(DLG_CLASS_STATIC, u"3. Your full name", kNoId, kLabel, {6, 43, 59, 8})
      .Item(DLG_CLASS_BUTTON, u"Mr.", Id(IDC_PROFILE_MR),
            BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, {90, 43, 25, 10})
      .Item(DLG_CLASS_BUTTON, u"Ms.", Id(IDC_PROFILE_MS), BS_AUTORADIOBUTTON, {118, 43, 25, 10})
      .Item(DLG_CLASS_EDIT, u"", Id(IDC_PROFILE_NAME), kEdit, {45, 53, 108, 12})
      .Item(DLG_CLASS_STATIC, u"4. City", kNoId, kLabel, {6, 67, 24, 8})
      .Item(DLG_CLASS_EDIT, u"", Id(IDC_PROFILE_CITY), kEdit, {45, 66, 108, 12})
      .Item(DLG_CLASS_STATIC, u"5. State", kNoId, kLabel, {6, 80, 29, 8})
      .Item(DLG_CLASS_EDIT, u"", Id(IDC_PROFILE_STATE), kEdit, {45, 79, 108, 12})
      .Item(DLG_CLASS_STATIC, u"6. Country", kNoId, kLabel, {6, 94, 36, 8})
      .Item(DLG_CLASS_COMBOBOX, u"", Id(IDC_PROFILE_COUNTRY),
            CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, {44, 92, 109, 102});
  return dialog;
}

DialogTemplateBuilder AddressBookDialog() {
  DialogTemplateBuilder dialog(kFormStyle, kFormExStyle, {0, 0, 159, 116}, u"Manage Address Book",
                               kFontPoints, kFontFace);
  dialog
      .Item(DLG_CLASS_STATIC, u"To delete, select and press 'Del'.", kNoId, kLabel, {0, 0, 108, 8})
      .Item(DLG_CLASS_LISTBOX, u"", Id(IDC_ADDRESS_LIST),
            LBS_SORT | LBS_NOTIFY | WS_BORDER | WS_VSCROLL | WS_TABSTOP, {35, 10, 117, 62})
      .Item(DLG_CLASS_STATIC, u"(0 address)", Id(IDC_ADDRESS_COUNT), kLabel, {39, 71, 75, 8})
      .Item(DLG_CLASS_BUTTON, u"&Del", Id(IDC_ADDRESS_DELETE), BS_PUSHBUTTON | WS_TABSTOP,
            {137, 68, 20, 12})
      .Item(DLG_CLASS_EDIT, u"", Id(IDC_ADDRESS_ENTRY), kEdit, {36, 95, 92, 12})
      .Item(DLG_CLASS_BUTTON, u"&Add", Id(IDC_ADDRESS_ADD), BS_PUSHBUTTON, {137, 95, 20, 12})
      .Item(DLG_CLASS_STATIC, u"To add, enter e-mail address and press 'Add'.", kNoId, kLabel,
            {0, 84, 149, 8});
  return dialog;
}

}  // namespace

void RegisterDialogResources() {
  // The platform keeps pointers to the bytes: they live as long as the program.
  static const DialogTemplateBuilder about = AboutDialog();
  static const DialogTemplateBuilder profile = ProfileDialog();
  static const DialogTemplateBuilder address_book = AddressBookDialog();
  static const MURMEL_RESOURCE entries[] = {
      about.Resource(Id(IDD_ABOUT)),
      profile.Resource(Id(IDD_USER_PROFILE)),
      address_book.Resource(Id(IDD_ADDRESS_BOOK)),
  };
  RegisterResourceTable(entries, sizeof entries / sizeof entries[0]);
}
