// The frame renderer: puts one frame on the view or on the full-screen surface. The current
// frame (or the idle picture, or the reason it cannot be read) is placed by zoom and pan,
// surrounded by the background, filtered and composed by the ghosting buffer, and labelled
// with the info line and the rate warning.
//
// Threads. Draw, LoadIdlePicture and DropIdlePicture run on the worker only, which owns the
// idle picture and the ghosting buffer's pixels (the buffer's parameters are atomics of its
// own). What the last frame left (its size, the bitmap shown, the info line) is written by
// the worker and read by anyone. MarkImageRect runs on the user-interface thread. A request to
// empty the ghosting buffer may come from either thread: the worker empties it itself before
// its next frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "engine/ViewSettings.h"
#include "imageops/MoBlurBuffer.h"

class CImageBitmap;
class CKaEngineHost;
class CKaFullScreenSession;
class CKaStatusLine;
class CKaViewSurface;
class CRvCrop;
class CRvPlayList;
class CRvResample;

// Where one frame comes from, gathered by the worker for Draw.
struct KaFrameSources {
  CRvPlayList* list = nullptr;
  const CRvCrop* crop = nullptr;
  const CRvResample* resample = nullptr;
  bool checkChanged = false;  // run the play list's changed-frame check first
  std::uint32_t changedCriterion = 0;
  double measuredRate = 0.0;
  std::uint32_t requestedRate = 0;
  std::uint32_t step = 1;
};

class CKaFrameRenderer {
 public:
  static constexpr std::uint32_t kMarkColor = 0x00F37F7Fu;

  // None of the collaborators is owned; the view and the status line may be null.
  CKaFrameRenderer(CKaViewSurface* view, CKaStatusLine* statusLine,
                   CKaFullScreenSession* fullScreen, CKaEngineHost* host);
  ~CKaFrameRenderer();

  // Worker start: the idle picture, unless one is loaded already; none when loading fails.
  void LoadIdlePicture(const std::function<std::unique_ptr<CImageBitmap>()>& loader);
  void DropIdlePicture();
  void Draw(const KaFrameSources& sources, const KaViewSnapshot& view);

  // Marks a rectangle given in frame pixels on the view, where the last frame was placed.
  void MarkImageRect(const KaRect& rect, const KaViewSnapshot& view) const;
  void EmptyGhostingBuffer() { m_clearGhosting.store(true); }
  CKaMoBlurBuffer* GetMoBlurBuffer() { return &m_moBlur; }

  int GetLastWidth() const { return m_lastWidth.load(); }
  int GetLastHeight() const { return m_lastHeight.load(); }
  const CImageBitmap* GetLastShown() const { return m_lastShown.load(); }
  std::string GetLastInfoLine() const;

 private:
  CKaViewSurface* m_view;
  CKaStatusLine* m_statusLine;
  CKaFullScreenSession* m_fullScreen;
  CKaEngineHost* m_host;

  std::atomic<bool> m_clearGhosting{false};
  std::atomic<int> m_lastWidth{0};
  std::atomic<int> m_lastHeight{0};
  std::atomic<const CImageBitmap*> m_lastShown{nullptr};
  mutable std::mutex m_infoLock;  // guards m_infoLine
  std::string m_infoLine;

  // Worker only.
  CKaMoBlurBuffer m_moBlur;
  std::unique_ptr<CImageBitmap> m_idlePicture;
};
