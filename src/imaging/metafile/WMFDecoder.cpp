#include "imaging/metafile/WMFDecoder.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "imaging/AutoImageDecoder.h"
#include "imaging/metafile/MetafileBytes.h"
#include "imaging/metafile/MetafileGui.h"
#include "imaging/metafile/MetafilePlayer.h"
#include "imaging/metafile/MetafileRecords.h"

namespace {

const char kLoadFailed[] = "Windows Metafile functions failed to load this image.";
constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr std::size_t kEmfHeaderSize = 88;
constexpr std::size_t kPlaceableSize = 22;

bool IsEnhancedName(const std::string& name) {
  std::string upper = name;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return char(std::toupper(c)); });
  return upper.find(".EMF") != std::string::npos;
}

struct Plan {
  int width = 0, height = 0;
  bool enhanced = false;
  const std::uint8_t* records = nullptr;  // the Windows metafile header or the EMF header
  std::size_t size = 0;
  QRectF window;               // Windows metafiles: the initial window
  QTransform deviceToPicture;  // enhanced metafiles
  QSizeF pxPerMm;
};

std::int64_t Scaled(std::int64_t extent, std::int64_t numerator, double denominator) {
  if (denominator <= 0) return 0;
  return std::int64_t(double(extent) * double(numerator) / denominator);
}

void PlanWindowsMetafile(const std::uint8_t* data, std::size_t size, Plan* plan) {
  CMetafileBytes b(data, size);
  std::int64_t width = 0, height = 0;
  const RvReferenceDevice device = RvMetafileReferenceDevice();
  if (size >= kPlaceableSize && b.U32() == CWMFDecoder::kPlaceableKey) {
    b.Seek(6);
    const int left = b.I16(), top = b.I16(), right = b.I16(), bottom = b.I16();
    const int inch = b.U16();
    width = Scaled(right - left, CWMFDecoder::kScreenPixelsPerInch, inch);
    height = Scaled(bottom - top, CWMFDecoder::kScreenPixelsPerInch, inch);
    plan->window = QRectF(left, top, right - left, bottom - top);
    data += kPlaceableSize;
    size -= kPlaceableSize;
  } else {
    // Without a placeable header the picture fills the whole reference device.
    width = device.pixels.width();
    height = device.pixels.height();
  }
  // Header: type 1 (memory) or 2 (disk), header size 9 words.
  CMetafileBytes h(data, size);
  const std::uint16_t type = h.U16();
  const std::uint16_t headerWords = h.U16();
  if (!h.Ok() || (type != 1 && type != 2) || headerWords != 9 || size < 18)
    throw CTextException(kErrUnsupported, kLoadFailed);
  plan->records = data;
  plan->size = size;
  plan->width = int(std::clamp<std::int64_t>(width, -1, INT32_MAX));
  plan->height = int(std::clamp<std::int64_t>(height, -1, INT32_MAX));
  if (plan->window.width() == 0 || plan->window.height() == 0)
    plan->window = QRectF(0, 0, std::max(plan->width, 1), std::max(plan->height, 1));
}

void PlanEnhancedMetafile(const std::uint8_t* data, std::size_t size, Plan* plan) {
  CMetafileBytes b(data, size);
  const std::uint32_t type = b.U32();
  const std::uint32_t headerSize = b.U32();
  if (!b.Ok() || type != 1) throw CTextException(kErrUnsupported, kLoadFailed);
  if (headerSize == 0) throw CTextException(kErrFormat, "No header information in metafile");
  b.Seek(40);
  if (headerSize < kEmfHeaderSize || size < kEmfHeaderSize || b.U32() != kEmfSignature)
    throw CTextException(kErrUnsupported, kLoadFailed);
  b.Seek(8);
  const QRectF bounds = [&] {
    const double l = b.I32(), t = b.I32(), r = b.I32(), bo = b.I32();
    return QRectF(QPointF(l, t), QPointF(r, bo));
  }();
  const std::int64_t fl = b.I32(), ft = b.I32(), fr = b.I32(), fb = b.I32();
  b.Seek(72);
  const double devW = b.I32(), devH = b.I32(), mmW = b.I32(), mmH = b.I32();

  const RvReferenceDevice device = RvMetafileReferenceDevice();
  plan->width = int(std::clamp<std::int64_t>(
      Scaled(fr - fl, device.pixels.width(), device.millimetres.width() * 100), -1, INT32_MAX));
  plan->height = int(std::clamp<std::int64_t>(
      Scaled(fb - ft, device.pixels.height(), device.millimetres.height() * 100), -1, INT32_MAX));

  // The frame, in the recording device's pixels, maps onto the picture.
  QSizeF pxPerMm(96 / 25.4, 96 / 25.4);
  if (devW > 0 && devH > 0 && mmW > 0 && mmH > 0) pxPerMm = QSizeF(devW / mmW, devH / mmH);
  QRectF frame(QPointF(fl * pxPerMm.width() / 100, ft * pxPerMm.height() / 100),
               QPointF(fr * pxPerMm.width() / 100, fb * pxPerMm.height() / 100));
  if (frame.width() <= 0 || frame.height() <= 0) frame = bounds.adjusted(0, 0, 1, 1);
  plan->pxPerMm = pxPerMm;
  plan->enhanced = true;
  plan->records = data;
  plan->size = size;
  plan->window = frame;
}

