// rvtool demo: a numbered sequence of our own making, to try the player without footage.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "RvToolCommands.h"
#include "imaging/ImageBitmap.h"
#include "imaging/ImageFileWriter.h"
#include "imaging/TextException.h"

namespace {

const char kUsage[] =
    "demo DIR [--frames N] [--size WxH] [--format png|jpg|tif] [--content shapes|render]";

struct DemoOptions {
  std::string folder;
  int frames = 96;
  int width = 1280;
  int height = 720;
  std::string format = "png";
  std::string content = "shapes";
};

bool ParseInt(const std::string& text, int low, int high, int* value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < low || v > high) return false;
  *value = int(v);
  return true;
}

bool ParseSize(const std::string& text, int* width, int* height) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  return ParseInt(text.substr(0, x), 16, 16384, width) &&
         ParseInt(text.substr(x + 1), 16, 16384, height);
}

// A small canvas over a 32-bit bitmap, coordinates from the top-left corner.
class Canvas {
 public:
  explicit Canvas(CImageBitmap& bitmap) : m_bitmap(bitmap) {}

  void Put(int x, int y, RvPixel p) {
    if (x < 0 || y < 0 || x >= m_bitmap.GetWidth() || y >= m_bitmap.GetHeight()) return;
    reinterpret_cast<RvPixel*>(m_bitmap.GetLineArray()[y])[x] = p;
  }

  void FillRect(int x0, int y0, int x1, int y1, RvPixel p) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, m_bitmap.GetWidth());
    y1 = std::min(y1, m_bitmap.GetHeight());
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) reinterpret_cast<RvPixel*>(m_bitmap.GetLineArray()[y])[x] = p;
  }

  void FillCircle(double cx, double cy, double r, RvPixel p) {
    const int y0 = int(std::floor(cy - r)), y1 = int(std::ceil(cy + r));
    for (int y = y0; y <= y1; ++y) {
      const double dy = y + 0.5 - cy;
      if (dy * dy > r * r) continue;
      const double half = std::sqrt(r * r - dy * dy);
      FillRect(int(std::lround(cx - half)), y, int(std::lround(cx + half)), y + 1, p);
    }
  }

 private:
  CImageBitmap& m_bitmap;
};

// Seven-segment digits: bits a (top), b (top right), c (bottom right), d (bottom),
// e (bottom left), f (top left), g (middle).
constexpr unsigned char kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                         0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void DrawDigit(Canvas& canvas, int digit, int x, int y, int w, int h, int t, RvPixel p) {
  const unsigned char s = kSegments[digit];
  const int mid = y + h / 2;
  if (s & 0x01) canvas.FillRect(x, y, x + w, y + t, p);
  if (s & 0x02) canvas.FillRect(x + w - t, y, x + w, mid + t / 2, p);
  if (s & 0x04) canvas.FillRect(x + w - t, mid - t / 2, x + w, y + h, p);
  if (s & 0x08) canvas.FillRect(x, y + h - t, x + w, y + h, p);
  if (s & 0x10) canvas.FillRect(x, mid - t / 2, x + t, y + h, p);
  if (s & 0x20) canvas.FillRect(x, y, x + t, mid + t / 2, p);
  if (s & 0x40) canvas.FillRect(x, mid - t / 2, x + w, mid + t - t / 2, p);
}

void DrawNumber(Canvas& canvas, int number, int centreX, int centreY, int height) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d", number);
  const int digits = int(std::string(text).size());
  const int w = height / 2, t = std::max(2, height / 9), gap = std::max(2, height / 6);
  const int total = digits * w + (digits - 1) * gap;
  const int x0 = centreX - total / 2, y0 = centreY - height / 2;
  const int shadow = std::max(1, t / 3);
  for (int pass = 0; pass < 2; ++pass) {
    const RvPixel colour = pass == 0 ? RvMakePixel(10, 12, 20) : RvMakePixel(250, 246, 236);
    const int offset = pass == 0 ? shadow : 0;
    for (int i = 0; i < digits; ++i)
      DrawDigit(canvas, text[i] - '0', x0 + i * (w + gap) + offset, y0 + offset, w, height, t,
                colour);
  }
}

