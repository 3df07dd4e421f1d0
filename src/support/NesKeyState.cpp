// Key state for code that asks "is this key down now" (e.g. Shift held while stepping). The
// table is written by the UI thread's key filter and read from any thread.
#include <array>
#include <atomic>

#include "support/NesCommon55.h"

namespace {

constexpr int kKeyCount = 256;

std::atomic<NesKeyStateProvider> g_provider{nullptr};
std::array<std::atomic<bool>, kKeyCount> g_keyDown{};

bool InTable(int virtualKey) { return virtualKey >= 0 && virtualKey < kKeyCount; }

}  // namespace

bool bNesKeyPressed(int virtualKey) {
  if (InTable(virtualKey) && g_keyDown[static_cast<std::size_t>(virtualKey)].load()) return true;
  const NesKeyStateProvider provider = g_provider.load();
  return provider ? provider(virtualKey) : false;
}

void NesSetKeyStateProvider(NesKeyStateProvider provider) { g_provider.store(provider); }

void NesSetKeyDown(int virtualKey, bool down) {
  if (InTable(virtualKey)) g_keyDown[static_cast<std::size_t>(virtualKey)].store(down);
}

void NesClearKeyDownTable() {
  for (auto& key : g_keyDown) key.store(false);
}
