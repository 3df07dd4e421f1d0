#include "imaging/decoders/TIFFDecoder.h"

#include <tiffio.h>

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "imaging/decoders/AdapterSupport.h"

namespace {

// The file seen by libtiff: the mapped bytes from where the TIFF starts to the end of the source.
struct MemFile {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position;
  std::string lastError;  // libtiff's last error text, for the exception
  bool cutShort = false;  // tag data lay past the end: the file is shorter than it says
};

tmsize_t MemRead(thandle_t handle, void* buffer, tmsize_t size) {
  auto* f = static_cast<MemFile*>(handle);
  if (size <= 0 || f->position >= f->size) return 0;
  const std::size_t n = std::min(std::size_t(size), f->size - f->position);
  std::memcpy(buffer, f->data + f->position, n);
  f->position += n;
  return tmsize_t(n);
}

tmsize_t MemWrite(thandle_t, void*, tmsize_t) { return 0; }

toff_t MemSeek(thandle_t handle, toff_t offset, int whence) {
  auto* f = static_cast<MemFile*>(handle);
  std::uint64_t base = 0;
  if (whence == SEEK_CUR)
    base = f->position;
  else if (whence == SEEK_END)
    base = f->size;
  const std::uint64_t target = base + offset;
  if (target > f->size) return toff_t(-1);
  f->position = std::size_t(target);
  return target;
}

int MemClose(thandle_t) { return 0; }

toff_t MemSize(thandle_t handle) { return static_cast<MemFile*>(handle)->size; }

// Lets libtiff read strips straight from the mapping instead of copying them.
int MemMap(thandle_t handle, void** base, toff_t* size) {
  auto* f = static_cast<MemFile*>(handle);
  *base = const_cast<std::uint8_t*>(f->data);
  *size = f->size;
  return 1;
}

void MemUnmap(thandle_t, void*, toff_t) {}

std::string FormatV(const char* format, va_list args) {
  char buffer[1024];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  return buffer;
}

// Per-handle handlers: several threads may use libtiff at once (decoding and writing output).
int OnError(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto* f = static_cast<MemFile*>(user);
  f->lastError = FormatV(format, args);
  (void)module;
  return 1;
}

int OnWarning(TIFF*, void* user, const char* module, const char* format, va_list args) {
  const std::string text = FormatV(format, args);
  // libtiff drops a tag whose data it cannot read and carries on (a palette image without its
  // colour map turns grey); for a cut-off file that would show wrong pixels.
  if (text.find("IO error during reading") != std::string::npos)
    static_cast<MemFile*>(user)->cutShort = true;
  if (module)
    Trace(1, "Warning in LIBTIFF(%s): %s\n", module, text.c_str());
  else
    Trace(1, "Warning in LIBTIFF: %s\n", text.c_str());
  return 1;
}

class TiffHandle {
 public:
  explicit TiffHandle(TIFF* tif) : m_tif(tif) {}
  ~TiffHandle() {
    if (m_tif) TIFFClose(m_tif);
  }
  TiffHandle(const TiffHandle&) = delete;
  TiffHandle& operator=(const TiffHandle&) = delete;
  TIFF* get() const { return m_tif; }

 private:
  TIFF* m_tif;
};

class TiffOptions {
 public:
  TiffOptions() : m_options(TIFFOpenOptionsAlloc()) {}
  ~TiffOptions() {
    if (m_options) TIFFOpenOptionsFree(m_options);
  }
  TIFFOpenOptions* get() const { return m_options; }

