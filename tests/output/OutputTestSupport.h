// Shared pieces of the output tests: labelled frames and a source that frees each frame at its
// next read, as the play list's cache may.
#pragma once

#include <memory>
#include <vector>

#include "imaging/ImageBitmap.h"
#include "output/FrameSource.h"

// A w x h 32-bit frame whose every pixel is label (blue byte), the row number (green) and
// 255 - label (red).
inline std::unique_ptr<CDIBSectionBitmap> LabelledFrame(int label, int w = 4, int h = 4) {
  auto bitmap = std::make_unique<CDIBSectionBitmap>();
  bitmap->Create(w, h, 32, false);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bitmap->SetPixel(x, y, RvMakePixel(255 - label, y, label));
  return bitmap;
}

// Hands out frames labelled 1..count; the previous one is overwritten and freed at each call.
class CTestSource : public CRvFrameSource {
 public:
  explicit CTestSource(int count) : m_count(count) {}
  bool GetNext(const CRvCrop*, const CRvResample*, CImageBitmap** bitmap) override {
    if (m_current) {
      for (int y = 0; y < m_current->GetHeight(); ++y)
        for (int x = 0; x < m_current->GetWidth(); ++x) m_current->SetPixel(x, y, 0xEEEEEEEEu);
      m_current.reset();
    }
    if (m_next > m_count) return false;
    m_current = LabelledFrame(m_next++);
    *bitmap = m_current.get();
    return true;
  }
  std::uint32_t AdjustRate(std::uint32_t value) const override { return value; }

 private:
  int m_count;
  int m_next = 1;
  std::unique_ptr<CDIBSectionBitmap> m_current;
};

// The label of each stored row of a frame (blue byte of its first pixel), bottom row first.
inline std::vector<int> StoredRowLabels(const CImageBitmap& bitmap) {
  std::vector<int> labels;
  for (int stored = 0; stored < bitmap.GetHeight(); ++stored)
    labels.push_back(RvPixelBlue(bitmap.GetPixel(0, bitmap.GetHeight() - 1 - stored)));
  return labels;
}
