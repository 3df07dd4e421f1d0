#include "FilmRaster.h"

#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kCineonMagic = 0x802A5FD7;
constexpr std::uint32_t kUndefined32 = 0xFFFFFFFF;

// Cineon header offsets.
constexpr std::size_t kCinVersion = 24;
constexpr std::size_t kCinOrientation = 192;
constexpr std::size_t kCinChannelCount = 193;
constexpr std::size_t kCinChannels = 196;
constexpr std::size_t kCinChannelSize = 28;
constexpr std::size_t kCinInterleave = 680;
constexpr std::size_t kCinPacking = 681;
constexpr std::size_t kCinLinePadding = 684;
constexpr std::size_t kCinHeaderMin = 712;
constexpr int kCinMaxChannels = 8;

// DPX header offsets (image element 0 only).
constexpr std::size_t kDpxVersion = 8;
constexpr std::size_t kDpxOrientation = 768;
constexpr std::size_t kDpxElementCount = 770;
constexpr std::size_t kDpxPixelsPerLine = 772;
constexpr std::size_t kDpxLinesPerElement = 776;
constexpr std::size_t kDpxElements = 780;
constexpr std::size_t kDpxElementSize = 72;
constexpr std::size_t kDpxHeaderMin = kDpxElements + kDpxElementSize;
constexpr int kDpxMaxElements = 8;

enum DpxDescriptor : int {
  kDpxRed = 1,
  kDpxGreen = 2,
  kDpxBlue = 3,
  kDpxLuma = 6,
  kDpxRGB = 50,
  kDpxRGBA = 51,
  kDpxABGR = 52
};
enum DpxTransfer : int { kDpxPrintingDensity = 1, kDpxLogarithmic = 3 };

class Reader {
 public:
  Reader(const std::uint8_t* data, bool bigEndian) : m_data(data), m_bigEndian(bigEndian) {}
  std::uint8_t U8(std::size_t at) const { return m_data[at]; }
  std::uint16_t U16(std::size_t at) const {
    const std::uint8_t* p = m_data + at;
    return m_bigEndian ? std::uint16_t(p[0] << 8 | p[1]) : std::uint16_t(p[1] << 8 | p[0]);
  }
  std::uint32_t U32(std::size_t at) const {
    const std::uint8_t* p = m_data + at;
    return m_bigEndian ? std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 |
                             std::uint32_t(p[2]) << 8 | p[3]
                       : std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 |
                             std::uint32_t(p[1]) << 8 | p[0];
  }

 private:
  const std::uint8_t* m_data;
  bool m_bigEndian;
};

std::uint32_t ReadBE32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

bool VersionStartsWith(const std::uint8_t* field, char major) {
  return (field[0] == 'V' || field[0] == 'v') && field[1] == major;
}

bool SupportedDepth(int bits) { return bits == 8 || bits == 10 || bits == 12 || bits == 16; }

// Smallest word of the given granularity that holds one sample.
int ContainerFor(int bits, int granularity) {
  return (bits + granularity - 1) / granularity * granularity;
}

// Fixes the line geometry and checks that all lines lie inside the file. Word-aligned lines
// are the rule; some writers pack 8- and 16-bit lines tightly, which is accepted when the
// file is too short for aligned lines.
FilmError FinishLayout(std::size_t size, std::size_t lineEndPadding, FilmRaster* r) {
  if (r->storedWidth == 0 || r->storedHeight == 0 || r->storedWidth > kFilmMaxSide ||
      r->storedHeight > kFilmMaxSide ||
      std::uint64_t(r->storedWidth) * r->storedHeight > kFilmMaxPixels) {
    return FilmError::kRead;
  }
  const std::uint64_t samples = std::uint64_t(r->storedWidth) * r->samplesPerPixel;
  std::uint64_t lineBytes;
  if (r->containerBits == 0) {
    lineBytes = (samples * r->bits + 7) / 8;
  } else {
    const std::uint64_t perWord = r->containerBits / r->bits;
    lineBytes = (samples + perWord - 1) / perWord * (r->containerBits / 8);
  }
  if (r->dataOffset > size || lineEndPadding > size) return FilmError::kRead;
  const std::uint64_t available = size - r->dataOffset;
  const std::uint64_t aligned = (lineBytes + 3) / 4 * 4 + lineEndPadding;
  const std::uint64_t tight = lineBytes + lineEndPadding;
  const std::uint64_t lines = r->storedHeight - 1;
  std::uint64_t stride;
  if (aligned * lines + lineBytes <= available) {
    stride = aligned;
  } else if (tight * lines + lineBytes <= available) {
    stride = tight;
  } else {
    return FilmError::kRead;
  }
  r->lineBytes = lineBytes;
  r->lineStride = stride;
  return FilmError::kNone;
}

