#include "output/ImageEncoders.h"

#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace {

// Closes the file on every way out and removes it unless the write was committed.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path)
      : m_path(path), m_file(std::fopen(path.c_str(), "wb")) {}
  ~OutputFile() {
    if (m_file) std::fclose(m_file);
    if (!m_committed) std::remove(m_path.c_str());
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  FILE* get() const { return m_file; }
  bool Commit() {
    const bool ok = m_file && std::fflush(m_file) == 0 && !std::ferror(m_file);
    const bool closed = m_file && std::fclose(m_file) == 0;
    m_file = nullptr;
    m_committed = ok && closed;
    return m_committed;
  }

 private:
  std::string m_path;
  FILE* m_file;
  bool m_committed = false;
};

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

bool WritesAlpha(const CImageBitmap& bitmap) {
  return bitmap.GetBitsPerPixel() == 32 && bitmap.HasAlpha();
}

void PutLE16(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
void PutLE32(std::uint8_t* p, std::uint32_t v) {
  PutLE16(p, v);
  PutLE16(p + 2, v >> 16);
}

// --- Windows bitmap: 24 bits, or 32 bits with an alpha mask (BITMAPV4HEADER) ---------------

class CBmpEncoder : public CRvImageEncoder {
 public:
  bool Encode(const CImageBitmap& bitmap, const std::string& path,
              std::string* error) const override {
    const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
    const bool alpha = WritesAlpha(bitmap);
    const int bpp = alpha ? 32 : 24;
    const std::uint32_t stride = std::uint32_t(CImageBitmap::StrideFor(width, bpp));
    const std::uint32_t infoSize = alpha ? 108 : 40;
    const std::uint32_t offset = 14 + infoSize;
    const std::uint64_t fileSize = offset + std::uint64_t(stride) * std::uint64_t(height);
    if (fileSize > 0xFFFFFFFFu) return Fail(error, "Bitmap too large for a BMP file: " + path);
    std::uint8_t header[14 + 108] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutLE32(header + 2, std::uint32_t(fileSize));
    PutLE32(header + 10, offset);
    std::uint8_t* info = header + 14;
    PutLE32(info, infoSize);
    PutLE32(info + 4, std::uint32_t(width));
    PutLE32(info + 8, std::uint32_t(height));
    PutLE16(info + 12, 1);
    PutLE16(info + 14, std::uint32_t(bpp));
    PutLE32(info + 16, alpha ? 3u : 0u);  // BI_BITFIELDS carries the alpha mask
    PutLE32(info + 20, stride * std::uint32_t(height));
    PutLE32(info + 24, 2835);  // 72 dpi
    PutLE32(info + 28, 2835);
    if (alpha) {
      PutLE32(info + 40, 0x00FF0000u);
      PutLE32(info + 44, 0x0000FF00u);
      PutLE32(info + 48, 0x000000FFu);
      PutLE32(info + 52, 0xFF000000u);
      PutLE32(info + 56, 0x73524742u);  // 'sRGB'
    }
    OutputFile file(path);
    if (!file.get()) return Fail(error, "Cannot create " + path);
    bool ok = std::fwrite(header, 1, offset, file.get()) == offset;
    std::vector<std::uint8_t> row(stride, 0);
    const bool direct = bitmap.GetBitsPerPixel() == bpp;
    for (int y = height - 1; y >= 0 && ok; --y) {  // bottom row first
      const std::uint8_t* src = bitmap.GetLineArray()[y];
      if (direct) {
        ok = std::fwrite(src, 1, stride, file.get()) == stride;
        continue;
      }
      for (int x = 0; x < width; ++x) std::memcpy(&row[std::size_t(x) * 3], src + x * 4, 3);
      ok = std::fwrite(row.data(), 1, stride, file.get()) == stride;
    }
    if (!ok || !file.Commit()) return Fail(error, "Cannot write " + path);
    return true;
  }
};

// --- PNG ---------------------------------------------------------------------------------------

struct PngJob {
  char message[256];
};

void PngError(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
  std::snprintf(job->message, sizeof job->message, "%s", message);
  png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

bool RunPng(png_structp png, png_infop info, FILE* file, const CImageBitmap& bitmap) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  const bool alpha = WritesAlpha(bitmap);
  png_set_IHDR(png, info, png_uint_32(bitmap.GetWidth()), png_uint_32(bitmap.GetHeight()), 8,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  // A 32-bit frame without alpha: the fourth byte is padding that libpng strips.
  if (bitmap.GetBitsPerPixel() == 32 && !alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
  for (int y = 0; y < bitmap.GetHeight(); ++y)
    png_write_row(png, const_cast<png_bytep>(bitmap.GetLineArray()[y]));
  png_write_end(png, nullptr);
  return true;
}

class CPngEncoder : public CRvImageEncoder {
 public:
  bool Encode(const CImageBitmap& bitmap, const std::string& path,
              std::string* error) const override {
    OutputFile file(path);
    if (!file.get()) return Fail(error, "Cannot create " + path);
    PngJob job{};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, PngError, PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
      png_destroy_write_struct(&png, &info);
      return Fail(error, "Out of memory creating PNG writer.");
    }
    const bool ok = RunPng(png, info, file.get(), bitmap);
    png_destroy_write_struct(&png, &info);
    if (!ok) return Fail(error, std::string("PNG: ") + job.message);
    if (!file.Commit()) return Fail(error, "Cannot write " + path);
    return true;
  }
};

// --- TIFF: 8-bit RGB or RGBA (unassociated alpha), deflate -----------------------------------

int TiffErrorHandler(TIFF*, void* user, const char*, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  *static_cast<std::string*>(user) = text;
  return 1;
}
int TiffWarningHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

class CTiffEncoder : public CRvImageEncoder {
 public:
  bool Encode(const CImageBitmap& bitmap, const std::string& path,
              std::string* error) const override {
    const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
    const bool alpha = WritesAlpha(bitmap);
    std::string reason;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return Fail(error, "Out of memory creating TIFF writer.");
    TIFFOpenOptionsSetErrorHandlerExtR(options, TiffErrorHandler, &reason);
    TIFFOpenOptionsSetWarningHandlerExtR(options, TiffWarningHandler, nullptr);
    TIFF* tif = TIFFOpenExt(path.c_str(), "w", options);
    TIFFOpenOptionsFree(options);
    if (!tif) return Fail(error, "Cannot create " + path + ": " + reason);
    const std::uint16_t samples = alpha ? 4 : 3;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, std::uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, std::uint32_t(height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    if (alpha) {
      const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
      TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    const int srcBytes = bitmap.GetBitsPerPixel() / 8;
    std::vector<std::uint8_t> row(std::size_t(width) * samples);
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
      const std::uint8_t* src = bitmap.GetLineArray()[y];
      std::uint8_t* dst = row.data();
      for (int x = 0; x < width; ++x, src += srcBytes, dst += samples) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        if (alpha) dst[3] = src[3];
      }
      ok = TIFFWriteScanline(tif, row.data(), std::uint32_t(y), 0) >= 0;
    }
    ok = TIFFFlush(tif) == 1 && ok;
    TIFFClose(tif);
    if (!ok) {
      std::remove(path.c_str());
      return Fail(error, "Cannot write " + path + ": " + reason);
    }
    return true;
  }
};

// --- JPEG ------------------------------------------------------------------------------------

class CJpegEncoder : public CRvImageEncoder {
 public:
  explicit CJpegEncoder(int quality) : m_quality(quality) {}
  bool Encode(const CImageBitmap& bitmap, const std::string& path,
              std::string* error) const override {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    if (!m_compressor.Compress(bitmap, m_quality, &data, &size, error)) return false;
    OutputFile file(path);
    if (!file.get()) return Fail(error, "Cannot create " + path);
    if (std::fwrite(data, 1, size, file.get()) != size || !file.Commit())
      return Fail(error, "Cannot write " + path);
    return true;
  }

 private:
  int m_quality;
  mutable CRvJpegCompressor m_compressor;  // keeps its output memory between frames
};

struct JpegErrorJob {
  jpeg_error_mgr error;  // first: libjpeg hands the error manager back
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegError(j_common_ptr cinfo) {
  auto* job = reinterpret_cast<JpegErrorJob*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, job->message);
  std::longjmp(job->jump, 1);
}

}  // namespace

struct CRvJpegCompressor::Impl {
  jpeg_compress_struct cinfo;
  JpegErrorJob job;
  unsigned char* buffer = nullptr;  // malloc'd; libjpeg grows it as needed
  unsigned long capacity = 0;
  bool created = false;
};

CRvJpegCompressor::CRvJpegCompressor() : m_impl(std::make_unique<Impl>()) {
  std::memset(&m_impl->cinfo, 0, sizeof m_impl->cinfo);
  std::memset(&m_impl->job, 0, sizeof m_impl->job);
}

CRvJpegCompressor::~CRvJpegCompressor() {
  if (m_impl->created) jpeg_destroy_compress(&m_impl->cinfo);
  std::free(m_impl->buffer);
}

namespace {

// No automatic objects with destructors in here: a libjpeg error long-jumps out of it.
bool RunJpeg(jpeg_compress_struct* cinfo, JpegErrorJob* job, const CImageBitmap& bitmap,
             int quality, unsigned char** buffer, unsigned long* size) {
  if (setjmp(job->jump)) return false;
  jpeg_mem_dest(cinfo, buffer, size);
  cinfo->image_width = JDIMENSION(bitmap.GetWidth());
  cinfo->image_height = JDIMENSION(bitmap.GetHeight());
  cinfo->input_components = bitmap.GetBitsPerPixel() / 8;
  cinfo->in_color_space = bitmap.GetBitsPerPixel() == 32 ? JCS_EXT_BGRX : JCS_EXT_BGR;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    auto row = const_cast<JSAMPROW>(bitmap.GetLineArray()[cinfo->next_scanline]);
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

}  // namespace

bool CRvJpegCompressor::Compress(const CImageBitmap& source, int quality, const std::uint8_t** data,
                                 std::size_t* size, std::string* error) {
  std::unique_ptr<CDIBSectionBitmap> holder;
  const CImageBitmap& bitmap = RvTrueColour(source, &holder);
  if (bitmap.GetWidth() <= 0 || bitmap.GetHeight() <= 0 || bitmap.GetWidth() > 65500 ||
      bitmap.GetHeight() > 65500)
    return Fail(error, "JPEG: frame size out of range");
  Impl& m = *m_impl;
  if (!m.created) {
    m.cinfo.err = jpeg_std_error(&m.job.error);
    m.job.error.error_exit = JpegError;
    if (setjmp(m.job.jump)) return Fail(error, std::string("JPEG: ") + m.job.message);
    jpeg_create_compress(&m.cinfo);
    m.created = true;
  }
  // jpeg_mem_dest writes into the buffer it is given and replaces it when it must grow; the
  // size in and out is separate from the capacity kept here.
  unsigned long written = m.capacity;
  unsigned char* const previous = m.buffer;
  if (!RunJpeg(&m.cinfo, &m.job, bitmap,
               quality < 1     ? 1
               : quality > 100 ? 100
                               : quality,
               &m.buffer, &written)) {
    jpeg_abort_compress(&m.cinfo);
    return Fail(error, std::string("JPEG: ") + m.job.message);
  }
  // A buffer that had to grow was replaced by a new one; the old one is still ours to free.
  if (m.buffer != previous) {
    std::free(previous);
    m.capacity = written;
  }
  *data = m.buffer;
  *size = written;
  return true;
}

const CImageBitmap& RvTrueColour(const CImageBitmap& bitmap,
                                 std::unique_ptr<CDIBSectionBitmap>* holder) {
  const int bpp = bitmap.GetBitsPerPixel();
  if (bpp == 24 || bpp == 32) return bitmap;
  auto copy = std::make_unique<CDIBSectionBitmap>();
  copy->Create(bitmap.GetWidth(), bitmap.GetHeight(), 32, false);
  const RvPixel* palette = bitmap.GetPalette();
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    for (int x = 0; x < bitmap.GetWidth(); ++x) {
      RvPixel pixel = bitmap.GetPixel(x, y);
      if (bpp <= 8) {
        pixel = palette ? palette[pixel] | 0xFF000000u : RvMakePixel(0, 0, 0);
      } else {  // 16 bits, 5-5-5
        const auto five = [](unsigned v) { return std::uint8_t((v << 3) | (v >> 2)); };
        pixel = RvMakePixel(five((pixel >> 10) & 31), five((pixel >> 5) & 31), five(pixel & 31));
      }
      copy->SetPixel(x, y, pixel);
    }
  }
  *holder = std::move(copy);
  return **holder;
}

std::unique_ptr<CRvImageEncoder> RvMakeImageEncoder(int format, int jpegQuality) {
  switch (format) {
    case 1:
      return std::make_unique<CTiffEncoder>();
    case 2:
      return std::make_unique<CBmpEncoder>();
    case 3:
      return std::make_unique<CPngEncoder>();
    case 4:
      return std::make_unique<CJpegEncoder>(jpegQuality);
    default:
      return nullptr;
  }
}
