// Placeholder: starting programs and opening URLs.
#pragma once

#include <windows.h>
