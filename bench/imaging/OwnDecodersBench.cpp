// The program's own decoders on two 2048x1556 frames, each file built in memory from the same
// pixels before timing:
//  - "render": a ray-cast scene (shaded spheres, a chequered floor with shadows and fog, sky
//    with zero alpha, 2x2 antialiasing), the kind of frame our users review;
//  - "mixed": flat tiles next to tiles whose values change at nearly every pixel, a stress case
//    for run-length coding, which there alternates between runs of 2-8 and short literals.
// Baseline: a plain memcpy of the decoded output (2048 x 1556 x 4 bytes). Every decode includes
// the creation of its bitmap, as a real frame decode does, and reads through a memory source, as
// frames read through their mapped file.
//
// Targets: the uncompressed decoders (BMP 24/32, TGA 32, SGI 8-bit verbatim) reach at least a
// third of the memcpy's speed; each run-length decoder takes at most twice its uncompressed
// counterpart on the same frame (TGA RLE vs TGA 32, SGI RLE vs SGI verbatim, BMP RLE8 vs BMP 8,
// Maya IFF and Lightwave IFF compressed vs verbatim). Bmp8RleWalk only steps from item to item
// of the RLE8 data without writing anything, SgiRleWalk* likewise through the SGI rows: the
// cost of finding the items, which every decoder of those formats pays.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ImageBitmap.h"
#include "imaging/decoders/LightwaveIFFDecoder.h"
#include "imaging/decoders/MayaIFFDecoder.h"
#include "imaging/decoders/SGIDecoder.h"
#include "imaging/decoders/TGADecoder.h"
#include "imaging/decoders/WinBmpDecoder.h"

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 1556;
using Bytes = std::vector<std::uint8_t>;

struct Rgba {
  std::uint8_t r, g, b, a;
};

// A frame's pixels, top row first.
class CFrame {
 public:
  template <class PixelAt>
  explicit CFrame(PixelAt at) : m_pixels(std::size_t(kWidth) * kHeight) {
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        m_pixels[std::size_t(y) * kWidth + std::size_t(x)] = at(x, y);
  }
  Rgba At(int x, int y) const { return m_pixels[std::size_t(y) * kWidth + std::size_t(x)]; }

 private:
  std::vector<Rgba> m_pixels;
};

Rgba MixedPixel(int x, int y) {
  if ((x / 256 + y / 128) % 2 == 0) return {40, 60, 90, 255};
  const unsigned v = unsigned(x * 3 + y * 5) ^ unsigned((x * y) >> 6);
  return {std::uint8_t(v / 2), std::uint8_t(x / 8 + y / 16), std::uint8_t(v / 3 + y / 4),
          std::uint8_t(200 + (x & 31))};
}

// --- The ray-cast scene ---

