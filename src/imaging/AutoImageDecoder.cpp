#include "imaging/AutoImageDecoder.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "imaging/decoders/GIFDecoder.h"
#include "imaging/decoders/JPEGDecoder.h"
#include "imaging/decoders/PCXDecoder.h"
#include "imaging/decoders/PGMDecoder.h"
#include "imaging/decoders/PNGDecoder.h"
#include "imaging/decoders/TGADecoder.h"
#include "imaging/decoders/TIFFDecoder.h"
#include "imaging/decoders/WinBmpDecoder.h"
#if __has_include("imaging/decoders/MacPictDecoder.h")
#include "imaging/decoders/MacPictDecoder.h"
#define RV_HAVE_MAC_PICT_DECODER 1
#endif

namespace {

std::mutex g_factoryMutex;
CAutoImageDecoder::DecoderFactory g_metafileFactory;  // guarded by g_factoryMutex
CAutoImageDecoder::DecoderFactory g_macPictFactory;   // guarded by g_factoryMutex

std::uint32_t LE32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

bool IsTGAHeader(const std::uint8_t* h) {
  const std::uint8_t mapType = h[1], imageType = h[2], entrySize = h[7], depth = h[16];
  const bool mapOk = mapType == 0 || mapType == 1;
  const bool typeOk = imageType <= 3 || (imageType >= 9 && imageType <= 11);
  const bool entryOk = entrySize == 0 || entrySize == 8 || entrySize == 15 || entrySize == 16 ||
                       entrySize == 24 || entrySize == 32;
  const bool depthOk = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
  return mapOk && typeOk && entryOk && depthOk;
}

bool IsMacPictHeader(const std::uint8_t* h, std::size_t fileSize) {
  if (fileSize <= 540) return false;
  const std::uint8_t* v = h + 522;  // after the 512-byte preamble, the size and the frame
  return (v[0] == 0x00 && v[1] == 0x11 && v[2] == 0x02 && v[3] == 0xFF) ||
         (v[0] == 0x00 && v[1] == 0x11 && v[2] == 0x01) ||
         (v[0] == 0x11 && v[1] == 0x01 && v[2] == 0x01 && v[3] == 0x00);
}

}  // namespace

CAutoImageDecoder::CAutoImageDecoder()
    : m_winBmp(std::make_unique<CWinBmpDecoder>()),
      m_tga(std::make_unique<CTGADecoder>()),
      m_tiff(std::make_unique<CTIFFDecoder>()),
      m_jpeg(std::make_unique<CJPEGDecoder>()),
      m_png(std::make_unique<CPNGDecoder>()),
      m_pcx(std::make_unique<CPCXDecoder>()),
      m_pgm(std::make_unique<CPGMDecoder>()),
      m_gif(std::make_unique<CGIFDecoder>()) {
  DecoderFactory metafile, macPict;
  {
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    metafile = g_metafileFactory;
    macPict = g_macPictFactory;
  }
  if (metafile) m_wmf = metafile();
  if (macPict) {
    m_macPict = macPict();
  } else {
#ifdef RV_HAVE_MAC_PICT_DECODER
    m_macPict = std::make_unique<CMacPictDecoder>();
#endif
  }
}

CAutoImageDecoder::~CAutoImageDecoder() = default;

void CAutoImageDecoder::SetMetafileDecoderFactory(DecoderFactory factory) {
  std::lock_guard<std::mutex> lock(g_factoryMutex);
  g_metafileFactory = std::move(factory);
}

void CAutoImageDecoder::SetMacPictDecoderFactory(DecoderFactory factory) {
  std::lock_guard<std::mutex> lock(g_factoryMutex);
  g_macPictFactory = std::move(factory);
}

void CAutoImageDecoder::SetJPEGFast(bool fast) { m_jpeg->SetFast(fast); }

