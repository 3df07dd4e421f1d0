// Named pipes between processes of one user. A pipe NAME is a Unix-domain stream socket called
// NAME in a private folder: $XDG_RUNTIME_DIR/nes-pipes/, else nes-pipes-<uid> in the temp
// folder. The folder is created with mode 0700 and refused when it is a link or belongs to
// someone else, so no other user can listen in or pose as a peer. Names that are empty, hold
// "/" or ".." or are too long for a socket address are refused. Only this machine is
// reachable (machine "." or this host's name).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/NesExport.h"

// The socket path of pipe name, creating the private folder when needed. False with a reason
// in *error (when given) when the name or the folder is refused.
NES_EXPORT bool bNesPipePath(const std::string& name, std::string* path,
                             std::string* error = nullptr);

// The receiving end: creates pipe NAME and runs a server thread that accepts one client at a
// time and hands what it sends to OnDataReceived. A client connecting while another is
// connected is closed at once, so the first peer keeps the pipe. The notifications run on the
// server thread. The owner calls bCreate and Close from one thread; the destructor closes.
// A class that overrides the notifications must call Close in its own destructor, so that the
// thread has ended before the overriding part is destroyed.
class NES_EXPORT CNesNamedPipeServer {
 public:
  enum EState { kConnecting = 1, kConnected = 2, kEnded = 3 };

  // pipeBufferSize bounds one read; readBufferSize is the read buffer. defaultTimeoutMs is
  // kept for the interface only: sockets have no wait for a free pipe instance.
  CNesNamedPipeServer(std::size_t pipeBufferSize, std::size_t readBufferSize,
                      unsigned defaultTimeoutMs);
  virtual ~CNesNamedPipeServer();
  CNesNamedPipeServer(const CNesNamedPipeServer&) = delete;
  CNesNamedPipeServer& operator=(const CNesNamedPipeServer&) = delete;

  // Creates the pipe and starts the server thread. A leftover socket file that nobody listens
  // on is replaced; a name another server is listening on is refused. False when anything
  // fails (everything created is closed again).
  bool bCreate(const std::string& name);
  // Ends the server thread and removes the socket file; safe to call twice.
  void Close();

  EState State() const { return m_state.load(); }
  unsigned DefaultTimeoutMs() const { return m_defaultTimeoutMs; }

 protected:
  virtual void ClientConnected() {}
  virtual void ClientDisconnected() {}
  // Bytes read from the connected client, in order.
  virtual void OnDataReceived(const std::uint8_t* bytes, std::size_t count) = 0;

 private:
  void ServerThread();
  bool ServeClient(int client);

  const std::size_t m_pipeBufferSize;
  const unsigned m_defaultTimeoutMs;
  std::vector<std::uint8_t> m_readBuffer;  // used by the server thread only
  int m_listen = -1;
  int m_wake[2] = {-1, -1};  // Close writes to [1] to end the thread
  std::string m_path;
  std::uint64_t m_inode = 0;  // of the socket file we made, so Close removes only ours
  std::thread m_thread;
  std::atomic<EState> m_state{kEnded};
};

// The sending end: opens pipe NAME of another process. Writes come from one thread at a time
// (the message pipe's send thread); Close may come from another, so the socket is guarded.
class NES_EXPORT CNesNamedPipeClient {
 public:
  CNesNamedPipeClient() = default;
  virtual ~CNesNamedPipeClient();
  CNesNamedPipeClient(const CNesNamedPipeClient&) = delete;
  CNesNamedPipeClient& operator=(const CNesNamedPipeClient&) = delete;

  // Connects to pipe name on machine ("." or empty for this one). False when the machine is
  // another one, the name is refused or nobody listens.
  bool bCreate(const std::string& machine, const std::string& name);
  // True while connected and able to take a write.
  bool bIsReady() const;
  // Writes all count bytes (never raises SIGPIPE). A write that stalls longer than the
  // time-out or fails midway closes the connection, since a cut message would leave the peer
  // misaligned; *written says how many bytes went out.
  bool bWriteBuffer(const void* bytes, std::size_t count, std::size_t* written);
  void Close();

  static constexpr int kWriteTimeoutMs = 2000;

 private:
  mutable std::mutex m_mutex;
  int m_socket = -1;  // guarded by m_mutex
};

// A client that sends texts: the text's bytes, without an end mark.
class NES_EXPORT CNesNamedPipeClientForStrings : public CNesNamedPipeClient {
 public:
  bool bWriteString(const std::string& text);
};
