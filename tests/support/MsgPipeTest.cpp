#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TestUtil.h"
#include "support/NesMsgPipe.h"

namespace {

using namespace std::chrono_literals;

// Polls the pipe until a message arrives or the time is up.
std::unique_ptr<CNesMsg> Receive(CNesMsgPipe& pipe, std::chrono::milliseconds within) {
  std::unique_ptr<CNesMsg> message;
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (!pipe.bReceiveMessage(&message) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  return message;
}

std::vector<std::uint8_t> Bytes(const CNesMsg& message) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(message.lLength()));
  EXPECT_TRUE(message.bAsBytes(bytes.data(), bytes.size()));
  return bytes;
}

std::vector<std::uint8_t> Header(std::int32_t type, std::int32_t length) {
  std::vector<std::uint8_t> bytes(kNesMsgHeaderSize);
  NesWriteMsgHeader({type, length, 0, 77}, bytes.data());
  return bytes;
}

std::string UniqueName(const std::string& stem) { return stem + "-" + std::to_string(::getpid()); }

}  // namespace

TEST(MsgPipeTest, MirrorDeliversAKeepAliveWithItsId) {
  CNesMsgFactory factory;
  CNesMsgPipeMirror pipe(&factory);
  CNesMsgPipeManager running(&pipe);
  auto alive = std::make_unique<CNesMsgAlive>();
  const std::int32_t id = alive->iUniqueID();
  pipe.SendMessageA(std::move(alive));
  const auto message = Receive(pipe, 2000ms);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->iType(), CNesMsgAlive::kType);
  EXPECT_EQ(message->iUniqueID(), id);
  EXPECT_EQ(message->strText(), "CNesMsgAlive_" + std::to_string(id));

  // A pipe destroyed while running stops and joins its threads (the sanitizers watch this).
  auto abandoned = std::make_unique<CNesMsgPipeMirror>(&factory);
  abandoned->Start();
  abandoned.reset();
}

