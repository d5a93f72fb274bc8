// Placeholder: filled in by the kernel work.
#pragma once
#include "win/types.h"
