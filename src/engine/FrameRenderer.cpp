#include "engine/FrameRenderer.h"

#include <algorithm>
#include <cmath>

#include "engine/DisplayMath.h"
#include "engine/EngineHost.h"
#include "engine/FullScreenSession.h"
#include "engine/StatusLine.h"
#include "engine/ViewSurface.h"
#include "imaging/ImageBitmap.h"
#include "kagraph/KaFullscreen.h"
#include "sequence/PlayList.h"

namespace {

constexpr std::uint32_t kBlack = 0x00000000u;
constexpr std::uint32_t kWhite = 0x00FFFFFFu;
constexpr std::uint32_t kRed = 0x000000FFu;

// The drawing description of a decoded bitmap: its rows as stored, without a copy.
KaBitmapView ViewOf(const CImageBitmap& bitmap) {
  KaBitmapView v;
  const int height = bitmap.GetHeight();
  if (height <= 0 || bitmap.GetWidth() <= 0) return v;
  const std::uint8_t* const* lines = bitmap.GetLineArray();
  v.width = bitmap.GetWidth();
  v.height = height;
  v.bitsPerPixel = bitmap.GetBitsPerPixel();
  v.stride = bitmap.GetBytesPerLine();
  v.palette = bitmap.GetPalette();
  // Line 0 is the top row; stored bottom-up means the top row has the highest address.
  v.bottomUp = height == 1 || lines[0] > lines[height - 1];
  v.bits = v.bottomUp ? lines[height - 1] : lines[0];
  return v;
}

}  // namespace

CKaFrameRenderer::CKaFrameRenderer(CKaViewSurface* view, CKaStatusLine* statusLine,
                                   CKaFullScreenSession* fullScreen, CKaEngineHost* host)
    : m_view(view), m_statusLine(statusLine), m_fullScreen(fullScreen), m_host(host) {}

CKaFrameRenderer::~CKaFrameRenderer() = default;

void CKaFrameRenderer::LoadIdlePicture(
    const std::function<std::unique_ptr<CImageBitmap>()>& loader) {
  if (m_idlePicture) return;
  try {
    m_idlePicture = loader();
  } catch (...) {
    m_idlePicture.reset();  // no idle picture: the background alone is drawn
  }
}

void CKaFrameRenderer::DropIdlePicture() { m_idlePicture.reset(); }

std::string CKaFrameRenderer::GetLastInfoLine() const {
  std::lock_guard guard(m_infoLock);
  return m_infoLine;
}

void CKaFrameRenderer::MarkImageRect(const KaRect& rect, const KaViewSnapshot& view) const {
  if (!m_view) return;
  const KaRect& d = view.display;
  const int dx = ((d.right - m_lastWidth.load()) - d.left) / 2 + view.panX;
  const int dy = ((d.bottom - m_lastHeight.load()) - d.top) / 2 + view.panY;
  m_view->MarkRect({rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy}, kMarkColor);
}

void CKaFrameRenderer::Draw(const KaFrameSources& sources, const KaViewSnapshot& view) {
  std::unique_ptr<CKaUseDDrawFullscreen> scope;
  CKaDeviceContext* dc = nullptr;
  const KaRect& display = view.display;
  const bool fullScreen = m_fullScreen->IsOn();
  if (fullScreen) scope = m_fullScreen->BeginFrame();
  if (scope) {
    dc = scope->m_dc;
    dc->FillRect(display, kBlack);
  } else if (m_view) {
    dc = m_view->BeginFrame(std::max(display.right, 1), std::max(display.bottom, 1));
  }

  CRvPlayList* list = sources.list;
  if (list && sources.checkChanged) {
    list->CheckChangedFrames(int(sources.changedCriterion));
    m_host->NotifyInOut();
  }

  const CImageBitmap* picture = m_idlePicture.get();
  std::uint32_t frameNumber = 0;
  bool fromDisk = false;
  std::string failure;
  if (list) {
    CRvFrame* frame = nullptr;
    bool cacheChanged = false;
    std::string error;
    if (list->FetchCurrentFrame(sources.crop, sources.resample, &frame, &fromDisk, &cacheChanged,
                                false, &error) &&
        frame && frame->GetBitmap()) {
      picture = frame->GetBitmap();
      frameNumber = frame->GetNumber();
    } else if (frame && !error.empty()) {
      // An unreadable frame says why instead of leaving another picture up.
      picture = nullptr;
      failure = KaFormat("Frame %04u: ", frame->GetNumber()) + error;
    }
    if (cacheChanged) m_host->NotifyInOut();
    m_host->RequestReadAhead(list);
  }

  const int pictureWidth = picture ? picture->GetWidth() : 0;
  const int pictureHeight = picture ? picture->GetHeight() : 0;
  const KaPlacement place =
      KaPlacePicture(pictureWidth, pictureHeight, view.zoom, display, view.panX, view.panY);
  m_lastWidth.store(pictureWidth);
  m_lastHeight.store(pictureHeight);

  if (dc) {
    dc->SetStretchNearest(view.zoom != 1.0);
    if (!fullScreen) {
      for (const KaRect& band : KaBackgroundBands(display, place)) {
        dc->FillRect(band, view.backColor);
      }
    }
  }

  // Filters: gamma first (present only when it changes anything), then the channel view.
  const CPixelTransform* channel = view.channel;
  const CPixelTransform* first =
      view.gamma ? static_cast<const CPixelTransform*>(view.gamma.get()) : channel;
  const CPixelTransform* second = view.gamma ? channel : nullptr;
  if (m_clearGhosting.exchange(false)) m_moBlur.Clear();
  const CImageBitmap* shown = picture;
  if (picture) {
    try {
      shown = m_moBlur.Process(picture, first, second);
    } catch (...) {
      shown = picture;  // no memory for the composition: show the frame as it is
    }
    if (!shown) shown = picture;
  }
  m_lastShown.store(shown);
  if (dc && shown) dc->DrawBitmap(ViewOf(*shown), place.x, place.y, place.width, place.height);

  const double rate = sources.measuredRate;
  const std::string info = failure.empty() ? KaFormatInfoLine(frameNumber, rate, sources.step,
                                                              pictureWidth, pictureHeight, fromDisk)
                                           : failure;
  if (!fullScreen) {
    if (m_statusLine) m_statusLine->SetDefaultText(info);
  } else if (dc && view.infoText) {
    dc->DrawTextLine(0, display.bottom - 20, info, kWhite, kBlack);
  }
  const double requested = double(sources.requestedRate);
  if (dc && std::fabs(requested - rate) > requested * 0.01) {
    dc->FillRect({0, display.bottom - 1, 50, display.bottom}, kRed);
  }
  {
    std::lock_guard guard(m_infoLock);
    m_infoLine = info;
  }

  if (scope) {
    scope.reset();
  } else if (dc && m_view) {
    m_view->EndFrame();
  }
}
