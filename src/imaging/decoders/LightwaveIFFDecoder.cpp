#include "imaging/decoders/LightwaveIFFDecoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/decoders/DecoderLimits.h"

using namespace rvdecode;

namespace {

constexpr std::uint8_t kMaskPlane = 1;  // masking value: an extra mask plane follows each row
constexpr std::uint8_t kByteRun1 = 1;
// A two-byte ByteRun1 run stands for at most 128 bytes.
constexpr std::uint64_t kMaxBytesPerByte = 64;

[[noreturn]] void Fail(int code, const std::string& text) { throw CTextException(code, text); }

// Decodes one row of ByteRun1 data into exactly out.size() bytes. A run that would pass the
// row's end is cut there.
void UnpackByteRun1(CByteCursor& in, std::vector<std::uint8_t>& out) {
  std::size_t done = 0;
  const std::size_t size = out.size();
  while (done < size) {
    const auto n = std::int8_t(in.Byte());
    if (n >= 0) {
      const std::size_t count = std::size_t(n) + 1;
      const std::uint8_t* src = in.Bytes(count);
      const std::size_t k = std::min(count, size - done);
      std::memcpy(out.data() + done, src, k);
      done += k;
    } else if (n != -128) {  // -128 is the format's no-operation code
      const std::size_t count = std::size_t(1 - n);
      const std::uint8_t value = in.Byte();
      const std::size_t k = std::min(count, size - done);
      std::memset(out.data() + done, value, k);
      done += k;
    }
  }
}

// Gathers eight planes (one component) of eight pixels: bit b of plane p's byte becomes bit p
// of pixel 7 - b.
inline void GatherComponent(const std::uint8_t* planes, std::size_t planeStride,
                            std::uint8_t out[8]) {
  std::uint64_t bits = 0;
  for (int p = 0; p < 8; ++p) {
    // Spread plane p's byte so its bit (7 - x) lands in byte x, at bit p.
    std::uint64_t b = planes[std::size_t(p) * planeStride];
    b = ((b * 0x8040201008040201ull) >> 7) & 0x0101010101010101ull;  // bit x -> byte (7 - x)
    bits |= b << p;
  }
  std::memcpy(out, &bits, 8);
}

}  // namespace

bool CLightwaveIFFDecoder::CanDecode(const std::uint8_t* header, std::size_t size) const {
  return size >= 4 && std::memcmp(header, "FORM", 4) == 0;
}

void CLightwaveIFFDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int /*bppWanted*/) {
  if (std::memcmp(source->ReadNBytes(4), "FORM", 4) != 0)
    Fail(kErrUnsupported, "Lightwave IFF format starts with FORM");
  source->ReadLongBE();
  if (std::memcmp(source->ReadNBytes(4), "ILBM", 4) != 0)
    Fail(kErrUnsupported, "Lightwave IFF format starts with FORM...ILBM");
  if (std::memcmp(source->ReadNBytes(4), "BMHD", 4) != 0)
    Fail(kErrUnsupported, "Lightwave IFF format starts with FORM...ILBMBMHD");
  const std::uint32_t bmhdSize = source->ReadLongBE();
  const std::size_t bmhdStart = source->GetPosition();
  const std::uint8_t* bmhd = source->ReadNBytes(20);
  const int width = WordBE(bmhd);
  const int height = WordBE(bmhd + 2);
  const int planes = bmhd[8];
  const int masking = bmhd[9];
  const int compression = bmhd[10];
  if (planes != 24 && planes != 32)
    Fail(kErrUnsupported, "Lightwave IFF only supported with 24/32 bit");
  if (compression > kByteRun1)
    Fail(kErrUnsupported,
         "Lightwave IFF compression " + std::to_string(compression) + " is not supported");
  // A longer header than the usual 20 bytes is stepped over as a whole.
  const std::uint64_t bmhdEnd = bmhdStart + ((std::uint64_t(bmhdSize) + 1) & ~std::uint64_t(1));
  if (bmhdEnd > source->GetPosition()) {
    if (bmhdEnd > source->GetFileSize()) ThrowEndOfData();
    source->Seek(std::size_t(bmhdEnd));
  }

  // Chunks before the body, nested FORM groups included, are skipped whole by their size.
  for (;;) {
    const std::uint8_t* chunk = source->ReadNBytes(8);
    const bool body = std::memcmp(chunk, "BODY", 4) == 0;
    const std::uint64_t size = LongBE(chunk + 4);
    if (body) break;
    const std::uint64_t skip = (size + 1) & ~std::uint64_t(1);
    if (skip > source->GetRemaining()) ThrowEndOfData();
    source->Seek(source->GetPosition() + std::size_t(skip));
  }

  if (std::string p = ImageSizeProblem(width, height, 32); !p.empty())
    Fail(kErrFormat, "Lightwave IFF: " + p);
  const std::size_t words = (std::size_t(width) + 15) / 16;
  const std::size_t planeBytes = 2 * words;
  const int storedPlanes = planes + (masking == kMaskPlane ? 1 : 0);
  const std::size_t rowBytes = planeBytes * std::size_t(storedPlanes);
  const std::uint64_t total = std::uint64_t(rowBytes) * std::uint64_t(height);
  const bool rle = compression == kByteRun1;
  if (std::string p =
          DataCapacityProblem(rle ? total / kMaxBytesPerByte : total, source->GetRemaining());
      !p.empty())
    Fail(kErrFormat, "Lightwave IFF: " + p);

  bitmap->CreateForOverwrite(width, height, 32, true);  // every row is written whole
  CBitmapLock lock(bitmap);
  std::uint8_t* const* lines = bitmap->GetLineArray();
  CByteCursor in = RestOfSource(source);
  std::vector<std::uint8_t> row(rowBytes);
  const int components = planes / 8;
  // Component order in the planes is red, green, blue, alpha; in our pixel blue, green, red, alpha.
  constexpr int kOffset[4] = {2, 1, 0, 3};
  std::uint8_t gathered[8];
  std::uint8_t pixels[8 * 4];
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* data;
    if (rle) {
      UnpackByteRun1(in, row);
      data = row.data();
    } else {
      data = in.Bytes(rowBytes);
    }
    std::uint8_t* dst = lines[y];
    for (int x0 = 0; x0 < width; x0 += 8) {
      std::memset(pixels, 0, sizeof pixels);
      if (components < 4)  // 24 planes: no alpha, so opaque
        for (int k = 0; k < 8; ++k) pixels[4 * k + 3] = 255;
      for (int c = 0; c < components; ++c) {
        GatherComponent(data + std::size_t(c) * 8 * planeBytes + std::size_t(x0 / 8), planeBytes,
                        gathered);
        for (int k = 0; k < 8; ++k) pixels[4 * k + kOffset[c]] = gathered[k];
      }
      const int n = std::min(8, width - x0);
      std::memcpy(dst + 4 * std::size_t(x0), pixels, 4 * std::size_t(n));
    }
  }
}
