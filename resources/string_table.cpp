// The client's string table, ids 1 to 17. The help address in the connection failure
// message comes from the build's home-page URL, so a site change needs no text edit.
#include "resources/string_table.h"

#include <windows.h>

#include <array>

#include "resources/resource_ids.h"

#ifndef MURMELPOST_HOME_URL
#error "MURMELPOST_HOME_URL must be defined by the build"
#endif

namespace {

template <std::size_t N>
constexpr MURMEL_RESOURCE StringEntry(int id, const WCHAR (&text)[N]) {
  return MURMEL_RESOURCE{RT_STRING, static_cast<WORD>(id), text,
                         static_cast<DWORD>(N * sizeof(WCHAR))};
}

// Literals keep static storage, so the table may point into them for the program's life.
constexpr std::array kStrings{
    StringEntry(IDS_ADDRESS_COUNT_ONE, u"(%d address)"),
    StringEntry(IDS_ADDRESS_COUNT_MANY, u"(%d addresses)"),
    StringEntry(IDS_FILL_ALL_FIELDS, u"Please fill-in all fields."),
    StringEntry(IDS_EMAILS_DIFFER, u"Please ensure both e-mail addresses are the same."),
    StringEntry(IDS_INVALID_EMAIL,
                u"Please enter valid e-mail address.\nFor example, jane.doe@example.com"),
    StringEntry(IDS_APP_TITLE, u"Murmelpost Voice Email"),
    StringEntry(IDS_CONNECT_FAILED,
                u"Cannot connect to Murmelpost server to send your message.\n"
                u"Please try again later or check your network connection\n"
                u"or contact your system administrator regarding firewall issues.\n\n"
                u"For more help, go to " MURMELPOST_HOME_URL u"/help/"),
    StringEntry(IDS_CLEAR_ATTACHMENT_QUESTION, u"Do you want to clear below attached file?\n%s"),
    StringEntry(IDS_CLEAR_ATTACHMENT_CAPTION, u"Clear Attached File"),
    StringEntry(IDS_CUSTOM_PICTURE_VERIFY,
                u"Murmelpost will send an e-mail to you shortly asking that you verify this "
                u"custom image change.\nYour Murmelpost messages will not include your new "
                u"custom image until you verify this change."),
    StringEntry(IDS_CUSTOM_PICTURE_TOO_BIG,
                u"Murmelpost do not allow bigger than 100K custom image file.\n"
                u"Please use smaller image file for custom image."),
    StringEntry(IDS_CLEAR_CUSTOM_PICTURE_QUESTION,
                u"Do you want to clear custom cartoon or graphic image and use random cartoon?"),
    StringEntry(IDS_CLEAR_CUSTOM_PICTURE_CAPTION, u"Clear Custom Image"),
    StringEntry(IDS_WINDOW_CLASS, u"CEVireoRec"),
    StringEntry(IDS_NO_BROWSER, u"Not installed Pocket Explore"),
    StringEntry(IDS_APP_NAME, u"Murmelpost"),
    StringEntry(IDS_NO_MESSAGE, u"No message exist"),
};

}  // namespace

void RegisterStringResources() { RegisterResourceTable(kStrings.data(), kStrings.size()); }
