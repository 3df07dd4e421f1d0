// The play-list (.rvpl) reader, run in a folder holding one small numbered sequence so that
// relative patterns can name it; the ranges and flags it reads are then applied.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "sequence/PlayList.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::filesystem::path dir = rvfuzz::ScratchDir() / "shot";
  std::filesystem::create_directories(dir);
  for (const char* name : {"shot.0001.tga", "shot.0002.tga", "shot.0005.tga", "take_12.tga"})
    rvfuzz::WriteScratchFile(std::string("shot/") + name, nullptr, 0);
  if (chdir(dir.c_str()) != 0) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = rvfuzz::WriteScratchFile("fuzz.rvpl", data, size);
  CRvPlayList list;
  std::string errors;
  if (list.LoadFromFile(path, &errors)) list.NumberFrames();
  return 0;
}
