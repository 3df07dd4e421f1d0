#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/ImageDecoder.h"

// Macintosh QuickDraw pictures (versions 1 and 2). Only the pixel images of a picture are
// drawn: bitmaps and pixel maps (BitsRect, PackBitsRect, DirectBitsRect and their region forms)
// and QuickTime JPEG images. Vector drawing is skipped; a picture without any pixel image is an
// error. The result is 8-bit palettised when every image in the picture is indexed and shares
// one colour table, else 32-bit.
class CMacPictDecoder : public CImageDecoder {
 public:
  CMacPictDecoder();
  ~CMacPictDecoder() override;

  // Picture frames larger than this many pixels are refused before anything is allocated.
  static constexpr std::int64_t kMaxPixels = std::int64_t(1) << 26;
  // Frames up to this size are drawn whatever the file's size; larger ones need the data to
  // plausibly cover them at kMaxPixelsPerByte.
  static constexpr std::int64_t kFreeCanvasPixels = std::int64_t(1) << 20;
  static constexpr std::uint64_t kMaxPixelsPerByte = 128 * 8 / 2;

 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;

 private:
  struct Rect {
    int top = 0, left = 0, bottom = 0, right = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
  };
  struct PixMapInfo {
    int rowBytes = 0;  // without the flag bits
    bool isPixMap = false;
    Rect bounds;
    int packType = 0;
    int pixelSize = 1;
    int cmpCount = 1;
  };
  // Draws rows of one image into the canvas, mapping its source rectangle onto its
  // destination rectangle (nearest-neighbour when the sizes differ).
  class RowPlacer;

  int ReadVersion();
  void ReadOpcodes(int version);
  void SkipOpcode(int opcode, int version);
  Rect ReadRect();
  void Skip(std::size_t n);
  void SkipRegion();
  void SkipPixPat();
  void Align(int version);

  PixMapInfo ReadPixMap(bool direct);
  std::vector<RvPixel> ReadColourTable();
  void DecodeBits(int opcode);
  void DecodeDirectBits(int opcode);
  void DecodeQuickTime();
  // Reads one stored row of rowBytes unpacked bytes (packed with PackBits when packed).
  void ReadRow(const PixMapInfo& info, bool packed, int unitSize, std::size_t unpackedSize,
               std::vector<std::uint8_t>* row);

  void EnsureCanvas();
  // Charges pixels expanded or written; a file whose rows cannot hold what its images claim
  // (short or empty rows over huge bounds, many images over the whole canvas) fails instead of
  // keeping the decoder busy for seconds.
  void ChargeWork(std::uint64_t pixels);
  void UseIndexedTable(const std::vector<RvPixel>& table);
  void DropIndexes();
  void WriteResult(CImageBitmap* bitmap, int bppWanted);

  CImageSource* m_source = nullptr;
  Rect m_frame;
  int m_width = 0;
  int m_height = 0;
  bool m_haveImage = false;
  bool m_hasAlpha = false;
  std::vector<RvPixel> m_canvas;
  // Colour index per canvas pixel while every image so far is indexed with the same table;
  // kUncovered where no image drew.
  std::vector<std::uint16_t> m_indexes;
  bool m_indexed = true;
  std::vector<RvPixel> m_table;
  std::vector<std::uint8_t> m_packed;
  std::uint64_t m_work = 0;
  std::uint64_t m_workBudget = 0;
};