void DrawFrame(CImageBitmap& bitmap, int index, int count) {
  const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
  const double phase = count > 1 ? double(index) / double(count) : 0.0;
  const double pi = 3.14159265358979323846;

  // Background: a vertical gradient whose hue drifts over the sequence; alpha fades out over a
  // border band so the alpha view has something to show.
  const int band = std::max(1, std::min(width, height) / 12);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<RvPixel*>(bitmap.GetLineArray()[y]);
    const double v = double(y) / std::max(1, height - 1);
    const auto r = std::uint8_t(20 + 40 * v + 30 * std::sin(2 * pi * phase));
    const auto g = std::uint8_t(40 + 60 * v);
    const auto b = std::uint8_t(90 + 60 * (1 - v));
    for (int x = 0; x < width; ++x) {
      const int edge = std::min(std::min(x, width - 1 - x), std::min(y, height - 1 - y));
      const auto a = std::uint8_t(edge >= band ? 255 : 255 * edge / band);
      row[x] = RvMakePixel(r, g, b, a);
    }
  }

  Canvas canvas(bitmap);
  // A circle on an ellipse, a square bouncing left and right, a bar sweeping down.
  const double cx = width / 2.0 + width * 0.32 * std::cos(2 * pi * phase);
  const double cy = height / 2.0 + height * 0.28 * std::sin(2 * pi * phase);
  canvas.FillCircle(cx, cy, std::min(width, height) * 0.09, RvMakePixel(255, 153, 102));

  const int side = std::min(width, height) / 7;
  const double bounce = 1.0 - std::fabs(2.0 * phase - 1.0);
  const int sx = int(band + bounce * (width - 2 * band - side));
  canvas.FillRect(sx, height - band - side, sx + side, height - band, RvMakePixel(90, 200, 140));

  const int barY = int(phase * height);
  canvas.FillRect(0, barY, width, barY + std::max(2, height / 90), RvMakePixel(230, 230, 90));

  DrawNumber(canvas, index + 1, width / 2, height / 2, height * 2 / 5);
}

// --- render content: frames that compress like real renders --------------------------------

std::uint32_t Hash(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

double Lattice(int x, int y, std::uint32_t seed) {
  return (Hash(std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u ^ seed) & 0xFFFF) /
         65535.0;
}

// Smooth value noise in 0..1.
double Noise(double x, double y, std::uint32_t seed) {
  const int ix = int(std::floor(x)), iy = int(std::floor(y));
  const double fx = x - ix, fy = y - iy;
  const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  const double a = Lattice(ix, iy, seed), b = Lattice(ix + 1, iy, seed);
  const double c = Lattice(ix, iy + 1, seed), d = Lattice(ix + 1, iy + 1, seed);
  return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

double Fbm(double x, double y, std::uint32_t seed) {
  double sum = 0, amplitude = 0.5;
  for (int octave = 0; octave < 4; ++octave) {
    sum += amplitude * Noise(x, y, seed + std::uint32_t(octave) * 1013u);
    x *= 2.03;
    y *= 2.03;
    amplitude *= 0.5;
  }
  return sum;
}

std::uint8_t Clamp8(double v) { return std::uint8_t(std::clamp(v, 0.0, 255.0)); }

// A sky with clouds over a textured ground, three shaded spheres moving over the sequence, and
// film grain that changes every frame: gradients, detail and noise like a rendered plate.
void DrawRenderFrame(CImageBitmap& bitmap, int index, int count) {
  const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
  const double pi = 3.14159265358979323846;
  const double phase = count > 1 ? double(index) / double(count) : 0.0;
  const double horizon = 0.58 * height;
  struct Sphere {
    double x, y, r, red, green, blue;
  } spheres[3];
  for (int i = 0; i < 3; ++i) {
    const double t = 2 * pi * (phase + i / 3.0);
    spheres[i] = {width * (0.5 + 0.33 * std::cos(t)),
                  horizon + height * (0.12 + 0.08 * std::sin(t)),
                  height * (0.08 + 0.03 * i),
                  0.9 - 0.3 * i,
                  0.4 + 0.25 * i,
                  0.3 + 0.3 * i};
  }
  const double scale = 8.0 / width;
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<RvPixel*>(bitmap.GetLineArray()[y]);
    for (int x = 0; x < width; ++x) {
      double r, g, b;
      if (y < horizon) {
        const double v = y / horizon;
        const double cloud =
            std::max(0.0, Fbm(x * scale + phase * 3, y * scale * 2, 7) - 0.45) * 2.2;
        r = 40 + 150 * v + 180 * cloud;
        g = 70 + 110 * v + 180 * cloud;
        b = 130 + 60 * v + 170 * cloud;
      } else {
        const double depth = (y - horizon) / (height - horizon);
        const double tex = Fbm(x * scale * 3, y * scale * 6, 11);
        const bool check =
            ((int(x / (40 + 120 * depth)) + int((y - horizon) / (12 + 60 * depth))) & 1) != 0;
        const double base = (check ? 90 : 120) * (0.5 + 0.5 * depth);
        r = base + 60 * tex;
        g = base * 0.9 + 50 * tex;
        b = base * 0.7 + 30 * tex;
      }
      for (const Sphere& s : spheres) {
        const double dx = (x - s.x) / s.r, dy = (y - s.y) / s.r, d2 = dx * dx + dy * dy;
        if (d2 >= 1.0) continue;
        const double dz = std::sqrt(1.0 - d2);
        const double light = std::max(0.0, -0.4 * dx - 0.5 * dy + 0.77 * dz);
        const double spec = std::pow(light, 40) * 220;
        const double shade = 0.15 + 0.85 * light;
        r = 255 * s.red * shade + spec;
        g = 255 * s.green * shade + spec;
        b = 255 * s.blue * shade + spec;
      }
      const std::uint32_t grain = Hash(std::uint32_t(x) + std::uint32_t(y) * std::uint32_t(width) +
                                       std::uint32_t(index) * 2654435761u);
      r += int(grain & 15) - 8;
      g += int((grain >> 8) & 15) - 8;
      b += int((grain >> 16) & 15) - 8;
      row[x] = RvMakePixel(Clamp8(r), Clamp8(g), Clamp8(b), 255);
    }
  }
}

int Parse(const std::vector<std::string>& args, DemoOptions* o) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.compare(0, 2, "--") != 0) {
      positional.push_back(a);
      continue;
    }
    if (i + 1 >= args.size()) return UsageError(kUsage);
    const std::string& v = args[++i];
    bool ok = false;
    if (a == "--frames")
      ok = ParseInt(v, 1, 100000, &o->frames);
    else if (a == "--size")
      ok = ParseSize(v, &o->width, &o->height);
    else if (a == "--format")
      ok = (o->format = v) == "png" || v == "jpg" || v == "tif";
    else if (a == "--content")
      ok = (o->content = v) == "shapes" || v == "render";
    if (!ok) {
      std::fprintf(stderr, "rvtool demo: bad option %s %s\n", a.c_str(), v.c_str());
      return UsageError(kUsage);
    }
  }
  if (positional.size() != 1) return UsageError(kUsage);
  o->folder = positional[0];
  return 0;
}

}  // namespace

