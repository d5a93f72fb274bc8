#include "server/cartoons.h"

#include <random>

namespace murmel::server {

Picture RandomCartoon() {
  // Composer threads pick at once; each has its own engine.
  thread_local std::minstd_rand engine{std::random_device{}()};
  const std::span<const CartoonFile> files = CartoonFiles();
  std::uniform_int_distribution<std::size_t> pick(0, files.size() - 1);
  const CartoonFile& file = files[pick(engine)];
  return {"image/png", std::string(file.name),
          std::vector<std::uint8_t>(file.bytes.begin(), file.bytes.end())};
}

}  // namespace murmel::server
