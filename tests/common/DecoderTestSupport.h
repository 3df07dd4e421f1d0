#pragma once

// What the decoder tests share: a byte builder for hand-made files, decoding and error capture,
// colour readers, and the decodes of independent tools (ImageMagick, netpbm, oiiotool) or
// stored PNM/PAM pictures as 8-bit RGBA for comparison.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TestUtil.h"
#include "imaging/ImageBitmap.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageFileWriter.h"
#include "imaging/TextException.h"

namespace dectest {

using Bytes = std::vector<std::uint8_t>;

// Appends numbers and text in either byte order.
class ByteWriter {
 public:
  ByteWriter& U8(unsigned v) {
    m_bytes.push_back(std::uint8_t(v));
    return *this;
  }
  ByteWriter& LE16(unsigned v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
  ByteWriter& LE32(std::uint32_t v) { return LE16(v & 0xFFFF).LE16(v >> 16); }
  ByteWriter& BE16(unsigned v) { return U8((v >> 8) & 0xFF).U8(v & 0xFF); }
  ByteWriter& BE32(std::uint32_t v) { return BE16(v >> 16).BE16(v & 0xFFFF); }
  ByteWriter& Text(const std::string& s) {
    m_bytes.insert(m_bytes.end(), s.begin(), s.end());
    return *this;
  }
  ByteWriter& Append(const Bytes& b) {
    m_bytes.insert(m_bytes.end(), b.begin(), b.end());
    return *this;
  }
  ByteWriter& Zeros(std::size_t n) {
    m_bytes.insert(m_bytes.end(), n, 0);
    return *this;
  }
  std::size_t Size() const { return m_bytes.size(); }
  Bytes& Get() { return m_bytes; }

 private:
  Bytes m_bytes;
};

// A Windows bitmap with the 40-byte header, the palette (for up to 8 bits) and the pixel data.
struct BmpLayout {
  std::int32_t width = 1;
  std::int32_t height = 1;  // below 0: rows stored top row first
  int bits = 24;
  std::uint32_t compression = 0;  // 1 and 2: escape-coded 8 and 4 bits
  std::vector<RvPixel> palette;
  std::uint32_t colorsUsed = 0;  // 0: the palette's size
};

inline Bytes MakeBmp(const BmpLayout& s, const Bytes& pixels) {
  const std::uint32_t offset = 14 + 40 + 4 * std::uint32_t(s.palette.size());
  ByteWriter w;
  w.Text("BM").LE32(offset + std::uint32_t(pixels.size())).LE32(0).LE32(offset);
  w.LE32(40).LE32(std::uint32_t(s.width)).LE32(std::uint32_t(s.height)).LE16(1).LE16(s.bits);
  w.LE32(s.compression).LE32(std::uint32_t(pixels.size())).LE32(2835).LE32(2835);
  w.LE32(s.colorsUsed ? s.colorsUsed : std::uint32_t(s.palette.size())).LE32(0);
  for (RvPixel p : s.palette) w.LE32(p & 0x00FFFFFF);
  w.Append(pixels);
  return w.Get();
}

// An IFF chunk as Maya writes them: tag, big-endian size, data padded to four bytes.
inline Bytes IffChunk(const std::string& tag, const Bytes& data) {
  ByteWriter w;
  w.Text(tag).BE32(std::uint32_t(data.size())).Append(data);
  while (w.Size() % 4) w.U8(0);
  return w.Get();
}

// The code of the decoder error f raises (0 when it returns); text gets the message.
inline int ErrorOf(const std::function<void()>& f, std::string* text = nullptr) {
  try {
    f();
  } catch (const CTextException& e) {
    if (text) *text = e.GetText();
    return e.GetCode();
  }
  return 0;
}

// Decodes from a block of exactly the data's size, so the sanitizer build sees any read past it.
template <class Decoder>
std::unique_ptr<CImageBitmap> Decode(const Bytes& bytes, int bppWanted = 0) {
  const auto exact = std::make_unique<std::uint8_t[]>(std::max<std::size_t>(1, bytes.size()));
  std::copy(bytes.begin(), bytes.end(), exact.get());
  Decoder decoder;
  auto bitmap = std::make_unique<CDIBSectionBitmap>();
  decoder.DecodeMemory(exact.get(), bytes.size(), bitmap.get(), bppWanted);
  return bitmap;
}

template <class Decoder>
int DecodeError(const Bytes& bytes, std::string* text = nullptr) {
  return ErrorOf([&] { Decode<Decoder>(bytes); }, text);
}

// Expects the decoder to claim a file starting with header, but not one starting with other,
// nor header cut to cut bytes.
template <class Decoder>
void ExpectClaims(const Bytes& header, const Bytes& other, std::size_t cut) {
  Decoder decoder;
  EXPECT_TRUE(decoder.CanDecode(header.data(), header.size()));
  EXPECT_FALSE(decoder.CanDecode(other.data(), other.size()));
  EXPECT_FALSE(decoder.CanDecode(header.data(), cut));
}

// Expects each file to raise code with exactly the text given beside it.
template <class Decoder>
void ExpectErrorTexts(int code, const std::vector<std::pair<Bytes, std::string>>& cases) {
  for (const auto& [file, want] : cases) {
    std::string text;
    EXPECT_EQ(DecodeError<Decoder>(file, &text), code) << want;
    EXPECT_EQ(text, want);
  }
}

// A committed test file: the path under tests/data, and its bytes.
inline std::string Data(const std::string& name) { return rvtest::DataDir() + "/" + name; }
inline Bytes ReadBytes(const std::string& path) {
  const std::string s = rvtest::ReadFile(path);
  return Bytes(s.begin(), s.end());
}
inline Bytes DataBytes(const std::string& name) { return ReadBytes(Data(name)); }

// The colour of a pixel, through the palette for bitmaps of up to 8 bits.
inline RvPixel ColourAt(const CImageBitmap& bitmap, int x, int y) {
  const RvPixel p = bitmap.GetPixel(x, y);
  if (bitmap.GetBitsPerPixel() <= 8) return bitmap.GetPalette()[p & 0xFF];
  return p;
}

// Largest per-channel colour difference of two pixels.
inline int Distance(RvPixel a, RvPixel b) {
  return std::max({std::abs(RvPixelRed(a) - RvPixelRed(b)),
                   std::abs(RvPixelGreen(a) - RvPixelGreen(b)),
                   std::abs(RvPixelBlue(a) - RvPixelBlue(b))});
}

// Expected values of single pixels: a palette index or a 32-bit pixel as GetPixel gives it, or
// the colour (through the palette) when colour is set; compared under mask.
struct Probe {
  int x, y;
  RvPixel value;
};
inline Probe Px(int x, int y, RvPixel value) { return {x, y, value}; }
inline void ExpectPixels(const CImageBitmap& b, const std::vector<Probe>& probes,
                         bool colour = false, RvPixel mask = 0xFFFFFFFFu) {
  for (const Probe& p : probes)
    EXPECT_EQ((colour ? ColourAt(b, p.x, p.y) : b.GetPixel(p.x, p.y)) & mask, p.value & mask)
        << "pixel " << p.x << "," << p.y;
}
// Expected values of whole rows from the top, likewise.
inline void ExpectRows(const CImageBitmap& b, const std::vector<std::vector<RvPixel>>& rows,
                       bool colour = false, RvPixel mask = 0xFFFFFFFFu) {
  for (std::size_t y = 0; y < rows.size(); ++y)
    for (std::size_t x = 0; x < rows[y].size(); ++x)
      ExpectPixels(b, {Px(int(x), int(y), rows[y][x])}, colour, mask);
}

// A picture as 8-bit red, green, blue, alpha samples, top row first.
struct Rgba {
  int width = 0;
  int height = 0;
  Bytes samples;
};

inline Rgba RgbaOf(const CImageBitmap& bitmap) {
  return {bitmap.GetWidth(), bitmap.GetHeight(), BitmapToRGBA(bitmap)};
}

// A binary PGM (P5), PPM (P6) or PAM (P7: DEPTH 1 to 4) with a maximum of 255.
inline bool ParsePnm(const Bytes& raw, Rgba* out) {
  std::istringstream in(std::string(raw.begin(), raw.end()));
  std::string magic;
  in >> magic;
  int depth = magic == "P5" ? 1 : 3, maxval = 0;
  if (magic == "P7") {
    for (std::string key; in >> key && key != "ENDHDR";) {
      if (key == "WIDTH") in >> out->width;
      if (key == "HEIGHT") in >> out->height;
      if (key == "DEPTH") in >> depth;
      if (key == "MAXVAL") in >> maxval;
    }
  } else if (magic == "P5" || magic == "P6") {
    in >> out->width >> out->height >> maxval;
  } else {
    return false;
  }
  in.get();
  const std::size_t start = std::size_t(in.tellg()), count = std::size_t(out->width) * out->height;
  if (maxval != 255 || raw.size() < start + count * std::size_t(depth)) return false;
  out->samples.clear();
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = &raw[start + i * std::size_t(depth)];
    const bool grey = depth < 3;
    const std::uint8_t alpha = depth == 2 ? p[1] : depth == 4 ? p[3] : 255;
    out->samples.insert(out->samples.end(), {p[0], grey ? p[0] : p[1], grey ? p[0] : p[2], alpha});
  }
  return true;
}

// A file as an independent tool decodes it: ImageMagick when tool is empty or a convert command
// with options (-auto-orient applies a TGA's row order, which it otherwise keeps as orientation
// data), else the named netpbm reader (pcxtoppm, ilbmtoppm, ...).
inline bool ToolDecode(const std::string& file, const std::string& tool, Rgba* out,
                       std::string* why) {
  const std::string command = tool.empty() ? "convert" : tool;
  const std::string program = command.substr(0, command.find(' '));
  if (!rvtest::HaveProgram(program)) {
    *why = program + " is not installed";
    return false;
  }
  std::string raw, err;
  const std::string q = rvtest::ShellQuote(file);
  const std::string cmd =
      program == "convert"
          ? command + " " + q + "'[0]' -auto-orient -depth 8 -type TrueColorAlpha pam:-"
          : command + " " + q;
  if (rvtest::RunCommand(cmd, &raw, &err) != 0 || !ParsePnm(Bytes(raw.begin(), raw.end()), out)) {
    *why = program + " could not decode " + file + ": " + err;
    return false;
  }
  return true;
}

// A file's samples as oiiotool decodes them (--dumpdata, unassociated alpha as stored), scaled
// to 8 bits: integer samples divided by divisor and truncated (Maya's 16-bit samples like
// SGI's), float samples (divisor 0) clipped to 0-1 and rounded as oiiotool's 8-bit conversion.
inline bool OiioDecode(const std::string& file, int divisor, Rgba* out, std::string* why) {
  if (!rvtest::HaveProgram("oiiotool")) {
    *why = "oiiotool is not installed";
    return false;
  }
  std::string text;
  if (rvtest::RunCommand("oiiotool --no-autopremult --dumpdata " + rvtest::ShellQuote(file),
                         &text) != 0) {
    *why = "oiiotool could not read " + file;
    return false;
  }
  // Each pixel line: "Pixel (x, y): v v v (n n n)"; integer files show their stored integers,
  // then the normalised values in parentheses, float files only the values.
  out->samples.clear();
  out->width = out->height = 0;
  for (std::size_t at = 0; (at = text.find("Pixel (", at)) != std::string::npos;) {
    int x = 0, y = 0;
    std::sscanf(text.c_str() + at, "Pixel (%d, %d)", &x, &y);
    out->width = std::max(out->width, x + 1);
    out->height = std::max(out->height, y + 1);
    const std::size_t colon = text.find("):", at), eol = text.find('\n', colon);
    std::string rest = text.substr(colon + 2, eol - colon - 2);
    const std::size_t paren = rest.find('(');
    if (paren != std::string::npos) rest = rest.substr(0, paren);
    std::istringstream values(rest);
    std::uint8_t pixel[4] = {0, 0, 0, 255};
    double v;
    for (int c = 0; c < 4 && values >> v; ++c)
      pixel[c] = std::uint8_t(divisor ? int(v) / divisor
                                      : int(std::lround(std::clamp(v, 0.0, 1.0) * 255)));
    out->samples.insert(out->samples.end(), pixel, pixel + 4);
    at = eol;
  }
  return !out->samples.empty();
}

// Expects ours to equal the reference within tolerance per colour component and alphaTolerance
// for alpha (not compared when negative), and the mean colour difference to stay within mean.
// Reports the first few differing pixels.
inline void ExpectSamePicture(const Rgba& ours, const Rgba& ref, int alphaTolerance,
                              int tolerance = 0, double mean = 0) {
  ASSERT_EQ(ours.width, ref.width);
  ASSERT_EQ(ours.height, ref.height);
  ASSERT_EQ(ours.samples.size(), ref.samples.size());
  int reported = 0;
  double sum = 0;
  for (std::size_t i = 0; i < ours.samples.size(); ++i) {
    const int c = int(i % 4), d = std::abs(int(ours.samples[i]) - int(ref.samples[i]));
    if (c < 3) sum += d;
    if (d > (c < 3 ? tolerance : alphaTolerance < 0 ? 255 : alphaTolerance) && reported++ < 5)
      ADD_FAILURE() << "pixel (" << i / 4 % std::size_t(ref.width) << ","
                    << i / 4 / std::size_t(ref.width) << ") component " << c << ": got "
                    << int(ours.samples[i]) << ", reference " << int(ref.samples[i]);
  }
  EXPECT_LE(sum / double(std::max<std::size_t>(1, ours.samples.size() / 4 * 3)), mean);
}

// Decodes cut copies of a valid file, cut at from, from + step, ... before to: each must raise
// one of the accepted codes; a cut that still decodes must give exactly the pixels of the whole
// file when mayDecode (trailing data the picture does not need), and is a failure otherwise.
using DecodeFn = std::function<std::unique_ptr<CImageBitmap>(const Bytes&)>;
inline void ExpectCutsFail(const DecodeFn& decode, const Bytes& file, const std::vector<int>& codes,
                           bool mayDecode, std::size_t from, std::size_t to, std::size_t step) {
  const Bytes whole = BitmapToRGBA(*decode(file));
  for (std::size_t cut = from; cut < to; cut += step) {
    std::unique_ptr<CImageBitmap> bitmap;
    std::string text;
    const int code =
        ErrorOf([&] { bitmap = decode(Bytes(file.begin(), file.begin() + cut)); }, &text);
    if (code == 0)
      EXPECT_TRUE(mayDecode && BitmapToRGBA(*bitmap) == whole) << "cut at " << cut << " decoded";
    else
      EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end())
          << "cut at " << cut << ": code " << code << " " << text;
  }
}

}  // namespace dectest