FilmError ParseCineon(const std::uint8_t* data, std::size_t size, bool bigEndian, FilmRaster* r) {
  if (size < kCinHeaderMin) return FilmError::kRead;
  const Reader in(data, bigEndian);
  if (!VersionStartsWith(data + kCinVersion, '4')) return FilmError::kVersion;
  const int count = in.U8(kCinChannelCount);
  if (count != 1 && count != 3) return FilmError::kChannels;
  static_assert(kCinChannels + kCinMaxChannels * kCinChannelSize <= kCinHeaderMin);

  const int bits = in.U8(kCinChannels + 2);
  const std::uint32_t width = in.U32(kCinChannels + 4);
  const std::uint32_t height = in.U32(kCinChannels + 8);
  bool designated = true;  // channels say red, green, blue in this order
  bool undesignated = true;
  for (int c = 0; c < count; ++c) {
    const std::size_t at = kCinChannels + c * kCinChannelSize;
    if (in.U8(at) != 0) return FilmError::kChannels;  // not universal metric
    if (in.U8(at + 2) != bits || in.U32(at + 4) != width || in.U32(at + 8) != height) {
      return FilmError::kDimensions;
    }
    designated = designated && in.U8(at + 1) == c + 1;
    undesignated = undesignated && in.U8(at + 1) == 0;
  }
  if (count == 3 && !designated && !undesignated) return FilmError::kChannels;
  if (count == 3 && in.U8(kCinInterleave) != 0) return FilmError::kInterleave;

  const int packing = in.U8(kCinPacking);
  if (!SupportedDepth(bits) || packing > 6) return FilmError::kPacking;
  r->bits = bits;
  if (packing == 0) {
    r->containerBits = (bits % 8 == 0) ? bits : 0;
  } else {
    const int granularity = packing <= 2 ? 8 : packing <= 4 ? 16 : 32;
    // Whole bytes need no word: their order is the stream order in either byte order.
    r->containerBits = (bits % 8 == 0) ? bits : ContainerFor(bits, granularity);
    r->leftJustified = packing % 2 == 1;
  }
  r->channels = count == 1 ? FilmChannels::kGrey : FilmChannels::kRGB;
  r->samplesPerPixel = count;
  r->storedWidth = width;
  r->storedHeight = height;
  const int orientation = in.U8(kCinOrientation);
  r->orientation = orientation <= 7 ? orientation : 0;
  r->bigEndian = bigEndian;
  r->logarithmic = true;
  r->dataOffset = in.U32(4);
  std::uint32_t padding = in.U32(kCinLinePadding);
  if (padding == kUndefined32) padding = 0;
  return FinishLayout(size, padding, r);
}