struct Vec {
  double x, y, z;
  Vec operator+(Vec o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vec operator-(Vec o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vec operator*(double s) const { return {x * s, y * s, z * s}; }
};
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Unit(Vec a) { return a * (1 / std::sqrt(Dot(a, a))); }

struct Sphere {
  Vec centre;
  double radius;
  Vec colour;
};
const Sphere kSpheres[] = {{{-1.6, 1, 6}, 1, {0.9, 0.25, 0.2}},
                           {{0.9, 0.7, 4.8}, 0.7, {0.2, 0.5, 0.9}},
                           {{2.4, 1.3, 8}, 1.3, {0.85, 0.8, 0.3}}};
const Vec kLight = Unit({-0.5, 1, -0.6});

// The nearest sphere the ray meets, or -1.
int HitSphere(Vec origin, Vec dir, double& t) {
  int hit = -1;
  t = 1e9;
  for (int i = 0; i < 3; ++i) {
    const Vec oc = origin - kSpheres[i].centre;
    const double b = Dot(oc, dir);
    const double h = b * b - (Dot(oc, oc) - kSpheres[i].radius * kSpheres[i].radius);
    if (h < 0) continue;
    const double near = -b - std::sqrt(h);
    if (near > 1e-4 && near < t) {
      t = near;
      hit = i;
    }
  }
  return hit;
}

// Colour and coverage of one ray: lit spheres, a chequered floor with shadows fading into fog,
// and a sky that is transparent.
Vec Shade(Vec origin, Vec dir, double& alpha) {
  alpha = 1;
  double t;
  const int sphere = HitSphere(origin, dir, t);
  const double tFloor = dir.y < 0 ? -origin.y / dir.y : 1e9;
  if (sphere >= 0 && t < tFloor) {
    const Vec at = origin + dir * t;
    const Vec normal = Unit(at - kSpheres[sphere].centre);
    const double diffuse = std::max(0.0, Dot(normal, kLight));
    const double highlight = std::pow(std::max(0.0, Dot(normal, Unit(kLight - dir))), 40);
    return kSpheres[sphere].colour * (0.15 + 0.85 * diffuse) + Vec{1, 1, 1} * (0.6 * highlight);
  }
  if (tFloor < 1e9) {
    const Vec at = origin + dir * tFloor;
    const bool light = (int(std::floor(at.x)) + int(std::floor(at.z))) & 1;
    const Vec base = light ? Vec{0.75, 0.75, 0.72} : Vec{0.35, 0.37, 0.4};
    double unused;
    const double shadow = HitSphere(at, kLight, unused) >= 0 ? 0.45 : 1.0;
    const double fog = std::exp(-tFloor * 0.04);
    return base * (shadow * (0.3 + 0.7 * kLight.y)) * fog + Vec{0.7, 0.8, 0.95} * (1 - fog);
  }
  alpha = 0;
  const double up = std::max(0.0, dir.y);
  return Vec{0.55, 0.7, 0.95} * (1 - up) + Vec{0.15, 0.3, 0.7} * up;
}

Rgba RenderPixel(int x, int y) {
  Vec sum{0, 0, 0};
  double coverage = 0;
  for (int sy = 0; sy < 2; ++sy)
    for (int sx = 0; sx < 2; ++sx) {
      const double u = (x + 0.25 + 0.5 * sx - kWidth / 2.0) / (kHeight / 2.0);
      const double v = -(y + 0.25 + 0.5 * sy - kHeight / 2.0) / (kHeight / 2.0);
      double alpha;
      sum = sum + Shade({0, 1.6, -1}, Unit({u * 0.8, v * 0.8 - 0.15, 1}), alpha) * 0.25;
      coverage += alpha * 0.25;
    }
  auto byte = [](double c) { return std::uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255)); };
  return {byte(sum.x), byte(sum.y), byte(sum.z), byte(coverage)};
}

const CFrame& FrameNamed(const std::string& name) {
  static const CFrame render(RenderPixel);
  static const CFrame mixed(MixedPixel);
  return name == "render" ? render : mixed;
}

void Put16LE(Bytes& b, unsigned v) { b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); }
void Put32LE(Bytes& b, std::uint32_t v) {
  Put16LE(b, v & 0xFFFF);
  Put16LE(b, v >> 16);
}
void Put16BE(Bytes& b, unsigned v) { b.insert(b.end(), {std::uint8_t(v >> 8), std::uint8_t(v)}); }
void Put32BE(Bytes& b, std::uint32_t v) {
  Put16BE(b, v >> 16);
  Put16BE(b, v & 0xFFFF);
}
void PutText(Bytes& b, const char* t) { b.insert(b.end(), t, t + std::strlen(t)); }

// Run-length coding of a byte sequence in the common style: runs of 2..maxRun equal bytes, or
// literal stretches of 1..maxRun bytes. emitRun / emitLiteral write one item.
void EncodeRuns(const std::uint8_t* s, std::size_t n, std::size_t maxRun,
                const std::function<void(std::size_t, std::uint8_t)>& emitRun,
                const std::function<void(const std::uint8_t*, std::size_t)>& emitLiteral) {
  std::size_t i = 0;
  while (i < n) {
    std::size_t run = 1;
    while (i + run < n && run < maxRun && s[i + run] == s[i]) ++run;
    if (run >= 2) {
      emitRun(run, s[i]);
      i += run;
      continue;
    }
    std::size_t lit = 1;
    while (i + lit < n && lit < maxRun && !(i + lit + 1 < n && s[i + lit] == s[i + lit + 1])) ++lit;
    emitLiteral(s + i, lit);
    i += lit;
  }
}

