#include "output/PrefetchSource.h"

#include "imaging/TextException.h"

CRvPrefetchSource::CRvPrefetchSource(std::unique_ptr<CRvFrameSource> source, const CRvCrop* crop,
                                     const CRvResample* resample)
    : m_source(std::move(source)) {
  if (crop) m_crop = *crop;
  if (resample) m_resample = *resample;
  m_thread = std::thread(&CRvPrefetchSource::Run, this);
}

CRvPrefetchSource::~CRvPrefetchSource() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

void CRvPrefetchSource::Run() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_changed.wait(lock, [this] { return m_stop || m_wanted; });
      if (m_stop) return;
      m_wanted = false;
    }
    std::unique_ptr<CDIBSectionBitmap> copy;
    bool ended = false;
    std::string failure;
    try {
      CImageBitmap* bitmap = nullptr;
      ended = !m_source->GetNext(m_crop ? &*m_crop : nullptr, m_resample ? &*m_resample : nullptr,
                                 &bitmap);
      if (!ended) {
        // A copy: the source's own bitmap is valid only until its next read, which starts
        // while the caller still encodes this one.
        copy = std::make_unique<CDIBSectionBitmap>();
        copy->CopyFrom(*bitmap);
      }
    } catch (const CTextException& e) {
      failure = e.GetText().empty() ? "read failure" : e.GetText();
    } catch (const std::exception& e) {
      failure = e.what();
    }
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_ahead = std::move(copy);
      m_ended = ended || !failure.empty();
      m_failure = failure;
      m_ready = true;
    }
    m_changed.notify_all();
    if (ended || !failure.empty()) return;
  }
}

bool CRvPrefetchSource::GetNext(const CRvCrop*, const CRvResample*, CImageBitmap** bitmap) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_ready; });
  if (!m_failure.empty()) throw CTextException(0, m_failure);
  if (m_ended && !m_ahead) return false;
  m_current = std::move(m_ahead);
  m_ready = false;
  m_wanted = !m_ended;
  lock.unlock();
  m_changed.notify_all();
  *bitmap = m_current.get();
  return true;
}
