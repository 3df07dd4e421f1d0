#include "support/NesMsg.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

std::int32_t ReadLe32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
      static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

void WriteLe32(std::int32_t value, std::uint8_t* p) {
  const auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Ids count up from 1; unlike a memory address they are never reused by a later message.
std::int32_t NextUniqueId() {
  static std::atomic<std::uint32_t> next{1};
  return static_cast<std::int32_t>(next.fetch_add(1, std::memory_order_relaxed));
}

// One code point from UTF-8 at text[*i]; malformed sequences give U+FFFD and skip one byte.
char32_t DecodeUtf8(const std::string& text, std::size_t* i) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t b0 = byte(*i);
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if (b0 < 0x80) {
    ++*i;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++*i;
    return 0xFFFD;
  }
  if (*i + static_cast<std::size_t>(extra) >= text.size()) {
    ++*i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    const std::uint8_t b = byte(*i + k);
    if ((b & 0xC0) != 0x80) {
      ++*i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++*i;
    return 0xFFFD;
  }
  *i += extra + 1;
  return cp;
}

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

SNesMsgHeader NesReadMsgHeader(const std::uint8_t* bytes) {
  SNesMsgHeader header;
  header.iType = ReadLe32(bytes);
  header.lLength = ReadLe32(bytes + 4);
  header.cVersion = ReadLe32(bytes + 8);
  header.iUniqueID = ReadLe32(bytes + 12);
  return header;
}

void NesWriteMsgHeader(const SNesMsgHeader& header, std::uint8_t* bytes) {
  WriteLe32(header.iType, bytes);
  WriteLe32(header.lLength, bytes + 4);
  WriteLe32(header.cVersion, bytes + 8);
  WriteLe32(header.iUniqueID, bytes + 12);
}

// --- queues -------------------------------------------------------------------------------

CNesMessageFiFo::CNesMessageFiFo() = default;
CNesMessageFiFo::~CNesMessageFiFo() = default;

bool CNesByteFiFo::PutBytes(const std::uint8_t* bytes, std::size_t count) {
  CNesReadyLock lock(*this);
  if (!lock.Locked()) return false;
  m_elements.insert(m_elements.end(), bytes, bytes + count);
  return true;
}

bool CNesByteFiFo::bCopyIntoBufferWithoutRemoving(std::uint8_t* buffer, std::size_t count) const {
  CNesReadyLock lock(*this);
  if (!lock.Locked() || m_elements.size() < count) return false;
  std::copy_n(m_elements.begin(), count, buffer);
  return true;
}

bool CNesByteFiFo::bGetBytes(std::uint8_t* buffer, std::size_t count) {
  CNesReadyLock lock(*this);
  if (!lock.Locked() || m_elements.size() < count) return false;
  std::copy_n(m_elements.begin(), count, buffer);
  m_elements.erase(m_elements.begin(), m_elements.begin() + static_cast<std::ptrdiff_t>(count));
  return true;
}

void CNesByteFiFo::Clear() {
  CNesReadyLock lock(*this);
  if (lock.Locked()) m_elements.clear();
}

// --- messages -----------------------------------------------------------------------------

CNesMsg::CNesMsg() : m_uniqueId(NextUniqueId()) {}

CNesMsg::CNesMsg(const SNesMsgHeader& header) : m_uniqueId(header.iUniqueID) {}

bool CNesMsg::bAsBytes(std::uint8_t* buffer, std::size_t size) const {
  const std::int32_t length = lLength();
  if (length < static_cast<std::int32_t>(kNesMsgHeaderSize) ||
      size < static_cast<std::size_t>(length))
    return false;
  SNesMsgHeader header;
  header.iType = iType();
  header.lLength = length;
  header.cVersion = static_cast<unsigned char>(cVersion());
  header.iUniqueID = iUniqueID();
  NesWriteMsgHeader(header, buffer);
  WriteBody(buffer + kNesMsgHeaderSize);
  return true;
}

void CNesMsg::WriteBody(std::uint8_t*) const {}

std::string CNesMsgAlive::strText() const { return "CNesMsgAlive_" + std::to_string(iUniqueID()); }

CNesMsgTest::CNesMsgTest(const std::string& name) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < name.size();) {
    const char32_t cp = DecodeUtf8(name, &i);
    if (cp < 0x10000) {
      if (units + 1 > kNameUnits) break;
      m_name[units++] = static_cast<char16_t>(cp);
    } else {
      if (units + 2 > kNameUnits) break;  // a pair is kept whole or not at all
      const char32_t v = cp - 0x10000;
      m_name[units++] = static_cast<char16_t>(0xD800 + (v >> 10));
      m_name[units++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    }
  }
}