// --- Windows bitmap ---

Bytes BmpFile(const CFrame& frame, int bits, bool rle) {
  Bytes pixels;
  const std::size_t stride = ((std::size_t(kWidth) * bits + 31) / 32) * 4;
  std::vector<std::uint8_t> row;
  for (int r = 0; r < kHeight; ++r) {
    const int y = kHeight - 1 - r;
    row.assign(stride, 0);
    for (int x = 0; x < kWidth; ++x) {
      const Rgba p = frame.At(x, y);
      if (bits == 8)
        row[std::size_t(x)] = std::uint8_t((p.r >> 5) << 5 | (p.g >> 5) << 2 | (p.b >> 6));
      const std::uint8_t bgra[4] = {p.b, p.g, p.r, p.a};
      if (bits == 24) std::memcpy(&row[3 * std::size_t(x)], bgra, 3);
      if (bits == 32) std::memcpy(&row[4 * std::size_t(x)], bgra, 4);
    }
    if (!rle) {
      pixels.insert(pixels.end(), row.begin(), row.end());
      continue;
    }
    EncodeRuns(
        row.data(), std::size_t(kWidth), 255,
        [&](std::size_t n, std::uint8_t v) {
          pixels.insert(pixels.end(), {std::uint8_t(n), v});
        },
        [&](const std::uint8_t* s, std::size_t n) {
          if (n < 3) {
            for (std::size_t k = 0; k < n; ++k) pixels.insert(pixels.end(), {1, s[k]});
            return;
          }
          pixels.insert(pixels.end(), {0, std::uint8_t(n)});
          pixels.insert(pixels.end(), s, s + n);
          if (n % 2) pixels.push_back(0);
        });
    pixels.insert(pixels.end(), {0, 0});
  }
  if (rle) pixels.insert(pixels.end(), {0, 1});
  const std::uint32_t paletteBytes = bits == 8 ? 1024 : 0;
  Bytes f;
  PutText(f, "BM");
  Put32LE(f, 54 + paletteBytes + std::uint32_t(pixels.size()));
  Put32LE(f, 0);
  Put32LE(f, 54 + paletteBytes);
  Put32LE(f, 40);
  Put32LE(f, kWidth);
  Put32LE(f, kHeight);
  Put16LE(f, 1);
  Put16LE(f, unsigned(bits));
  Put32LE(f, rle ? 1 : 0);
  for (int i = 0; i < 5; ++i) Put32LE(f, 0);
  for (std::uint32_t i = 0; i < paletteBytes / 4; ++i) Put32LE(f, i * 0x010101u);
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

// --- TGA, 32 bits, top row first ---

Bytes TgaFile(const CFrame& frame, bool rle) {
  Bytes f = {0, 0, std::uint8_t(rle ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put16LE(f, kWidth);
  Put16LE(f, kHeight);
  f.insert(f.end(), {32, 0x28});
  std::vector<std::uint32_t> row(kWidth);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const Rgba p = frame.At(x, y);
      row[std::size_t(x)] = std::uint32_t(p.b) | std::uint32_t(p.g) << 8 |
                            std::uint32_t(p.r) << 16 | std::uint32_t(p.a) << 24;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(row.data());
    if (!rle) {
      f.insert(f.end(), bytes, bytes + 4 * row.size());
      continue;
    }
    for (std::size_t i = 0; i < row.size();) {
      std::size_t run = 1;
      while (i + run < row.size() && run < 128 && row[i + run] == row[i]) ++run;
      if (run >= 2) {
        f.push_back(std::uint8_t(0x80 | (run - 1)));
        f.insert(f.end(), bytes + 4 * i, bytes + 4 * i + 4);
        i += run;
        continue;
      }
      std::size_t lit = 1;
      while (i + lit < row.size() && lit < 128 &&
             !(i + lit + 1 < row.size() && row[i + lit] == row[i + lit + 1]))
        ++lit;
      f.push_back(std::uint8_t(lit - 1));
      f.insert(f.end(), bytes + 4 * i, bytes + 4 * (i + lit));
      i += lit;
    }
  }
  return f;
}

// --- SGI, 8-bit RGB ---

Bytes SgiChannelRow(const CFrame& frame, int c, int storedRow) {
  Bytes row(kWidth);
  const int y = kHeight - 1 - storedRow;
  for (int x = 0; x < kWidth; ++x) {
    const Rgba p = frame.At(x, y);
    row[std::size_t(x)] = c == 0 ? p.r : c == 1 ? p.g : p.b;
  }
  return row;
}

Bytes SgiFile(const CFrame& frame, bool rle) {
  constexpr int kChannels = 3;
  Bytes f;
  Put16BE(f, 474);
  f.insert(f.end(), {std::uint8_t(rle ? 1 : 0), 1});
  Put16BE(f, 3);
  Put16BE(f, kWidth);
  Put16BE(f, kHeight);
  Put16BE(f, kChannels);
  f.resize(512, 0);
  if (!rle) {
    for (int c = 0; c < kChannels; ++c)
      for (int r = 0; r < kHeight; ++r) {
        const Bytes row = SgiChannelRow(frame, c, r);
        f.insert(f.end(), row.begin(), row.end());
      }
    return f;
  }
  std::vector<Bytes> rows;
  for (int c = 0; c < kChannels; ++c)
    for (int r = 0; r < kHeight; ++r) {
      const Bytes raw = SgiChannelRow(frame, c, r);
      Bytes enc;
      EncodeRuns(
          raw.data(), raw.size(), 127,
          [&](std::size_t n, std::uint8_t v) {
            enc.insert(enc.end(), {std::uint8_t(n), v});
          },
          [&](const std::uint8_t* s, std::size_t n) {
            enc.push_back(std::uint8_t(0x80 | n));
            enc.insert(enc.end(), s, s + n);
          });
      enc.push_back(0);
      rows.push_back(std::move(enc));
    }
  std::uint32_t offset = 512 + 8 * std::uint32_t(rows.size());
  for (const Bytes& r : rows) {
    Put32BE(f, offset);
    offset += std::uint32_t(r.size());
  }
  for (const Bytes& r : rows) Put32BE(f, std::uint32_t(r.size()));
  for (const Bytes& r : rows) f.insert(f.end(), r.begin(), r.end());
  return f;
}

// --- Maya IFF, RGBA in 64x64 tiles ---

void PutChunk(Bytes& f, const char* tag, const Bytes& data) {
  PutText(f, tag);
  Put32BE(f, std::uint32_t(data.size()));
  f.insert(f.end(), data.begin(), data.end());
  while (f.size() % 4) f.push_back(0);
}

Bytes MayaFile(const CFrame& frame, bool rle) {
  constexpr int kTile = 64;
  Bytes tbhd;
  Put32BE(tbhd, kWidth);
  Put32BE(tbhd, kHeight);
  Put16BE(tbhd, 1);
  Put16BE(tbhd, 1);
  Put32BE(tbhd, 3);
  Put16BE(tbhd, 0);
  const int tilesX = (kWidth + kTile - 1) / kTile;
  const int tilesY = (kHeight + kTile - 1) / kTile;
  Put16BE(tbhd, unsigned(tilesX * tilesY));
  Put32BE(tbhd, rle ? 1 : 0);
  Put32BE(tbhd, 0);
  Put32BE(tbhd, 0);
  Bytes tiles;
  PutText(tiles, "TBMP");
  for (int ty = 0; ty < tilesY; ++ty)
    for (int tx = 0; tx < tilesX; ++tx) {
      const int x1 = tx * kTile, y1 = ty * kTile;
      const int x2 = std::min(kWidth, x1 + kTile) - 1, y2 = std::min(kHeight, y1 + kTile) - 1;
      Bytes t;
      for (int v : {x1, y1, x2, y2}) Put16BE(t, unsigned(v));
      // Tile row 0 is the image's bottom row; channels alpha, blue, green, red.
      std::vector<Bytes> planes(4);
      Bytes verbatim;
      for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x) {
          const Rgba p = frame.At(x, kHeight - 1 - y);
          const std::uint8_t abgr[4] = {p.a, p.b, p.g, p.r};
          verbatim.insert(verbatim.end(), abgr, abgr + 4);
          for (int c = 0; c < 4; ++c) planes[std::size_t(c)].push_back(abgr[c]);
        }
      Bytes packed;
      for (const Bytes& plane : planes)
        EncodeRuns(
            plane.data(), plane.size(), 128,
            [&](std::size_t n, std::uint8_t v) {
              packed.insert(packed.end(), {std::uint8_t(0x80 | (n - 1)), v});
            },
            [&](const std::uint8_t* s, std::size_t n) {
              packed.push_back(std::uint8_t(n - 1));
              packed.insert(packed.end(), s, s + n);
            });
      const Bytes& data = rle && packed.size() < verbatim.size() ? packed : verbatim;
      t.insert(t.end(), data.begin(), data.end());
      PutChunk(tiles, "RGBA", t);
    }
  Bytes body;
  PutText(body, "CIMG");
  PutChunk(body, "TBHD", tbhd);
  PutChunk(body, "FOR4", tiles);
  Bytes f;
  PutChunk(f, "FOR4", body);
  return f;
}

// --- Lightwave deep ILBM, 32 planes ---

Bytes IlbmFile(const CFrame& frame, bool rle) {
  const std::size_t planeBytes = 2 * ((kWidth + 15) / 16);
  Bytes body;
  Bytes row(planeBytes * 32);
  for (int y = 0; y < kHeight; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < kWidth; ++x) {
      const Rgba p = frame.At(x, y);
      const std::uint8_t comp[4] = {p.r, p.g, p.b, p.a};
      for (int plane = 0; plane < 32; ++plane)
        if ((comp[plane / 8] >> (plane % 8)) & 1)
          row[std::size_t(plane) * planeBytes + std::size_t(x) / 8] |=
              std::uint8_t(0x80 >> (x % 8));
    }
    if (!rle) {
      body.insert(body.end(), row.begin(), row.end());
      continue;
    }
    EncodeRuns(
        row.data(), row.size(), 128,
        [&](std::size_t n, std::uint8_t v) {
          body.insert(body.end(), {std::uint8_t(1 - int(n)), v});
        },
        [&](const std::uint8_t* s, std::size_t n) {
          body.push_back(std::uint8_t(n - 1));
          body.insert(body.end(), s, s + n);
        });
  }
  Bytes inner;
  PutText(inner, "ILBM");
  Bytes bmhd;
  Put16BE(bmhd, kWidth);
  Put16BE(bmhd, kHeight);
  Put32BE(bmhd, 0);
  bmhd.insert(bmhd.end(), {32, 0, std::uint8_t(rle ? 1 : 0), 0});
  Put16BE(bmhd, 0);
  bmhd.insert(bmhd.end(), {10, 11});
  Put16BE(bmhd, kWidth);
  Put16BE(bmhd, kHeight);
  PutText(inner, "BMHD");
  Put32BE(inner, std::uint32_t(bmhd.size()));
  inner.insert(inner.end(), bmhd.begin(), bmhd.end());
  PutText(inner, "BODY");
  Put32BE(inner, std::uint32_t(body.size()));
  inner.insert(inner.end(), body.begin(), body.end());
  Bytes f;
  PutText(f, "FORM");
  Put32BE(f, std::uint32_t(inner.size()));
  f.insert(f.end(), inner.begin(), inner.end());
  return f;
}

