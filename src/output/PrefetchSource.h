// Reads the next frame of a source on a thread of its own while the caller encodes the current
// one. The crop and resample are fixed when it is made.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"
#include "output/FrameSource.h"

class CRvPrefetchSource : public CRvFrameSource {
 public:
  // crop and resample may be null; they are copied.
  CRvPrefetchSource(std::unique_ptr<CRvFrameSource> source, const CRvCrop* crop,
                    const CRvResample* resample);
  ~CRvPrefetchSource() override;
  CRvPrefetchSource(const CRvPrefetchSource&) = delete;
  CRvPrefetchSource& operator=(const CRvPrefetchSource&) = delete;

  // The crop and resample given here are ignored: those of the construction apply.
  bool GetNext(const CRvCrop* crop, const CRvResample* resample, CImageBitmap** bitmap) override;
  std::uint32_t AdjustRate(std::uint32_t value) const override {
    return m_source->AdjustRate(value);
  }

 private:
  void Run();

  std::unique_ptr<CRvFrameSource> m_source;  // used only by the reading thread after start
  std::optional<CRvCrop> m_crop;
  std::optional<CRvResample> m_resample;

  std::mutex m_mutex;
  std::condition_variable m_changed;
  // Guarded by m_mutex: the frame read ahead (a copy), whether one is ready, whether the
  // source has ended, whether the reader should read again, and the stop flag.
  std::unique_ptr<CDIBSectionBitmap> m_ahead;
  bool m_ready = false;
  bool m_ended = false;
  bool m_wanted = true;
  bool m_stop = false;
  std::string m_failure;  // text of an exception thrown by the source

  std::unique_ptr<CDIBSectionBitmap> m_current;  // caller's thread only
  std::thread m_thread;
};
