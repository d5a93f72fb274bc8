// Every bitmap of the client with its size in both sets, as the window layout needs them.
#pragma once

#include <windows.h>

#include <vector>

#include "resources/resource_ids.h"

namespace resources_test {

// Resource ids travel in the pointer of a resource name.
inline LPCWSTR ResourceName(int id) { return MAKEINTRESOURCEW(id); }

struct Size {
  int width;
  int height;
};

struct BitmapCase {
  int id;
  Size normal;
  Size low_color;  // of id + IDB_LOW_COLOR_OFFSET; width 0 where the set has no twin
};

inline constexpr Size kRound{43, 43};
inline constexpr Size kSmall{25, 25};

inline const std::vector<BitmapCase> kBitmaps = {
    {IDB_BACKGROUND_TILE, {23, 23}, {0, 0}},  {IDB_LOGO, {73, 25}, {73, 25}},
    {IDB_BUTTON_PANEL, {227, 75}, {226, 74}}, {IDB_RECORD_NORMAL, kRound, kRound},
    {IDB_RECORD_PRESSED, kRound, kRound},     {IDB_RECORD_DISABLED, kRound, kRound},
    {IDB_STOP_NORMAL, kRound, kRound},        {IDB_STOP_PRESSED, kRound, kRound},
    {IDB_PLAY_NORMAL, kRound, kRound},        {IDB_PLAY_PRESSED, kRound, kRound},
    {IDB_PLAY_DISABLED, kRound, kRound},      {IDB_SEND_NORMAL, kRound, kRound},
    {IDB_SEND_PRESSED, kRound, kRound},       {IDB_SEND_DISABLED, kRound, kRound},
    {IDB_OPTION_NORMAL, kSmall, kSmall},      {IDB_OPTION_PRESSED, kSmall, kSmall},
    {IDB_HELP_NORMAL, kSmall, kSmall},        {IDB_HELP_PRESSED, kSmall, kSmall},
    {IDB_FIELD_LABELS, {56, 33}, {55, 32}},
};

}  // namespace resources_test
