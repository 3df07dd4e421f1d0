// The converter plug-ins of the process, in the order the scan of their folder found them
// (name order). Installed into the frame decoder, which asks it first for every frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/FrameDecoder.h"
#include "imaging/plugins/KaConverterPlugIn.h"

class CNesLogFile;

inline constexpr const char* kKacvLogName = "Kacv.log";
inline constexpr const char* kKacvLogSource = "Plug-In List";
inline constexpr std::uint32_t kKacvLogSizeKiB = 1024;
inline constexpr const char* kConverterFolder = "Converters/";
inline constexpr const char* kConverterMask = "*.kcv";

class CKaConverterPlugInList : public CFrameConverter {
 public:
  // Scans for plug-ins matching searchPattern (a folder followed by a name mask such as
  // "*.kcv"), loads them in name order and logs the scan into logFile.
  CKaConverterPlugInList(const std::string& searchPattern, const std::string& logFile);
  // Logs into "Kacv.log" in the settings folder.
  explicit CKaConverterPlugInList(const std::string& searchPattern);
  ~CKaConverterPlugInList() override;

  // The program folder's "Converters/*.kcv".
  static std::string DefaultSearchPattern();

  std::size_t GetCount() const { return m_plugIns.size(); }
  CKaConverterPlugIn& GetAt(std::size_t index) { return *m_plugIns.at(index); }

  // The first plug-in in list order that accepts the file, or null. header holds
  // KACV_HEADER_SIZE bytes.
  CKaConverterPlugIn* FindConverter(const std::string& path, const std::uint8_t* header);

  bool Convert(CImageSource* source, const std::string& fileName, const std::uint8_t* header,
               std::size_t headerSize, const CineonValues& cineon, CImageBitmap* bitmap) override;
  std::string GetLastConverterName() const override { return m_lastName; }

 private:
  void Scan(const std::string& searchPattern, CNesLogFile* log);
  void ConvertWith(CKaConverterPlugIn* plugIn, CImageSource* source, const std::string& fileName,
                   const CineonValues& cineon, CImageBitmap* bitmap);

  std::vector<std::unique_ptr<CKaConverterPlugIn>> m_plugIns;
  std::string m_lastName;
};
