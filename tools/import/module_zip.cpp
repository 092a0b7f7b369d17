#include "tools/import/module_zip.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vellum::import {
namespace {

constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint32_t kDirectoryEntry = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kDirectoryEntrySize = 46;
constexpr std::size_t kLocalHeaderSize = 30;

std::uint32_t Read16(std::string_view data, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1])) << 8;
}

std::uint32_t Read32(std::string_view data, std::size_t at) {
  return Read16(data, at) | Read16(data, at + 2) << 16;
}

// The end-of-directory record: the last one whose comment reaches the end.
std::optional<std::size_t> FindEndRecord(std::string_view zip) {
  if (zip.size() < kEndRecordSize) return std::nullopt;
  const std::size_t lowest =
      zip.size() >= kEndRecordSize + 0xFFFF ? zip.size() - kEndRecordSize - 0xFFFF : 0;
  for (std::size_t at = zip.size() - kEndRecordSize + 1; at-- > lowest;) {
    if (Read32(zip, at) == kEndOfDirectory &&
        at + kEndRecordSize + Read16(zip, at + 20) == zip.size())
      return at;
  }
  return std::nullopt;
}

// Paths are UTF-8 text to us, on both systems.
std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::filesystem::path PathFrom(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace

std::optional<std::vector<ZipMember>> ReadZipDirectory(std::string_view zip, std::string& reason,
                                                       const ZipLimits& limits) {
  const std::optional<std::size_t> end = FindEndRecord(zip);
  if (!end) {
    reason = "not a zip file (no directory at its end)";
    return std::nullopt;
  }
  const std::uint32_t disk = Read16(zip, *end + 4);
  const std::uint32_t directory_disk = Read16(zip, *end + 6);
  const std::uint32_t count = Read16(zip, *end + 10);
  const std::uint64_t directory_size = Read32(zip, *end + 12);
  const std::uint64_t directory_at = Read32(zip, *end + 16);
  if (disk != 0 || directory_disk != 0 || Read16(zip, *end + 8) != count) {
    reason = "a zip spread over several files";
    return std::nullopt;
  }
  if (count == 0xFFFF || directory_size == 0xFFFFFFFF || directory_at == 0xFFFFFFFF) {
    reason = "a ZIP64 file, larger than any module";
    return std::nullopt;
  }
  if (count > limits.max_members) {
    reason = "more files than any module has";
    return std::nullopt;
  }
  if (directory_at > *end || directory_size > *end - directory_at) {
    reason = "damaged (its directory lies outside the file)";
    return std::nullopt;
  }
  std::vector<ZipMember> members;
  std::uint64_t total = 0;
  std::size_t at = static_cast<std::size_t>(directory_at);
  const std::size_t stop = static_cast<std::size_t>(directory_at + directory_size);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (stop - at < kDirectoryEntrySize || Read32(zip, at) != kDirectoryEntry) {
      reason = "damaged (its directory is cut short)";
      return std::nullopt;
    }
    const std::uint32_t flags = Read16(zip, at + 8);
    ZipMember member;
    member.method = static_cast<std::uint16_t>(Read16(zip, at + 10));
    member.crc = Read32(zip, at + 16);
    member.compressed = Read32(zip, at + 20);
    member.size = Read32(zip, at + 24);
    const std::size_t name_size = Read16(zip, at + 28);
    const std::size_t rest = name_size + Read16(zip, at + 30) + Read16(zip, at + 32);
    member.local_offset = Read32(zip, at + 42);
    if (stop - at - kDirectoryEntrySize < rest) {
      reason = "damaged (its directory is cut short)";
      return std::nullopt;
    }
    member.name = std::string(zip.substr(at + kDirectoryEntrySize, name_size));
    at += kDirectoryEntrySize + rest;
    if ((flags & 1) != 0) {
      reason = "encrypted (" + member.name + ")";
      return std::nullopt;
    }
    if (member.method != 0 && member.method != 8) {
      reason = "packed in a way this reader does not know (" + member.name + ")";
      return std::nullopt;
    }
    if (member.size > limits.max_member_size || (total += member.size) > limits.max_total_size) {
      reason = "larger than any module";
      return std::nullopt;
    }
    members.push_back(std::move(member));
  }
  return members;
}

bool IsModulePath(std::string_view name) {
  return (name.rfind("mods.d/", 0) == 0 || name.rfind("modules/", 0) == 0) &&
         IsPlainRelativePath(name);
}

bool IsPlainRelativePath(std::string_view name) {
  if (name.empty() || name.front() == '/') return false;
  std::size_t start = 0;
  while (start < name.size()) {
    std::size_t slash = name.find('/', start);
    if (slash == std::string_view::npos) slash = name.size();
    const std::string_view part = name.substr(start, slash - start);
    // An empty part is only the one after a folder's closing "/".
    if ((part.empty() && slash != name.size()) || part == "." || part == "..") return false;
    start = slash + 1;
  }
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 32 || byte == 127 || c == '\\' || c == ':';
  });
}

