#include "engine/ViewSurface.h"

CKaDeviceContext* CKaBackBufferSurface::BeginFrame(int width, int height) {
  m_frame = std::make_unique<CKaBackBufferFrame>(&m_buffer, width, height);
  return m_frame->DC();
}

void CKaBackBufferSurface::EndFrame() { m_frame.reset(); }

void CKaBackBufferSurface::MarkRect(const KaRect& rect, std::uint32_t colorRef) {
  m_buffer.FillFront(rect, colorRef);
}