FilmError ParseDpx(const std::uint8_t* data, std::size_t size, bool bigEndian, FilmRaster* r) {
  if (size < kDpxHeaderMin) return FilmError::kRead;
  const Reader in(data, bigEndian);
  if (!VersionStartsWith(data + kDpxVersion, '1') && !VersionStartsWith(data + kDpxVersion, '2')) {
    return FilmError::kVersion;
  }
  const int elements = in.U16(kDpxElementCount);
  if (elements < 1 || elements > kDpxMaxElements) return FilmError::kChannels;
  const std::size_t e = kDpxElements;
  const int descriptor = in.U8(e + 20);
  switch (descriptor) {
    case kDpxLuma:
      r->channels = FilmChannels::kGrey;
      r->samplesPerPixel = 1;
      // Single-component elements fill their words from the low end (ImageMagick writes and
      // reads them so), unlike RGB, whose red sits in the top bits.
      r->lowDatumFirst = true;
      break;
    case kDpxRGB:
      r->channels = FilmChannels::kRGB;
      r->samplesPerPixel = 3;
      break;
    case kDpxRGBA:
      r->channels = FilmChannels::kRGBA;
      r->samplesPerPixel = 4;
      break;
    case kDpxABGR:
      r->channels = FilmChannels::kABGR;
      r->samplesPerPixel = 4;
      break;
    case kDpxRed:
    case kDpxGreen:
    case kDpxBlue:
      // Colour planes in separate elements.
      return elements >= 3 ? FilmError::kInterleave : FilmError::kChannels;
    default:
      return FilmError::kChannels;
  }
  const int bits = in.U8(e + 23);
  const int packing = in.U16(e + 24);
  const int encoding = in.U16(e + 26);
  if (!SupportedDepth(bits) || encoding != 0 || packing > 2) return FilmError::kPacking;
  r->bits = bits;
  if (packing == 0) {
    r->containerBits = (bits % 8 == 0) ? bits : 0;
  } else {
    // Filled: 10-bit samples three to a 32-bit word, 12-bit samples one to a 16-bit word.
    r->containerBits = bits == 10 ? 32 : bits == 12 ? 16 : bits;
    r->leftJustified = packing == 1;
  }
  const int transfer = in.U8(e + 21);
  r->logarithmic = transfer == kDpxPrintingDensity || transfer == kDpxLogarithmic;
  r->storedWidth = in.U32(kDpxPixelsPerLine);
  r->storedHeight = in.U32(kDpxLinesPerElement);
  const int orientation = in.U16(kDpxOrientation);
  r->orientation = orientation <= 7 ? orientation : 0;
  r->bigEndian = bigEndian;
  const std::uint32_t elementOffset = in.U32(e + 28);
  r->dataOffset = (elementOffset != 0 && elementOffset != kUndefined32) ? elementOffset : in.U32(4);
  std::uint32_t padding = in.U32(e + 32);
  if (padding == kUndefined32) padding = 0;
  return FinishLayout(size, padding, r);
}

// Reads sample number `index` of one stored line.
class LineSamples {
 public:
  explicit LineSamples(const FilmRaster& r)
      : m_bits(r.bits),
        m_container(r.containerBits),
        m_bytesPerWord(r.containerBits / 8),
        m_perWord(r.containerBits ? r.containerBits / r.bits : 0),
        m_left(r.leftJustified),
        m_lowFirst(r.lowDatumFirst),
        m_bigEndian(r.bigEndian),
        m_mask((1u << r.bits) - 1) {}

  std::uint32_t Get(const std::uint8_t* line, std::uint64_t index) const {
    if (m_container == 0) return FromStream(line, index);
    const std::uint8_t* word = line + (index / m_perWord) * m_bytesPerWord;
    int slot = int(index % m_perWord);
    if (m_lowFirst) slot = m_perWord - 1 - slot;
    std::uint32_t value = 0;
    for (int i = 0; i < m_bytesPerWord; ++i) {
      const int byte = m_bigEndian ? i : m_bytesPerWord - 1 - i;
      value = value << 8 | word[byte];
    }
    const int shift = m_left ? m_container - m_bits * (slot + 1) : m_bits * (m_perWord - 1 - slot);
    return (value >> shift) & m_mask;
  }

 private:
  // One continuous stream, most significant bit first.
  std::uint32_t FromStream(const std::uint8_t* line, std::uint64_t index) const {
    const std::uint64_t bit = index * m_bits;
    const std::uint8_t* p = line + bit / 8;
    const int skip = int(bit % 8);
    const int bytes = (skip + m_bits + 7) / 8;
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
    return (value >> (bytes * 8 - skip - m_bits)) & m_mask;
  }

  int m_bits;
  int m_container;
  int m_bytesPerWord;
  int m_perWord;
  bool m_left;
  bool m_lowFirst;
  bool m_bigEndian;
  std::uint32_t m_mask;
};

}  // namespace

const char* FilmErrorText(FilmError error) {
  switch (error) {
    case FilmError::kNone:
      return "";
    case FilmError::kVersion:
      return "Unsupported file version.";
    case FilmError::kInterleave:
      return "Unknown data interleaving scheme.";
    case FilmError::kPacking:
      return "Unknown data packing scheme.";
    case FilmError::kDimensions:
      return "Channels with varying dimensions not supported.";
    case FilmError::kChannels:
      return "File does not contain RGB data in supported (universal metric) channels.";
    case FilmError::kRead:
      break;
  }
  return "Error reading file.";
}

bool IsFilmFile(const std::uint8_t* header, std::size_t size) {
  if (header == nullptr || size < 4) return false;
  const std::uint32_t be = ReadBE32(header);
  const std::uint32_t le = __builtin_bswap32(be);
  return be == kCineonMagic || le == kCineonMagic || std::memcmp(header, "SDPX", 4) == 0 ||
         std::memcmp(header, "XPDS", 4) == 0;
}

