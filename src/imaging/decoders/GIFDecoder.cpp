#include "imaging/decoders/GIFDecoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "imaging/decoders/AdapterSupport.h"

namespace {

struct GifInput {
  CImageSource* source;
  bool endOfData;
};

int ReadGif(GifFileType* gif, GifByteType* buffer, int length) {
  auto* input = static_cast<GifInput*>(gif->UserData);
  if (length <= 0) return 0;
  const std::size_t n = std::min(std::size_t(length), input->source->GetRemaining());
  if (n < std::size_t(length)) input->endOfData = true;
  if (n > 0) std::memcpy(buffer, input->source->ReadNBytes(n), n);
  return int(n);
}

class GifHandle {
 public:
  explicit GifHandle(GifFileType* gif) : m_gif(gif) {}
  ~GifHandle() {
    if (m_gif) DGifCloseFile(m_gif, nullptr);
  }
  GifHandle(const GifHandle&) = delete;
  GifHandle& operator=(const GifHandle&) = delete;
  GifFileType* get() const { return m_gif; }

 private:
  GifFileType* m_gif;
};

}  // namespace

void CGIFDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int) {
  GifInput input{source, false};
  int error = 0;
  GifHandle gif(DGifOpen(&input, ReadGif, &error));

  // Data that ends early is the source's end of file, whatever giflib makes of it.
  auto fail = [&](int code) {
    if (input.endOfData)
      throw CTextException(kErrEndOfFile, "End of file reached while decoding.\n");
    const char* text = GifErrorString(code);
    RaiseError(code == D_GIF_ERR_NOT_GIF_FILE ? kErrWrongSignature : kErrFormat,
               text ? text : "GIF decoding failed");
  };
  if (!gif.get()) fail(error);
  GifFileType* g = gif.get();

  GifRecordType record = UNDEFINED_RECORD_TYPE;
  do {
    if (DGifGetRecordType(g, &record) == GIF_ERROR) fail(g->Error);
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(g, &code, &ext) == GIF_ERROR) fail(g->Error);
      while (ext) {
        if (DGifGetExtensionNext(g, &ext) == GIF_ERROR) fail(g->Error);
      }
    }
  } while (record != IMAGE_DESC_RECORD_TYPE && record != TERMINATE_RECORD_TYPE);
  if (record != IMAGE_DESC_RECORD_TYPE) RaiseError(kErrFormat, "GIF file holds no image.");
  if (DGifGetImageDesc(g) == GIF_ERROR) fail(g->Error);

  const GifImageDesc& desc = g->Image;
  const long right = long(desc.Left) + desc.Width, bottom = long(desc.Top) + desc.Height;
  if (desc.Left < 0 || desc.Top < 0 || right > g->SWidth || bottom > g->SHeight) {
    char text[128];
    std::snprintf(text, sizeof text, "Image %d is not confined to screen dimension, aborted.\n", 1);
    RaiseError(kErrFormat, text);
  }
  if (!BitmapSizeAcceptable(std::uint64_t(g->SWidth), std::uint64_t(g->SHeight), 8) ||
      desc.Width <= 0 || desc.Height <= 0)
    RaiseError(kErrFormat, "Image too large.");
  // The image's codes must fit the data that is left; the screen around it is background, but
  // a screen vastly larger than the whole file could describe is a lie, not a picture.
  if (!DataCanDescribe(std::uint64_t(desc.Width) * std::uint64_t(desc.Height),
                       source->GetRemaining(), kLzwMaxRatio) ||
      !DataCanDescribe(std::uint64_t(g->SWidth) * std::uint64_t(g->SHeight), source->GetFileSize(),
                       kLzwMaxRatio))
    RaiseError(kErrFormat, kImplausibleText);

  bitmap->Create(g->SWidth, g->SHeight, 8, false);
  RvPixel* palette = bitmap->GetPalette();
  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : g->SColorMap;
  if (map) {
    for (int i = 0; i < 256; ++i)
      palette[i] = i < map->ColorCount
                       ? RvMakePixel(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue)
                       : RvMakePixel(0, 0, 0);
  } else {
    bitmap->SetGreyPalette();
  }

  CBitmapLock lock(bitmap);
  std::uint8_t* const* lines = bitmap->GetLineArray();
  // Around the image lies the screen's background colour.
  if (desc.Width != g->SWidth || desc.Height != g->SHeight)
    for (int y = 0; y < g->SHeight; ++y)
      std::memset(lines[y], g->SBackGroundColor, std::size_t(g->SWidth));

  auto readRow = [&](int y) {
    if (DGifGetLine(g, lines[desc.Top + y] + desc.Left, desc.Width) == GIF_ERROR) fail(g->Error);
  };
  if (desc.Interlace) {
    static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = kStart[pass]; y < desc.Height; y += kStep[pass]) readRow(y);
  } else {
    for (int y = 0; y < desc.Height; ++y) readRow(y);
  }
}
