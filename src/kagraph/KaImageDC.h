#pragma once

#include <QImage>
#include <QPainter>
#include <functional>
#include <memory>
#include <mutex>

#include "kagraph/KaDeviceContext.h"

// QColor of a 0x00BBGGRR colour reference.
KA_EXPORT QColor KaColorFromRef(std::uint32_t colorRef);

// Draws with QPainter into a QImage (RGB32) that the caller owns. The painter is open for the
// lifetime of the object, so one object draws one frame.
class KA_EXPORT CKaImageDC : public CKaDeviceContext {
 public:
  explicit CKaImageDC(QImage* target);
  ~CKaImageDC() override;

  int Width() const override;
  int Height() const override;
  void FillRect(const KaRect& rect, std::uint32_t colorRef) override;
  void SetStretchNearest(bool nearest) override;
  void DrawBitmap(const KaBitmapView& bitmap, int x, int y, int width, int height) override;
  void DrawTextLine(int x, int y, const std::string& text, std::uint32_t textColor,
                    std::uint32_t backColor) override;

 private:
  QImage* m_target;
  QPainter m_painter;
  bool m_nearest = true;
};

// A pair of images: the drawing thread fills the back image and presents it; the
// user-interface thread paints the last presented one. Only the swap and the paint take the
// lock, so neither thread waits for the other's drawing.
class KA_EXPORT CKaBackBuffer {
 public:
  using PresentSink = std::function<void()>;

  CKaBackBuffer();
  ~CKaBackBuffer();
  CKaBackBuffer(const CKaBackBuffer&) = delete;
  CKaBackBuffer& operator=(const CKaBackBuffer&) = delete;

  // Called (from the drawing thread) after each present; the sink must be thread-safe, for
  // example a queued update of the widget that shows the buffer.
  void SetPresentSink(PresentSink sink);

  // Drawing thread: the back image, resized (contents undefined) when its size differs.
  QImage* BeginDraw(int width, int height);
  // Drawing thread: makes the back image the shown one.
  void Present();

  // Any thread: paints the last presented image with its top-left corner at (x, y).
  void PaintTo(QPainter* painter, int x, int y) const;
  // Any thread: a deep copy of the last presented image (null before the first present).
  QImage Snapshot() const;
  // Any thread: fills a rectangle of the shown image and notifies the sink (marks drawn over
  // the last frame until the next one replaces it).
  void FillFront(const KaRect& rect, std::uint32_t colorRef);
  // Number of presents so far.
  std::uint64_t PresentCount() const;

 private:
  mutable std::mutex m_lock;  // guards m_front, m_presents and the sink
  QImage m_back;              // drawing thread only
  QImage m_front;
  std::uint64_t m_presents = 0;
  PresentSink m_sink;
};

// One frame drawn into a back buffer: opens a device context on the back image and presents
// it when it ends.
class KA_EXPORT CKaBackBufferFrame {
 public:
  CKaBackBufferFrame(CKaBackBuffer* buffer, int width, int height);
  ~CKaBackBufferFrame();
  CKaBackBufferFrame(const CKaBackBufferFrame&) = delete;
  CKaBackBufferFrame& operator=(const CKaBackBufferFrame&) = delete;
  CKaDeviceContext* DC() { return m_dc.get(); }

 private:
  CKaBackBuffer* m_buffer;
  std::unique_ptr<CKaImageDC> m_dc;
};