TEST(MsgPipeTest, NamedPipesCarryATestMessageAndKeepTheirFirstClient) {
  CNesMsgFactory factory;
  CNesMsgPipeNamedPipe client(&factory), server(&factory);
  const std::string clientName = UniqueName("client"), serverName = UniqueName("server");
  std::string stalePath;  // a socket left behind by a server that died is replaced
  ASSERT_TRUE(bNesPipePath(serverName, &stalePath));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  stalePath.copy(address.sun_path, sizeof address.sun_path - 1);
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(stale);
  ASSERT_TRUE(server.bCreateLocal(serverName));
  ASSERT_TRUE(client.bCreateLocal(clientName));
  ASSERT_TRUE(client.bConnectRemote(serverName, "."));
  ASSERT_TRUE(server.bConnectRemote(clientName, "."));
  EXPECT_FALSE(CNesMsgPipeNamedPipe(&factory).bCreateLocal(serverName));  // in use
  for (const char* bad : {"", "a/b", "..", "x..y"})
    EXPECT_FALSE(CNesMsgPipeNamedPipe(&factory).bCreateLocal(bad)) << bad;
  EXPECT_FALSE(CNesNamedPipeClient().bCreate("elsewhere.example", serverName));

  // An intruder connecting to the server's pipe is turned away; the first client stays.
  CNesNamedPipeClient intruder;
  ASSERT_TRUE(intruder.bCreate(".", serverName));
  CNesMsgPipeManager runClient(&client), runServer(&server);
  const auto alive = Bytes(CNesMsgAlive());
  std::size_t written = 0;
  for (int i = 0; i < 50 && intruder.bWriteBuffer(alive.data(), alive.size(), &written); ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(intruder.bIsReady());

  auto test = std::make_unique<CNesMsgTest>("abc");
  const std::int32_t id = test->iUniqueID();
  client.SendMessageA(std::move(test));
  auto message = Receive(server, 3000ms);
  ASSERT_NE(message, nullptr);
  ASSERT_EQ(message->iType(), CNesMsgTest::kType);
  EXPECT_EQ(static_cast<CNesMsgTest&>(*message).strName(), "abc");
  EXPECT_EQ(message->strText(), "CNesMsgTest_" + std::to_string(id) + ": String = abc");
  EXPECT_FALSE(server.bReceiveMessage(&message));  // nothing from the intruder
}

TEST(MsgPipeTest, PipeFolderMustBePrivate) {
  rvtest::TempDir runtime;
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedValue = saved ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
  const auto folder = runtime.Path() / "nes-pipes";
  std::filesystem::create_directory_symlink(runtime.Path(), folder);
  std::string path;
  EXPECT_FALSE(bNesPipePath("p", &path));  // a link could lead anywhere
  std::filesystem::remove(folder);
  std::filesystem::create_directory(folder);
  std::filesystem::permissions(folder, std::filesystem::perms(0755));
  EXPECT_TRUE(bNesPipePath("p", &path));
  EXPECT_EQ(path, folder.string() + "/p");
  EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms(0700));
  if (saved)
    ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
  else
    ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(MsgPipeTest, TestMessageNamesKeepUnicodeAndAreCutAt255Units) {
  const std::string name = "caf\xC3\xA9 \xF0\x9F\x8E\x9E";  // é and a pair-coded film frame
  CNesMsgTest sent(name);
  const auto bytes = Bytes(sent);
  CNesMsgTest received(NesReadMsgHeader(bytes.data()), bytes.data() + kNesMsgHeaderSize);
  EXPECT_EQ(received.strName(), name);
  // 254 units of text and a pair: the pair does not fit and is left out whole.
  EXPECT_EQ(CNesMsgTest(std::string(254, 'x') + "\xF0\x9F\x8E\x9E").strName(),
            std::string(254, 'x'));
  std::vector<std::uint8_t> full(CNesMsgTest::kNameUnits * 2, 0);  // no end mark on the wire
  for (std::size_t i = 0; i < full.size(); i += 2) full[i] = 'y';
  EXPECT_EQ(CNesMsgTest(SNesMsgHeader{}, full.data()).strName().size(), CNesMsgTest::kNameUnits);
}

TEST(MsgPipeTest, FactoryReassemblesAHeaderSplitOverTwoReads) {
  CNesMsgFactory factory;
  CNesByteFiFo queue;
  const auto bytes = Bytes(CNesMsgAlive());
  std::unique_ptr<CNesMsg> message;
  CNesMsgFactory::EError error = CNesMsgFactory::UNKNOWN_ID;
  queue.PutBytes(bytes.data(), 10);
  EXPECT_FALSE(factory.bConvertToMessage(queue, &message, &error));
  EXPECT_EQ(error, CNesMsgFactory::NONE);
  EXPECT_EQ(queue.Count(), 10u);
  queue.PutBytes(bytes.data() + 10, 6);
  ASSERT_TRUE(factory.bConvertToMessage(queue, &message, &error));
  EXPECT_EQ(message->iType(), CNesMsgAlive::kType);
  EXPECT_EQ(queue.Count(), 0u);
}

// Each malformed message is refused once, the queue is past it, and a good message that
// follows is read.
TEST(MsgPipeTest, MalformedHeadersAreRefusedAndTheStreamGoesOn) {
  const struct {
    const char* name;
    std::int32_t type;
    std::int32_t length;
    std::size_t bodyBytes;
    CNesMsgFactory::EError error;
  } cases[] = {
      {"length below the header", 1, 8, 0, CNesMsgFactory::WRONG_SIZE},
      {"negative length", 2, -1, 0, CNesMsgFactory::WRONG_SIZE},
      {"length above the buffer", 2, 5000, 5000 - 16, CNesMsgFactory::WRONG_SIZE},
      {"short test message", 2, 20, 4, CNesMsgFactory::WRONG_SIZE},
      {"unknown type", 5, 16, 0, CNesMsgFactory::UNKNOWN_ID},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CNesMsgFactory factory;
    CNesByteFiFo queue;
    auto bytes = Header(c.type, c.length);
    bytes.resize(bytes.size() + c.bodyBytes, 0xAB);
    queue.PutBytes(bytes.data(), bytes.size());
    std::unique_ptr<CNesMsg> message;
    CNesMsgFactory::EError error = CNesMsgFactory::NONE;
    EXPECT_FALSE(factory.bConvertToMessage(queue, &message, &error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(message, nullptr);
    EXPECT_EQ(queue.Count(), 0u);
    const auto good = Bytes(CNesMsgAlive());
    queue.PutBytes(good.data(), good.size());
    EXPECT_TRUE(factory.bConvertToMessage(queue, &message, &error));
  }
}

TEST(MsgPipeTest, ErrorsExplainThemselves) {
  EXPECT_EQ(CNesMsgFactory::strExplain(CNesMsgFactory::UNKNOWN_ID),
            "Error CNesMsgFactory::UNKNOWN_ID");
  EXPECT_EQ(CNesMsgFactory::strExplain(CNesMsgFactory::WRONG_SIZE),
            "Error CNesMsgFactory::WRONG_SIZE");
  EXPECT_EQ(CNesMsgFactory::strExplain(9), "Unknown Error");
}
