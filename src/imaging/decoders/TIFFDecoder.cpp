#include "imaging/decoders/TIFFDecoder.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
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
