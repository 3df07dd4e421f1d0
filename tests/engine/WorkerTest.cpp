// The engine with its real worker thread: the hold rendezvous, stopping, destruction while
// playing, and the compiled-in idle picture decoded through the JPEG decoder.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../sequence/FakeDecoder.h"
#include "EngineTestSupport.h"
#include "TestUtil.h"
#include "imageops/RvCrop.h"

using namespace std::chrono_literals;
using enginetest::MakePlayList;
using enginetest::Observer;
using enginetest::RecordingSurface;
using enginetest::StatusHost;

namespace {

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 3000ms) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

struct LiveEngine {
  LiveEngine() {
    KaDrawThreadOptions options;
    options.idlePictureLoader = [] { return enginetest::MakeBitmap(16, 8, 32); };
    engine = std::make_unique<CKaDrawThread>(nullptr, nullptr, &status, &observer, options);
    engine->GetMoBlurBuffer()->SetMode(0);
    list = MakePlayList(50);
    engine->Hold();
    engine->SetPlayList(list.get());
    engine->Release();
  }
  CKaStatusLine status;
  Observer observer;
  std::unique_ptr<CRvPlayList> list;
  std::unique_ptr<CKaDrawThread> engine;
};

}  // namespace

TEST(Worker, PlaysOnItsOwnThreadHoldPausesItAndStopEndsIt) {
  LiveEngine e;
  ASSERT_TRUE(WaitFor([&] { return e.engine->IsRunning(); }));
  e.engine->SetFps(200);
  e.engine->Play(false);
  ASSERT_TRUE(WaitFor([&] { return e.list->GetCurrentIndex() >= 3; }));
  ASSERT_TRUE(e.engine->Hold());
  const std::uint32_t held = e.list->GetCurrentIndex();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(e.list->GetCurrentIndex(), held);
  EXPECT_TRUE(e.engine->IsPlaying());
  e.engine->Release();
  EXPECT_TRUE(WaitFor([&] { return e.list->GetCurrentIndex() != held; }));
  e.engine->Stop();
  EXPECT_TRUE(WaitFor([&] { return !e.engine->IsRunning(); }));
}

TEST(Worker, DestroyWhilePlayingReturnsAfterTheWorkerEnded) {
  auto e = std::make_unique<LiveEngine>();
  e->engine->SetFps(1000);
  e->engine->Play(false);
  ASSERT_TRUE(WaitFor([&] { return e->list->GetCurrentIndex() >= 2; }));
  const auto start = std::chrono::steady_clock::now();
  e->engine.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST(Worker, CommandsFromAnotherThreadWhilePlaying) {
  LiveEngine e;
  e.engine->SetFps(500);
  e.engine->SetPlayMode(RvPlayMode::PingPong);
  e.engine->Play(false);
  for (int i = 0; i < 200; ++i) {
    e.engine->SetViewMode(KaViewMode(i % 7));
    e.engine->SetGamma(1.0 + (i % 5) * 0.1);
    e.engine->ToggleGamma();
    e.engine->SetZoom(0.5 + (i % 3) * 0.5, false);
    if (i % 20 == 0) e.engine->GotoStart(false);
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(e.engine->IsPlaying());
  std::lock_guard guard(e.observer.m_lock);
  EXPECT_GT(e.observer.positions.size(), 10u);
}

TEST(IdlePicture, CompiledInJpegIsDrawnWhenThereIsNoPlayList) {
  CKaStatusLine status;
  RecordingSurface surface;
  KaDrawThreadOptions options;
  options.startWorker = false;
  CKaDrawThread engine(nullptr, &surface, &status, nullptr, options);
  engine.GetMoBlurBuffer()->SetMode(0);  // shows the picture itself
  engine.SetDisplayRect(0, 0, 400, 300);
  engine.StartWorkerState();
  engine.RunCycle();
  EXPECT_EQ(engine.GetLastFrameWidth(), 320);
  EXPECT_EQ(engine.GetLastFrameHeight(), 240);
  const CImageBitmap* idle = engine.GetLastShownBitmap();
  ASSERT_NE(idle, nullptr);
  EXPECT_EQ(idle->GetBitsPerPixel(), 32);
  // The centre of the reel is the accent colour (JPEG keeps it within a few levels).
  const RvPixel centre = idle->GetPixel(160, 120);
  EXPECT_NEAR(RvPixelRed(centre), 0xFF, 12);
  EXPECT_NEAR(RvPixelGreen(centre), 0x99, 12);
  EXPECT_NEAR(RvPixelBlue(centre), 0x66, 12);
}

// Read-ahead on decode threads while the worker plays: frames ahead of the playhead arrive in
// RAM, and once a crop change returns no uncropped frame is drawn again.
TEST(ReadAhead, FillsAheadAndACropChangeNeverShowsAnOldFrame) {
  rvtest::TempDir dir;
  auto list = MakePlayList(40, dir.Path().string());
  for (int i = 1; i <= 40; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "shot_%04d.png", i);
    rvtest::WriteFile(dir.File(name), "64 32");
  }
  CFakeFrameDecoder decoder;
  decoder.SetDelay(3ms);
  list->SetFrameDecoder(&decoder);
  RecordingSurface surface;
  CKaStatusLine status;
  KaDrawThreadOptions options;
  options.idlePictureLoader = [] { return enginetest::MakeBitmap(16, 8, 32); };
  options.decodeThreads = 2;
  CKaDrawThread engine(nullptr, &surface, &status, nullptr, options);
  engine.GetMoBlurBuffer()->SetMode(0);
  engine.SetDisplayRect(0, 0, 100, 60);
  {
    CKaHoldGuard hold(&engine);
    engine.SetPlayList(list.get());
  }
  EXPECT_EQ(engine.GetDecodeThreadCount(), 2u);
  engine.SetFps(100);
  engine.Play(false);
  ASSERT_TRUE(WaitFor([&] { return list->GetCurrentIndex() >= 5; }));
  CRvCrop crop;
  crop.Set(CRvCrop::kWidth, 8, false);
  engine.SetCrop(&crop);
  std::size_t mark = 0;
  {
    CKaHoldGuard hold(&engine);
    mark = surface.frames.size();
  }
  ASSERT_TRUE(
      WaitFor([&] { return list->GetCurrentIndex() >= 20 || list->GetCurrentIndex() < 5; }));
  engine.Pause(false);
  std::this_thread::sleep_for(50ms);  // the pool reads ahead of the stopped playhead
  CKaHoldGuard hold(&engine);
  int cropped = 0;
  for (std::size_t f = mark; f < surface.frames.size(); ++f)
    for (const auto& op : surface.frames[f])
      if (op.kind == enginetest::DrawOp::kBitmap) {
        EXPECT_NE(op.view.width, 64) << "frame " << f;
        cropped += op.view.width == 8;
      }
  EXPECT_GT(cropped, 5);
  const std::uint32_t next = (list->GetCurrentIndex() + 1) % 40;
  EXPECT_TRUE(list->GetLoadedFlags()[next].load());
}
