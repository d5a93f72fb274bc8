// Placeholder: filled in by the dialog and menu work.
#pragma once

#include "win/types.h"