 private:
  TIFFOpenOptions* m_options;
};

// Expands 1-, 2- and 4-bit samples of one row to one byte each.
void UnpackRow(const std::uint8_t* packed, std::uint8_t* out, std::uint32_t width, int bits) {
  const int perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  for (std::uint32_t x = 0; x < width; ++x) {
    const int shift = 8 - bits * (int(x % std::uint32_t(perByte)) + 1);
    out[x] = std::uint8_t((packed[x / std::uint32_t(perByte)] >> shift) & mask);
  }
}

// A 16-bit half float as a float (no library needed for one conversion).
float HalfToFloat(std::uint16_t h) {
  const int sign = h >> 15, exponent = (h >> 10) & 0x1F, mantissa = h & 0x3FF;
  float v;
  if (exponent == 0)
    v = std::ldexp(float(mantissa), -24);
  else if (exponent == 31)
    v = mantissa ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
  else
    v = std::ldexp(float(mantissa | 0x400), exponent - 25);
  return sign ? -v : v;
}

// Floats are clipped to 0-1 and scaled to 8 bits, rounded; not-a-number is 0.
std::uint8_t FloatTo8(float v) {
  if (!(v > 0)) return 0;
  if (v >= 1) return 255;
  return std::uint8_t(v * 255.0f + 0.5f);
}

// 16-bit samples become 8 bits as ImageMagick's 8-bit output of a 16-bit TIFF has them:
// trunc(v x 255 / 65535), which is v / 257.
std::uint8_t Short8(std::uint16_t v) { return std::uint8_t(v / 257); }
// ImageMagick keeps alpha as opacity (65535 - alpha) and truncates that, so alpha rounds up.
std::uint8_t ShortAlpha8(std::uint16_t v) { return std::uint8_t(255 - (65535 - v) / 257); }

enum class SampleKind { kByte, kShort, kHalf, kFloat };

// Converts count samples of a decoded block row to 8 bits.
void SamplesTo8(const std::uint8_t* src, SampleKind kind, std::size_t count, std::uint8_t* out) {
  switch (kind) {
    case SampleKind::kByte:
      std::memcpy(out, src, count);
      return;
    case SampleKind::kShort:
      for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t v;
        std::memcpy(&v, src + 2 * i, 2);
        out[i] = Short8(v);
      }
      return;
    case SampleKind::kHalf:
      for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t v;
        std::memcpy(&v, src + 2 * i, 2);
        out[i] = FloatTo8(HalfToFloat(v));
      }
      return;
    case SampleKind::kFloat:
      for (std::size_t i = 0; i < count; ++i) {
        float v;
        std::memcpy(&v, src + 4 * i, 4);
        out[i] = FloatTo8(v);
      }
      return;
  }
}

// The layouts read sample by sample rather than through libtiff's RGBA interface, which
// premultiplies unassociated alpha (losing colour where alpha is low) and refuses floats.
struct DirectLayout {
  SampleKind kind = SampleKind::kByte;
  int bytesPerSample = 1;
  int samples = 1;
  int colours = 1;      // 1 grey, 3 RGB
  int alphaIndex = -1;  // sample that holds alpha, or -1
  bool invert = false;  // white is zero
  bool planar = false;  // one plane a sample
};

bool DirectLayoutOf(TIFF* tif, DirectLayout* layout) {
  std::uint16_t samples = 1, bits = 1, photometric = 0, format = SAMPLEFORMAT_UINT;
  std::uint16_t planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
  if (format == SAMPLEFORMAT_UINT && (bits == 8 || bits == 16))
    layout->kind = bits == 8 ? SampleKind::kByte : SampleKind::kShort;
  else if (format == SAMPLEFORMAT_IEEEFP && (bits == 16 || bits == 32))
    layout->kind = bits == 16 ? SampleKind::kHalf : SampleKind::kFloat;
  else
    return false;
  layout->bytesPerSample = bits / 8;
  if (photometric == PHOTOMETRIC_RGB)
    layout->colours = 3;
  else if (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE)
    layout->colours = 1;
  else
    return false;
  if (samples < layout->colours || samples > 8) return false;
  layout->samples = samples;
  layout->invert = photometric == PHOTOMETRIC_MINISWHITE;
  layout->planar = planar == PLANARCONFIG_SEPARATE && samples > 1;
  // Alpha as libtiff's RGBA interface finds it: the first extra sample when it is marked as
  // associated or unassociated alpha, or the fourth of four RGB samples without any marking.
  std::uint16_t extraCount = 0;
  std::uint16_t* extraTypes = nullptr;
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
  if (extraCount > 0 &&
      (extraTypes[0] == EXTRASAMPLE_ASSOCALPHA || extraTypes[0] == EXTRASAMPLE_UNASSALPHA))
    layout->alphaIndex = samples - extraCount;
  else if (extraCount == 0 && layout->colours == 3 && samples == 4)
    layout->alphaIndex = 3;
  return layout->alphaIndex < samples;
}

