#include "imaging/ImageDecoder.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

std::atomic<int> g_traceLevel{0};
std::mutex g_traceMutex;
std::string g_traceFile;  // guarded by g_traceMutex

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return std::string();
  if (std::size_t(n) < sizeof buffer) return std::string(buffer, std::size_t(n));
  std::string text(std::size_t(n) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  text.resize(std::size_t(n));
  return text;
}

}  // namespace

void SetTraceConfig(int level, const std::string& fileName) {
  std::lock_guard<std::mutex> lock(g_traceMutex);
  g_traceLevel = level;
  g_traceFile = fileName;
  if (!fileName.empty()) std::remove(fileName.c_str());  // each run starts a fresh trace
}

void Trace(int level, const char* format, ...) {
  if (level > g_traceLevel.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(g_traceMutex);
  if (g_traceFile.empty()) return;
  FILE* f = std::fopen(g_traceFile.c_str(), "a");
  if (!f) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(f, format, args);
  va_end(args);
  std::fclose(f);
}

void CImageDecoder::DecodeFile(const std::string& fileName, CImageBitmap* bitmap, int bppWanted) {
  Trace(1, "--- Decoding file %s. ---\n", fileName.c_str());
  CFileImageSource source;
  const int code = source.Open(fileName);
  if (code != 0) RaiseError(code, "Opening " + fileName + " failed");
  DecodeSource(&source, bitmap, bppWanted);
  source.Close();
}

void CImageDecoder::DecodeMemory(const std::uint8_t* data, std::size_t size, CImageBitmap* bitmap,
                                 int bppWanted) {
  Trace(1, "--- Decoding from memory at %p. ---\n", static_cast<const void*>(data));
  if (!data && size > 0)
    RaiseError(kErrCannotOpen,
               Format("Reading from memory at %p failed", static_cast<const void*>(data)));
  CMemImageSource source;
  source.Open(data, size);
  DecodeSource(&source, bitmap, bppWanted);
  source.Close();
}

void CImageDecoder::DecodeResource(const std::string& resourceName, CImageBitmap* bitmap,
                                   int bppWanted) {
  Trace(1, "--- Decoding resource ID %s. ---\n", resourceName.c_str());
  CResourceImageSource source;
  const int code = source.Open(resourceName);
  if (code != 0) {
    Trace(0, "FindResource Failed (Code %i).\n", code);
    RaiseError(code, "Opening resource " + resourceName + " failed");
  }
  DecodeSource(&source, bitmap, bppWanted);
  source.Close();
}

void CImageDecoder::DecodeSource(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  DoDecode(source, bitmap, bppWanted);
}

bool CImageDecoder::CanDecode(const std::uint8_t*, std::size_t) const { return false; }

void CImageDecoder::DoDecode(CImageSource*, CImageBitmap*, int) {}

void CImageDecoder::RaiseError(int code, const std::string& message) {
  std::string text = "Decoder error: " + message + "\n";
  Trace(0, "%s", text.c_str());
  throw CTextException(code, std::move(text));
}
