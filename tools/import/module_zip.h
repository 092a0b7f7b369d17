// A SWORD module .zip as CrossWire publishes them (mods.d/NAME.conf and the
// module's data under modules/), read without installing it anywhere: its
// members are checked and unpacked into a folder of the import's own, where
// the SWORD library then finds it as it finds an installed module.
//
// A .zip comes from anywhere: every size and offset is checked against the
// file, names may only lead into mods.d/ or modules/ (no absolute path, no
// "..", no backslash or drive), a member must inflate to the size and CRC
// the directory gives, and the whole is held to limits, so that a damaged or
// hostile file is refused with a plain reason and writes nothing outside the
// folder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum::import {

struct ZipMember {
  std::string name;
  std::uint16_t method = 0;  // 0 stored, 8 deflated
  std::uint32_t crc = 0;
  std::uint64_t compressed = 0;
  std::uint64_t size = 0;
  std::uint64_t local_offset = 0;
};

struct ZipLimits {
  std::size_t max_members = 20'000;
  std::uint64_t max_member_size = std::uint64_t{1} << 30;
  std::uint64_t max_total_size = std::uint64_t{4} << 30;
};

// The members the zip's central directory lists; nullopt with reason set
// when it is not a zip this reader takes (damaged, encrypted, spanned, ZIP64,
// over the limits).
std::optional<std::vector<ZipMember>> ReadZipDirectory(std::string_view zip, std::string& reason,
                                                       const ZipLimits& limits = {});

// Whether a member's name is a plain relative path: no leading "/", no "."
// or ".." part, no backslash, drive colon or control character (a folder's
// name ends in "/").
bool IsPlainRelativePath(std::string_view name);
// ... and one under mods.d/ or modules/.
bool IsModulePath(std::string_view name);

// Inflates one member, handing its bytes to sink in pieces (sink returns
// false to stop: a write that failed); nullopt when whole and its CRC
// matches, else why not.
std::optional<std::string> InflateMember(std::string_view zip, const ZipMember& member,
                                         const std::function<bool(std::string_view)>& sink);

// A conf's DataPath must stay inside the folder the module is read from.
bool IsSafeDataPath(std::string_view data_path);

// Unpacks the module .zip at zip_path into folder (which exists and is
// empty): nullopt when done, else why not, in words for the reader.
std::optional<std::string> UnpackModuleZip(const std::string& zip_path, const std::string& folder);

}  // namespace vellum::import