FilmError ParseFilmRaster(const std::uint8_t* data, std::size_t size, FilmRaster* raster) {
  *raster = FilmRaster{};
  if (data == nullptr || size < 4) return FilmError::kRead;
  const std::uint32_t be = ReadBE32(data);
  if (be == kCineonMagic) return ParseCineon(data, size, true, raster);
  if (__builtin_bswap32(be) == kCineonMagic) return ParseCineon(data, size, false, raster);
  if (std::memcmp(data, "SDPX", 4) == 0) return ParseDpx(data, size, true, raster);
  if (std::memcmp(data, "XPDS", 4) == 0) return ParseDpx(data, size, false, raster);
  return FilmError::kRead;
}

FilmError ConvertFilmRaster(const std::uint8_t* data, std::size_t size, const FilmRaster& r,
                            const LogToLinearParams& params, std::uint8_t* const* lines) {
  // The layout was checked against the size when parsed; check again in case the caller
  // hands a different block.
  if (r.lineStride == 0 || r.dataOffset > size ||
      r.lineStride * (r.storedHeight - 1) + r.lineBytes > size - r.dataOffset) {
    return FilmError::kRead;
  }
  const std::vector<std::uint8_t> colour = BuildSampleTable(r.bits, r.logarithmic, params);
  const std::vector<std::uint8_t> alpha = BuildSampleTable(r.bits, false, params);
  const LineSamples samples(r);
  const std::uint32_t outWidth = r.Width();
  const std::uint32_t outHeight = r.Height();
  const bool transposed = r.orientation >= 4;
  // The usual film frame, 10-bit RGB filled from the top of each word, is one word a pixel.
  const bool wordPerPixel = r.channels == FilmChannels::kRGB && r.bits == 10 &&
                            r.containerBits == 32 && r.leftJustified && !r.lowDatumFirst;
  // Orientation codes: bit 0 reverses the line order, bit 1 the direction along a line
  // (for the transposed codes 4-7 the roles of lines and columns swap).
  const bool flipAlong = (r.orientation & 2) != 0;
  const bool flipAcross = (r.orientation & 1) != 0;
  for (std::uint32_t y = 0; y < r.storedHeight; ++y) {
    const std::uint8_t* line = data + r.dataOffset + std::size_t(y) * r.lineStride;
    const std::uint32_t across = flipAcross ? r.storedHeight - 1 - y : y;
    for (std::uint32_t x = 0; x < r.storedWidth; ++x) {
      const std::uint32_t along = flipAlong ? r.storedWidth - 1 - x : x;
      const std::uint32_t dx = transposed ? across : along;
      const std::uint32_t dy = transposed ? along : across;
      if (dx >= outWidth || dy >= outHeight) return FilmError::kRead;
      std::uint8_t* out = lines[dy] + std::size_t(dx) * 4;
      const std::uint64_t first = std::uint64_t(x) * r.samplesPerPixel;
      std::uint8_t red, green, blue, opacity = 255;
      if (wordPerPixel) {
        const std::uint8_t* w = line + std::size_t(x) * 4;
        const std::uint32_t v = r.bigEndian ? ReadBE32(w) : __builtin_bswap32(ReadBE32(w));
        red = colour[(v >> 22) & 0x3FF];
        green = colour[(v >> 12) & 0x3FF];
        blue = colour[(v >> 2) & 0x3FF];
      } else if (r.channels == FilmChannels::kGrey) {
        red = green = blue = colour[samples.Get(line, first)];
      } else if (r.channels == FilmChannels::kABGR) {
        opacity = alpha[samples.Get(line, first)];
        blue = colour[samples.Get(line, first + 1)];
        green = colour[samples.Get(line, first + 2)];
        red = colour[samples.Get(line, first + 3)];
      } else {
        red = colour[samples.Get(line, first)];
        green = colour[samples.Get(line, first + 1)];
        blue = colour[samples.Get(line, first + 2)];
        if (r.channels == FilmChannels::kRGBA) opacity = alpha[samples.Get(line, first + 3)];
      }
      out[0] = blue;
      out[1] = green;
      out[2] = red;
      out[3] = opacity;
    }
  }
  return FilmError::kNone;
}
