#include "imaging/decoders/JPEGDecoder.h"

#include <jpeglib.h>
#include <cstdio>  // jpeglib.h needs FILE

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstring>

#include "imaging/decoders/AdapterSupport.h"

namespace {

// Plain data shared with the libjpeg callbacks; libjpeg leaves through longjmp.
struct JpegJob {
  jpeg_error_mgr error;  // first, so the error manager pointer is the job
  jpeg_source_mgr input;
  jmp_buf jump;
  CImageSource* source;
  int errorCode;
  char message[JMSG_LENGTH_MAX + 64];
  bool locked;
  bool implausible;  // the header claims more than the file's data can describe
};

constexpr std::size_t kChunk = 64 * 1024;

void OnErrorExit(j_common_ptr cinfo) {
  auto* job = reinterpret_cast<JpegJob*>(cinfo->err);
  if (job->errorCode == 0) {
    job->errorCode = kErrFormat;
    (*cinfo->err->format_message)(cinfo, job->message);
  }
  std::longjmp(job->jump, 1);
}

void OnOutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  Trace(1, "%s\n", text);
}

JpegJob* JobOf(j_decompress_ptr cinfo) {
  // The source manager is a member of the job.
  return reinterpret_cast<JpegJob*>(reinterpret_cast<char*>(cinfo->src) - offsetof(JpegJob, input));
}

void InitSource(j_decompress_ptr) {}

// Hands libjpeg the next piece of the mapped file. Data that ends before the image does is an
// error: libjpeg would otherwise pad the picture with grey and report success.
boolean FillInput(j_decompress_ptr cinfo) {
  JpegJob* job = JobOf(cinfo);
  const std::size_t n = std::min(job->source->GetRemaining(), kChunk);
  if (n == 0) {
    job->errorCode = kErrEndOfFile;
    std::snprintf(job->message, sizeof job->message, "End of file reached while decoding.\n");
    std::longjmp(job->jump, 1);
  }
  job->input.next_input_byte = job->source->ReadNBytes(n);
  job->input.bytes_in_buffer = n;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  JpegJob* job = JobOf(cinfo);
  while (count > 0) {
    if (std::size_t(count) <= job->input.bytes_in_buffer) {
      job->input.next_input_byte += count;
      job->input.bytes_in_buffer -= std::size_t(count);
      return;
    }
    count -= long(job->input.bytes_in_buffer);
    job->input.bytes_in_buffer = 0;
    FillInput(cinfo);
  }
}

void TermSource(j_decompress_ptr) {}

// Adobe writes CMYK inverted; either way the result is R = C' x K' / 255 on the stored values
// (with C' = 255 - C for plain CMYK).
void CmykRowToBgra(const std::uint8_t* cmyk, std::uint8_t* bgra, unsigned width, bool inverted) {
  for (unsigned x = 0; x < width; ++x, cmyk += 4, bgra += 4) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    bgra[0] = std::uint8_t((y * k + 127) / 255);
    bgra[1] = std::uint8_t((m * k + 127) / 255);
    bgra[2] = std::uint8_t((c * k + 127) / 255);
    bgra[3] = 255;
  }
}

