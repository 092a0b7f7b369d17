// A module .zip as anyone may hand the import: its directory read and every
// member inflated in memory, with small limits so that the fuzzer reaches
// them.
//
// Invariants: a member inflates to no more than its directory says (and only
// to exactly that with no error); a name taken as a module's path holds no
// "..", no backslash, no control character and does not start with "/".
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_input.h"
#include "tools/import/module_zip.h"

using namespace vellum::import;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view zip(reinterpret_cast<const char*>(data), size);
  std::string reason;
  ZipLimits limits;
  limits.max_members = 64;
  limits.max_member_size = 1 << 20;
  limits.max_total_size = 4 << 20;
  const auto members = ReadZipDirectory(zip, reason, limits);
  if (!members) {
    VELLUM_FUZZ_CHECK(!reason.empty());
    return 0;
  }
  VELLUM_FUZZ_CHECK(members->size() <= limits.max_members);
  for (const ZipMember& member : *members) {
    if (IsPlainRelativePath(member.name)) {
      VELLUM_FUZZ_CHECK(member.name.front() != '/');
      VELLUM_FUZZ_CHECK(member.name.find('\\') == std::string::npos);
      VELLUM_FUZZ_CHECK(member.name.find("/../") == std::string::npos &&
                        member.name.rfind("../", 0) != 0);
      for (const char c : member.name)
        VELLUM_FUZZ_CHECK(static_cast<unsigned char>(c) >= 32);
    }
    std::uint64_t got = 0;
    const auto failed = InflateMember(zip, member, [&](std::string_view piece) {
      got += piece.size();
      return true;
    });
    VELLUM_FUZZ_CHECK(got <= member.size);
    if (!failed) VELLUM_FUZZ_CHECK(got == member.size);
  }
  return 0;
}
