// Writing a play list out: the writers and the loop that pulls frames from a source chain into
// one of them.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/ImageBitmap.h"

class CRvCrop;
class CRvFrameSource;
class CRvImageEncoder;
class CRvResample;

class CRvSequenceWriter {
 public:
  virtual ~CRvSequenceWriter() = default;
  // Prepares the output for frames like first at rate frames per second. False after
  // appending the reason to errorText.
  virtual bool Open(const std::string& path, const CImageBitmap& first, std::uint32_t rate,
                    std::string* errorText) = 0;
  // False when the frame could not be written.
  virtual bool Write(std::uint32_t number, const CImageBitmap& bitmap) = 0;
  // Finishes the output; may be called at any time and more than once. False after appending
  // the reason to errorText when what was written cannot be completed.
  virtual bool Close(std::string* errorText) = 0;
};

// One numbered file per frame: base path (the path without its extension) + number padded to
// pad digits + extension. An encoder failure throws CTextException with its reason.
class CRvImageSequenceWriter : public CRvSequenceWriter {
 public:
  // encoder is not owned. A pad below 0 counts as 0.
  CRvImageSequenceWriter(const CRvImageEncoder* encoder, int pad, std::string extension);
  bool Open(const std::string& path, const CImageBitmap& first, std::uint32_t rate,
            std::string* errorText) override;
  bool Write(std::uint32_t number, const CImageBitmap& bitmap) override;
  bool Close(std::string*) override { return true; }

 private:
  const CRvImageEncoder* m_encoder;
  int m_pad;
  std::string m_extension;
  std::string m_base;
};

// What the writing loop asks of whoever runs it.
class CRvWriteMonitor {
 public:
  virtual ~CRvWriteMonitor() = default;
  // Keeps the user interface alive; true when the user asked to stop.
  virtual bool ServeUserInterface() = 0;
  // Before each frame is written: position = output index x 1000 / AdjustRate(1000) (the input
  // frame the output has reached); done = output frames written so far.
  virtual void ShowProgress(std::uint32_t position, std::uint32_t done) = 0;
};

// Pulls every frame of source into writer, numbered from start in steps of step. errorText is
// emptied first and collects every message. A stop from the monitor ends the run as a success;
// frames that cannot be written are reported and skipped. framesWritten (optional) receives
// the count of frames written.
bool WriteSequence(CRvFrameSource* source, const std::string& path, std::uint32_t start,
                   std::uint32_t step, std::uint32_t rate, const CRvCrop* crop,
                   const CRvResample* resample, CRvSequenceWriter* writer, std::string* errorText,
                   CRvWriteMonitor* monitor = nullptr, std::uint32_t* framesWritten = nullptr);
