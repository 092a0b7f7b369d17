// vellum-icons: writes the program's icon files from the picture code, at
// build time, for the packages: vellum.svg, vellum-48.png, vellum-128.png
// and vellum.ico (16 to 256 pixels). Needs nothing but the C++ library, so
// that a cross build can make it for the machine it runs on.
//
// Usage: vellum-icons FOLDER
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/pictures.h"

namespace {

using Bytes = std::string;

void PutBigEndian32(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutLittleEndian(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t Crc32(std::string_view data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : data) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

std::uint32_t Adler32(std::string_view data) {
  std::uint32_t a = 1, b = 0;
  for (const char c : data) {
    a = (a + static_cast<unsigned char>(c)) % 65521u;
    b = (b + a) % 65521u;
  }
  return (b << 16) | a;
}

// A zlib stream of stored (uncompressed) blocks: icons are small, and a
// stored stream is one that every reader takes.
Bytes ZlibStored(std::string_view data) {
  Bytes out = "\x78\x01";
  std::size_t at = 0;
  do {
    const std::size_t length = std::min<std::size_t>(data.size() - at, 65535);
    const bool last = at + length == data.size();
    out.push_back(last ? '\x01' : '\x00');
    PutLittleEndian(out, static_cast<std::uint32_t>(length), 2);
    PutLittleEndian(out, static_cast<std::uint32_t>(~length & 0xFFFF), 2);
    out.append(data.substr(at, length));
    at += length;
  } while (at < data.size());
  PutBigEndian32(out, Adler32(data));
  return out;
}

void PutChunk(Bytes& png, std::string_view type, std::string_view data) {
  PutBigEndian32(png, static_cast<std::uint32_t>(data.size()));
  const Bytes typed = std::string(type) + std::string(data);
  png += typed;
  PutBigEndian32(png, Crc32(typed));
}

// 8-bit RGBA, not interlaced.
Bytes Png(const vellum::Picture& picture) {
  Bytes header;
  PutBigEndian32(header, static_cast<std::uint32_t>(picture.size));
  PutBigEndian32(header, static_cast<std::uint32_t>(picture.size));
  header += std::string("\x08\x06\x00\x00\x00", 5);
  Bytes rows;
  for (int y = 0; y < picture.size; ++y) {
    rows.push_back('\0');  // no filter
    for (int x = 0; x < picture.size; ++x) {
      const std::uint32_t argb = picture.pixels[static_cast<std::size_t>(y * picture.size + x)];
      for (const int shift : {16, 8, 0, 24})
        rows.push_back(static_cast<char>((argb >> shift) & 0xFF));
    }
  }
  Bytes png = "\x89PNG\r\n\x1a\n";
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", ZlibStored(rows));
  PutChunk(png, "IEND", "");
  return png;
}

// An icon file whose images are PNGs, as Windows reads them since Vista.
Bytes Ico(const std::vector<int>& sizes) {
  std::vector<Bytes> images;
  for (const int size : sizes)
    images.push_back(Png(vellum::AppIconPicture(size)));
  Bytes ico;
  PutLittleEndian(ico, 0, 2);  // reserved
  PutLittleEndian(ico, 1, 2);  // an icon
  PutLittleEndian(ico, static_cast<std::uint32_t>(sizes.size()), 2);
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const auto side = static_cast<std::uint32_t>(sizes[i] >= 256 ? 0 : sizes[i]);  // 0 is 256
    PutLittleEndian(ico, side, 1);
    PutLittleEndian(ico, side, 1);
    PutLittleEndian(ico, 0, 1);   // no palette
    PutLittleEndian(ico, 0, 1);   // reserved
    PutLittleEndian(ico, 1, 2);   // colour planes
    PutLittleEndian(ico, 32, 2);  // bits per pixel
    PutLittleEndian(ico, static_cast<std::uint32_t>(images[i].size()), 4);
    PutLittleEndian(ico, offset, 4);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const Bytes& image : images)
    ico += image;
  return ico;
}

bool Write(const std::string& path, const Bytes& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
  file.close();
  if (!file) std::fprintf(stderr, "vellum-icons: cannot write %s\n", path.c_str());
  return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vellum-icons FOLDER\n");
    return 2;
  }
  try {
    const std::string folder = std::string(argv[1]) + "/";
    const bool written = Write(folder + "vellum.svg", vellum::AppIconSvg()) &&
                         Write(folder + "vellum-48.png", Png(vellum::AppIconPicture(48))) &&
                         Write(folder + "vellum-128.png", Png(vellum::AppIconPicture(128))) &&
                         Write(folder + "vellum.ico", Ico({16, 24, 32, 48, 64, 256}));
    return written ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vellum-icons: %s\n", error.what());
    return 1;
  }
}
