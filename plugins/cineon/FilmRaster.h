// Header parsing and pixel unpacking for Cineon and DPX files held in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "LogToLinear.h"

// Failures, numbered as the program's string table numbers their texts.
enum class FilmError : int {
  kNone = 0,
  kVersion = 1,     // "Unsupported file version."
  kInterleave = 2,  // "Unknown data interleaving scheme."
  kPacking = 3,     // "Unknown data packing scheme."
  kDimensions = 4,  // "Channels with varying dimensions not supported."
  kChannels = 5,    // "File does not contain RGB data in supported (universal metric) channels."
  kRead = 6,        // "Error reading file."
};
const char* FilmErrorText(FilmError error);

enum class FilmChannels { kGrey, kRGB, kRGBA, kABGR };

// Where and how the samples of the picture are stored.
struct FilmRaster {
  std::uint32_t storedWidth = 0;   // samples along a stored line
  std::uint32_t storedHeight = 0;  // stored lines
  int orientation = 0;             // 0..7, the codes both formats share
  FilmChannels channels = FilmChannels::kRGB;
  int samplesPerPixel = 3;
  int bits = 10;               // bits per sample: 8, 10, 12 or 16
  int containerBits = 32;      // samples sit in words of this size; 0 = one bit stream
  bool leftJustified = true;   // padding in the low bits of each word
  bool lowDatumFirst = false;  // the first sample of a word sits in its low bits
  bool bigEndian = true;
  bool logarithmic = true;  // needs the log-to-linear step
  std::size_t dataOffset = 0;
  std::size_t lineStride = 0;  // bytes from one stored line to the next
  std::size_t lineBytes = 0;   // bytes holding one line's samples

  // Size of the converted picture (transposing orientations swap the two).
  std::uint32_t Width() const { return orientation >= 4 ? storedHeight : storedWidth; }
  std::uint32_t Height() const { return orientation >= 4 ? storedWidth : storedHeight; }
};

// True when the first four bytes are a Cineon or DPX magic number (either byte order).
bool IsFilmFile(const std::uint8_t* header, std::size_t size);

// Reads the header of a whole file and checks that every line lies inside it.
FilmError ParseFilmRaster(const std::uint8_t* data, std::size_t size, FilmRaster* raster);

// Converts into 32-bit rows (blue, green, red, alpha; lines[0] is the top row) of the size
// Width() x Height().
FilmError ConvertFilmRaster(const std::uint8_t* data, std::size_t size, const FilmRaster& raster,
                            const LogToLinearParams& params, std::uint8_t* const* lines);

// The largest picture accepted, so a lying header cannot ask for an absurd bitmap.
inline constexpr std::uint32_t kFilmMaxSide = 65535;
inline constexpr std::uint64_t kFilmMaxPixels = 1ull << 28;
