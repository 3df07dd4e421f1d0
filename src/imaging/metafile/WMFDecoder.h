#pragma once

#include <cstdint>

#include "imaging/ImageDecoder.h"

// Windows metafiles (plain or with the 22-byte placeable header) and enhanced metafiles, played
// by our own renderer (QPainter) into a picture of the metafile's size on a white background.
// Which kind a file is follows from its name: ".EMF" anywhere in it (any letter case) means
// enhanced, everything else is read as a Windows metafile.
//
// Size: a placeable metafile measures its bounding box at 96 pixels per inch; every other
// metafile measures its picture frame (a plain Windows metafile fills the reference device)
// against the reference device's pixels per millimetre. A width below 1 becomes 320, a height
// below 1 becomes 200. A picture with a side beyond kMaxShownSide is drawn scaled down to fit.
//
// Result: 8 bits per pixel with the metafile's palette (its 1 to 255 entries, the rest black;
// each pixel the nearest entry) when it carries one, else 32 bits with the alpha flag set and
// every pixel opaque.
//
// Text needs fonts: see MetafileGui.h. Decoding is safe on any thread; calls on one decoder
// object must not overlap.
class CWMFDecoder : public CImageDecoder {
 public:
  static constexpr int kScreenPixelsPerInch = 96;
  // Pictures larger than this many pixels are refused before anything is allocated.
  static constexpr std::int64_t kMaxPixels = std::int64_t(1) << 26;
  // No display shows a side longer than this: a picture declaring one is drawn smaller, its
  // aspect kept, so a sliver of absurd length cannot make every fill cost seconds.
  static constexpr int kMaxShownSide = 16384;
  static constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;

 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;

 private:
  void Render(CImageSource* source, CImageBitmap* bitmap, int bppWanted);
};

// Installs the metafile decoder in the general decoding (CAutoImageDecoder); the programs call
// it once at start, before their first frame decoder is built.
void RvRegisterMetafileDecoder();
