// Typed messages for the message pipes and the factory that turns received bytes back into
// them. On the wire a message is a 16-byte header (type, total length, version, unique id,
// each 32-bit little-endian) followed by a type-specific body.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "support/NesExport.h"
#include "support/NesThreadSafe.h"

// The header as it travels, in host order once read.
struct SNesMsgHeader {
  std::int32_t iType = 0;      // 0 is never a valid type
  std::int32_t lLength = 0;    // whole message in bytes, header included
  std::int32_t cVersion = 0;   // a character value widened to 32 bits
  std::int32_t iUniqueID = 0;  // the sender's identifier of this message
};
inline constexpr std::size_t kNesMsgHeaderSize = 16;
// Largest message the pipes serialise or accept (their work buffer).
inline constexpr std::size_t kNesMsgMaxSize = 4096;

// Reads and writes a header in its little-endian wire form.
NES_EXPORT SNesMsgHeader NesReadMsgHeader(const std::uint8_t* bytes);
NES_EXPORT void NesWriteMsgHeader(const SNesMsgHeader& header, std::uint8_t* bytes);

// A message: created by its sender and handed to a pipe (which then owns it), or created by a
// factory on the receiving thread and handed to the user. Not shared between threads while
// in use, so it needs no lock.
class NES_EXPORT CNesMsg {
 public:
  // A new message gets an id no other message of this process has had.
  CNesMsg();
  // A received message keeps the sender's id.
  explicit CNesMsg(const SNesMsgHeader& header);
  virtual ~CNesMsg() = default;

  // Writes header and body; false (nothing written) when size is below lLength().
  virtual bool bAsBytes(std::uint8_t* buffer, std::size_t size) const;
  virtual char cVersion() const { return 0; }
  virtual std::int32_t lLength() const = 0;
  virtual std::int32_t iType() const = 0;
  virtual std::string strText() const = 0;
  virtual std::int32_t iUniqueID() const { return m_uniqueId; }

 protected:
  // Writes the body (lLength() - 16 bytes) after the header.
  virtual void WriteBody(std::uint8_t* body) const;

 private:
  std::int32_t m_uniqueId;
};

// The keep-alive: type 1, header only.
class NES_EXPORT CNesMsgAlive : public CNesMsg {
 public:
  static constexpr std::int32_t kType = 1;
  CNesMsgAlive() = default;
  explicit CNesMsgAlive(const SNesMsgHeader& header) : CNesMsg(header) {}
  std::int32_t lLength() const override { return kNesMsgHeaderSize; }
  std::int32_t iType() const override { return kType; }
  std::string strText() const override;  // "CNesMsgAlive_<id>"
};

// A test message carrying a name: type 2, 526 bytes, the name as 255 UTF-16 code units,
// zero-filled after the text. 8-bit text is UTF-8; a name longer than 255 code units is cut
// (never in the middle of a surrogate pair).
class NES_EXPORT CNesMsgTest : public CNesMsg {
 public:
  static constexpr std::int32_t kType = 2;
  static constexpr std::size_t kNameUnits = 255;
  static constexpr std::int32_t kLength = kNesMsgHeaderSize + kNameUnits * 2;

  explicit CNesMsgTest(const std::string& name);
  // From a received header and its 510 body bytes; the name ends at the first zero unit.
  CNesMsgTest(const SNesMsgHeader& header, const std::uint8_t* body);

  std::int32_t lLength() const override { return kLength; }
  std::int32_t iType() const override { return kType; }
  std::string strText() const override;  // "CNesMsgTest_<id>: String = <name>"
  std::string strName() const;

 protected:
  void WriteBody(std::uint8_t* body) const override;

 private:
  std::array<char16_t, kNameUnits + 1> m_name{};  // the last unit stays 0
};

// Turns queued bytes into messages. Holds no state between calls, so one factory may serve
// several pipes and threads at once. Applications derive from it to add their own types and
// override bProcessMessage, calling the base for the built-in ones.
class NES_EXPORT CNesMsgFactory {
 public:
  enum EError { NONE = 0, WRONG_SIZE = 1, WRONG_VERSION = 2, UNKNOWN_ID = 3 };

  virtual ~CNesMsgFactory() = default;

  // Takes one whole message from the front of the queue. False with NONE when the message is
  // not complete yet (nothing taken). False with an error when the bytes did not make a
  // message; the queue is then past them: a message of a known size is taken whole, and a
  // header claiming fewer than 16 or more than kNesMsgMaxSize bytes empties the queue, since
  // nothing says where the next message would start.
  bool bConvertToMessage(CNesByteFiFo& bytes, std::unique_ptr<CNesMsg>* message,
                         EError* error) const;

  static std::string strExplain(int error);

 protected:
  // Builds the message of header; bytes holds the whole message (header included), whose
  // length the caller has checked against the header. Type 1 must be 16 bytes and type 2 526
  // bytes long (WRONG_SIZE otherwise); other types give UNKNOWN_ID.
  virtual bool bProcessMessage(const SNesMsgHeader& header, const std::uint8_t* bytes,
                               std::unique_ptr<CNesMsg>* message, EError* error) const;
};
