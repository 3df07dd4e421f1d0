#include "output/SequenceWriter.h"

#include <exception>
#include <memory>

#include "imaging/TextException.h"
#include "output/FrameSource.h"
#include "output/ImageEncoders.h"
#include "output/OutputNaming.h"
#include "support/NesCommon55.h"

CRvImageSequenceWriter::CRvImageSequenceWriter(const CRvImageEncoder* encoder, int pad,
                                               std::string extension)
    : m_encoder(encoder), m_pad(pad < 0 ? 0 : pad), m_extension(std::move(extension)) {}

bool CRvImageSequenceWriter::Open(const std::string& path, const CImageBitmap&, std::uint32_t,
                                  std::string*) {
  std::string drive, directory, name, extension;
  SplitPath(path, &drive, &directory, &name, &extension);
  m_base = drive + directory + name;
  return true;
}

bool CRvImageSequenceWriter::Write(std::uint32_t number, const CImageBitmap& bitmap) {
  const std::string file = RvFrameFileName(m_base, number, m_pad, m_extension);
  std::unique_ptr<CDIBSectionBitmap> holder;
  std::string reason;
  if (!m_encoder || !m_encoder->Encode(RvTrueColour(bitmap, &holder), file, &reason))
    throw CTextException(0, reason.empty() ? "No encoder for " + file : reason);
  return true;
}

namespace {

bool WriteFrames(CRvFrameSource* source, std::uint32_t start, std::uint32_t step, std::uint32_t m,
                 const CRvCrop* crop, const CRvResample* resample, CRvSequenceWriter* writer,
                 std::string* errorText, CRvWriteMonitor* monitor, CImageBitmap* bitmap,
                 std::uint32_t* written) {
  // The progress counts output frames rather than using the number, so a start number or a
  // step other than 1 does not move the frame bar's marker past the frames read.
  for (std::uint32_t n = start, index = 0;; n += step, ++index) {
    if (monitor && monitor->ServeUserInterface()) return writer->Close(errorText);
    if (monitor) monitor->ShowProgress(std::uint32_t(std::uint64_t(index) * 1000 / m), *written);
    if (writer->Write(n, *bitmap)) {
      ++*written;
    } else {
      *errorText += "Frame number " + std::to_string(n) + " could not be written\n";
    }
    if (!source->GetNext(crop, resample, &bitmap)) return writer->Close(errorText);
  }
}

}  // namespace

bool WriteSequence(CRvFrameSource* source, const std::string& path, std::uint32_t start,
                   std::uint32_t step, std::uint32_t rate, const CRvCrop* crop,
                   const CRvResample* resample, CRvSequenceWriter* writer, std::string* errorText,
                   CRvWriteMonitor* monitor, std::uint32_t* framesWritten) {
  errorText->clear();
  std::uint32_t written = 0;
  if (framesWritten) *framesWritten = 0;
  std::uint32_t m = source->AdjustRate(1000);
  if (m == 0) m = 1;
  bool ok = false;
  try {
    CImageBitmap* bitmap = nullptr;
    if (!source->GetNext(crop, resample, &bitmap)) {
      *errorText += "Playlist is empty.\n";
      return false;
    }
    if (!writer->Open(path, *bitmap, rate, errorText)) {
      *errorText += "Failed to open image stream output\n";
      writer->Close(errorText);
      return false;
    }
    ok = WriteFrames(source, start, step, m, crop, resample, writer, errorText, monitor, bitmap,
                     &written);
  } catch (const CTextException& e) {
    *errorText += "General error writing bitmap sequence\n";
    if (!e.GetText().empty()) *errorText += e.GetText() + "\n";
    writer->Close(errorText);
    ok = false;
  } catch (const std::exception&) {
    *errorText += "General error writing bitmap sequence\n";
    writer->Close(errorText);
    ok = false;
  }
  if (framesWritten) *framesWritten = written;
  return ok;
}
