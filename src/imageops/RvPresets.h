// Named presets of the crop and resample panels, kept one a line in crop.rvps and
// resample.rvps in the settings folder. A line with a TAB after its first character is
// "<name>TAB<command line>"; any other line is a command line without a name.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kRvCropPresetFile = "crop.rvps";
inline constexpr const char* kRvResamplePresetFile = "resample.rvps";

struct CRvPreset {
  std::string name;     // empty: the line has no name
  std::string command;  // the specifier as written in the file
  std::string line;     // the whole line

  // What the panel's drop-down list shows: the name, or the whole line without one.
  const std::string& Display() const { return name.empty() ? line : name; }
  static CRvPreset FromLine(const std::string& line);
  static CRvPreset Named(const std::string& name, const std::string& command);
};

class CRvPresetList {
 public:
  // Reads the file; a missing or unreadable file leaves the list empty. Blank lines are
  // skipped; "\r\n" and "\n" both end a line.
  bool Read(const std::string& path);
  // Replaces the file as a whole (temporary file, then rename), so a crash never leaves a
  // half-written preset file. False with *error set when it cannot be written.
  bool Write(const std::string& path, std::string* error) const;

  // The command line of the first preset whose name equals text, letter case ignored, with
  // surrounding white space removed. False when no preset has that name.
  bool FindCommand(const std::string& text, std::string* command) const;
  // Index of the first preset named name (case ignored), or -1.
  int FindName(const std::string& name) const;

  // Adds a named preset, or replaces the command of the one already called so. False when
  // the name or command is empty or holds a TAB or line break (the file could not hold it).
  bool Put(const std::string& name, const std::string& command);
  void Remove(int index);

  const std::vector<CRvPreset>& Items() const { return m_items; }
  bool Empty() const { return m_items.empty(); }

 private:
  std::vector<CRvPreset> m_items;
};

// The preset files the program ships: common film and video sizes and letterbox crops.
const char* RvDefaultCropPresets();
const char* RvDefaultResamplePresets();

// Writes text to folder + fileName unless a file of that name is already there, so a user's
// own presets are never replaced. False only when a missing file could not be written.
bool RvInstallPresetFile(const std::string& folder, const char* fileName, const char* text);
