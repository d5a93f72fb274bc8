// Whether a step worked and, when it did not, why: what the server's file, store, listener
// and option steps return. The error is written for the log or for the operator as it is.
#pragma once

#include <string>

namespace murmel::server {

struct Result {
  bool ok = true;
  std::string error;  // what failed, and on which path, option or address
};

}  // namespace murmel::server
