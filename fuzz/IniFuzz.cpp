// The ini reader and writer. The input up to its first zero byte names a section and a key
// (one per line); the rest is the file. Reading must not fail on any content, and a value
// written must read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "support/NesProfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto* zero = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  const std::string names(reinterpret_cast<const char*>(data), zero ? std::size_t(zero - data) : 0);
  const std::size_t skip = zero ? std::size_t(zero - data) + 1 : 0;
  const std::string file = rvfuzz::WriteScratchFile("fuzz.ini", data + skip, size - skip);
  const std::size_t newline = names.find('\n');
  const std::string section = names.substr(0, newline);
  const std::string key = newline == std::string::npos ? "Key" : names.substr(newline + 1);

  std::string value;
  for (const char* s : {"Settings", "Cache", "View"})
    for (const char* k : {"Width", "MemoryMB", "Loop"}) bNesGetProfileString(file, s, k, &value);
  bNesGetProfileString(file, section, key, &value);
  const std::string written = "v " + std::to_string(size) + " \"x\"";
  if (bNesWriteProfileString(file, section, key, written)) {
    std::string back;
    if (!bNesGetProfileString(file, section, key, &back) || back != written) std::abort();
  }
  return 0;
}
