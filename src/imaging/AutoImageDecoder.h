#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ImageDecoder.h"

// What the first bytes (or, for metafiles, the name) of a file say it is.
enum ImageFileType : int {
  kFileUnknown = 0,
  kFileWinBmp = 1,
  kFileMacPict = 2,
  kFileTGA = 3,
  kFileTIFF = 4,
  kFileJPEG = 5,
  kFilePNG = 6,
  kFileEPSTIFF = 7,  // TIFF preview inside an EPS file
  kFileWMF = 8,
  kFileEMF = 9,
  kFilePCX = 10,
  kFilePGM = 11,
  kFileGIF = 12,
};

class CWinBmpDecoder;
class CTGADecoder;
class CTIFFDecoder;
class CJPEGDecoder;
class CPNGDecoder;
class CPCXDecoder;
class CPGMDecoder;
class CGIFDecoder;

// Detects a file's format from its name and first bytes and hands it to the matching decoder.
// Owns one instance of each format decoder for its whole life.
class CAutoImageDecoder : public CImageDecoder {
 public:
  using DecoderFactory = std::function<std::unique_ptr<CImageDecoder>()>;

  // The header the own decoders and converters are shown.
  static constexpr std::size_t kHeaderSize = 512;
  // Detection looks a little further: the PICT version opcode follows the 512-byte preamble,
  // the picture size and the frame.
  static constexpr std::size_t kDetectSize = 526;

  CAutoImageDecoder();
  ~CAutoImageDecoder() override;

  // Signature detection on the first bytes of a file (up to kDetectSize; a shorter header is
  // treated as if the missing bytes were zero). fileSize is the size of the whole file.
  static int GetFileType(const std::uint8_t* header, std::size_t size, std::size_t fileSize);
  // kFileWMF / kFileEMF when the upper-cased name contains ".WMF" / ".EMF", else kFileUnknown.
  static int GetFileTypeFromName(const std::string& fileName);

  // The metafile and Macintosh PICT decoders live in other targets. Until a factory is set,
  // files of those types raise code 6 "Library not compiled for this file type.". A factory is
  // asked once, when the first CAutoImageDecoder is built after it was set; later decoders
  // built after a new factory use the new one.
  static void SetMetafileDecoderFactory(DecoderFactory factory);
  static void SetMacPictDecoderFactory(DecoderFactory factory);

  // The general decoding: name test for metafiles, signature detection, format decoder.
  void DecodeSource(CImageSource* source, CImageBitmap* bitmap, int bppWanted = 0) override;

  // Turns fancy upsampling off in the JPEG decoder (faster, slightly softer chroma).
  void SetJPEGFast(bool fast);

  // A short name of the decoder that handled the last successful or attempted decode
  // ("png", "jpeg", "sgi", ...), for diagnostics.
  const std::string& GetLastDecoderName() const { return m_lastDecoderName; }

 protected:
  void SetLastDecoderName(std::string name) { m_lastDecoderName = std::move(name); }

 private:
  void DecodeEPSPreview(CImageSource* source, CImageBitmap* bitmap, int bppWanted);
  CImageDecoder* DecoderFor(int fileType);

  std::unique_ptr<CWinBmpDecoder> m_winBmp;
  std::unique_ptr<CImageDecoder> m_macPict;  // null until a PICT decoder is available
  std::unique_ptr<CTGADecoder> m_tga;
  std::unique_ptr<CTIFFDecoder> m_tiff;
  std::unique_ptr<CJPEGDecoder> m_jpeg;
  std::unique_ptr<CPNGDecoder> m_png;
  std::unique_ptr<CImageDecoder> m_wmf;  // both metafile kinds; null until available
  std::unique_ptr<CPCXDecoder> m_pcx;
  std::unique_ptr<CPGMDecoder> m_pgm;
  std::unique_ptr<CGIFDecoder> m_gif;
  std::string m_lastDecoderName;
};
