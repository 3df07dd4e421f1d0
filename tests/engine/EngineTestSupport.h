// Test doubles for the playback engine: a clock whose sleeps only advance its own time, a
// view surface that records every drawing call, a status-line host, an observer, and real
// play lists built from frame names (no file is read unless a decoder is attached).
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../sequence/SequenceTestSupport.h"
#include "engine/DrawThread.h"
#include "engine/StatusLine.h"
#include "engine/ViewSurface.h"
#include "imaging/ImageBitmap.h"
#include "sequence/Frame.h"
#include "sequence/PlayList.h"
#include "sequence/Sequence.h"

namespace enginetest {

class FakeClock : public CKaClock {
 public:
  double Now() override { return m_now; }
  std::uint64_t TickCount() override { return std::uint64_t(std::llround(m_now * 1000.0)); }
  void SleepMs(unsigned ms) override {
    m_now += ms / 1000.0;
    ++sleeps;
  }
  void YieldSlice() override {
    m_now += 0.0001;
    ++yields;
  }
  void Advance(double seconds) { m_now += seconds; }
  int sleeps = 0;
  int yields = 0;

 private:
  double m_now = 1000.0;
};

struct DrawOp {
  enum Kind { kFill, kBitmap, kText } kind;
  KaRect rect;  // fill rectangle, or bitmap destination
  std::uint32_t color = 0;
  KaBitmapView view;
  bool nearest = false;
};

// Records the drawing of each frame; frames[i] holds the calls of the i-th frame.
class RecordingSurface : public CKaViewSurface, public CKaDeviceContext {
 public:
  CKaDeviceContext* BeginFrame(int width, int height) override {
    m_width = width;
    m_height = height;
    frames.emplace_back();
    return this;
  }
  void EndFrame() override { ++ended; }
  void MarkRect(const KaRect& rect, std::uint32_t colorRef) override {
    marks.push_back({DrawOp::kFill, rect, colorRef, {}, false});
  }
  int Width() const override { return m_width; }
  int Height() const override { return m_height; }
  void FillRect(const KaRect& rect, std::uint32_t colorRef) override {
    frames.back().push_back({DrawOp::kFill, rect, colorRef, {}, false});
  }
  void SetStretchNearest(bool nearest) override { m_nearest = nearest; }
  void DrawBitmap(const KaBitmapView& view, int x, int y, int w, int h) override {
    frames.back().push_back({DrawOp::kBitmap, {x, y, x + w, y + h}, 0, view, m_nearest});
  }
  void DrawTextLine(int x, int y, const std::string&, std::uint32_t fg, std::uint32_t) override {
    frames.back().push_back({DrawOp::kText, {x, y, x, y}, fg, {}, false});
  }

  std::vector<std::vector<DrawOp>> frames;
  std::vector<DrawOp> marks;
  int ended = 0;

 private:
  int m_width = 0;
  int m_height = 0;
  bool m_nearest = false;
};

class StatusHost : public CKaStatusLineHost {
 public:
  void InvalidateStatus() override {}
  void StartStatusTimer(int id, int ms) override {
    std::lock_guard g(m_lock);
    timerId = id;
    timerMs = ms;
  }
  void KillStatusTimer(int id) override {
    std::lock_guard g(m_lock);
    killed = id;
  }
  std::mutex m_lock;
  int timerId = 0;
  int timerMs = 0;
  int killed = 0;
};

class Observer : public CKaPlaybackObserver {
 public:
  void OnInOutChanged(const CRvInOutRecord* record) override {
    std::lock_guard g(m_lock);
    ++inOutCalls;
    lastRecord = record;
  }
  void OnPositionChanged(std::uint32_t index) override {
    std::lock_guard g(m_lock);
    positions.push_back(index);
  }
  std::mutex m_lock;
  int inOutCalls = 0;
  const CRvInOutRecord* lastRecord = nullptr;
  std::vector<std::uint32_t> positions;
};

// A numbered play list of one sequence shot_0001.png .. shot_<count>.png in a folder that
// need not exist.
inline std::unique_ptr<CRvPlayList> MakePlayList(int count,
                                                 const std::string& folder = "/nowhere") {
  auto list = std::make_unique<CRvPlayList>();
  list->AddSequence(MakeSequence("shot_#.png", 1, std::uint32_t(count), folder));
  list->NumberFrames();
  return list;
}

// A bitmap of the given depth; 32-bit pixels are filled with `pixel`.
inline std::unique_ptr<CImageBitmap> MakeBitmap(int width, int height, int bpp,
                                                RvPixel pixel = RvMakePixel(10, 20, 30, 40)) {
  auto bitmap = std::make_unique<CDIBSectionBitmap>();
  bitmap->Create(width, height, std::uint16_t(bpp), bpp == 32);
  if (bpp == 32) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) bitmap->SetPixel(x, y, pixel);
    }
  }
  return bitmap;
}

// An engine without a worker thread, on a fake clock, whose idle picture is `idle`.
struct ManualEngine {
  explicit ManualEngine(int idleWidth = 40, int idleHeight = 20, int idleBpp = 32) {
    status.SetHost(&host);
    KaDrawThreadOptions options;
    options.clock = &clock;
    options.startWorker = false;
    options.idlePictureLoader = [=] { return MakeBitmap(idleWidth, idleHeight, idleBpp); };
    engine = std::make_unique<CKaDrawThread>(nullptr, &surface, &status, &observer, options);
    engine->GetMoBlurBuffer()->SetMode(0);
    engine->SetDisplayRect(0, 0, 100, 60);
    engine->StartWorkerState();
  }
  // Attaches a play list of `count` frames (held, as the main window does).
  CRvPlayList* Attach(int count) {
    list = MakePlayList(count);
    const bool held = engine->Hold();
    engine->SetPlayList(list.get());
    if (held) engine->Release();
    return list.get();
  }
  void Cycles(int n) {
    for (int i = 0; i < n; ++i) engine->RunCycle();
  }
  std::uint32_t Index() const { return list->GetCurrentIndex(); }

  FakeClock clock;
  RecordingSurface surface;
  StatusHost host;
  CKaStatusLine status;
  Observer observer;
  std::unique_ptr<CRvPlayList> list;
  std::unique_ptr<CKaDrawThread> engine;  // last: destroyed first
};

}  // namespace enginetest
