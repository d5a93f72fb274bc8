// Placeholder: filled in by the text work.
#pragma once
#include "win/types.h"