// The guarded part; false when libjpeg failed (job->errorCode set) or the image is too large.
bool RunJpeg(jpeg_decompress_struct* cinfo, JpegJob* job, CImageBitmap* bitmap, bool fast,
             bool* tooLarge) {
  if (setjmp(job->jump)) return false;

  jpeg_read_header(cinfo, TRUE);
  cinfo->dct_method = JDCT_FLOAT;
  if (fast) cinfo->do_fancy_upsampling = FALSE;
  const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  const bool grey = cinfo->num_components == 1;
  if (grey)
    cinfo->out_color_space = JCS_GRAYSCALE;
  else if (cmyk)
    cinfo->out_color_space = JCS_CMYK;
  else
    cinfo->out_color_space = JCS_EXT_BGRA;  // straight into the bitmap's byte order, alpha 255

  jpeg_calc_output_dimensions(cinfo);
  const int bpp = grey ? 8 : 32;
  if (!BitmapSizeAcceptable(cinfo->output_width, cinfo->output_height, bpp)) {
    *tooLarge = true;
    return false;
  }
  // Sequential Huffman data codes every block; progressive and arithmetic-coded files can be
  // far denser and are bounded by the size limit alone.
  if (!cinfo->progressive_mode && !cinfo->arith_code &&
      !DataCanDescribe(std::uint64_t(cinfo->image_width) * cinfo->image_height,
                       job->source->GetFileSize(), kJpegMaxPixelsPerByte)) {
    job->implausible = true;
    return false;
  }
  bitmap->CreateForOverwrite(int(cinfo->output_width), int(cinfo->output_height),
                             std::uint16_t(bpp), false);
  if (grey) bitmap->SetGreyPalette();

  jpeg_start_decompress(cinfo);
  bitmap->Lock(false, true);
  job->locked = true;
  std::uint8_t* const* lines = bitmap->GetLineArray();
  if (cmyk) {
    // One row of four components at a time, converted in place into the wider BGRA row:
    // both are 4 bytes a pixel, so the row itself can hold the CMYK samples.
    const bool inverted = cinfo->saw_Adobe_marker;
    while (cinfo->output_scanline < cinfo->output_height) {
      JSAMPROW row = lines[cinfo->output_scanline];
      jpeg_read_scanlines(cinfo, &row, 1);
      CmykRowToBgra(row, row, cinfo->output_width, inverted);
    }
  } else {
    while (cinfo->output_scanline < cinfo->output_height) {
      auto rows = const_cast<JSAMPARRAY>(lines + cinfo->output_scanline);
      jpeg_read_scanlines(cinfo, rows, cinfo->output_height - cinfo->output_scanline);
    }
  }
  job->locked = false;
  bitmap->Unlock();
  jpeg_finish_decompress(cinfo);
  return true;
}

class JpegDecompressor {
 public:
  JpegDecompressor() { std::memset(&m_cinfo, 0, sizeof m_cinfo); }
  ~JpegDecompressor() {
    if (m_created) jpeg_destroy_decompress(&m_cinfo);
  }
  jpeg_decompress_struct* get() { return &m_cinfo; }
  void MarkCreated() { m_created = true; }

 private:
  jpeg_decompress_struct m_cinfo;
  bool m_created = false;
};

}  // namespace

void CJPEGDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int) {
  JpegJob job;
  std::memset(&job, 0, sizeof job);
  job.source = source;
  JpegDecompressor decompressor;
  jpeg_decompress_struct* cinfo = decompressor.get();
  cinfo->err = jpeg_std_error(&job.error);
  job.error.error_exit = OnErrorExit;
  job.error.output_message = OnOutputMessage;

  if (setjmp(job.jump)) RaiseError(kErrNoMemory, "Out of memory creating JPEG reader.");
  jpeg_create_decompress(cinfo);
  decompressor.MarkCreated();

  job.input.init_source = InitSource;
  job.input.fill_input_buffer = FillInput;
  job.input.skip_input_data = SkipInput;
  job.input.resync_to_restart = jpeg_resync_to_restart;
  job.input.term_source = TermSource;
  cinfo->src = &job.input;

  bool tooLarge = false;
  if (RunJpeg(cinfo, &job, bitmap, m_fast, &tooLarge)) return;
  if (job.locked) bitmap->Unlock();
  if (tooLarge) RaiseError(kErrFormat, "Image too large.");
  if (job.implausible) RaiseError(kErrFormat, kImplausibleText);
  if (job.errorCode == kErrEndOfFile) throw CTextException(kErrEndOfFile, job.message);
  RaiseError(job.errorCode ? job.errorCode : kErrFormat, job.message);
}
