// The message pipes' framing: bytes arrive in pieces (sizes taken from the input's first byte)
// and the factory turns them into messages after each piece, as the receive thread does. Every
// message made must serialise to its stated length and read back as itself.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "FuzzSupport.h"
#include "support/NesMsg.h"
#include "support/NesThreadSafe.h"

namespace {

void CheckRoundTrip(const CNesMsgFactory& factory, const CNesMsg& message) {
  std::array<std::uint8_t, kNesMsgMaxSize> wire;
  const std::int32_t length = message.lLength();
  if (length < std::int32_t(kNesMsgHeaderSize) || length > std::int32_t(kNesMsgMaxSize) ||
      !message.bAsBytes(wire.data(), wire.size()))
    std::abort();
  CNesByteFiFo again;
  again.PutBytes(wire.data(), std::size_t(length));
  std::unique_ptr<CNesMsg> copy;
  CNesMsgFactory::EError error = CNesMsgFactory::NONE;
  if (!factory.bConvertToMessage(again, &copy, &error) || copy->iType() != message.iType() ||
      copy->iUniqueID() != message.iUniqueID() || copy->strText() != message.strText())
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = std::size_t(data[0]) * 8 + 1;
  ++data;
  --size;
  const CNesMsgFactory factory;
  CNesByteFiFo bytes;
  std::size_t fed = 0, taken = 0;
  for (std::size_t at = 0; at < size; at += piece) {
    const std::size_t count = std::min(piece, size - at);
    bytes.PutBytes(data + at, count);
    fed += count;
    for (;;) {
      std::unique_ptr<CNesMsg> message;
      CNesMsgFactory::EError error = CNesMsgFactory::NONE;
      if (factory.bConvertToMessage(bytes, &message, &error)) {
        CheckRoundTrip(factory, *message);
        taken += std::size_t(message->lLength());
      } else if (error == CNesMsgFactory::NONE) {
        break;
      }
    }
  }
  if (taken > fed) std::abort();
  return 0;
}
