#include "support/NesMsgPipe.h"

#include <array>

CNesMsgPipe::CNesMsgPipe(CNesMsgFactory* factory) : m_factory(factory) {}

CNesMsgPipe::~CNesMsgPipe() { CNesMsgPipe::Stop(); }

void CNesMsgPipe::SendMessageA(std::unique_ptr<CNesMsg> message) {
  if (message) m_sendQueue.Put(std::move(message));
}

bool CNesMsgPipe::bReceiveMessage(std::unique_ptr<CNesMsg>* message) {
  return m_receiveQueue.bGet(message);
}

void CNesMsgPipe::Start() {
  if (m_receiveThread.joinable() || m_sendThread.joinable()) return;
  m_running = true;
  m_receiveThread = std::thread([this] { ReceiveThread(); });
  m_sendThread = std::thread([this] { SendThread(); });
}

void CNesMsgPipe::Stop() {
  {
    std::lock_guard lock(m_pauseMutex);
    m_running = false;
  }
  m_pauseWake.notify_all();
  if (m_sendThread.joinable()) m_sendThread.join();
  if (m_receiveThread.joinable()) m_receiveThread.join();
}

void CNesMsgPipe::SendThread() {
  m_sendActive = true;
  while (m_running) DoSend();
  m_sendActive = false;
}

void CNesMsgPipe::ReceiveThread() {
  m_receiveActive = true;
  while (m_running) DoReceive();
  m_receiveActive = false;
}

bool CNesMsgPipe::bPause(std::chrono::milliseconds duration) {
  std::unique_lock lock(m_pauseMutex);
  return !m_pauseWake.wait_for(lock, duration, [this] { return !m_running; });
}

void CNesMsgPipe::ConvertReceived(CNesByteFiFo& bytes) {
  for (;;) {
    std::unique_ptr<CNesMsg> message;
    CNesMsgFactory::EError error = CNesMsgFactory::NONE;
    if (m_factory->bConvertToMessage(bytes, &message, &error)) {
      m_receiveQueue.Put(std::move(message));
    } else if (error == CNesMsgFactory::NONE) {
      return;  // the next message is not complete yet
    }
    // A refused message has been taken from the queue; go on with what follows it.
  }
}

// --- mirror -------------------------------------------------------------------------------

CNesMsgPipeMirror::~CNesMsgPipeMirror() { Stop(); }

void CNesMsgPipeMirror::DoSend() {
  if (!bPause(kCycle)) return;
  std::array<std::uint8_t, kNesMsgMaxSize> buffer;
  std::unique_ptr<CNesMsg> message;
  while (m_sendQueue.bGet(&message)) {
    if (message->bAsBytes(buffer.data(), buffer.size()))
      m_bytes.PutBytes(buffer.data(), static_cast<std::size_t>(message->lLength()));
  }
}

void CNesMsgPipeMirror::DoReceive() {
  if (!bPause(kCycle)) return;
  ConvertReceived(m_bytes);
}

// --- named pipes --------------------------------------------------------------------------

CNesMsgPipeNamedPipe::CNesMsgPipeNamedPipe(CNesMsgFactory* factory) : CNesMsgPipe(factory) {}

CNesMsgPipeNamedPipe::~CNesMsgPipeNamedPipe() { Stop(); }

bool CNesMsgPipeNamedPipe::bCreateLocal(const std::string& pipeName) {
  m_connected = m_server.bCreate(pipeName);
  return m_connected;
}

bool CNesMsgPipeNamedPipe::bConnectRemote(const std::string& pipeName, const std::string& machine) {
  const bool opened = m_client.bCreate(machine, pipeName);
  m_connected = m_connected && opened;
  return m_connected;
}

void CNesMsgPipeNamedPipe::DestroyLocal() { m_server.Close(); }

void CNesMsgPipeNamedPipe::DisconnectRemote() {
  m_client.Close();
  m_connected = false;
}

void CNesMsgPipeNamedPipe::Stop() {
  CNesMsgPipe::Stop();
  DisconnectRemote();
  DestroyLocal();
}

void CNesMsgPipeNamedPipe::DoSend() {
  if (!bPause(std::chrono::milliseconds(1)) || !m_client.bIsReady()) return;
  std::array<std::uint8_t, kNesMsgMaxSize> buffer;
  std::unique_ptr<CNesMsg> message;
  while (m_sendQueue.bGet(&message)) {
    std::size_t written = 0;
    if (message->bAsBytes(buffer.data(), buffer.size()))
      m_client.bWriteBuffer(buffer.data(), static_cast<std::size_t>(message->lLength()), &written);
  }
}

void CNesMsgPipeNamedPipe::DoReceive() {
  if (!bPause(std::chrono::milliseconds(1))) return;
  ConvertReceived(m_bytes);
}

void CNesMsgPipeNamedPipe::CServer::OnDataReceived(const std::uint8_t* bytes, std::size_t count) {
  m_bytes->PutBytes(bytes, count);
}
