#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ImageBitmap.h"
#include "ImageSource.h"
#include "TextException.h"

// Base of every decoder. A decode call either fills the bitmap or throws CTextException; on a
// throw the bitmap's state is undefined and the caller discards it.
class CImageDecoder {
 public:
  CImageDecoder() = default;
  virtual ~CImageDecoder() = default;
  CImageDecoder(const CImageDecoder&) = delete;
  CImageDecoder& operator=(const CImageDecoder&) = delete;

  // Traces "--- Decoding file %s. ---\n", opens a CFileImageSource (an open failure throws
  // "Decoder error: Opening <name> failed\n" with the source's code) and decodes from it.
  virtual void DecodeFile(const std::string& fileName, CImageBitmap* bitmap, int bppWanted = 0);
  // "--- Decoding from memory at %p. ---\n".
  void DecodeMemory(const std::uint8_t* data, std::size_t size, CImageBitmap* bitmap,
                    int bppWanted = 0);
  // "--- Decoding resource ID %s. ---\n" over CResourceImageSource.
  void DecodeResource(const std::string& resourceName, CImageBitmap* bitmap, int bppWanted = 0);
  // Runs the format-specific decode.
  virtual void DecodeSource(CImageSource* source, CImageBitmap* bitmap, int bppWanted = 0);

  // For the program's own decoders: whether the first bytes of a file (up to 512; fewer for a
  // short file, the rest zero) belong to this format. The base answers false.
  virtual bool CanDecode(const std::uint8_t* header, std::size_t size) const;

 protected:
  // The format-specific decode; empty in the base.
  virtual void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted);

  // Library decoders raise through this: traces and throws code with "Decoder error: %s\n".
  [[noreturn]] static void RaiseError(int code, const std::string& message);
};

// Process-wide trace: a line is written when its level is at most the trace level and a trace
// file is set. Off unless someone enables it.
void SetTraceConfig(int level, const std::string& fileName);
void Trace(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
