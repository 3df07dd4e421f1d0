// Byte pipes: synchronous byte channels over a serial port or a TCP stream socket. Open,
// send a block, receive a block, close. Transfers of one pipe are serialised through its
// WaitReady lock, so several threads may share a pipe; Open and Close belong to its owner's
// thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "support/NesExport.h"
#include "support/NesThreadSafe.h"

// The interface of both kinds. The owner creates, opens, closes and deletes a pipe; any thread
// may transfer through an open one.
class NES_EXPORT CNesBytePipe : public CNesThreadSafeClass {
 public:
  // False, with nothing open, when the port or socket cannot be opened.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  // *count holds the number of bytes to send and becomes the number sent; true when all went.
  virtual bool bSendSync(const std::uint8_t* bytes, int* count) = 0;
  // *count holds the buffer's size and becomes the number of bytes received.
  virtual bool bReceiveSync(std::uint8_t* buffer, int* count) = 0;
};

// A serial port through termios. Port n ("COMn") is /dev/ttyS(n-1); a device path may be given
// instead. The encodings are the usual ones: byte size 5..8; parity 0 none, 1 odd, 2 even,
// 3 mark, 4 space; stop bits 0 one, 1 one and a half (sent as two), 2 two. The port is opened
// for this process alone. A receive returns what arrived within 100 ms; a send blocks until
// the bytes are written. A failing transfer call is tried three times, 2 ms apart.
class NES_EXPORT CNesBytePipeComPort : public CNesBytePipe {
 public:
  CNesBytePipeComPort(unsigned port, unsigned baudRate, std::uint8_t byteSize, std::uint8_t parity,
                      std::uint8_t stopBits);
  CNesBytePipeComPort(std::string device, unsigned baudRate, std::uint8_t byteSize,
                      std::uint8_t parity, std::uint8_t stopBits);
  ~CNesBytePipeComPort() override;

  // False when the device cannot be opened or does not take the settings (an unknown baud
  // rate or encoding).
  bool Open() override;
  void Close() override;
  bool bSendSync(const std::uint8_t* bytes, int* count) override;
  bool bReceiveSync(std::uint8_t* buffer, int* count) override;

  const std::string& Device() const { return m_device; }

  static constexpr std::chrono::milliseconds kReadTimeout{100};

 private:
  std::string m_device;
  unsigned m_baudRate;
  std::uint8_t m_byteSize;
  std::uint8_t m_parity;
  std::uint8_t m_stopBits;
  int m_fd = -1;
};

// Told when data has arrived on a socket. Called from the socket's I/O thread, once per
// arrival: the next call comes only after the owner has received again, so a notifier that
// does not read is not called in a loop. It must not call Close of the socket it watches.
class NES_EXPORT INesSocketNotifier {
 public:
  virtual ~INesSocketNotifier() = default;
  virtual void OnDataArrived() = 0;
};

// A TCP stream socket with a small poll-based I/O thread that completes connects, accepts
// connections and tells the notifier about arriving data. As a server it keeps the first
// connection it accepts and closes every later one while that peer is still there, so no
// other process can take the link over; once the peer has gone a new one is accepted. The
// owner's thread calls everything; the I/O thread only sets the flags, accepts and notifies.
// The notifier is not owned and must outlive the socket's Close (or destruction).
class NES_EXPORT CNesAsyncSocket {
 public:
  CNesAsyncSocket();
  ~CNesAsyncSocket();
  CNesAsyncSocket(const CNesAsyncSocket&) = delete;
  CNesAsyncSocket& operator=(const CNesAsyncSocket&) = delete;

  // Server: binds to port (0 picks a free one) on address (empty: every interface) and
  // listens. Client: starts connecting to address:port. False with nLastError set when that
  // fails at once.
  bool bListen(const std::string& address, unsigned port, int backlog);
  bool bConnect(const std::string& address, unsigned port);
  // Waits until the client is connected or the server has a connection; false on time-out
  // or when the connect failed (nLastError says why).
  bool bWaitOpen(std::chrono::milliseconds timeout);

  // Sends all count bytes through the connection (the accepted one for a server); the result
  // is the number sent or -1 when nothing could be sent. Fewer than count means the
  // connection failed midway.
  int iSend(const std::uint8_t* bytes, int count);
  // Receives what is there, at most count bytes, without waiting: the number received, 0 when
  // the peer has closed, -1 when nothing is there or on error.
  int iReceive(std::uint8_t* buffer, int count);

  void SetNotify(INesSocketNotifier* notifier);
  void Close();

  std::uint32_t nLastError() const { return m_lastError.load(); }
  bool bConnected() const { return m_connected.load(); }
  bool bAccepted() const { return m_accepted.load(); }
  // The local port once bound (for a server asked for port 0).
  unsigned nPort() const { return m_port.load(); }

  static constexpr std::chrono::milliseconds kSendTimeout{10000};

 private:
  void IoThread();
  void Wake();
  bool StartThread();
  int DataSocket();  // the connection to use; caller holds m_ioMutex

  std::mutex m_ioMutex;  // guards the sockets against the I/O thread swapping or closing them
  std::mutex m_openMutex;
  std::condition_variable m_openChanged;
  int m_socket = -1;      // listening or client socket
  int m_connection = -1;  // the server's accepted connection
  int m_wake[2] = {-1, -1};
  bool m_server = false;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_readArmed{true};
  std::atomic<bool> m_connectFailed{false};
  std::atomic<std::uint32_t> m_lastError{0};
  std::atomic<bool> m_connected{false};
  std::atomic<bool> m_accepted{false};
  std::atomic<unsigned> m_port{0};
  std::atomic<INesSocketNotifier*> m_notifier{nullptr};
};

// A byte pipe over a TCP socket, as client (connecting to address:port) or as server
// (accepting one connection on port). Open waits at most kOpenTimeout for the connection.
class NES_EXPORT CNesBytePipeSocket : public CNesBytePipe {
 public:
  static constexpr std::chrono::milliseconds kOpenTimeout{10000};

  CNesBytePipeSocket(unsigned port, std::string address, bool server);
  ~CNesBytePipeSocket() override;

  // False when the socket cannot be set up, the connect fails or no connection is made
  // within kOpenTimeout.
  bool Open() override;
  void Close() override;
  // Sends all bytes or reports failure; *count becomes the number sent (-1 when none).
  bool bSendSync(const std::uint8_t* bytes, int* count) override;
  // Receives what is there without waiting; *count becomes the number received (-1 when
  // nothing is there).
  bool bReceiveSync(std::uint8_t* buffer, int* count) override;
  // May be called before Open; the notifier is not owned.
  void SetNotify(INesSocketNotifier* notifier);

  unsigned nPort() const { return m_socket.nPort(); }
  const CNesAsyncSocket& Socket() const { return m_socket; }

 private:
  unsigned m_port;
  std::string m_address;
  bool m_server;
  INesSocketNotifier* m_notifier = nullptr;
  CNesAsyncSocket m_socket;
};
