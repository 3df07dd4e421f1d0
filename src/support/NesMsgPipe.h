// Message pipes: a send thread that serialises queued messages and a receive thread that turns
// bytes back into messages, with the user meeting both only in two locked queues.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "support/NesExport.h"
#include "support/NesMsg.h"
#include "support/NesNamedPipe.h"
#include "support/NesThreadSafe.h"

// The base of every message pipe. The user's thread calls SendMessageA, bReceiveMessage,
// Start and Stop; Start runs a receive thread looping on DoReceive and a send thread looping
// on DoSend until Stop. The factory is not owned and must outlive the pipe. A message handed
// to SendMessageA belongs to the pipe; one taken by bReceiveMessage belongs to the caller.
// The destructor stops and joins the threads. A class that overrides DoSend or DoReceive must
// call Stop in its own destructor, so no thread runs its code while it is being destroyed.
class NES_EXPORT CNesMsgPipe : public CNesThreadSafeClass {
 public:
  explicit CNesMsgPipe(CNesMsgFactory* factory);
  ~CNesMsgPipe() override;

  virtual void SendMessageA(std::unique_ptr<CNesMsg> message);
  virtual bool bReceiveMessage(std::unique_ptr<CNesMsg>* message);
  // Starts both threads; does nothing while they run.
  virtual void Start();
  // Ends both threads and waits for them; does nothing when stopped.
  virtual void Stop();

  bool bRunning() const { return m_running.load(); }

 protected:
  // One cycle of each thread; the base cycles do nothing.
  virtual void DoSend() {}
  virtual void DoReceive() {}
  virtual void SendThread();
  virtual void ReceiveThread();

  // Waits up to duration; false when Stop was called meanwhile (the cycle should end).
  bool bPause(std::chrono::milliseconds duration);
  // Turns every complete message in bytes into a received message (receive thread).
  void ConvertReceived(CNesByteFiFo& bytes);

  CNesMsgFactory* const m_factory;
  CNesMessageFiFo m_receiveQueue;
  CNesMessageFiFo m_sendQueue;
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_receiveActive{false};
  std::atomic<bool> m_sendActive{false};

 private:
  std::mutex m_pauseMutex;
  std::condition_variable m_pauseWake;
  std::thread m_receiveThread;
  std::thread m_sendThread;
};

// A pipe that loops every sent message back to its own receive queue, for tests of a factory
// and of message types. Each thread cycles every 250 ms.
class NES_EXPORT CNesMsgPipeMirror : public CNesMsgPipe {
 public:
  static constexpr std::chrono::milliseconds kCycle{250};
  explicit CNesMsgPipeMirror(CNesMsgFactory* factory) : CNesMsgPipe(factory) {}
  ~CNesMsgPipeMirror() override;

 protected:
  void DoSend() override;
  void DoReceive() override;

 private:
  CNesByteFiFo m_bytes;
};

// A pipe between two processes: it receives on a named pipe it creates (bCreateLocal) and
// sends through the other side's named pipe (bConnectRemote). The user's thread calls all
// public operations; the server thread of the local pipe fills the byte queue, the receive
// thread turns it into messages and the send thread writes through the client. A message
// larger than kNesMsgMaxSize cannot be sent and is dropped.
class NES_EXPORT CNesMsgPipeNamedPipe : public CNesMsgPipe {
 public:
  explicit CNesMsgPipeNamedPipe(CNesMsgFactory* factory);
  ~CNesMsgPipeNamedPipe() override;

  // Creates the receiving pipe; the connected flag becomes the result.
  virtual bool bCreateLocal(const std::string& pipeName);
  // Opens the other side's pipe; the result is ANDed into the connected flag, which is
  // returned.
  virtual bool bConnectRemote(const std::string& pipeName, const std::string& machine);
  virtual void DestroyLocal();
  virtual void DisconnectRemote();
  // Ends the threads first and then closes both pipes, so no thread uses a closed pipe.
  void Stop() override;

  bool bConnected() const { return m_connected.load(); }

 protected:
  void DoSend() override;
  void DoReceive() override;

 private:
  // The local pipe's server, forwarding what arrives into the byte queue.
  class CServer : public CNesNamedPipeServer {
   public:
    explicit CServer(CNesByteFiFo* bytes) : CNesNamedPipeServer(2000, 2000, 1000), m_bytes(bytes) {}
    ~CServer() override { Close(); }

   protected:
    void OnDataReceived(const std::uint8_t* bytes, std::size_t count) override;

   private:
    CNesByteFiFo* m_bytes;
  };

  CNesByteFiFo m_bytes;
  CServer m_server{&m_bytes};
  CNesNamedPipeClient m_client;
  std::atomic<bool> m_connected{false};
};

// Runs a pipe for the lifetime of this object: construction starts it, destruction stops it.
// The pipe is not owned and must outlive the manager.
class NES_EXPORT CNesMsgPipeManager {
 public:
  explicit CNesMsgPipeManager(CNesMsgPipe* pipe) : m_pipe(pipe) { m_pipe->Start(); }
  ~CNesMsgPipeManager() { m_pipe->Stop(); }
  CNesMsgPipeManager(const CNesMsgPipeManager&) = delete;
  CNesMsgPipeManager& operator=(const CNesMsgPipeManager&) = delete;

 private:
  CNesMsgPipe* m_pipe;
};
