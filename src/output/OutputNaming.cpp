#include "output/OutputNaming.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "support/NesCommon55.h"

namespace {

const CRvOutputFormat kFormats[kRvOutputFormatCount] = {
    {".avi", "*.avi   Video for Windows"},
    {".tif", "*.tif      TIFF"},
    {".bmp", "*.bmp  Windows Bitmap"},
    {".png", "*.png  Portable Network Graphics"},
    {".jpg", "*.jpg   JPEG"},
};

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

const CRvOutputFormat& RvOutputFormat(int index) {
  return kFormats[index >= 0 && index < kRvOutputFormatCount ? index : 0];
}

int RvOutputFormatFromExtension(const std::string& extension) {
  std::string ext = Lower(extension);
  if (!ext.empty() && ext[0] != '.') ext.insert(0, ".");
  for (int i = 0; i < kRvOutputFormatCount; ++i)
    if (ext == kFormats[i].extension) return i;
  return -1;
}

std::string RvFrameFileName(const std::string& base, std::uint32_t number, int pad,
                            const std::string& extension) {
  std::string digits = std::to_string(number);
  if (pad > int(digits.size())) digits.insert(0, std::size_t(pad) - digits.size(), '0');
  return base + digits + extension;
}

std::string RvSavePreview(const std::string& name, int pad, int format) {
  const std::string extension = RvOutputFormat(format).extension;
  if (format == kRvFormatAvi) return name + extension;
  return RvFrameFileName(name, 1, pad, extension) + "  " +
         RvFrameFileName(name, 134, pad, extension);
}

std::string RvDefaultSaveDirectory() {
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) : std::string(kNesPathSeparatorText);
}

CRvSaveValues CRvSaveValues::Read(const std::string& ini) {
  CRvSaveValues v;
  const char* s = kRvSectionSave;
  v.name = strReadFromIniFile(ini, s, "Name", v.name);
  v.padNumber = iReadFromIniFile(ini, s, "PadNumber", v.padNumber);
  v.format = iReadFromIniFile(ini, s, "Format", v.format);
  v.directory = strReadFromIniFile(ini, s, "Directory", RvDefaultSaveDirectory());
  v.startNumber = iReadFromIniFile(ini, s, "StartNumber", v.startNumber);
  v.stepFrames = iReadFromIniFile(ini, s, "StepFrames", v.stepFrames);
  v.outputOptions = iReadFromIniFile(ini, s, "OutputOptions", v.outputOptions);
  v.fieldOrder = iReadFromIniFile(ini, s, "FieldOrder", v.fieldOrder);
  v.blendFrames = iReadFromIniFile(ini, s, "BlendFrames", v.blendFrames);
  v.intermediateFrames = iReadFromIniFile(ini, s, "IntermediateFrames", v.intermediateFrames);
  return v;
}

bool CRvSaveValues::Write(const std::string& ini) const {
  const char* s = kRvSectionSave;
  bool ok = bWriteToIniFile(ini, s, "Name", name);
  ok = bWriteToIniFile(ini, s, "PadNumber", padNumber) && ok;
  ok = bWriteToIniFile(ini, s, "Format", format) && ok;
  ok = bWriteToIniFile(ini, s, "Directory", directory) && ok;
  ok = bWriteToIniFile(ini, s, "StartNumber", startNumber) && ok;
  ok = bWriteToIniFile(ini, s, "StepFrames", stepFrames) && ok;
  ok = bWriteToIniFile(ini, s, "OutputOptions", outputOptions) && ok;
  ok = bWriteToIniFile(ini, s, "FieldOrder", fieldOrder) && ok;
  ok = bWriteToIniFile(ini, s, "BlendFrames", blendFrames) && ok;
  ok = bWriteToIniFile(ini, s, "IntermediateFrames", intermediateFrames) && ok;
  return ok;
}

std::string CRvSaveValues::OutputPath() const {
  std::string folder = directory;
  if (folder.empty() || folder.back() != kNesPathSeparator) folder += kNesPathSeparator;
  return folder + name + RvOutputFormat(format).extension;
}

bool RvCreateDirectoryTree(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return std::filesystem::is_directory(folder, error);
}