int RunDemo(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    std::printf(
        "usage: rvtool %s\n\nWrites a demo sequence DIR/demo.0001.EXT ... (default 96 frames,\n"
        "1280x720, PNG). Content \"shapes\" (the default): moving shapes, the frame number and an\n"
        "alpha channel (not in JPEG). Content \"render\": a sky, textured ground, shaded spheres\n"
        "and film grain, so frames compress like real renders (a 2048x1556 PNG is several MB);\n"
        "use it to try decoding speed and the cache on realistic data.\n",
        kUsage);
    return 0;
  }
  DemoOptions options;
  if (const int status = Parse(args, &options)) return status;

  std::error_code ec;
  std::filesystem::create_directories(options.folder, ec);
  if (!std::filesystem::is_directory(options.folder, ec)) {
    std::fprintf(stderr, "rvtool demo: cannot create folder %s\n", options.folder.c_str());
    return 2;
  }

  CDIBSectionBitmap bitmap;
  try {
    bitmap.Create(options.width, options.height, 32, true);
  } catch (const CTextException& e) {
    std::fprintf(stderr, "error %d: %s\n", e.GetCode(), e.GetText().c_str());
    return 2;
  }
  for (int i = 0; i < options.frames; ++i) {
    if (options.content == "render") {
      DrawRenderFrame(bitmap, i, options.frames);
    } else {
      DrawFrame(bitmap, i, options.frames);
    }
    char name[32];
    std::snprintf(name, sizeof name, "demo.%04d.%s", i + 1, options.format.c_str());
    const std::string path = (std::filesystem::path(options.folder) / name).string();
    std::string error;
    bool ok;
    if (options.format == "png")
      ok = WritePNGFile(bitmap, path, &error);
    else if (options.format == "jpg")
      ok = WriteJPEGFile(bitmap, path, 90, &error);
    else
      ok = WriteTIFFFile(bitmap, path, &error);
    if (!ok) {
      std::fprintf(stderr, "rvtool demo: %s\n", error.c_str());
      return 2;
    }
  }
  std::printf("%d frames written to %s\n", options.frames, options.folder.c_str());
  return 0;
}
