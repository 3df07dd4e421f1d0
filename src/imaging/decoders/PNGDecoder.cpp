#include "imaging/decoders/PNGDecoder.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <string>

#include "imaging/decoders/AdapterSupport.h"

namespace {

// Everything the libpng callbacks and the guarded decode share. Plain data only: libpng leaves
// through longjmp, which must not skip a destructor.
struct PngJob {
  CImageSource* source;
  CImageBitmap* bitmap;
  int bppWanted;
  int errorCode;      // code of the failure that ended the decode
  char message[512];  // its text
  bool tooLarge;
  bool implausible;  // the header claims more than the file's data can describe
  bool locked;       // the bitmap is locked while libpng writes rows
};

void OnError(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
  if (job->errorCode == 0) {
    job->errorCode = kErrFormat;
    std::snprintf(job->message, sizeof job->message, "%s", message);
  }
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp message) { Trace(1, "%s\n", message); }

void OnRead(png_structp png, png_bytep data, png_size_t length) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  bool failed = false;
  try {
    std::memcpy(data, job->source->ReadNBytes(length), length);
  } catch (const CTextException& e) {
    // The source's own code (end of file) is what the caller should see.
    job->errorCode = e.GetCode();
    std::snprintf(job->message, sizeof job->message, "%s", e.GetText().c_str());
    failed = true;
  }
  if (failed) png_error(png, job->message);
}

// Sets up the transformations for the bitmap depth the image calls for and returns that depth;
// alpha tells whether the bitmap gets the alpha flag.
int ChooseOutput(png_structp png, png_infop info, int bppWanted, bool* alpha) {
  const int colourType = png_get_color_type(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  const bool hasTRNS = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

  if (bitDepth == 16) png_set_scale_16(png);
  *alpha = false;

  switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
      if (!hasTRNS && bppWanted != 32) {
        if (bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
        return 8;
      }
      png_set_expand(png);
      png_set_gray_to_rgb(png);
      break;
    case PNG_COLOR_TYPE_PALETTE:
      if (!hasTRNS && bppWanted != 32 && bitDepth <= 8) {
        if (bitDepth < 8) png_set_packing(png);
        return 8;
      }
      png_set_expand(png);
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      png_set_gray_to_rgb(png);
      break;
    default:
      if (hasTRNS) png_set_expand(png);
      break;
  }
  // Transparency entries become a real alpha channel rather than being lost.
  *alpha = hasTRNS || (colourType & PNG_COLOR_MASK_ALPHA) != 0;
  png_set_bgr(png);
  if (!*alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  return 32;
}

// The guarded part: returns false with job->errorCode set when libpng reported a failure.
bool RunPng(png_structp png, png_infop info, PngJob* job) {
  if (setjmp(png_jmpbuf(png))) return false;

  png_set_read_fn(png, job, OnRead);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  // Stored rows (a filter byte each) come out of Deflate data, which follows in the file.
  const std::uint64_t storedBits = std::uint64_t(width) * png_get_channels(png, info) *
                                   std::uint64_t(png_get_bit_depth(png, info));

  bool alpha = false;
  const int bpp = ChooseOutput(png, info, job->bppWanted, &alpha);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (!BitmapSizeAcceptable(width, height, bpp)) {
    job->tooLarge = true;
    return false;
  }
  if (!DataCanDescribe(((storedBits + 7) / 8 + 1) * height, job->source->GetRemaining(),
                       kDeflateMaxRatio)) {
    job->implausible = true;
    return false;
  }
  // Create may throw (out of memory); no longjmp can be pending at that point.
  job->bitmap->CreateForOverwrite(int(width), int(height), std::uint16_t(bpp), alpha);
  if (bpp == 8) {
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE) {
      png_colorp palette = nullptr;
      int count = 0;
      png_get_PLTE(png, info, &palette, &count);
      RvPixel* entries = job->bitmap->GetPalette();
      // Indices past the table (a broken file) show as opaque black.
      for (int i = 0; i < 256; ++i)
        entries[i] = i < count ? RvMakePixel(palette[i].red, palette[i].green, palette[i].blue)
                               : RvMakePixel(0, 0, 0);
    } else {
      job->bitmap->SetGreyPalette();
    }
  }
  CImageBitmap* bitmap = job->bitmap;
  bitmap->Lock(false, true);
  job->locked = true;
  png_read_image(png, const_cast<png_bytepp>(bitmap->GetLineArray()));
  job->locked = false;
  bitmap->Unlock();
  png_read_end(png, nullptr);
  return true;
}

// Frees the libpng structures on every way out.
class PngReadStruct {
 public:
  PngReadStruct(png_structp png) : m_png(png) {}
  ~PngReadStruct() {
    if (m_png) png_destroy_read_struct(&m_png, m_info ? &m_info : nullptr, nullptr);
  }
  png_structp png() const { return m_png; }
  png_infop info() const { return m_info; }
  void SetInfo(png_infop info) { m_info = info; }

 private:
  png_structp m_png;
  png_infop m_info = nullptr;
};

}  // namespace

void CPNGDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  PngJob job{};
  job.source = source;
  job.bitmap = bitmap;
  job.bppWanted = bppWanted;

  PngReadStruct reader(png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning));
  if (!reader.png()) RaiseError(kErrNoMemory, "Out of memory creating PNG reader.");
  reader.SetInfo(png_create_info_struct(reader.png()));
  if (!reader.info()) RaiseError(kErrNoMemory, "Out of memory creating PNG reader.");

  if (RunPng(reader.png(), reader.info(), &job)) return;
  if (job.locked) bitmap->Unlock();
  if (job.tooLarge) RaiseError(kErrFormat, "Image too large.");
  if (job.implausible) RaiseError(kErrFormat, kImplausibleText);
  if (job.errorCode == kErrEndOfFile) throw CTextException(kErrEndOfFile, job.message);
  RaiseError(job.errorCode ? job.errorCode : kErrFormat, job.message);
}
