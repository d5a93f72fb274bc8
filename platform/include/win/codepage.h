// Placeholder: filled in by the codepage work.
#pragma once
#include "win/types.h"
