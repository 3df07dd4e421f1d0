// One loaded converter plug-in ("*.kcv"): its library, its exports and thin wrappers that turn
// anything thrown inside the plug-in into a false result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/FrameDecoder.h"
#include "imaging/plugins/KacvPlugIn.h"

class CKaConverterPlugIn {
 public:
  // Loads the library, looks up the exports and initialises the plug-in. IsLoaded() tells
  // whether that succeeded; GetReason() says why not.
  explicit CKaConverterPlugIn(const std::string& libraryPath);
  ~CKaConverterPlugIn();
  CKaConverterPlugIn(const CKaConverterPlugIn&) = delete;
  CKaConverterPlugIn& operator=(const CKaConverterPlugIn&) = delete;

  bool IsLoaded() const { return m_loaded; }
  const std::string& GetReason() const { return m_reason; }
  // The dynamic loader's own message when loading the library failed.
  const std::string& GetLoaderMessage() const { return m_loaderMessage; }

  const std::string& GetPath() const { return m_path; }
  const std::string& GetName() const { return m_name; }
  const std::string& GetDescription() const { return m_description; }
  int GetVersionMajor() const { return m_versionMajor; }
  int GetVersionMinor() const { return m_versionMinor; }

  // True when the plug-in exports both in-memory calls and is driven through them.
  bool UsesMemoryCalls() const { return m_readHeader2 != nullptr && m_doConversion2 != nullptr; }
  bool HasCineonValues() const { return m_setCineonValues != nullptr; }

  // header points at KACV_HEADER_SIZE bytes.
  bool CanConvert(const std::string& path, const std::string& extension,
                  const std::uint8_t* header);
  void BeforeConvert();
  bool ReadHeader(KacvReaderTable* reader, int* bitsPerPixel, int* width, int* height,
                  std::string* error);
  bool ReadHeaderInMemory(const std::uint8_t* data, std::size_t size, int* bitsPerPixel, int* width,
                          int* height, std::string* error);
  bool Convert(KacvReaderTable* reader, std::uint8_t* const* lines, int width, int height,
               std::string* error);
  bool ConvertInMemory(const std::uint8_t* data, std::size_t size, std::uint8_t* const* lines,
                       int width, int height, std::string* error);
  // Does nothing when the plug-in does not export it; exceptions are ignored.
  void SetCineonValues(const CineonValues& values);

 private:
  bool Load();
  template <typename Fn>
  bool Lookup(const char* exportName, Fn* target, bool required);

  std::string m_path;
  void* m_module = nullptr;
  bool m_loaded = false;
  std::string m_reason;
  std::string m_loaderMessage;
  std::string m_name;
  std::string m_description;
  int m_versionMajor = 0;
  int m_versionMinor = 0;

  KacvInitializeFn m_initialize = nullptr;
  KacvCanConvertFn m_canConvert = nullptr;
  KacvBeforeConvertFn m_beforeConvert = nullptr;
  KacvReadHeaderFn m_readHeader = nullptr;
  KacvReadHeader2Fn m_readHeader2 = nullptr;
  KacvDoConversion2Fn m_doConversion2 = nullptr;
  KacvSetCineonValuesFn m_setCineonValues = nullptr;
  KacvDoConversionFn m_doConversion = nullptr;
  KacvAfterConvertFn m_afterConvert = nullptr;
};
