// A fresh application state for a test fixture: every field as at program start.
#pragma once

#include <memory>

#include "state/app_state.h"

// The record holds a lock and atomics, so it cannot be assigned: it is rebuilt in place.
// Free what the fields own first (the voice store, threads, devices): this only forgets.
inline void ResetAppState() {
  std::destroy_at(&appState);
  std::construct_at(&appState);
}