// Red, green, blue (and alpha) samples of count pixels to our blue, green, red, alpha pixels;
// without alpha samples the pixels are opaque.
void RgbToBgraScalar(const std::uint8_t* src, int samples, std::uint32_t count, std::uint8_t* dst) {
  for (std::uint32_t i = 0; i < count; ++i, src += samples, dst += 4) {
    const std::uint32_t a = samples == 4 ? std::uint32_t(src[3]) << 24 : 0xFF000000u;
    const std::uint32_t p =
        a | std::uint32_t(src[0]) << 16 | std::uint32_t(src[1]) << 8 | std::uint32_t(src[2]);
    std::memcpy(dst, &p, 4);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels a byte shuffle where the processor has one; each 16-byte load stays inside the
// row while six pixels remain.
[[gnu::target("ssse3")]] void RgbToBgraShuffle(const std::uint8_t* src, int samples,
                                               std::uint32_t count, std::uint8_t* dst) {
  const __m128i order = samples == 4
                            ? _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15)
                            : _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
  const __m128i alpha = _mm_set1_epi32(samples == 4 ? 0 : int(0xFF000000u));
  std::uint32_t x = 0;
  for (; x + 6 <= count; x += 4) {
    const __m128i v =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + std::size_t(samples) * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * std::size_t(x)),
                     _mm_or_si128(_mm_shuffle_epi8(v, order), alpha));
  }
  RgbToBgraScalar(src + std::size_t(samples) * x, samples, count - x, dst + 4 * std::size_t(x));
}
#endif

void RgbToBgra(const std::uint8_t* src, int samples, std::uint32_t count, std::uint8_t* dst) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool shuffle = __builtin_cpu_supports("ssse3");
  if (shuffle) return RgbToBgraShuffle(src, samples, count, dst);
#endif
  RgbToBgraScalar(src, samples, count, dst);
}

// Places one decoded row of a block (count pixels from column x, all samples when contiguous,
// else only sample `only`) into a bitmap row of blue, green, red, alpha bytes.
void PlaceRow(const DirectLayout& l, const std::uint8_t* values, int only, std::uint32_t x,
              std::uint32_t count, std::uint8_t* row) {
  const int perPixel = only < 0 ? l.samples : 1;
  std::uint8_t* dst = row + 4 * std::size_t(x);
  // The common contiguous layouts go whole pixels at a time.
  if (only < 0 && l.colours == 3 && (l.samples == 3 || (l.samples == 4 && l.alphaIndex == 3))) {
    RgbToBgra(values, l.samples, count, dst);
    return;
  }
  for (int s = 0; s < perPixel; ++s) {
    const int sample = only < 0 ? s : only;
    const std::uint8_t* v = values + s;
    if (sample == l.alphaIndex) {
      for (std::uint32_t i = 0; i < count; ++i) dst[4 * i + 3] = v[std::size_t(i) * perPixel];
    } else if (l.colours == 1 && sample == 0) {
      for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t g = l.invert ? 255 - v[std::size_t(i) * perPixel] : v[i * perPixel];
        dst[4 * i] = dst[4 * i + 1] = dst[4 * i + 2] = g;
      }
    } else if (l.colours == 3 && sample < 3) {
      const int offset = 2 - sample;  // red, green, blue to our blue, green, red
      for (std::uint32_t i = 0; i < count; ++i) dst[4 * i + offset] = v[std::size_t(i) * perPixel];
    }
  }
}