int CAutoImageDecoder::GetFileType(const std::uint8_t* header, std::size_t size,
                                   std::size_t fileSize) {
  // A short header reads as zeros beyond its end.
  std::uint8_t h[kDetectSize] = {};
  if (header) std::memcpy(h, header, std::min(size, kDetectSize));

  if (h[0] == 'B' && h[1] == 'M') return kFileWinBmp;
  if (IsTGAHeader(h)) return kFileTGA;
  if (std::memcmp(h, "GIF8", 4) == 0) return kFileGIF;
  if ((h[0] == 0x49 && h[1] == 0x49 && h[2] == 0x2A && h[3] == 0x00) ||
      (h[0] == 0x4D && h[1] == 0x4D && h[2] == 0x00 && h[3] == 0x2A))
    return kFileTIFF;
  if (IsMacPictHeader(h, fileSize)) return kFileMacPict;
  if (h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) return kFileJPEG;
  if (h[0] == 0x89 && h[1] == 'P' && h[2] == 'N' && h[3] == 'G') return kFilePNG;
  if (((h[0] == 0xC5 && h[1] == 0xD0 && h[2] == 0xD3 && h[3] == 0xC6) ||
       (h[0] == 0xC6 && h[1] == 0xD3 && h[2] == 0xD0 && h[3] == 0xC5)) &&
      LE32(h + 20) != 0 && LE32(h + 24) != 0)
    return kFileEPSTIFF;
  if (h[0] == 0x0A && h[2] == 1) return kFilePCX;
  if (h[0] == 'P' && (h[1] == '2' || h[1] == '5')) return kFilePGM;
  return kFileUnknown;
}

int CAutoImageDecoder::GetFileTypeFromName(const std::string& fileName) {
  std::string upper = fileName;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return char(std::toupper(c)); });
  if (upper.find(".WMF") != std::string::npos) return kFileWMF;
  if (upper.find(".EMF") != std::string::npos) return kFileEMF;
  return kFileUnknown;
}

CImageDecoder* CAutoImageDecoder::DecoderFor(int fileType) {
  switch (fileType) {
    case kFileWinBmp:
      return m_winBmp.get();
    case kFileMacPict:
      return m_macPict.get();
    case kFileTGA:
      return m_tga.get();
    case kFileTIFF:
    case kFileEPSTIFF:
      return m_tiff.get();
    case kFileJPEG:
      return m_jpeg.get();
    case kFilePNG:
      return m_png.get();
    case kFileWMF:
    case kFileEMF:
      return m_wmf.get();
    case kFilePCX:
      return m_pcx.get();
    case kFilePGM:
      return m_pgm.get();
    case kFileGIF:
      return m_gif.get();
    default:
      return nullptr;
  }
}

void CAutoImageDecoder::DecodeSource(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  struct TypeInfo {
    const char* recognized;
    const char* name;
  };
  static const TypeInfo kTypes[] = {
      {nullptr, ""},
      {"Windows bitmap recognized.\n", "bmp"},
      {"Mac PICT recognized.\n", "pict"},
      {"TGA file recognized.\n", "tga"},
      {"TIFF file recognized.\n", "tiff"},
      {"JPEG file recognized.\n", "jpeg"},
      {"PNG file recognized.\n", "png"},
      {"TIFF preview in EPS file recognized.\n", "eps-tiff"},
      {"WMF file recognized.\n", "wmf"},
      {"EMF file recognized.\n", "emf"},
      {"PCX file recognized.\n", "pcx"},
      {"PGM file recognized.\n", "pgm"},
      {"GIF file recognized.\n", "gif"},
  };

  int type = GetFileTypeFromName(source->GetName());
  if (type == kFileUnknown) {
    const std::size_t n = std::min(source->GetRemaining(), kDetectSize);
    type = GetFileType(source->Peek(n), n, source->GetFileSize());
  }
  if (type == kFileUnknown) RaiseError(kErrUnknownType, "Unknown file type.");
  CImageDecoder* decoder = DecoderFor(type);
  if (!decoder) RaiseError(kErrUnsupported, "Library not compiled for this file type.");

  const TypeInfo& info = kTypes[type];
  m_lastDecoderName = info.name;
  Trace(2, "%s", info.recognized);
  if (type == kFileEPSTIFF) {
    DecodeEPSPreview(source, bitmap, bppWanted);
    return;
  }
  decoder->DecodeSource(source, bitmap, bppWanted);
}

void CAutoImageDecoder::DecodeEPSPreview(CImageSource* source, CImageBitmap* bitmap,
                                         int bppWanted) {
  const std::uint8_t* header = source->ReadNBytes(30);
  source->Seek(LE32(header + 20));
  m_tiff->DecodeSource(source, bitmap, bppWanted);
}
