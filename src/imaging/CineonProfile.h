// Cineon conversion profiles: the program's own ".rvcp" files (read and written; the same
// section and keys as the "Cineon" section of settings.ini) and Flame ".lut" files (read).
#pragma once

#include <string>

#include "imaging/FrameDecoder.h"

inline constexpr const char* kCineonSection = "Cineon";
inline constexpr const char* kCineonKeyGammaDisplay = "GammaDisplay";
inline constexpr const char* kCineonKeyGammaLog = "GammaLog";
inline constexpr const char* kCineonKeyReferenceBlack = "ReferenceBlack";
inline constexpr const char* kCineonKeyReferenceWhite = "ReferenceWhite";
inline constexpr const char* kCineonKeySoftClip = "SoftClip";
inline constexpr const char* kCineonKeyDirectory = "Directory";

// What a missing key of a profile or of settings.ini reads as (not the frame decoder's start
// values, which are CineonValues{}).
inline constexpr CineonValues kCineonStoredDefaults{1.7, 2.2, 95, 685, 0};

// Messages of the profile loader.
inline constexpr const char* kCineonMalformedProfileText = "Unexpected File Format";
inline constexpr const char* kCineonUnknownFormatText = "Unknown file format";

// Reads the five keys of section "Cineon" from an ini file (a ".rvcp" profile or
// settings.ini). Never fails: a missing file or key, and a value the values cannot hold (a
// negative or non-numeric number), read as kCineonStoredDefaults.
CineonValues ReadCineonValues(const std::string& iniFile);

// Writes the five keys to section "Cineon" of an ini file, creating it when needed; other
// sections and keys of the file stay. False when the file cannot be written.
bool bWriteCineonValues(const std::string& iniFile, const CineonValues& values);

// Reads a Flame ".lut" profile into *values, changing only what the file sets. False, with
// *values untouched and *errorText set, when the file cannot be read or holds a malformed
// number ("Unexpected File Format").
bool bReadFlameCineonProfile(const std::string& file, CineonValues* values, std::string* errorText);

enum class CineonProfileKind { kUnknown, kReelvane, kFlame, kNuke };

// The kind by the path's extension, letter case ignored: ".rvcp", ".lut", ".grd".
CineonProfileKind GetCineonProfileKind(const std::string& path);

enum class CineonLoadResult {
  kLoaded,            // *values holds the profile's values
  kNotRead,           // a ".grd" profile: offered, but its content is not read
  kMalformed,         // the ".lut" file is malformed or unreadable; *values untouched
  kUnknownExtension,  // "Unknown file format"
};

// Loads a profile chosen by the user, by its extension. *errorText receives the message to
// show for kMalformed and kUnknownExtension.
CineonLoadResult LoadCineonProfile(const std::string& path, CineonValues* values,
                                   std::string* errorText);
