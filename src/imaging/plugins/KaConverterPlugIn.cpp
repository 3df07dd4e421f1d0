#include "imaging/plugins/KaConverterPlugIn.h"

#include <dlfcn.h>

#include <array>
#include <cstring>

namespace {

using ErrorBuffer = std::array<char, KACV_ERROR_BUFFER_SIZE>;

// The plug-in's message, or a plain one when it failed without saying why.
std::string ErrorText(const ErrorBuffer& buffer, const std::string& fallback) {
  const std::size_t length = strnlen(buffer.data(), buffer.size());
  return length > 0 ? std::string(buffer.data(), length) : fallback;
}

std::string Text(const char* buffer, std::size_t capacity) {
  return std::string(buffer, strnlen(buffer, capacity));
}

}  // namespace

CKaConverterPlugIn::CKaConverterPlugIn(const std::string& libraryPath) : m_path(libraryPath) {
  m_loaded = Load();
}

CKaConverterPlugIn::~CKaConverterPlugIn() {
  if (m_module != nullptr) dlclose(m_module);
}

template <typename Fn>
bool CKaConverterPlugIn::Lookup(const char* exportName, Fn* target, bool required) {
  dlerror();
  *target = reinterpret_cast<Fn>(dlsym(m_module, exportName));
  if (*target == nullptr && required) {
    m_reason = std::string(exportName) + " - function not exported";
    return false;
  }
  return true;
}

bool CKaConverterPlugIn::Load() {
  // RTLD_LOCAL: two plug-ins may export the same names without seeing each other's.
  m_module = dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_module == nullptr) {
    const char* message = dlerror();
    m_loaderMessage = message ? message : "";
    m_reason = "LoadLibrary failed";
    return false;
  }
  // The order of the look-ups decides which reason a plug-in with several gaps gets.
  if (!Lookup("bKacvInitialize", &m_initialize, true) ||
      !Lookup("bKacvCanConvert", &m_canConvert, true) ||
      !Lookup("KacvBeforeConvert", &m_beforeConvert, true) ||
      !Lookup("bKacvReadHeader", &m_readHeader, true) ||
      !Lookup("bKacvReadHeader2", &m_readHeader2, false) ||
      !Lookup("bKacvDoConversion2", &m_doConversion2, false) ||
      !Lookup("KacvSetCineonValues", &m_setCineonValues, false) ||
      !Lookup("bKacvDoConversion", &m_doConversion, true) ||
      !Lookup("KacvAfterConvert", &m_afterConvert, true)) {
    return false;
  }
  char name[KACV_TEXT_BUFFER_SIZE] = {};
  char description[KACV_TEXT_BUFFER_SIZE] = {};
  int32_t major = 0;
  int32_t minor = 0;
  int32_t reserved = 0;
  KacvBool ok = KACV_FALSE;
  try {
    ok = m_initialize(name, description, &major, &minor, &reserved);
  } catch (...) {
    m_reason = "Unhandled exception while calling bKacvInitialize";
    return false;
  }
  if (!ok) {
    m_reason = "Call to bKacvInitialize failed";
    return false;
  }
  m_name = Text(name, sizeof name);
  m_description = Text(description, sizeof description);
  m_versionMajor = major;
  m_versionMinor = minor;
  return true;
}

bool CKaConverterPlugIn::CanConvert(const std::string& path, const std::string& extension,
                                    const std::uint8_t* header) {
  if (!m_loaded) return false;
  try {
    return m_canConvert(path.c_str(), extension.c_str(), header) != KACV_FALSE;
  } catch (...) {
    return false;
  }
}

void CKaConverterPlugIn::BeforeConvert() {
  if (!m_loaded) return;
  try {
    m_beforeConvert();
  } catch (...) {
    // Preparing is the plug-in's own business; the header call reports real trouble.
  }
}

bool CKaConverterPlugIn::ReadHeader(KacvReaderTable* reader, int* bitsPerPixel, int* width,
                                    int* height, std::string* error) {
  ErrorBuffer buffer{};
  int32_t bpp = 0, w = 0, h = 0;
  bool ok = false;
  try {
    ok = m_loaded && m_readHeader(reader, &bpp, &w, &h, buffer.data()) != KACV_FALSE;
  } catch (...) {
    ok = false;
  }
  buffer.back() = '\0';
  *bitsPerPixel = bpp;
  *width = w;
  *height = h;
  if (!ok && error)
    *error = ErrorText(buffer, "Converter plug-in " + m_name + " failed to read the header.");
  return ok;
}

bool CKaConverterPlugIn::ReadHeaderInMemory(const std::uint8_t* data, std::size_t size,
                                            int* bitsPerPixel, int* width, int* height,
                                            std::string* error) {
  ErrorBuffer buffer{};
  int32_t bpp = 0, w = 0, h = 0;
  bool ok = false;
  try {
    ok = m_loaded && m_readHeader2 != nullptr &&
         m_readHeader2(data, size, &bpp, &w, &h, buffer.data()) != KACV_FALSE;
  } catch (...) {
    ok = false;
  }
  buffer.back() = '\0';
  *bitsPerPixel = bpp;
  *width = w;
  *height = h;
  if (!ok && error)
    *error = ErrorText(buffer, "Converter plug-in " + m_name + " failed to read the header.");
  return ok;
}

bool CKaConverterPlugIn::Convert(KacvReaderTable* reader, std::uint8_t* const* lines, int width,
                                 int height, std::string* error) {
  ErrorBuffer buffer{};
  bool ok = false;
  try {
    ok = m_loaded && m_doConversion(reader, lines, 32, width, height, buffer.data()) != KACV_FALSE;
  } catch (...) {
    ok = false;
  }
  buffer.back() = '\0';
  if (!ok && error)
    *error = ErrorText(buffer, "Converter plug-in " + m_name + " failed to convert the file.");
  return ok;
}

bool CKaConverterPlugIn::ConvertInMemory(const std::uint8_t* data, std::size_t size,
                                         std::uint8_t* const* lines, int width, int height,
                                         std::string* error) {
  ErrorBuffer buffer{};
  bool ok = false;
  try {
    ok = m_loaded && m_doConversion2 != nullptr &&
         m_doConversion2(data, size, lines, 32, width, height, buffer.data()) != KACV_FALSE;
  } catch (...) {
    ok = false;
  }
  buffer.back() = '\0';
  if (!ok && error)
    *error = ErrorText(buffer, "Converter plug-in " + m_name + " failed to convert the file.");
  return ok;
}

void CKaConverterPlugIn::SetCineonValues(const CineonValues& v) {
  if (!m_loaded || m_setCineonValues == nullptr) return;
  try {
    m_setCineonValues(v.gammaLog, v.gammaDisplay, static_cast<int32_t>(v.referenceBlack),
                      static_cast<int32_t>(v.referenceWhite), static_cast<int32_t>(v.softClip));
  } catch (...) {
    // The values are a courtesy; a plug-in that chokes on them still converts.
  }
}
