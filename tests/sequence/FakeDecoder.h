// A frame decoder for cache tests: reads "WIDTH HEIGHT" from the file and makes a 32-bit bitmap
// whose pixel (x, y) is red x, green y, blue 7. A file starting with "bad" fails as a real
// decoder fails. Counts its decodes and can be slowed down.
#pragma once

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "imaging/FrameDecoder.h"
#include "imaging/TextException.h"

class CFakeFrameDecoder : public CFrameDecoder {
 public:
  void DecodeFile(const std::string& fileName, CImageBitmap* bitmap, int = 0) override {
    ++m_inside;
    while (m_gateClosed.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (m_delay.count() > 0) std::this_thread::sleep_for(m_delay);
    --m_inside;
    ++m_decodes;
    std::ifstream in(fileName);
    std::string first;
    if (!(in >> first)) throw CTextException(kErrCannotOpen, "cannot open " + fileName);
    if (first == "bad") throw CTextException(kErrFormat, "bad frame");
    int width = std::stoi(first);
    int height = 0;
    if (!(in >> height)) throw CTextException(kErrFormat, "no height");
    bitmap->Create(width, height, 32, false);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) bitmap->SetPixel(x, y, RvMakePixel(x & 255, y & 255, 7));
  }
  int Decodes() const { return m_decodes.load(); }
  void SetDelay(std::chrono::milliseconds delay) { m_delay = delay; }
  // While closed, every decode waits inside the decoder; Inside() counts the waiting ones.
  void CloseGate() { m_gateClosed = true; }
  void OpenGate() { m_gateClosed = false; }
  int Inside() const { return m_inside.load(); }

 private:
  std::atomic<int> m_decodes{0};
  std::atomic<int> m_inside{0};
  std::atomic<bool> m_gateClosed{false};
  std::chrono::milliseconds m_delay{0};
};
