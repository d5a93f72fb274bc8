// The countries offered by the profile dialog, in the table's own order (not sorted).
#pragma once

#include <windows.h>

// 227 names followed by the "$" entry that ends the list.
extern const WCHAR* const countryNames[];

// The selection when the profile holds no country, or one that no entry begins with.
inline constexpr const WCHAR* DEFAULT_COUNTRY = u"United States";

// Appends every name before the "$" entry to the combo box, in table order.
void FillCountryList(HWND comboBox);
