// The OpenEXR plug-in's decode and display conversion on 2048x1556 RGBA half frames in PIZ,
// ZIP and DWAA, each written in memory by the library before timing. The frame is a smooth
// rendered-looking picture (gradients, soft discs, a little noise) with values up to 2.
//
// Baseline: the bare library reading the same bytes into an Imf::Rgba buffer through its RGBA
// interface (BM_Library). Target: the plug-in's decode + conversion into 32-bit rows
// (BM_PlugIn) takes at most 1.2 times the baseline. BM_Conversion is the display transform
// alone, per frame.
//
// The second argument is the library's thread count per decode (0 = on the calling thread).
// The */threads:2 runs decode two frames at once, as the read-ahead does; their items/s is the
// frame rate of the pair. With a pool of two library threads, 0 and 2 show whether the
// library's pool helps one decode and whether it gets in the way of parallel decodes.
#include <OpenEXR/ImfArray.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfRgbaFile.h>
#include <OpenEXR/ImfStdIO.h>
#include <OpenEXR/ImfThreading.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "ExrFrame.h"

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 1556;
const Imf::Compression kCompressions[] = {Imf::PIZ_COMPRESSION, Imf::ZIP_COMPRESSION,
                                          Imf::DWAA_COMPRESSION};

std::vector<Imf::Rgba> Picture() {
  std::vector<Imf::Rgba> pixels(std::size_t(kWidth) * kHeight);
  std::uint32_t noise = 12345;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const float n = float(noise >> 24) / 255.0f * 0.02f;
      const float dx = float(x % 512 - 256), dy = float(y % 512 - 256);
      const float disc = std::exp(-(dx * dx + dy * dy) / 20000.0f);
      const float r = 2.0f * disc + float(x) / kWidth * 0.3f + n;
      const float g = disc * 0.8f + float(y) / kHeight * 0.5f + n;
      const float b = 0.1f + 0.4f * float(x + y) / (kWidth + kHeight) + n;
      const float a = std::min(1.0f, 0.2f + disc);
      pixels[std::size_t(y) * kWidth + std::size_t(x)] = Imf::Rgba(r, g, b, a);
    }
  }
  return pixels;
}

const std::string& File(int compression) {
  static std::string files[3];
  std::string& file = files[compression];
  if (file.empty()) {
    static const std::vector<Imf::Rgba> pixels = Picture();
    Imf::StdOSStream stream;
    {
      Imf::Header header(kWidth, kHeight);
      header.compression() = kCompressions[compression];
      Imf::RgbaOutputFile out(stream, header, Imf::WRITE_RGBA);
      out.setFrameBuffer(pixels.data(), 1, kWidth);
      out.writePixels(kHeight);
    }
    file = stream.str();
  }
  return file;
}

const std::uint8_t* Data(const std::string& file) {
  return reinterpret_cast<const std::uint8_t*>(file.data());
}

void Label(benchmark::State& state) {
  const char* names[] = {"PIZ", "ZIP", "DWAA"};
  state.SetLabel(std::string(names[state.range(0)]) + " " +
                 std::to_string(File(int(state.range(0))).size() / 1024) + " KiB");
  state.SetItemsProcessed(state.iterations());
}

void BM_Library(benchmark::State& state) {
  const std::string& file = File(int(state.range(0)));
  Imf::Array2D<Imf::Rgba> pixels(kHeight, kWidth);
  for (auto _ : state) {
    ExrMemoryStream stream(Data(file), file.size());
    Imf::RgbaInputFile in(stream, int(state.range(1)));
    in.setFrameBuffer(&pixels[0][0], 1, kWidth);
    in.readPixels(0, kHeight - 1);
    benchmark::DoNotOptimize(pixels[0][0]);
  }
  Label(state);
}

void BM_PlugIn(benchmark::State& state) {
  const std::string& file = File(int(state.range(0)));
  std::vector<std::uint8_t> rows(std::size_t(kWidth) * kHeight * 4);
  std::vector<std::uint8_t*> lines;
  for (int y = 0; y < kHeight; ++y) lines.push_back(&rows[std::size_t(y) * kWidth * 4]);
  for (auto _ : state) {
    ExrLayout layout;
    std::string error;
    if (!ReadExrLayout(Data(file), file.size(), &layout, &error) ||
        !ConvertExr(Data(file), file.size(), layout, lines.data(), int(state.range(1)), &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    benchmark::DoNotOptimize(rows[0]);
  }
  Label(state);
}

void BM_Conversion(benchmark::State& state) {
  static const std::vector<Imf::Rgba> pixels = Picture();
  std::vector<std::uint8_t> out(pixels.size() * 4);
  for (auto _ : state) {
    ExrToDisplay(pixels.data(), pixels.size(), false, out.data());
    benchmark::DoNotOptimize(out[0]);
  }
  state.SetItemsProcessed(state.iterations());
}

void Arguments(benchmark::internal::Benchmark* b) {
  Imf::setGlobalThreadCount(2);
  for (int c = 0; c < 3; ++c) {
    File(c);
    for (int threads : {0, 2}) b->Args({c, threads});
  }
  b->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Threads(1)->Threads(2);
}

}  // namespace

BENCHMARK(BM_Library)->Apply(Arguments);
BENCHMARK(BM_PlugIn)->Apply(Arguments);
BENCHMARK(BM_Conversion)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

BENCHMARK_MAIN();
