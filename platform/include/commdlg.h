// Placeholder: the file-open dialog.
#pragma once

#include <windows.h>
