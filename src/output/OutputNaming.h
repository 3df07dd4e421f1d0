// Output formats, file names of written frames, and the "Save" settings the save dialog keeps.
#pragma once

#include <cstdint>
#include <string>

struct CRvOutputFormat {
  const char* extension;  // ".avi", ".tif", ...
  const char* listText;   // the drop-down text
};

inline constexpr int kRvOutputFormatCount = 5;
inline constexpr int kRvFormatAvi = 0;
// In drop-down order: AVI, TIFF, Windows bitmap, PNG, JPEG.
const CRvOutputFormat& RvOutputFormat(int index);
// The format whose extension matches (case ignored, with or without the dot); -1 when none.
int RvOutputFormatFromExtension(const std::string& extension);

// base + number zero-padded to pad digits + extension. Only the number is formatted, so a "%"
// in the name is kept as it is; a pad below 0 counts as 0 and wider numbers are written in full.
std::string RvFrameFileName(const std::string& base, std::uint32_t number, int pad,
                            const std::string& extension);

// The preview line of the save dialog: name + ".avi" for AVI, else the names of frames 1 and 134
// separated by two blanks.
std::string RvSavePreview(const std::string& name, int pad, int format);

// The values of the "Save" section (keys as named), with their defaults.
struct CRvSaveValues {
  std::string name = "Seq";
  int padNumber = 4;
  int format = 0;
  std::string directory;  // default: the home folder
  int startNumber = 0;
  int stepFrames = 1;
  int outputOptions = 0;
  int fieldOrder = 0;
  int blendFrames = 10;
  int intermediateFrames = 10;

  static CRvSaveValues Read(const std::string& iniPath);
  // False when a key could not be written.
  bool Write(const std::string& iniPath) const;
  // folder + "/" (unless it ends in one) + name + the format's extension.
  std::string OutputPath() const;
};

inline constexpr const char* kRvSectionSave = "Save";
inline constexpr const char* kRvSectionOutput = "Output";
inline constexpr const char* kRvKeyStartMediaPlayer = "StartMediaPlayer";

// The folder that stands for the written default "C:\": the user's home folder.
std::string RvDefaultSaveDirectory();
// Creates the folder and every missing parent; true when it exists afterwards.
bool RvCreateDirectoryTree(const std::string& folder);