CNesMsgTest::CNesMsgTest(const SNesMsgHeader& header, const std::uint8_t* body) : CNesMsg(header) {
  for (std::size_t i = 0; i < kNameUnits; ++i)
    m_name[i] = static_cast<char16_t>(body[2 * i] | body[2 * i + 1] << 8);
  m_name[kNameUnits] = 0;  // a full-length name arrives without its end mark
}

std::string CNesMsgTest::strName() const {
  std::string out;
  for (std::size_t i = 0; i < kNameUnits && m_name[i] != 0; ++i) {
    const char16_t u = m_name[i];
    if (IsHighSurrogate(u) && IsLowSurrogate(m_name[i + 1])) {
      AppendUtf8(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (m_name[i + 1] - 0xDC00),
                 &out);
      ++i;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      AppendUtf8(0xFFFD, &out);  // a lone half of a pair
    } else {
      AppendUtf8(u, &out);
    }
  }
  return out;
}

std::string CNesMsgTest::strText() const {
  return "CNesMsgTest_" + std::to_string(iUniqueID()) + ": String = " + strName();
}

void CNesMsgTest::WriteBody(std::uint8_t* body) const {
  for (std::size_t i = 0; i < kNameUnits; ++i) {
    body[2 * i] = static_cast<std::uint8_t>(m_name[i] & 0xFF);
    body[2 * i + 1] = static_cast<std::uint8_t>(m_name[i] >> 8);
  }
}

// --- factory ------------------------------------------------------------------------------

bool CNesMsgFactory::bConvertToMessage(CNesByteFiFo& bytes, std::unique_ptr<CNesMsg>* message,
                                       EError* error) const {
  EError ignored = NONE;
  if (!error) error = &ignored;
  *error = NONE;
  message->reset();
  std::array<std::uint8_t, kNesMsgMaxSize> work;
  if (!bytes.bCopyIntoBufferWithoutRemoving(work.data(), kNesMsgHeaderSize)) return false;
  const SNesMsgHeader header = NesReadMsgHeader(work.data());
  // A length below the header would take nothing and be found again forever; one above the
  // work buffer would overflow it. Either way the framing is lost.
  if (header.lLength < static_cast<std::int32_t>(kNesMsgHeaderSize) ||
      header.lLength > static_cast<std::int32_t>(kNesMsgMaxSize)) {
    bytes.Clear();
    *error = WRONG_SIZE;
    return false;
  }
  if (!bytes.bGetBytes(work.data(), static_cast<std::size_t>(header.lLength))) return false;
  return bProcessMessage(header, work.data(), message, error);
}

bool CNesMsgFactory::bProcessMessage(const SNesMsgHeader& header, const std::uint8_t* bytes,
                                     std::unique_ptr<CNesMsg>* message, EError* error) const {
  switch (header.iType) {
    case CNesMsgAlive::kType:
      if (header.lLength != static_cast<std::int32_t>(kNesMsgHeaderSize)) break;
      *message = std::make_unique<CNesMsgAlive>(header);
      return true;
    case CNesMsgTest::kType:
      if (header.lLength != CNesMsgTest::kLength) break;
      *message = std::make_unique<CNesMsgTest>(header, bytes + kNesMsgHeaderSize);
      return true;
    default:
      *error = UNKNOWN_ID;
      return false;
  }
  *error = WRONG_SIZE;  // a built-in type with a body of the wrong size
  return false;
}

std::string CNesMsgFactory::strExplain(int error) {
  switch (error) {
    case NONE:
      return "Error CNesMsgFactory::NONE";
    case WRONG_SIZE:
      return "Error CNesMsgFactory::WRONG_SIZE";
    case WRONG_VERSION:
      return "Error CNesMsgFactory::WRONG_VERSION";
    case UNKNOWN_ID:
      return "Error CNesMsgFactory::UNKNOWN_ID";
    default:
      return "Unknown Error";
  }
}
