// Playback pacing with real frames: 100 decoded 2048 x 1556 32-bit frames played into a
// 1280 x 720 back buffer at zoom 0.5, 10 s at each rate. The baseline is the requested rate:
// the counters give the measured rate and its ratio to the request, the 99th percentile of
// |actual - nominal| frame interval, the process CPU time per played second, and the CPU use
// of an idle engine.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/DrawThread.h"
#include "engine/StatusLine.h"
#include "engine/ViewSurface.h"
#include "imaging/FrameDecoder.h"
#include "imaging/ImageBitmap.h"
#include "sequence/Frame.h"
#include "sequence/PlayList.h"
#include "sequence/Sequence.h"

namespace {

constexpr int kFrames = 100;
constexpr int kWidth = 2048;
constexpr int kHeight = 1556;

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double WallSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Records when each played frame's position was announced (right after pacing let it go).
class TimingObserver : public CKaPlaybackObserver {
 public:
  void OnInOutChanged(const CRvInOutRecord*) override {}
  void OnPositionChanged(std::uint32_t) override {
    std::lock_guard guard(m_lock);
    if (recording) times.push_back(WallSeconds());
  }
  std::mutex m_lock;
  bool recording = false;
  std::vector<double> times;
};

// One uncompressed 32-bit BMP written once and linked under 100 frame names, so the play list
// decodes 100 separate bitmaps without 1.2 GB of files.
std::string WriteFrames() {
  const auto dir = std::filesystem::temp_directory_path() / "rv-playback-bench";
  std::filesystem::create_directories(dir);
  const auto first = dir / "plate_0001.bmp";
  if (!std::filesystem::exists(first)) {
    const std::uint32_t stride = kWidth * 4;
    const std::uint32_t imageSize = stride * kHeight;
    std::vector<std::uint8_t> file(54 + imageSize);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
      for (int i = 0; i < 4; ++i) file[at + i] = std::uint8_t(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, std::uint32_t(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, kWidth);
    put32(22, kHeight);
    file[26] = 1;
    file[28] = 32;
    put32(34, imageSize);
    for (std::size_t i = 0; i < imageSize; ++i) file[54 + i] = std::uint8_t(i * 7 + (i >> 13));
    FILE* out = std::fopen(first.c_str(), "wb");
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
  }
  for (int i = 2; i <= kFrames; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "plate_%04d.bmp", i);
    const auto link = dir / name;
    if (!std::filesystem::exists(link)) std::filesystem::create_hard_link(first, link);
  }
  return dir.string();
}

std::unique_ptr<CRvPlayList> CachedPlayList(CFrameDecoder* decoder) {
  const std::string dir = WriteFrames();
  auto sequence = std::make_unique<CRvSequence>("plate_#.bmp", dir + "/");
  for (int i = 1; i <= kFrames; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/plate_%04d.bmp", i);
    auto frame = std::make_unique<CRvFrame>(dir + name, 0, 0, 0);
    sequence->AddFrame(frame);
  }
  auto list = std::make_unique<CRvPlayList>();
  list->SetFrameDecoder(decoder);
  list->AddSequence(std::move(sequence));
  list->NumberFrames();
  for (int i = 0; i < kFrames; ++i) {  // decode everything before timing starts
    list->SetPositionByIndex(std::uint32_t(i));
    CRvFrame* frame = nullptr;
    bool fromDisk = false, changed = false;
    list->FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false);
  }
  list->GoToFirst();
  return list;
}

struct Fixture {
  Fixture() {
    decoder = std::make_unique<CFrameDecoder>();
    list = CachedPlayList(decoder.get());
    KaDrawThreadOptions options;
    options.frameDecoder = decoder.get();
    engine = std::make_unique<CKaDrawThread>(nullptr, &surface, &status, &observer, options);
    engine->GetMoBlurBuffer()->SetMode(0);
    engine->SetDisplayRect(0, 0, 1280, 720);
    engine->SetZoom(0.5, false);
    engine->Hold();
    engine->SetPlayList(list.get());
    engine->Release();
  }
  std::unique_ptr<CFrameDecoder> decoder;
  std::unique_ptr<CRvPlayList> list;
  CKaBackBufferSurface surface;
  CKaStatusLine status;
  TimingObserver observer;
  std::unique_ptr<CKaDrawThread> engine;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_Playback(benchmark::State& state) {
  const auto fps = std::uint32_t(state.range(0));
  Fixture& f = Shared();
  for (auto _ : state) {
    f.engine->SetFps(fps);
    f.engine->Play(false);
    std::this_thread::sleep_for(std::chrono::seconds(1));  // settle into the schedule
    {
      std::lock_guard guard(f.observer.m_lock);
      f.observer.times.clear();
      f.observer.recording = true;
    }
    const double cpu0 = ProcessCpuSeconds();
    const double wall0 = WallSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall = WallSeconds() - wall0;
    std::vector<double> times;
    {
      std::lock_guard guard(f.observer.m_lock);
      f.observer.recording = false;
      times = f.observer.times;
    }
    f.engine->Pause(false);
    const double nominal = 1.0 / fps;
    std::vector<double> errors;
    for (std::size_t i = 1; i < times.size(); ++i) {
      errors.push_back(std::fabs((times[i] - times[i - 1]) - nominal));
    }
    std::sort(errors.begin(), errors.end());
    const double p99 = errors.empty()
                           ? 0.0
                           : errors[std::min(errors.size() - 1, std::size_t(errors.size() * 0.99))];
    const double rate =
        times.size() > 1 ? double(times.size() - 1) / (times.back() - times.front()) : 0.0;
    state.counters["requested_fps"] = fps;
    state.counters["measured_fps"] = rate;
    state.counters["rate_vs_requested"] = rate / fps;
    state.counters["engine_rate_vs_requested"] = f.engine->GetMeasuredRate() / fps;
    state.counters["p99_interval_error_ms"] = p99 * 1000.0;
    state.counters["max_interval_error_ms"] = errors.empty() ? 0.0 : errors.back() * 1000.0;
    state.counters["cpu_s_per_played_s"] = cpu / wall;
    state.SetIterationTime(wall);
  }
}

void BM_IdleEngine(benchmark::State& state) {
  Fixture& f = Shared();
  f.engine->Pause(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (auto _ : state) {
    const double cpu0 = ProcessCpuSeconds();
    const double wall0 = WallSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall = WallSeconds() - wall0;
    state.counters["idle_cpu_percent"] = 100.0 * cpu / wall;
    state.SetIterationTime(wall);
  }
}

// The cost of drawing one cached frame into the back buffer, the work each played frame does.
void BM_DrawOneFrame(benchmark::State& state) {
  Fixture& f = Shared();
  f.engine->Pause(false);
  const std::uint64_t before = f.surface.GetBuffer()->PresentCount();
  std::uint64_t requested = 0;
  for (auto _ : state) {
    const std::uint64_t target = f.surface.GetBuffer()->PresentCount() + 1;
    f.engine->RequestRedraw();
    while (f.surface.GetBuffer()->PresentCount() < target) std::this_thread::yield();
    ++requested;
  }
  state.counters["frames"] = double(f.surface.GetBuffer()->PresentCount() - before);
}

}  // namespace

BENCHMARK(BM_DrawOneFrame)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_Playback)->Arg(24)->Arg(60)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleEngine)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
