// Frame sources: the chain a play list is pulled through when it is written out. The first
// source reads the play list from its in point to its out point; a converter may sit on top and
// change the frame rate (2:3 pull-down, 3:2 pull-up, intermediate frames).
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/ImageBitmap.h"

class CRvCrop;
class CRvPlayList;
class CRvResample;

class CRvFrameSource {
 public:
  virtual ~CRvFrameSource() = default;
  // The next frame, cropped and resampled (either may be null). The bitmap belongs to the
  // source and stays valid until its next GetNext. False when no frame is left.
  virtual bool GetNext(const CRvCrop* crop, const CRvResample* resample, CImageBitmap** bitmap) = 0;
  // A frame count or rate of the input in output terms.
  virtual std::uint32_t AdjustRate(std::uint32_t value) const = 0;
};

// Brackets every access of a play list that another thread plays at the same time (the main
// window holds its engine in Enter and releases it in Leave).
class CRvPlayListGuard {
 public:
  virtual ~CRvPlayListGuard() = default;
  virtual void Enter() = 0;
  virtual void Leave() = 0;
};

// Reads the play list from its in point (first frame when none) to its out point (last frame
// when none), moving its position. A frame that cannot be fetched comes out blank: 32 bits, the
// resample target size, or the last good frame's size when there is no resample (a 1 x 1
// frame before any good one).
class CRvPlayListSource : public CRvFrameSource {
 public:
  // guard (not owned, may be null): with one, every fetch runs inside it and the frame is
  // copied, so that the other thread's cache may evict it while it is still being written.
  CRvPlayListSource(CRvPlayList* playList, CRvPlayListGuard* guard = nullptr);
  bool GetNext(const CRvCrop* crop, const CRvResample* resample, CImageBitmap** bitmap) override;
  std::uint32_t AdjustRate(std::uint32_t value) const override { return value; }
  // Frames from the in point to the out point: what the writing will read.
  std::uint32_t GetFrameCount() const { return m_frameCount; }

 private:
  bool FetchAndAdvance(const CRvCrop* crop, const CRvResample* resample, CImageBitmap** bitmap);

  CRvPlayList* m_playList;
  CRvPlayListGuard* m_guard;
  bool m_finished = false;
  std::uint32_t m_frameCount = 0;
  int m_lastWidth = 0;
  int m_lastHeight = 0;
  std::unique_ptr<CDIBSectionBitmap> m_blank;
  std::unique_ptr<CDIBSectionBitmap> m_copy;
};

// 2:3 pull-down (24 to 30 frames per second): A B C D become A B BC CD D. fieldOrder 0 weaves
// the earlier frame into the even rows, 1 the later one.
class CRvPullDownSource : public CRvFrameSource {
 public:
  CRvPullDownSource(std::unique_ptr<CRvFrameSource> source, int fieldOrder);
  bool GetNext(const CRvCrop* crop, const CRvResample* resample, CImageBitmap** bitmap) override;
  std::uint32_t AdjustRate(std::uint32_t value) const override;

 private:
  std::unique_ptr<CRvFrameSource> m_source;
  int m_fieldOrder;
  int m_phase = 0;
  // A copy of the last frame read: the source may free its own at the next read.
  std::unique_ptr<CDIBSectionBitmap> m_held;
  std::unique_ptr<CDIBSectionBitmap> m_made;
};

// 3:2 pull-up (30 to 24 frames per second): every third input frame is dropped.
class CRvPullUpSource : public CRvFrameSource {
 public:
  explicit CRvPullUpSource(std::unique_ptr<CRvFrameSource> source);
  bool GetNext(const CRvCrop* crop, const CRvResample* resample, CImageBitmap** bitmap) override;
  std::uint32_t AdjustRate(std::uint32_t value) const override {
    return m_source->AdjustRate(value);
  }

 private:
  std::unique_ptr<CRvFrameSource> m_source;
  std::uint32_t m_counter = 0;
};

// n weighted blends between each two input frames, weights 2/(n+2) ... (n+1)/(n+2). The last
// input frame is only the end point of the last blends.
class CRvIntermediateSource : public CRvFrameSource {
 public:
  // count below 1 counts as 1.
  CRvIntermediateSource(std::unique_ptr<CRvFrameSource> source, int count);
  bool GetNext(const CRvCrop* crop, const CRvResample* resample, CImageBitmap** bitmap) override;
  std::uint32_t AdjustRate(std::uint32_t value) const override;

 private:
  std::unique_ptr<CRvFrameSource> m_source;
  int m_count;
  int m_phase = 0;
  bool m_started = false;
  // Copies of the two input frames the blends run between.
  std::unique_ptr<CDIBSectionBitmap> m_current;
  std::unique_ptr<CDIBSectionBitmap> m_next;
  std::unique_ptr<CDIBSectionBitmap> m_made;
};

// The converter of a save-dialog output option over a play-list source: 0 none, 2 intermediate
// frames (count), 3 pull-down (fieldOrder), 4 pull-up. Option 1 (motion blur) has no converter
// and gives the plain source.
std::unique_ptr<CRvFrameSource> RvMakeConverter(std::unique_ptr<CRvFrameSource> source, int option,
                                                int fieldOrder, int count);
