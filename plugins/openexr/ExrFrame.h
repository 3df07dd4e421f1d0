// Reading OpenEXR frames held in memory and turning them into 32-bit display pixels.
#pragma once

#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfRgba.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Which channels of a part make the picture.
enum class ExrChannels {
  kRgb,              // R, G, B (any of them may be missing and reads as 0)
  kLuminance,        // Y alone, shown grey
  kLuminanceChroma,  // Y, RY, BY, turned into colour by the library's RGBA interface
};

// What a frame's headers say about the picture to show.
struct ExrLayout {
  int part = 0;       // the first part that is a flat image
  std::string layer;  // channel-name prefix of the chosen layer, "" or e.g. "diffuse."
  ExrChannels channels = ExrChannels::kRgb;
  bool hasAlpha = false;
  // The display window is the frame; the data window may lie anywhere around it.
  int displayMinX = 0, displayMinY = 0, width = 0, height = 0;
  int dataMinX = 0, dataMinY = 0, dataMaxX = -1, dataMaxY = -1;
  int stripLines = 1;  // lines decoded at a time: one chunk or one row of tiles
  // What sizes the library's block buffers, as the core read it: the compression and each
  // channel's sample type ('0' unsigned int, '1' half, '2' float), sorted.
  int compression = 0;
  std::string sampleTypes;
};

// Threads of the library's own pool per decode. Frames are decoded in parallel by the
// program's read-ahead, so each decode stays on its calling thread.
inline constexpr int kExrLibraryThreads = 0;

// Limits checked before anything is allocated, so a lying header cannot ask for gigabytes.
inline constexpr std::int64_t kExrMaxSide = 65536;
inline constexpr std::int64_t kExrMaxPixels = std::int64_t(1) << 28;
inline constexpr std::int64_t kExrMaxStripBytes = std::int64_t(256) << 20;

// A file in memory as the library's input stream. It copies what the library asks for into
// the library's own buffers instead of handing out pointers into the file: OpenEXR 3.1 trusts
// the header's line sizes when it unpacks uncompressed blocks from such pointers and then
// reads past the end of a damaged file.
class ExrMemoryStream : public Imf::IStream {
 public:
  ExrMemoryStream(const std::uint8_t* data, std::size_t size)
      : Imf::IStream("OpenEXR frame"), m_data(data), m_size(size) {}

  bool read(char c[], int n) override;  // throws the library's input error past the end
  uint64_t tellg() override { return m_position; }
  void seekg(uint64_t position) override { m_position = position; }

 private:
  const std::uint8_t* m_data;
  std::uint64_t m_size;
  std::uint64_t m_position = 0;
};

// True when the bytes start with the OpenEXR magic number and a version 2 field.
bool IsExrFile(const std::uint8_t* header, std::size_t size);

// Reads and checks the headers of a whole file; false with a message in *error.
bool ReadExrLayout(const std::uint8_t* data, std::size_t size, ExrLayout* layout,
                   std::string* error);

// Decodes the picture described by layout into 32-bit rows (blue, green, red, alpha;
// lines[0] is the top row, each layout.width pixels). threads is handed to the library.
bool ConvertExr(const std::uint8_t* data, std::size_t size, const ExrLayout& layout,
                std::uint8_t* const* lines, int threads, std::string* error);

// The display transform of count pixels: linear to sRGB, clipped, alpha as stored. grey
// takes the red value for all three colours.
void ExrToDisplay(const Imf::Rgba* in, std::size_t count, bool grey, std::uint8_t* out);