int NearestEntry(RvPixel pixel, const std::vector<RvPixel>& palette) {
  int best = 0;
  int bestDistance = INT32_MAX;
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const int dr = int(RvPixelRed(pixel)) - RvPixelRed(palette[i]);
    const int dg = int(RvPixelGreen(pixel)) - RvPixelGreen(palette[i]);
    const int db = int(RvPixelBlue(pixel)) - RvPixelBlue(palette[i]);
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = int(i);
    }
  }
  return best;
}

}  // namespace

void CWMFDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  try {
    Render(source, bitmap, bppWanted);
  } catch (const std::bad_alloc&) {
    RaiseError(kErrNoMemory, "Cannot allocate memory bitmap.");
  }
}

void CWMFDecoder::Render(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  const std::size_t size = source->GetRemaining();
  const std::uint8_t* data = size > 0 ? source->ReadNBytes(size) : nullptr;
  Plan plan;
  try {
    if (IsEnhancedName(source->GetName()))
      PlanEnhancedMetafile(data, size, &plan);
    else
      PlanWindowsMetafile(data, size, &plan);
  } catch (const CTextException& e) {
    RaiseError(e.GetCode(), e.GetText());
  }
  if (plan.width < 1) plan.width = 320;
  if (plan.height < 1) plan.height = 200;
  if (std::int64_t(plan.width) * plan.height > kMaxPixels)
    RaiseError(kErrNoMemory, "Cannot allocate memory bitmap.");
  const int longest = std::max(plan.width, plan.height);
  if (longest > kMaxShownSide) {
    const double scale = double(kMaxShownSide) / longest;
    plan.width = std::max(1, int(std::lround(plan.width * scale)));
    plan.height = std::max(1, int(std::lround(plan.height * scale)));
  }

  QImage picture(plan.width, plan.height, QImage::Format_RGB32);
  if (picture.isNull()) RaiseError(kErrNoMemory, "Cannot allocate memory bitmap.");
  picture.fill(Qt::white);
  std::vector<RvPixel> palette;
  {
    QPainter painter(&picture);
    if (!painter.isActive()) RaiseError(kErrNoMemory, "Cannot allocate device context.");
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    CMetafilePlayer player(&painter, picture.size());
    try {
      if (plan.enhanced) {
        QTransform toPicture;
        toPicture.scale(plan.width / plan.window.width(), plan.height / plan.window.height());
        toPicture.translate(-plan.window.left(), -plan.window.top());
        player.StartEnhancedPlayback(toPicture, plan.pxPerMm);
        RvPlayEnhancedMetafile(plan.records, plan.size, &player, &palette);
      } else {
        player.StartWindowsPlayback(plan.window);
        RvPlayWindowsMetafile(plan.records, plan.size, &player, &palette);
      }
    } catch (const CTextException& e) {
      RaiseError(e.GetCode(), e.GetText());  // the player's refusal, as a decoder error
    }
  }

  const bool indexed = !palette.empty() && bppWanted != 32;
  if (indexed) {
    try {
      palette.resize(256, RvMakePixel(0, 0, 0));
    } catch (const std::bad_alloc&) {
      RaiseError(kErrNoMemory, "Cannot allocate palette.");
    }
    bitmap->Create(plan.width, plan.height, 8, false);
    bitmap->SetPalette(palette.data());
    CBitmapLock lock(bitmap);
    std::uint8_t* const* lines = bitmap->GetLineArray();
    // Pictures hold few colours: remember the entry of the last one looked up.
    RvPixel lastColour = 0;
    int lastEntry = -1;
    for (int y = 0; y < plan.height; ++y) {
      const QRgb* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
      for (int x = 0; x < plan.width; ++x) {
        const RvPixel p = row[x] | 0xFF000000u;
        if (lastEntry < 0 || p != lastColour) {
          lastColour = p;
          lastEntry = NearestEntry(p, palette);
        }
        lines[y][x] = std::uint8_t(lastEntry);
      }
    }
    return;
  }
  bitmap->Create(plan.width, plan.height, 32, true);
  CBitmapLock lock(bitmap);
  std::uint8_t* const* lines = bitmap->GetLineArray();
  for (int y = 0; y < plan.height; ++y) {
    // RGB32 keeps 0xAARRGGBB per pixel with alpha 255: the bitmap's B, G, R, A bytes.
    std::memcpy(lines[y], picture.constScanLine(y), std::size_t(plan.width) * 4);
  }
}

void RvRegisterMetafileDecoder() {
  CAutoImageDecoder::SetMetafileDecoderFactory([] { return std::make_unique<CWMFDecoder>(); });
}