std::optional<std::string> InflateMember(std::string_view zip, const ZipMember& member,
                                         const std::function<bool(std::string_view)>& sink) {
  const std::uint64_t at = member.local_offset;
  if (at > zip.size() || zip.size() - at < kLocalHeaderSize ||
      Read32(zip, static_cast<std::size_t>(at)) != kLocalHeader)
    return "damaged (" + member.name + " is not where its directory says)";
  const std::uint64_t data_at = at + kLocalHeaderSize +
                                Read16(zip, static_cast<std::size_t>(at + 26)) +
                                Read16(zip, static_cast<std::size_t>(at + 28));
  if (data_at > zip.size() || zip.size() - data_at < member.compressed)
    return "damaged (" + member.name + " is cut short)";
  const std::string_view packed =
      zip.substr(static_cast<std::size_t>(data_at), static_cast<std::size_t>(member.compressed));
  std::uint64_t written = 0;
  uLong crc = crc32(0, nullptr, 0);
  const auto take = [&](std::string_view piece) {
    written += piece.size();
    if (written > member.size) return false;
    crc = crc32(crc, reinterpret_cast<const Bytef*>(piece.data()), static_cast<uInt>(piece.size()));
    return sink(piece);
  };
  const std::string damaged = "damaged (" + member.name + " does not unpack whole)";
  if (member.method == 0) {
    for (std::size_t i = 0; i < packed.size(); i += 65536) {
      if (!take(packed.substr(i, 65536))) return written > member.size ? damaged : "not written";
    }
  } else {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return "out of memory";
    std::array<char, 65536> out{};
    std::size_t fed = 0;
    int status = Z_OK;
    std::optional<std::string> failed;
    while (status != Z_STREAM_END && !failed) {
      if (stream.avail_in == 0 && fed < packed.size()) {
        const std::size_t piece = std::min<std::size_t>(packed.size() - fed, 1 << 20);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data() + fed));
        stream.avail_in = static_cast<uInt>(piece);
        fed += piece;
      }
      stream.next_out = reinterpret_cast<Bytef*>(out.data());
      stream.avail_out = static_cast<uInt>(out.size());
      status = inflate(&stream, Z_NO_FLUSH);
      const std::size_t got = out.size() - stream.avail_out;
      if (status != Z_OK && status != Z_STREAM_END) {
        failed = damaged;
      } else if (got == 0 && stream.avail_in == 0 && fed == packed.size() &&
                 status != Z_STREAM_END) {
        failed = damaged;  // the data ends before the stream does
      } else if (got > 0 && !take(std::string_view(out.data(), got))) {
        failed = written > member.size ? damaged : "not written";
      }
    }
    inflateEnd(&stream);
    if (failed) return failed;
  }
  if (written != member.size || crc != member.crc) return damaged;
  return std::nullopt;
}

bool IsSafeDataPath(std::string_view data_path) {
  std::string_view path = data_path;
  if (path.rfind("./", 0) == 0) path.remove_prefix(2);
  return path.rfind("modules/", 0) == 0 && IsModulePath(path);
}

std::optional<std::string> UnpackModuleZip(const std::string& zip_path, const std::string& folder) {
  namespace fs = std::filesystem;
  std::ifstream in(PathFrom(zip_path), std::ios::binary);
  if (!in) return "cannot be opened";
  const std::string zip{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return "cannot be read";
  std::string reason;
  const std::optional<std::vector<ZipMember>> members = ReadZipDirectory(zip, reason);
  if (!members) return reason;
  std::vector<fs::path> confs;
  for (const ZipMember& member : *members) {
    // A path that could lead out of the folder is no module's.
    if (!IsPlainRelativePath(member.name))
      return "not a SWORD module (it holds a file outside its folder: " + member.name + ")";
    // Anything beside the module (a read-me) is left out.
    if (!IsModulePath(member.name) || member.name.back() == '/') continue;
    const fs::path target = PathFrom(folder) / PathFrom(member.name);
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (error) return "cannot write " + Utf8Of(target.parent_path()) + ": " + error.message();
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot write " + Utf8Of(target);
    if (std::optional<std::string> failed = InflateMember(zip, member, [&](std::string_view piece) {
          out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
          return static_cast<bool>(out);
        }))
      return *failed == "not written" ? "cannot write " + Utf8Of(target) + " (is the disk full?)"
                                      : *failed;
    out.close();
    if (!out) return "cannot write " + Utf8Of(target) + " (is the disk full?)";
    const std::string& name = member.name;
    if (name.rfind("mods.d/", 0) == 0 && name.find('/', 7) == std::string::npos &&
        name.size() > 12 && name.compare(name.size() - 5, 5, ".conf") == 0)
      confs.push_back(target);
  }
  if (confs.empty()) return "not a SWORD module (no mods.d/*.conf in it)";
  // The library reads a module where its conf says: never outside the folder.
  for (const fs::path& conf : confs) {
    std::ifstream text(conf, std::ios::binary);
    std::string line;
    while (std::getline(text, line)) {
      if (line.rfind("DataPath", 0) != 0) continue;
      const std::size_t equals = line.find('=');
      if (equals == std::string::npos) continue;
      std::string value = line.substr(equals + 1);
      while (!value.empty() && (value.back() == '\r' || value.back() == ' '))
        value.pop_back();
      value.erase(0, value.find_first_not_of(' '));
      if (!IsSafeDataPath(value))
        return "not a SWORD module this reader takes (" + Utf8Of(conf.filename()) +
               " keeps its data outside the module: " + value + ")";
    }
  }
  return std::nullopt;
}

}  // namespace vellum::import
