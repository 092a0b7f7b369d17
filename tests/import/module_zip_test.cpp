// Module .zip files: which member names may be written, and what in a
// directory or a member makes the file refused.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "tools/import/module_zip.h"

namespace vellum::import {
namespace {

void Put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

struct Stored {
  std::string name;
  std::string data;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::int64_t size_change = 0;  // what the directory says beyond the truth
};

// A zip of stored members, as a writer would make it.
std::string ZipOf(const std::vector<Stored>& members) {
  std::string zip;
  std::string directory;
  for (const Stored& m : members) {
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(m.data.data()), static_cast<uInt>(m.data.size())));
    const auto offset = static_cast<std::uint32_t>(zip.size());
    const auto size = static_cast<std::uint32_t>(m.data.size());
    Put32(zip, 0x04034b50);
    for (const std::uint32_t v : {20u, std::uint32_t{m.flags}, std::uint32_t{m.method}, 0u, 0u})
      Put16(zip, v);
    Put32(zip, crc);
    Put32(zip, size);
    Put32(zip, size);
    Put16(zip, static_cast<std::uint32_t>(m.name.size()));
    Put16(zip, 0);
    zip += m.name + m.data;
    Put32(directory, 0x02014b50);
    for (const std::uint32_t v :
         {20u, 20u, std::uint32_t{m.flags}, std::uint32_t{m.method}, 0u, 0u})
      Put16(directory, v);
    Put32(directory, crc);
    Put32(directory, size);
    Put32(directory, static_cast<std::uint32_t>(size + m.size_change));
    Put16(directory, static_cast<std::uint32_t>(m.name.size()));
    for (int i = 0; i < 4; ++i)
      Put16(directory, 0);
    Put32(directory, 0);
    Put32(directory, offset);
    directory += m.name;
  }
  const auto directory_at = static_cast<std::uint32_t>(zip.size());
  zip += directory;
  Put32(zip, 0x06054b50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, static_cast<std::uint32_t>(members.size()));
  Put16(zip, static_cast<std::uint32_t>(members.size()));
  Put32(zip, static_cast<std::uint32_t>(directory.size()));
  Put32(zip, directory_at);
  Put16(zip, 0);
  return zip;
}

TEST(ModuleZip, OnlyPlainPathsUnderTheModulesFoldersAreWritten) {
  const struct {
    const char* name;
    bool plain;
    bool module;
  } cases[] = {
      {"mods.d/kjv.conf", true, true},     {"modules/texts/ztext/kjv/ot.bzz", true, true},
      {"modules/texts/", true, true},      {"readme.txt", true, false},
      {"/etc/passwd", false, false},       {"modules/../../x", false, false},
      {"mods.d/./kjv.conf", false, false}, {"modules//x", false, false},
      {"modules\\texts\\x", false, false}, {"C:/modules/x", false, false},
      {"mods.d/a\nb.conf", false, false},  {"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsPlainRelativePath(c.name), c.plain);
    EXPECT_EQ(IsModulePath(c.name), c.module);
  }
  EXPECT_TRUE(IsSafeDataPath("./modules/texts/ztext/kjv/"));
  EXPECT_TRUE(IsSafeDataPath("modules/lexdict/rawld/strongs/strongsgreek"));
  EXPECT_FALSE(IsSafeDataPath("../../modules/texts/"));
  EXPECT_FALSE(IsSafeDataPath("./modules/../../../etc/"));
  EXPECT_FALSE(IsSafeDataPath("/usr/share/sword/modules/texts/"));
}

TEST(ModuleZip, WhatMakesAZipRefused) {
  const std::string conf = "[KJV]\nDataPath=./modules/texts/ztext/kjv/\n";
  std::string reason;
  const auto whole = ReadZipDirectory(ZipOf({{"mods.d/kjv.conf", conf}}), reason);
  ASSERT_TRUE(whole) << reason;
  ASSERT_EQ(whole->size(), 1u);
  std::string unpacked;
  const std::string zip = ZipOf({{"mods.d/kjv.conf", conf}});
  EXPECT_FALSE(InflateMember(zip, (*whole)[0], [&](std::string_view piece) {
    unpacked += piece;
    return true;
  }));
  EXPECT_EQ(unpacked, conf);

  const struct {
    const char* what;
    std::string zip;
    const char* reason;  // of the directory; "" when the member is the trouble
  } cases[] = {
      {"not a zip", "just text, long enough to hold a record", "not a zip file"},
      {"cut short", zip.substr(0, zip.size() - 30), "not a zip file"},
      {"encrypted", ZipOf({{"mods.d/kjv.conf", conf, 1}}), "encrypted"},
      {"bzip2", ZipOf({{"mods.d/kjv.conf", conf, 0, 12}}), "does not know"},
      {"more than it holds", ZipOf({{"mods.d/kjv.conf", conf, 0, 0, 5}}), ""},
      {"less than it holds", ZipOf({{"mods.d/kjv.conf", conf, 0, 0, -5}}), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string why;
    const auto members = ReadZipDirectory(c.zip, why);
    if (*c.reason != '\0') {
      EXPECT_FALSE(members);
      EXPECT_NE(why.find(c.reason), std::string::npos) << why;
      continue;
    }
    ASSERT_TRUE(members) << why;
    const auto failed = InflateMember(c.zip, (*members)[0], [](std::string_view) { return true; });
    ASSERT_TRUE(failed);
    EXPECT_NE(failed->find("does not unpack whole"), std::string::npos) << *failed;
  }

  ZipLimits small;
  small.max_members = 1;
  EXPECT_FALSE(ReadZipDirectory(ZipOf({{"a", "1"}, {"b", "2"}}), reason, small));
  EXPECT_EQ(reason, "more files than any module has");
}

}  // namespace
}  // namespace vellum::import
