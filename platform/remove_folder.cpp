// Removing a folder and what it holds, on both systems (std::filesystem).
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "platform/platform.h"

namespace vellum {
namespace {

// Paths are UTF-8 to us on both systems; std::filesystem takes them so only
// from a UTF-8 string type.
std::filesystem::path PathOf(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace

bool SystemFileSystem::RemoveFolder(const std::string& folder) const {
  namespace fs = std::filesystem;
  fs::path path = PathOf(folder);
  if (!path.has_filename()) path = path.parent_path();  // "x.htm/" names x.htm
  std::error_code error;
  if (!fs::is_directory(path, error)) return !fs::exists(path, error) && !error;
  // Aside first, under a name no library has: what a failure halfway leaves
  // is not found as a library, and never half of one.
  std::random_device random;
  fs::path aside = path;
  aside += ".removed-" + std::to_string(random());
  fs::rename(path, aside, error);
  if (error) return false;
  fs::remove_all(aside, error);
  return true;  // gone from where it was, whatever remains aside
}

}  // namespace vellum