// A bitmap that keeps its row block from one decode to the next (zeroed again on each create
// unless the decoder overwrites every pixel, as the bitmap contract asks), so the "warm" runs time
// the decoder and not the kernel's page faults on a freshly mapped block.
class CWarmBitmap : public CImageBitmap {
 protected:
  void AllocStorage() override {
    const std::size_t rows = std::size_t(GetBytesPerLine()) * std::size_t(m_height);
    if (m_rows.size() < rows) m_rows.resize(rows);
    if (RowsMustBeZeroed()) std::memset(m_rows.data(), 0, rows);
    m_palette = m_bpp <= 8 ? m_paletteBlock.data() : nullptr;
  }
  void FreeStorage() override {}
  void InitLineArray() override {
    const std::size_t stride = std::size_t(GetBytesPerLine());
    for (int y = 0; y < m_height; ++y)
      m_lines[std::size_t(y)] = m_rows.data() + std::size_t(m_height - 1 - y) * stride;
  }

 private:
  std::vector<std::uint8_t> m_rows;
  std::vector<RvPixel> m_paletteBlock = std::vector<RvPixel>(256);
};

// range(0): 0 decodes into a new frame bitmap each time (the playback path), 1 into a warm one.
template <class Decoder>
void RunDecode(benchmark::State& state, const Bytes& file) {
  Decoder decoder;
  CWarmBitmap warm;
  for (auto _ : state) {
    if (state.range(0) == 0) {
      CDIBSectionBitmap bitmap;
      decoder.DecodeMemory(file.data(), file.size(), &bitmap);
      benchmark::DoNotOptimize(bitmap.GetLineArray()[0][0]);
    } else {
      decoder.DecodeMemory(file.data(), file.size(), &warm);
      benchmark::DoNotOptimize(warm.GetLineArray()[0][0]);
    }
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * kWidth * kHeight * 4);
  state.counters["file_MB"] = double(file.size()) / 1e6;
}