// Reads every strip or tile of the picture with libtiff's decoders and places its samples.
bool ReadDirect(TIFF* tif, const DirectLayout& l, std::uint32_t width, std::uint32_t height,
                std::uint8_t* const* lines) {
  const bool tiled = TIFFIsTiled(tif);
  std::uint32_t blockWidth = width, blockHeight = height;
  if (tiled) {
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &blockWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &blockHeight);
  } else {
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &blockHeight);
    blockHeight = std::min(blockHeight, height);
  }
  if (blockWidth == 0 || blockHeight == 0) return false;
  const tmsize_t blockSize = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
  if (blockSize <= 0) return false;
  const int planes = l.planar ? l.samples : 1;
  const std::size_t perPixel = l.planar ? 1 : std::size_t(l.samples);
  const std::size_t rowSamples = std::size_t(blockWidth) * perPixel;
  const std::size_t rowBytes = rowSamples * std::size_t(l.bytesPerSample);
  if (std::uint64_t(rowBytes) * blockHeight > std::uint64_t(blockSize)) return false;
  std::vector<std::uint8_t> block(static_cast<std::size_t>(blockSize));
  std::vector<std::uint8_t> values(rowSamples);
  for (int plane = 0; plane < planes; ++plane) {
    for (std::uint32_t y0 = 0; y0 < height; y0 += blockHeight) {
      for (std::uint32_t x0 = 0; x0 < width; x0 += blockWidth) {
        const tmsize_t got =
            tiled ? TIFFReadEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, std::uint16_t(plane)),
                                        block.data(), blockSize)
                  : TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y0, std::uint16_t(plane)),
                                         block.data(), blockSize);
        if (got < 0) return false;
        const std::uint32_t rows = std::min(blockHeight, height - y0);
        const std::uint32_t columns = std::min(blockWidth, width - x0);
        for (std::uint32_t r = 0; r < rows; ++r) {
          const std::uint8_t* stored = block.data() + std::size_t(r) * rowBytes;
          const std::uint8_t* converted = stored;  // 8-bit samples are used where they lie
          if (l.kind != SampleKind::kByte) {
            SamplesTo8(stored, l.kind, columns * perPixel, values.data());
            converted = values.data();
          }
          if (l.kind == SampleKind::kShort && l.alphaIndex >= 0 &&
              (!l.planar || plane == l.alphaIndex)) {
            const std::size_t first = l.planar ? 0 : std::size_t(l.alphaIndex);
            for (std::size_t i = first; i < columns * perPixel; i += perPixel) {
              std::uint16_t v;
              std::memcpy(&v, stored + 2 * i, 2);
              values[i] = ShortAlpha8(v);  // kShort: converted is values
            }
          }
          PlaceRow(l, converted, l.planar ? plane : -1, x0, columns, lines[y0 + r]);
        }
      }
    }
  }
  return true;
}

// Best ratio of decoded bytes to stored bytes for the compressions that have one.
std::uint64_t MaxCompressionRatio(TIFF* tif) {
  std::uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  switch (compression) {
    case COMPRESSION_NONE:
      return 1;
    case COMPRESSION_PACKBITS:
      return 64;
    case COMPRESSION_LZW:
      return kLzwMaxRatio;
    case COMPRESSION_DEFLATE:
    case COMPRESSION_ADOBE_DEFLATE:
      return kDeflateMaxRatio;
    default:
      return 0;  // unbounded as far as we know: only the size limit applies
  }
}

}  // namespace

void CTIFFDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  MemFile file{};
  file.size = source->GetRemaining();
  file.data = source->ReadNBytes(file.size);

  TiffOptions options;
  if (!options.get()) RaiseError(kErrNoMemory, "Out of memory allocating TIFF buffer.");
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &file);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &file);
  TiffHandle tif(TIFFClientOpenExt("MemSource", "r", &file, MemRead, MemWrite, MemSeek, MemClose,
                                   MemSize, MemMap, MemUnmap, options.get()));
  if (!tif.get())
    RaiseError(kErrFormat, file.lastError.empty() ? "Cannot open TIFF data." : file.lastError);
  // libtiff reports some damage as an error but carries on; such a picture would come out wrong.
  if (!file.lastError.empty()) RaiseError(kErrFormat, file.lastError);
  if (file.cutShort) throw CTextException(kErrEndOfFile, "End of file reached while decoding.\n");

  std::uint32_t width = 0, height = 0;
  std::uint16_t samples = 1, bits = 1, photometric = PHOTOMETRIC_MINISBLACK;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);

  const bool lineRead = samples == 1 && bits <= 8 && !TIFFIsTiled(tif.get()) && bppWanted != 32;
  if (!BitmapSizeAcceptable(width, height, lineRead ? 8 : 32))
    RaiseError(kErrFormat, "Image too large.");
  if (const std::uint64_t ratio = MaxCompressionRatio(tif.get()); ratio > 0) {
    const std::uint64_t stored =
        (std::uint64_t(width) * samples * bits + 7) / 8 * std::uint64_t(height);
    if (!DataCanDescribe(stored, file.size, ratio)) RaiseError(kErrFormat, kImplausibleText);
  }

  if (lineRead) {
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8)
      RaiseError(kErrFormat, "unexpected bit-depth in CTIFFDecoder::DoLoColor()");
    if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE &&
        photometric != PHOTOMETRIC_PALETTE)
      RaiseError(kErrFormat, "unexpected PhotometricInterpretation in CTIFFDecoder::DoLoColor()");
    bitmap->CreateForOverwrite(int(width), int(height), 8, false);

    RvPixel* palette = bitmap->GetPalette();
    const unsigned levels = 1u << bits;
    if (photometric == PHOTOMETRIC_PALETTE) {
      std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
      if (!TIFFGetField(tif.get(), TIFFTAG_COLORMAP, &red, &green, &blue))
        RaiseError(kErrFormat,
                   file.lastError.empty() ? "Palette image without colour map." : file.lastError);
      // Some writers store 8-bit values in the 16-bit table; scale only real 16-bit entries.
      bool wide = false;
      for (unsigned i = 0; i < levels; ++i)
        if (red[i] > 255 || green[i] > 255 || blue[i] > 255) wide = true;
      const int shift = wide ? 8 : 0;
      for (unsigned i = 0; i < levels; ++i)
        palette[i] = RvMakePixel(std::uint8_t(red[i] >> shift), std::uint8_t(green[i] >> shift),
                                 std::uint8_t(blue[i] >> shift));
    } else {
      for (unsigned i = 0; i < levels; ++i) {
        unsigned v = i * 255 / (levels - 1);
        if (photometric == PHOTOMETRIC_MINISWHITE) v = 255 - v;
        palette[i] = RvMakePixel(std::uint8_t(v), std::uint8_t(v), std::uint8_t(v));
      }
    }

    const tmsize_t scanline = TIFFScanlineSize(tif.get());
    if (scanline <= 0) RaiseError(kErrFormat, "Invalid TIFF scan line size.");
    std::vector<std::uint8_t> buffer;
    try {
      buffer.resize(std::size_t(scanline));
    } catch (const std::bad_alloc&) {
      RaiseError(kErrNoMemory, "Out of memory allocating TIFF buffer.");
    }
    CBitmapLock lock(bitmap);
    std::uint8_t* const* lines = bitmap->GetLineArray();
    for (std::uint32_t y = 0; y < height; ++y) {
      if (TIFFReadScanline(tif.get(), buffer.data(), y, 0) < 0)
        RaiseError(kErrFormat, file.lastError);
      if (bits == 8)
        std::memcpy(lines[y], buffer.data(), width);
      else
        UnpackRow(buffer.data(), lines[y], width, bits);
    }
    return;
  }

  std::uint16_t extraCount = 0;
  std::uint16_t* extraTypes = nullptr;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
  const bool alpha = extraCount > 0;

  if (DirectLayout layout; DirectLayoutOf(tif.get(), &layout)) {
    bitmap->CreateForOverwrite(int(width), int(height), 32, alpha || layout.alphaIndex >= 0);
    CBitmapLock lock(bitmap);
    std::uint8_t* const* lines = bitmap->GetLineArray();
    // Pixels without alpha are opaque; three contiguous samples write it with their colour.
    if (layout.alphaIndex < 0 && (layout.planar || layout.colours != 3 || layout.samples != 3))
      for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) lines[y][4 * std::size_t(x) + 3] = 255;
    if (!ReadDirect(tif.get(), layout, width, height, lines) || !file.lastError.empty())
      RaiseError(kErrFormat, file.lastError.empty() ? "Invalid TIFF data layout." : file.lastError);
    return;
  }
  const bool straightAlpha = alpha && extraTypes[0] != EXTRASAMPLE_ASSOCALPHA;

  bitmap->CreateForOverwrite(int(width), int(height), 32, alpha);
  CBitmapLock lock(bitmap);
  if (height > 0) {
    // The stored rows are one contiguous bottom-up block of width x height pixels, which is the
    // raster layout libtiff fills by default.
    auto* raster = reinterpret_cast<std::uint32_t*>(bitmap->GetLineArray()[height - 1]);
    if (!TIFFReadRGBAImage(tif.get(), width, height, raster, 0) || !file.lastError.empty())
      RaiseError(kErrWrongSignature, file.lastError);
  }
  // libtiff delivers R, G, B, A bytes with unassociated alpha premultiplied; the bitmap holds
  // B, G, R, A with straight alpha.
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t* p = bitmap->GetLineArray()[y];
    for (std::uint32_t x = 0; x < width; ++x, p += 4) {
      std::swap(p[0], p[2]);
      if (straightAlpha && p[3] != 0 && p[3] != 255) {
        const unsigned a = p[3];
        for (int c = 0; c < 3; ++c) p[c] = std::uint8_t(std::min(255u, (p[c] * 255u + a / 2) / a));
      }
    }
  }
}
