// Placeholder: filled in by the system work.
#pragma once
#include "win/types.h"