// Baselines: a memcpy of the output into a warm buffer, and into a new frame bitmap.
void BM_MemcpyBaseline(benchmark::State& state) {
  const std::size_t n = std::size_t(kWidth) * kHeight * 4;
  std::vector<std::uint8_t> src(n, 1), dst(n, 2);
  for (auto _ : state) {
    if (state.range(0) == 0) {
      CDIBSectionBitmap bitmap;
      bitmap.Create(kWidth, kHeight, 32, false);
      std::memcpy(bitmap.GetLineArray()[kHeight - 1], src.data(), n);
      benchmark::DoNotOptimize(bitmap.GetLineArray()[0][0]);
    } else {
      std::memcpy(dst.data(), src.data(), n);
      benchmark::DoNotOptimize(dst.data());
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(n));
}
BENCHMARK(BM_MemcpyBaseline)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Steps through RLE8 data from item to item, writing nothing; returns the number of items.
std::size_t WalkRle8(const std::uint8_t* p, const std::uint8_t* end) {
  std::size_t items = 0;
  while (end - p >= 2) {
    ++items;
    if (p[0] != 0 || p[1] == 0) {
      p += 2;
    } else if (p[1] == 1) {
      break;
    } else {
      p += 2 + ((std::size_t(p[1]) + 1) & ~std::size_t(1));
    }
  }
  return items;
}

void BM_Bmp8RleWalk(benchmark::State& state, const Bytes& file) {
  const std::uint32_t dataOffset = std::uint32_t(file[10]) | std::uint32_t(file[11]) << 8 |
                                   std::uint32_t(file[12]) << 16 | std::uint32_t(file[13]) << 24;
  std::size_t items = 0;
  for (auto _ : state) {
    items = WalkRle8(file.data() + dataOffset, file.data() + file.size());
    benchmark::DoNotOptimize(items);
  }
  state.counters["items"] = double(items);
}

// Steps through every run-length row of an 8-bit SGI file from item to item, writing nothing;
// returns the number of items. kBranch: with a branch on the kind of item, which lets the
// processor run ahead on a right guess, else with a select, which makes each step wait for
// the item's byte; which is faster depends on how predictable the items are.
template <bool kBranch>
std::size_t WalkSgiRows(const Bytes& file) {
  const std::size_t rows = std::size_t(kHeight) * 3;
  std::size_t items = 0;
  for (std::size_t r = 0; r < rows; ++r) {
    const std::uint8_t* t = file.data() + 512 + 4 * r;
    const std::uint32_t start = std::uint32_t(t[0]) << 24 | std::uint32_t(t[1]) << 16 |
                                std::uint32_t(t[2]) << 8 | std::uint32_t(t[3]);
    for (const std::uint8_t* p = file.data() + start; *p & 0x7F; ++items) {
      if constexpr (kBranch) {
        if (*p & 0x80) {
          p += 1 + (*p & 0x7F);
          asm volatile("");  // keeps the branch a branch
        } else {
          p += 2;
        }
      } else {
        p += 2 + ((unsigned(*p & 0x7F) - 1) & (0u - unsigned(*p >> 7)));
      }
    }
  }
  return items;
}

template <bool kBranch>
void BM_SgiRleWalk(benchmark::State& state, const Bytes& file) {
  std::size_t items = 0;
  for (auto _ : state) {
    items = WalkSgiRows<kBranch>(file);
    benchmark::DoNotOptimize(items);
  }
  state.counters["items"] = double(items);
}

// Builds a benchmark's file on its first run only, so filtered runs build nothing else.
using Maker = Bytes (*)(const CFrame&);
template <class Run>
void Register(const std::string& name, const std::string& frameName, Maker make, Run run) {
  auto file = std::make_shared<Bytes>();
  benchmark::RegisterBenchmark((name + "/" + frameName).c_str(),
                               [=](benchmark::State& state) {
                                 if (file->empty()) *file = make(FrameNamed(frameName));
                                 run(state, *file);
                               })
      ->Arg(0)
      ->Arg(1)
      ->Unit(benchmark::kMillisecond);
}

void RegisterAll() {
  for (const std::string frame : {"render", "mixed"}) {
    Register(
        "Bmp24", frame, [](const CFrame& f) { return BmpFile(f, 24, false); },
        RunDecode<CWinBmpDecoder>);
    Register(
        "Bmp32", frame, [](const CFrame& f) { return BmpFile(f, 32, false); },
        RunDecode<CWinBmpDecoder>);
    Register(
        "Bmp8", frame, [](const CFrame& f) { return BmpFile(f, 8, false); },
        RunDecode<CWinBmpDecoder>);
    Register(
        "Bmp8Rle", frame, [](const CFrame& f) { return BmpFile(f, 8, true); },
        RunDecode<CWinBmpDecoder>);
    Register(
        "Bmp8RleWalk", frame, [](const CFrame& f) { return BmpFile(f, 8, true); }, BM_Bmp8RleWalk);
    Register(
        "Tga32", frame, [](const CFrame& f) { return TgaFile(f, false); }, RunDecode<CTGADecoder>);
    Register(
        "Tga32Rle", frame, [](const CFrame& f) { return TgaFile(f, true); },
        RunDecode<CTGADecoder>);
    Register(
        "SgiVerbatim", frame, [](const CFrame& f) { return SgiFile(f, false); },
        RunDecode<CSGIDecoder>);
    Register(
        "SgiRle", frame, [](const CFrame& f) { return SgiFile(f, true); }, RunDecode<CSGIDecoder>);
    Register(
        "SgiRleWalkBranch", frame, [](const CFrame& f) { return SgiFile(f, true); },
        BM_SgiRleWalk<true>);
    Register(
        "SgiRleWalkSelect", frame, [](const CFrame& f) { return SgiFile(f, true); },
        BM_SgiRleWalk<false>);
    Register(
        "MayaIffVerbatim", frame, [](const CFrame& f) { return MayaFile(f, false); },
        RunDecode<CMayaIFFDecoder>);
    Register(
        "MayaIffRle", frame, [](const CFrame& f) { return MayaFile(f, true); },
        RunDecode<CMayaIFFDecoder>);
    Register(
        "LightwaveIffVerbatim", frame, [](const CFrame& f) { return IlbmFile(f, false); },
        RunDecode<CLightwaveIFFDecoder>);
    Register(
        "LightwaveIffRle", frame, [](const CFrame& f) { return IlbmFile(f, true); },
        RunDecode<CLightwaveIFFDecoder>);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
