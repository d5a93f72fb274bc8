// One private PostgreSQL cluster for a whole test program, started on first use by
// tests/support/private-postgres and stopped at exit; each caller gets its own schema.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "support/temp_dir.h"

namespace murmel::test {

class PrivatePostgres {
 public:
  // nullptr when PostgreSQL cannot start here; why() says what happened.
  static PrivatePostgres* Shared() {
    static const std::unique_ptr<PrivatePostgres> cluster(new PrivatePostgres);
    return cluster->uri_.empty() ? nullptr : cluster.get();
  }
  static std::string why() { return "PostgreSQL cannot start here (see private-postgres)"; }

  ~PrivatePostgres() {
    if (!uri_.empty()) Script("stop");
  }

  // A URI whose tables live in a schema of their own, made at once.
  std::string FreshSchema() {
    const std::string schema = "t" + std::to_string(++schemas_);
    const std::string create =
        "psql -q -X '" + uri_ + "' -c 'CREATE SCHEMA " + schema + "' >/dev/null 2>&1";
    if (std::system(create.c_str()) != 0) return {};
    return uri_ + "&options=-csearch_path%3D" + schema;
  }

 private:
  PrivatePostgres() {
    const std::string out = Script("start");
    if (out.starts_with("postgresql://")) uri_ = out.substr(0, out.find('\n'));
  }
  std::string Script(const char* action) const {
    const std::string command = std::string(MURMELPOST_SOURCE_DIR) +
                                "/tests/support/private-postgres " + action + " " + dir_.path() +
                                "/cluster";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[512];
      while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
      pclose(pipe);
    }
    return out;
  }

  TempDir dir_;
  std::string uri_;
  int schemas_ = 0;
};

}  // namespace murmel::test
