#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>

#include "imageops/PixelTransform.h"
#include "imaging/ImageBitmap.h"

// Ghosting of the frames shown before the current one, composed on the draw thread.
//
// Threads: Process and Clear belong to the draw thread (or whoever holds the engine). The three
// parameters may be written from the UI thread at any time; they are atomics read once per
// Process, so a change takes effect on the next frame and a mixed old/new set lasts at most one.
class CKaMoBlurBuffer {
 public:
  enum Mode : std::int32_t { kModeOff = 0, kModeTrailFade = 1, kModeEqual = 2 };
  // More history frames than this never take part in a mix, so none are kept beyond it.
  static constexpr std::uint32_t kMaxHistory = 255;

  CKaMoBlurBuffer();
  ~CKaMoBlurBuffer();
  CKaMoBlurBuffer(const CKaMoBlurBuffer&) = delete;
  CKaMoBlurBuffer& operator=(const CKaMoBlurBuffer&) = delete;

  // The picture to show for frame: the frame itself when it is not 32 bits, or when ghosting is
  // off and there are no transforms; otherwise a bitmap owned by the buffer that stays valid
  // until the next Process or Clear. Transform a is applied before b; either may be null.
  // Returns null for a null frame. Throws CTextException (kErrNoMemory) if a buffer cannot be
  // allocated.
  const CImageBitmap* Process(const CImageBitmap* frame, const CPixelTransform* a,
                              const CPixelTransform* b);

  // Forgets the history and the trail (playback jumped).
  void Clear();

  void SetAlpha(std::uint8_t alpha) { m_alpha.store(alpha, std::memory_order_relaxed); }
  std::uint8_t GetAlpha() const { return m_alpha.load(std::memory_order_relaxed); }
  void SetFrames(std::uint32_t frames) { m_frames.store(frames, std::memory_order_relaxed); }
  std::uint32_t GetFrames() const { return m_frames.load(std::memory_order_relaxed); }
  // 0 off, 1 trailfade, 2 equal; other values behave as off.
  void SetMode(std::int32_t mode) { m_mode.store(mode, std::memory_order_relaxed); }
  std::int32_t GetMode() const { return m_mode.load(std::memory_order_relaxed); }

  // Number of frames currently kept for the equal mix (for tests and diagnostics).
  std::size_t GetHistorySize() const { return m_history.size(); }

 private:
  void EnsureResult(const CImageBitmap& frame);
  const CImageBitmap* Present(const CPixelTransform* a, const CPixelTransform* b);
  void PushHistory(const CImageBitmap& frame, std::uint32_t keep);

  // Written by the UI thread, read by the draw thread.
  std::atomic<std::uint8_t> m_alpha{64};
  std::atomic<std::uint32_t> m_frames{3};
  std::atomic<std::int32_t> m_mode{kModeTrailFade};

  // Draw thread only. m_result holds the untransformed mix (the trail); m_shown receives the
  // transformed copy, so display filters never feed back into the trail.
  std::unique_ptr<CDIBSectionBitmap> m_result;
  std::unique_ptr<CDIBSectionBitmap> m_shown;
  std::deque<std::unique_ptr<CDIBSectionBitmap>> m_history;  // oldest first
};
