#include "imaging/FrameDecoder.h"

#include <algorithm>
#include <cstring>

#include "imaging/decoders/LightwaveIFFDecoder.h"
#include "imaging/decoders/MayaIFFDecoder.h"
#include "imaging/decoders/SGIDecoder.h"
#include "imaging/decoders/SoftImageDecoder.h"
#include "imaging/plugins/KaConverterPlugInList.h"

CFrameDecoder::CFrameDecoder()
    : m_sgi(std::make_unique<CSGIDecoder>()),
      m_softImage(std::make_unique<CSoftImageDecoder>()),
      m_mayaIFF(std::make_unique<CMayaIFFDecoder>()),
      m_lightwaveIFF(std::make_unique<CLightwaveIFFDecoder>()) {
  // Converter plug-ins beside the program; SetConverter points a decoder elsewhere.
  SetConverter(
      std::make_unique<CKaConverterPlugInList>(CKaConverterPlugInList::DefaultSearchPattern()));
}

CFrameDecoder::CFrameDecoder(CFrameDecoder* root, LaneTag)
    : m_root(root),
      m_sgi(std::make_unique<CSGIDecoder>()),
      m_softImage(std::make_unique<CSoftImageDecoder>()),
      m_mayaIFF(std::make_unique<CMayaIFFDecoder>()),
      m_lightwaveIFF(std::make_unique<CLightwaveIFFDecoder>()) {}

std::size_t CFrameDecoder::GetLaneCount() const {
  std::lock_guard<std::mutex> lock(m_lanesMutex);
  return m_lanes.size();
}

CFrameDecoder::~CFrameDecoder() {
  // The converters may still refer to the decoder's state; they go first.
  m_converter.reset();
}

void CFrameDecoder::DecodeFile(const std::string& fileName, CImageBitmap* bitmap, int bppWanted) {
  std::unique_lock<std::recursive_mutex> own(m_decodeMutex, std::try_to_lock);
  if (own.owns_lock() || m_root) {
    if (!own.owns_lock()) own.lock();
    DecodeFileHere(fileName, bitmap, bppWanted);
    return;
  }
  // Busy: decode on a free lane, making one when all are busy (up to a limit).
  CFrameDecoder* lane = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_lanesMutex);
    for (const auto& candidate : m_lanes) {
      if (candidate->m_decodeMutex.try_lock()) {
        lane = candidate.get();
        break;
      }
    }
    if (!lane && m_lanes.size() < kMaxLanes) {
      m_lanes.push_back(std::unique_ptr<CFrameDecoder>(new CFrameDecoder(this, LaneTag{})));
      lane = m_lanes.back().get();
      lane->m_decodeMutex.lock();
    }
  }
  if (!lane) {
    own.lock();
    DecodeFileHere(fileName, bitmap, bppWanted);
    return;
  }
  std::unique_lock<std::recursive_mutex> laneLock(lane->m_decodeMutex, std::adopt_lock);
  lane->DecodeFileHere(fileName, bitmap, bppWanted);
}

void CFrameDecoder::DecodeFileHere(const std::string& fileName, CImageBitmap* bitmap,
                                   int bppWanted) {
  {
    CFrameDecoder* root = Root();
    std::lock_guard<std::mutex> stateLock(root->m_stateMutex);
    root->m_fileName = fileName;
  }
  CAutoImageDecoder::DecodeFile(fileName, bitmap, bppWanted);
}

void CFrameDecoder::DecodeSource(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  std::lock_guard<std::recursive_mutex> lock(m_decodeMutex);

  // Converters and the own decoders see the first 512 bytes, zero-padded for a short file.
  std::uint8_t header[kHeaderSize] = {};
  const std::size_t n = std::min(source->GetRemaining(), kHeaderSize);
  std::memcpy(header, source->Peek(n), n);

  CFrameDecoder* root = Root();
  if (root->m_converter) {
    const std::string name = source->GetName().empty() ? root->GetFileName() : source->GetName();
    std::lock_guard<std::mutex> converterLock(root->m_converterMutex);
    if (root->m_converter->Convert(source, name, header, n, root->GetCineonValues(), bitmap)) {
      SetLastDecoderName(root->m_converter->GetLastConverterName());
      return;
    }
  }

  struct OwnDecoder {
    CImageDecoder* decoder;
    const char* name;
  };
  const OwnDecoder own[] = {{m_sgi.get(), "sgi"},
                            {m_softImage.get(), "softimage"},
                            {m_mayaIFF.get(), "maya-iff"},
                            {m_lightwaveIFF.get(), "lightwave-iff"}};
  for (const OwnDecoder& d : own) {
    if (d.decoder->CanDecode(header, n)) {
      SetLastDecoderName(d.name);
      d.decoder->DecodeSource(source, bitmap, bppWanted);
      return;
    }
  }

  CAutoImageDecoder::DecodeSource(source, bitmap, bppWanted);
}

void CFrameDecoder::SetConverter(std::unique_ptr<CFrameConverter> converter) {
  std::lock_guard<std::recursive_mutex> lock(m_decodeMutex);
  std::lock_guard<std::mutex> converterLock(m_converterMutex);
  m_converter = std::move(converter);
}

bool CFrameDecoder::SetCineonValues(double gammaLog, double gammaDisplay,
                                    std::uint32_t referenceBlack, std::uint32_t referenceWhite,
                                    std::uint32_t softClip) {
  return SetCineonValues(
      CineonValues{gammaLog, gammaDisplay, referenceBlack, referenceWhite, softClip});
}

bool CFrameDecoder::SetCineonValues(const CineonValues& values) {
  std::lock_guard<std::mutex> lock(m_stateMutex);
  const bool changed = !(values == m_cineon);
  m_cineon = values;
  return changed;
}

void CFrameDecoder::GetCineonValues(double* gammaLog, double* gammaDisplay,
                                    std::uint32_t* referenceBlack, std::uint32_t* referenceWhite,
                                    std::uint32_t* softClip) const {
  const CineonValues v = GetCineonValues();
  if (gammaLog) *gammaLog = v.gammaLog;
  if (gammaDisplay) *gammaDisplay = v.gammaDisplay;
  if (referenceBlack) *referenceBlack = v.referenceBlack;
  if (referenceWhite) *referenceWhite = v.referenceWhite;
  if (softClip) *softClip = v.softClip;
}

CineonValues CFrameDecoder::GetCineonValues() const {
  std::lock_guard<std::mutex> lock(m_stateMutex);
  return m_cineon;
}

std::string CFrameDecoder::GetFileName() const {
  std::lock_guard<std::mutex> lock(m_stateMutex);
  return m_fileName;
}
