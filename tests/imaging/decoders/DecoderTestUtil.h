#pragma once

// Shared by the own-decoder tests: a byte builder for hand-made files, decode and error
// helpers, and the comparison against an independent tool's decode of a committed file.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "imaging/ImageBitmap.h"
#include "imaging/ImageDecoder.h"
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

template <class Decoder>
std::unique_ptr<CImageBitmap> Decode(const Bytes& bytes, int bppWanted = 0) {
  Decoder decoder;
  auto bitmap = std::make_unique<CDIBSectionBitmap>();
  decoder.DecodeMemory(bytes.data(), bytes.size(), bitmap.get(), bppWanted);
  return bitmap;
}

// The code of the exception the decode throws (0 when it succeeds); text gets its message.
template <class Decoder>
int DecodeError(const Bytes& bytes, std::string* text = nullptr) {
  try {
    Decode<Decoder>(bytes);
  } catch (const CTextException& e) {
    if (text) *text = e.GetText();
    return e.GetCode();
  }
  return 0;
}

inline std::string DataFile(const std::string& name) {
  return rvtest::DataDir() + "/decoders/" + name;
}

inline Bytes ReadBytes(const std::string& path) {
  const std::string s = rvtest::ReadFile(path);
  return Bytes(s.begin(), s.end());
}

inline Bytes DataBytes(const std::string& name) { return ReadBytes(DataFile(name)); }

// The colour of a pixel, through the palette for 8-bit bitmaps.
inline RvPixel ColourAt(const CImageBitmap& bitmap, int x, int y) {
  const RvPixel p = bitmap.GetPixel(x, y);
  if (bitmap.GetBitsPerPixel() <= 8) return bitmap.GetPalette()[p & 0xFF];
  return p;
}

// Raw red, green, blue, alpha bytes of a file as an independent tool decodes it: the named
// netpbm reader when one is given (ilbmtoppm for deep ILBM, which ImageMagick does not read),
// else ImageMagick. ImageMagick keeps a TGA's row order as orientation data; -auto-orient
// applies it to the pixels.
inline bool ReferenceRgba(const std::string& file, const std::string& netpbmReader, Bytes* rgba,
                          std::string* why) {
  rvtest::TempDir tmp;
  const std::string tool = netpbmReader.empty() ? "convert" : netpbmReader;
  if (!rvtest::HaveProgram(tool)) {
    *why = tool + " is not installed";
    return false;
  }
  const std::string out = tmp.File("ref");
  const std::string cmd =
      netpbmReader.empty()
          ? "convert " + rvtest::ShellQuote(file) +
                " -auto-orient -depth 8 rgba:" + rvtest::ShellQuote(out)
          : netpbmReader + " " + rvtest::ShellQuote(file) + " > " + rvtest::ShellQuote(out);
  std::string err;
  if (rvtest::RunCommand(cmd, nullptr, &err) != 0) {
    *why = "reference decode failed: " + err;
    return false;
  }
  Bytes raw = ReadBytes(out);
  if (netpbmReader.empty()) {
    *rgba = std::move(raw);
    return true;
  }
  // A binary PPM or PGM with a maximum of 255: magic, width, height, maximum, one white-space
  // byte, then the samples.
  const bool grey = raw.size() > 1 && raw[1] == '5';
  std::size_t pos = 2;
  for (int fields = 0; fields < 3 && pos < raw.size(); ++fields) {
    while (pos < raw.size() && std::isspace(raw[pos])) ++pos;
    while (pos < raw.size() && std::isdigit(raw[pos])) ++pos;
  }
  ++pos;
  rgba->clear();
  const std::size_t step = grey ? 1 : 3;
  for (; pos + step <= raw.size(); pos += step) {
    if (grey)
      rgba->insert(rgba->end(), {raw[pos], raw[pos], raw[pos], 255});
    else
      rgba->insert(rgba->end(), {raw[pos], raw[pos + 1], raw[pos + 2], 255});
  }
  return true;
}

// A file as oiiotool decodes it (--dumpdata): its samples channel by channel, pixel by pixel
// from the top row, and the channel count. Integer files give their stored integers, float
// files their values as stored.
inline bool OiioSamples(const std::string& file, std::vector<double>* samples, int* channels,
                        std::string* why) {
  if (!rvtest::HaveProgram("oiiotool")) {
    *why = "oiiotool is not installed";
    return false;
  }
  std::string out;
  // Samples as stored: no premultiplying of unassociated alpha.
  if (rvtest::RunCommand("oiiotool --no-autopremult --dumpdata " + rvtest::ShellQuote(file),
                         &out) != 0) {
    *why = "oiiotool could not read " + file;
    return false;
  }
  // Each pixel line: "Pixel (x, y): v v v (n n n)"; integer files show both, float files only
  // the normalised values.
  samples->clear();
  *channels = 0;
  std::size_t at = 0;
  while ((at = out.find("Pixel (", at)) != std::string::npos) {
    std::size_t colon = out.find("):", at);
    std::size_t eol = out.find('\n', colon);
    std::string rest = out.substr(colon + 2, eol - colon - 2);
    const std::size_t paren = rest.find('(');
    const bool integer = paren != std::string::npos;
    std::istringstream values(integer ? rest.substr(0, paren) : rest);
    int n = 0;
    double v;
    while (values >> v) {
      samples->push_back(v);
      ++n;
    }
    *channels = n;
    at = eol;
  }
  return *channels > 0;
}

// Expects every pixel to equal the reference decode (RGB; alpha too when asked), allowing the
// given difference per component.
inline void ExpectMatchesReference(const CImageBitmap& bitmap, const std::string& file,
                                   bool compareAlpha, int tolerance = 0,
                                   const std::string& netpbmReader = "") {
  Bytes ref;
  std::string why;
  if (!ReferenceRgba(file, netpbmReader, &ref, &why)) GTEST_SKIP() << why;
  const int w = bitmap.GetWidth();
  const int h = bitmap.GetHeight();
  ASSERT_EQ(ref.size(), std::size_t(w) * std::size_t(h) * 4) << file;
  int mismatches = 0;
  for (int y = 0; y < h && mismatches < 5; ++y) {
    for (int x = 0; x < w && mismatches < 5; ++x) {
      const RvPixel p = ColourAt(bitmap, x, y);
      const std::uint8_t* r = &ref[(std::size_t(y) * w + x) * 4];
      const int got[4] = {RvPixelRed(p), RvPixelGreen(p), RvPixelBlue(p), RvPixelAlpha(p)};
      for (int c = 0; c < (compareAlpha ? 4 : 3); ++c) {
        if (std::abs(got[c] - int(r[c])) > tolerance) {
          ADD_FAILURE() << file << " pixel (" << x << "," << y << ") component " << c << ": got "
                        << got[c] << ", reference " << int(r[c]);
          ++mismatches;
          break;
        }
      }
    }
  }
}

}  // namespace dectest
