// Cost of ghosting one 2048x1556 32-bit frame on the draw thread, against the floor of copying
// the frame once (what any composed picture costs at least), in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imageops/MoBlurBuffer.h"

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 1556;

std::vector<std::unique_ptr<CDIBSectionBitmap>> MakeFrames(int count) {
  std::vector<std::unique_ptr<CDIBSectionBitmap>> frames;
  for (int f = 0; f < count; ++f) {
    auto frame = std::make_unique<CDIBSectionBitmap>();
    frame->Create(kWidth, kHeight, 32, false);
    for (int y = 0; y < kHeight; ++y) {
      std::memset(frame->GetLineArray()[y], (y + 40 * f) & 255, std::size_t(kWidth) * 4);
    }
    frames.push_back(std::move(frame));
  }
  return frames;
}

class Invert : public CPixelTransform {
 public:
  RvPixel Map(RvPixel p) const override { return p ^ 0x00FFFFFFu; }
};

void BM_CopyFrame(benchmark::State& state) {
  auto frames = MakeFrames(1);
  CDIBSectionBitmap copy;
  copy.Create(kWidth, kHeight, 32, false);
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) {
      std::memcpy(copy.GetLineArray()[y], frames[0]->GetLineArray()[y], std::size_t(kWidth) * 4);
    }
    benchmark::ClobberMemory();
  }
}

void Ghost(benchmark::State& state, std::int32_t mode, std::uint32_t history, bool transform) {
  auto frames = MakeFrames(4);
  CKaMoBlurBuffer buffer;
  buffer.SetMode(mode);
  buffer.SetFrames(history);
  buffer.SetAlpha(127);
  Invert invert;
  std::size_t i = 0;
  for (auto _ : state) {
    const CImageBitmap* shown =
        buffer.Process(frames[i++ % frames.size()].get(), transform ? &invert : nullptr, nullptr);
    benchmark::DoNotOptimize(shown);
  }
}

void BM_TrailFade(benchmark::State& state) { Ghost(state, 1, 3, false); }
void BM_Equal3(benchmark::State& state) { Ghost(state, 2, 3, false); }
void BM_OffWithTransform(benchmark::State& state) { Ghost(state, 0, 3, true); }
void BM_TrailFadeWithTransform(benchmark::State& state) { Ghost(state, 1, 3, true); }

}  // namespace

BENCHMARK(BM_CopyFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrailFade)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Equal3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OffWithTransform)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrailFadeWithTransform)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
