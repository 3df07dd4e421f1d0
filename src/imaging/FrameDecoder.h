#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AutoImageDecoder.h"

// The five log-to-linear parameters handed to converter plug-ins.
struct CineonValues {
  double gammaLog = 1.0;
  double gammaDisplay = 1.0;
  std::uint32_t referenceBlack = 0;
  std::uint32_t referenceWhite = 1024;
  std::uint32_t softClip = 0;

  // Exact comparison: the gammas as doubles, the integers as they are.
  bool operator==(const CineonValues&) const = default;
};

// The converter plug-ins, seen from the frame decoder: asked first for every frame.
class CFrameConverter {
 public:
  virtual ~CFrameConverter() = default;
  // Returns false when no converter claims the file (nothing is read then). When one claims
  // it, it reads the header, creates the bitmap (32 bpp, alpha flag set), converts into it and
  // returns true; a failure throws CTextException with code 2 and the converter's text.
  // header holds the first headerSize bytes of the file (the rest of 512 is zero).
  virtual bool Convert(CImageSource* source, const std::string& fileName,
                       const std::uint8_t* header, std::size_t headerSize,
                       const CineonValues& cineon, CImageBitmap* bitmap) = 0;
  // A short name of the converter that handled the last Convert, for diagnostics.
  virtual std::string GetLastConverterName() const { return "plugin"; }
};

class CSGIDecoder;
class CSoftImageDecoder;
class CMayaIFFDecoder;
class CLightwaveIFFDecoder;

// The process-wide decoder of frame files: converters first, then the own SGI, SoftImage,
// Maya IFF and Lightwave IFF decoders, then the general detection.
//
// Threads: DecodeFile may be called from several threads at once (the read-ahead pool). Each
// decode runs on a decoder of its own: the first caller on this object, further concurrent
// callers on lanes, decoders that share this one's converters and Cineon values. Converter
// plug-ins are never called concurrently (their contract), so converter decodes take turns.
class CFrameDecoder;
class CFrameDecoder : public CAutoImageDecoder {
 public:
  CFrameDecoder();
  ~CFrameDecoder() override;

  // Remembers the file name, then decodes as CImageDecoder::DecodeFile.
  void DecodeFile(const std::string& fileName, CImageBitmap* bitmap, int bppWanted = 0) override;
  // The dispatch: converter, own decoders in order, general decoding.
  void DecodeSource(CImageSource* source, CImageBitmap* bitmap, int bppWanted = 0) override;

  // Installs the converter list (null removes it).
  void SetConverter(std::unique_ptr<CFrameConverter> converter);
  CFrameConverter* GetConverter() const { return m_converter.get(); }

  // Stores the values; returns true when any of the five differs from the stored ones.
  bool SetCineonValues(double gammaLog, double gammaDisplay, std::uint32_t referenceBlack,
                       std::uint32_t referenceWhite, std::uint32_t softClip);
  bool SetCineonValues(const CineonValues& values);
  void GetCineonValues(double* gammaLog, double* gammaDisplay, std::uint32_t* referenceBlack,
                       std::uint32_t* referenceWhite, std::uint32_t* softClip) const;
  CineonValues GetCineonValues() const;

  // The name of the file being (or last) decoded through DecodeFile.
  std::string GetFileName() const;
  // Lanes made so far for concurrent callers (for tests).
  std::size_t GetLaneCount() const;

 private:
  static constexpr std::size_t kMaxLanes = 16;
  struct LaneTag {};
  CFrameDecoder(CFrameDecoder* root, LaneTag);
  CFrameDecoder* Root() { return m_root ? m_root : this; }
  void DecodeFileHere(const std::string& fileName, CImageBitmap* bitmap, int bppWanted);

  CFrameDecoder* m_root = nullptr;  // set on lanes
  mutable std::mutex m_lanesMutex;
  std::vector<std::unique_ptr<CFrameDecoder>> m_lanes;
  std::mutex m_converterMutex;  // one converter call at a time, across all lanes
  std::unique_ptr<CSGIDecoder> m_sgi;
  std::unique_ptr<CSoftImageDecoder> m_softImage;
  std::unique_ptr<CMayaIFFDecoder> m_mayaIFF;
  std::unique_ptr<CLightwaveIFFDecoder> m_lightwaveIFF;
  std::unique_ptr<CFrameConverter> m_converter;

  // Held for a whole decode; recursive because DecodeFile calls DecodeSource.
  mutable std::recursive_mutex m_decodeMutex;

  // Separate from the decode lock: the UI thread reads the name and reads and sets the values
  // while a frame may be decoding.
  mutable std::mutex m_stateMutex;
  std::string m_fileName;  // guarded by m_stateMutex
  CineonValues m_cineon;   // guarded by m_stateMutex
};
