#pragma once

#include <memory>

#include "kagraph/KaDeviceContext.h"
#include "kagraph/KaImageDC.h"

// The windowed target of the engine: the view's drawable area. The worker opens one frame at
// a time; the user-interface thread may mark a rectangle on what is shown.
class CKaViewSurface {
 public:
  virtual ~CKaViewSurface() = default;
  // Worker: a device context covering (0, 0)-(width, height) for one frame.
  virtual CKaDeviceContext* BeginFrame(int width, int height) = 0;
  // Worker: ends the frame and shows it.
  virtual void EndFrame() = 0;
  // User-interface thread: fills a rectangle on the picture being shown.
  virtual void MarkRect(const KaRect& rect, std::uint32_t colorRef) = 0;
};

// The production surface: frames are drawn into a back buffer that the view widget paints.
class CKaBackBufferSurface : public CKaViewSurface {
 public:
  CKaBackBufferSurface() = default;
  CKaBackBuffer* GetBuffer() { return &m_buffer; }
  const CKaBackBuffer* GetBuffer() const { return &m_buffer; }
  CKaDeviceContext* BeginFrame(int width, int height) override;
  void EndFrame() override;
  void MarkRect(const KaRect& rect, std::uint32_t colorRef) override;

 private:
  CKaBackBuffer m_buffer;
  std::unique_ptr<CKaBackBufferFrame> m_frame;  // worker only
};
