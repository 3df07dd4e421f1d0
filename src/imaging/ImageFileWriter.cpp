#include "imaging/ImageFileWriter.h"

#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace {

// Closes the file on every way out and removes it unless the write was committed.
class OutputFile {
 public:
  OutputFile(const std::string& path) : m_path(path), m_file(std::fopen(path.c_str(), "wb")) {}
  ~OutputFile() {
    if (m_file) std::fclose(m_file);
    if (!m_committed) std::remove(m_path.c_str());
  }
  FILE* get() const { return m_file; }
  // Flushes and closes; false when the data did not reach the disk.
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

struct PngWriteJob {
  char message[256];
};

void PngError(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngWriteJob*>(png_get_error_ptr(png));
  std::snprintf(job->message, sizeof job->message, "%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

bool RunPngWrite(png_structp png, png_infop info, FILE* file, int width, int height, bool alpha,
                 png_bytep* rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // Without alpha the fourth byte of each RGBA pixel is stripped.
  if (!alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

struct JpegWriteJob {
  jpeg_error_mgr error;  // first: libjpeg hands the error manager back
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegError(j_common_ptr cinfo) {
  auto* job = reinterpret_cast<JpegWriteJob*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, job->message);
  std::longjmp(job->jump, 1);
}

bool RunJpegWrite(jpeg_compress_struct* cinfo, JpegWriteJob* job, FILE* file, int width, int height,
                  int quality, const std::uint8_t* rgb) {
  if (setjmp(job->jump)) return false;
  jpeg_create_compress(cinfo);
  jpeg_stdio_dest(cinfo, file);
  cinfo->image_width = JDIMENSION(width);
  cinfo->image_height = JDIMENSION(height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    auto row =
        const_cast<JSAMPROW>(rgb + std::size_t(cinfo->next_scanline) * std::size_t(width) * 3);
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

int TiffErrorHandler(TIFF*, void* user, const char*, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  *static_cast<std::string*>(user) = text;
  return 1;
}

int TiffWarningHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

std::vector<std::uint8_t> BitmapToRGBA(const CImageBitmap& bitmap) {
  const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
  std::vector<std::uint8_t> out(std::size_t(width) * std::size_t(height) * 4);
  const int bpp = bitmap.GetBitsPerPixel();
  const RvPixel* palette = bitmap.GetPalette();
  std::uint8_t* dst = out.data();
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = bitmap.GetLineArray()[y];
    for (int x = 0; x < width; ++x, dst += 4) {
      if (bpp == 32) {
        const std::uint8_t* p = row + std::size_t(x) * 4;
        dst[0] = p[2];
        dst[1] = p[1];
        dst[2] = p[0];
        dst[3] = p[3];
        continue;
      }
      RvPixel pixel = bitmap.GetPixel(x, y);
      if (bpp <= 8) pixel = palette ? palette[pixel] : RvMakePixel(0, 0, 0);
      if (bpp == 16) {  // 5-5-5
        const auto five = [](unsigned v) { return std::uint8_t((v << 3) | (v >> 2)); };
        pixel = RvMakePixel(five((pixel >> 10) & 31), five((pixel >> 5) & 31), five(pixel & 31));
      }
      dst[0] = RvPixelRed(pixel);
      dst[1] = RvPixelGreen(pixel);
      dst[2] = RvPixelBlue(pixel);
      dst[3] = bpp <= 8 ? RvPixelAlpha(pixel) : 255;
    }
  }
  return out;
}

bool WritePAMFile(const CImageBitmap& bitmap, const std::string& path, std::string* error) {
  const std::vector<std::uint8_t> rgba = BitmapToRGBA(bitmap);
  OutputFile file(path);
  if (!file.get()) return Fail(error, "Cannot create " + path);
  std::fprintf(file.get(),
               "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
               bitmap.GetWidth(), bitmap.GetHeight());
  std::fwrite(rgba.data(), 1, rgba.size(), file.get());
  if (!file.Commit()) return Fail(error, "Cannot write " + path);
  return true;
}

bool WritePNGFile(const CImageBitmap& bitmap, const std::string& path, std::string* error) {
  std::vector<std::uint8_t> rgba = BitmapToRGBA(bitmap);
  std::vector<png_bytep> rows(std::size_t(bitmap.GetHeight()));
  for (std::size_t y = 0; y < rows.size(); ++y)
    rows[y] = rgba.data() + y * std::size_t(bitmap.GetWidth()) * 4;
  OutputFile file(path);
  if (!file.get()) return Fail(error, "Cannot create " + path);

  PngWriteJob job{};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    return Fail(error, "Out of memory creating PNG writer.");
  }
  // A 32-bit frame without the alpha flag often holds 0 in its fourth byte: writing that as
  // alpha would make the picture transparent. Palettised frames keep their palette's alpha.
  const bool alpha = bitmap.HasAlpha() || bitmap.GetBitsPerPixel() <= 8;
  const bool ok =
      RunPngWrite(png, info, file.get(), bitmap.GetWidth(), bitmap.GetHeight(), alpha, rows.data());
  png_destroy_write_struct(&png, &info);
  if (!ok) return Fail(error, std::string("PNG: ") + job.message);
  if (!file.Commit()) return Fail(error, "Cannot write " + path);
  return true;
}

bool WriteJPEGFile(const CImageBitmap& bitmap, const std::string& path, int quality,
                   std::string* error) {
  const std::vector<std::uint8_t> rgba = BitmapToRGBA(bitmap);
  std::vector<std::uint8_t> rgb(rgba.size() / 4 * 3);
  for (std::size_t i = 0, j = 0; i < rgba.size(); i += 4, j += 3) std::memcpy(&rgb[j], &rgba[i], 3);
  OutputFile file(path);
  if (!file.get()) return Fail(error, "Cannot create " + path);

  jpeg_compress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  JpegWriteJob job;
  std::memset(&job, 0, sizeof job);
  cinfo.err = jpeg_std_error(&job.error);
  job.error.error_exit = JpegError;
  const bool ok = RunJpegWrite(&cinfo, &job, file.get(), bitmap.GetWidth(), bitmap.GetHeight(),
                               quality, rgb.data());
  jpeg_destroy_compress(&cinfo);
  if (!ok) return Fail(error, std::string("JPEG: ") + job.message);
  if (!file.Commit()) return Fail(error, "Cannot write " + path);
  return true;
}

bool WriteTIFFFile(const CImageBitmap& bitmap, const std::string& path, std::string* error) {
  const std::vector<std::uint8_t> rgba = BitmapToRGBA(bitmap);
  const bool alpha = bitmap.HasAlpha();
  const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
  std::string libraryError;
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return Fail(error, "Out of memory creating TIFF writer.");
  TIFFOpenOptionsSetErrorHandlerExtR(options, TiffErrorHandler, &libraryError);
  TIFFOpenOptionsSetWarningHandlerExtR(options, TiffWarningHandler, nullptr);
  TIFF* tif = TIFFOpenExt(path.c_str(), "w", options);
  TIFFOpenOptionsFree(options);
  if (!tif) return Fail(error, "Cannot create " + path + ": " + libraryError);

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
  std::vector<std::uint8_t> row(std::size_t(width) * samples);
  bool ok = true;
  for (int y = 0; y < height && ok; ++y) {
    const std::uint8_t* src = rgba.data() + std::size_t(y) * std::size_t(width) * 4;
    for (int x = 0; x < width; ++x)
      std::memcpy(&row[std::size_t(x) * samples], src + x * 4, samples);
    ok = TIFFWriteScanline(tif, row.data(), std::uint32_t(y), 0) >= 0;
  }
  TIFFClose(tif);
  if (!ok) {
    std::remove(path.c_str());
    return Fail(error, "Cannot write " + path + ": " + libraryError);
  }
  return true;
}
