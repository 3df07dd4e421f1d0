// Shared by the fuzz targets: one scratch folder per process, used as REELVANE_HOME and for the
// files the file-reading targets need, removed when the process ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace rvfuzz {

inline const std::filesystem::path& ScratchDir() {
  static const std::filesystem::path dir = [] {
    std::string path = (std::filesystem::temp_directory_path() / "rvfuzz-XXXXXX").string();
    if (!mkdtemp(path.data())) throw std::runtime_error("mkdtemp failed");
    setenv("REELVANE_HOME", path.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(ScratchDir(), ec);
    });
    return std::filesystem::path(path);
  }();
  return dir;
}

// Writes the input to a file of the scratch folder and returns its path.
inline std::string WriteScratchFile(const std::string& name, const std::uint8_t* data,
                                    std::size_t size) {
  const std::string path = (ScratchDir() / name).string();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  return path;
}

}  // namespace rvfuzz

// The font configuration library keeps a cache for the life of the process; the leak checker
// would report it at exit. (Each target includes this header from one source only.)
extern "C" [[gnu::used]] const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n";
}
