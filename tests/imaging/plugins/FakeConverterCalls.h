// What a test plug-in saw, reachable by tests through its extra export FakeConverterCalls.
#pragma once

#include <cstdint>

struct FakeCalls {
  int32_t reservedSeen = -1;
  int canConvert = 0;
  int beforeConvert = 0;
  int setCineonValues = 0;
  int afterConvert = 0;
  double gammaLog = 0;
  double gammaDisplay = 0;
  int32_t referenceBlack = 0;
  int32_t referenceWhite = 0;
  int32_t softClip = 0;
  char lastExtension[64] = {};
  char lastPath[512] = {};
  // One letter per call in call order: h header, H header in memory, v values, c convert,
  // C convert in memory.
  char order[16] = {};
  int orderCount = 0;
};

using FakeConverterCallsFn = FakeCalls* (*)();

#ifdef RV_FAKE_PLUGIN_DIR
#include <dlfcn.h>

#include <string>

// The built test plug-in of a variant.
inline std::string FakePlugIn(const std::string& variant) {
  return std::string(RV_FAKE_PLUGIN_DIR) + "/" + variant + "/" + variant + ".kcv";
}

// The counters of the plug-in loaded from path (the same path gives the same loaded library),
// valid while whoever loaded it keeps it; null when it is not loaded.
inline FakeCalls* CallsOf(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (handle == nullptr) return nullptr;
  auto fn = reinterpret_cast<FakeConverterCallsFn>(dlsym(handle, "FakeConverterCalls"));
  dlclose(handle);
  return fn ? fn() : nullptr;
}
#endif
