#include "support/NesBytePipe.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kTransferAttempts = 3;
constexpr std::chrono::milliseconds kRetryPause{2};

speed_t BaudConstant(unsigned baud) {
  switch (baud) {
    case 50:
      return B50;
    case 75:
      return B75;
    case 110:
      return B110;
    case 134:
      return B134;
    case 150:
      return B150;
    case 200:
      return B200;
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 1800:
      return B1800;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 921600:
      return B921600;
    default:
      return B0;  // not a rate the port can take
  }
}

// Applies size, parity and stop bits in the serial-port encoding; false for unknown values.
bool ApplyFraming(termios* tio, std::uint8_t byteSize, std::uint8_t parity, std::uint8_t stopBits) {
  tio->c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  switch (byteSize) {
    case 5:
      tio->c_cflag |= CS5;
      break;
    case 6:
      tio->c_cflag |= CS6;
      break;
    case 7:
      tio->c_cflag |= CS7;
      break;
    case 8:
      tio->c_cflag |= CS8;
      break;
    default:
      return false;
  }
  switch (parity) {
    case 0:
      break;
    case 1:
      tio->c_cflag |= PARENB | PARODD;
      break;
    case 2:
      tio->c_cflag |= PARENB;
      break;
    case 3:
      tio->c_cflag |= PARENB | CMSPAR | PARODD;
      break;  // mark
    case 4:
      tio->c_cflag |= PARENB | CMSPAR;
      break;  // space
    default:
      return false;
  }
  switch (stopBits) {
    case 0:
      break;
    case 1:  // one and a half: the hardware sends it for CSTOPB with 5-bit bytes
    case 2:
      tio->c_cflag |= CSTOPB;
      break;
    default:
      return false;
  }
  return true;
}

// Writes everything; the number written, or -1 when the first write failed.
long WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, bytes + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done > 0 ? static_cast<long>(done) : -1;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long>(done);
}

// Reads until count bytes or the time-out; the number read, or -1 when reading failed.
long ReadWithin(int fd, std::uint8_t* buffer, std::size_t count,
                std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::size_t done = 0;
  while (done < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return done > 0 ? static_cast<long>(done) : -1;
    if (ready == 0) break;
    const ssize_t n = ::read(fd, buffer + done, count - done);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return done > 0 ? static_cast<long>(done) : -1;
    if (n == 0) {
      if (p.revents & (POLLHUP | POLLERR)) break;  // the other end has gone
      continue;
    }
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long>(done);
}

// Runs transfer up to three times, 2 ms apart, while it fails; fills *count and returns
// whether all asked-for bytes went.
template <typename Transfer>
bool Attempt(int* count, Transfer transfer) {
  const int wanted = *count;
  if (wanted < 0) {
    *count = 0;
    return false;
  }
  for (int attempt = 0; attempt < kTransferAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(kRetryPause);
    const long n = transfer(static_cast<std::size_t>(wanted));
    if (n >= 0) {
      *count = static_cast<int>(n);
      return n == wanted;
    }
  }
  *count = 0;
  return false;
}

}  // namespace

// --- serial port --------------------------------------------------------------------------

CNesBytePipeComPort::CNesBytePipeComPort(unsigned port, unsigned baudRate, std::uint8_t byteSize,
                                         std::uint8_t parity, std::uint8_t stopBits)
    : CNesBytePipeComPort(port > 0 ? "/dev/ttyS" + std::to_string(port - 1) : std::string(),
                          baudRate, byteSize, parity, stopBits) {}

CNesBytePipeComPort::CNesBytePipeComPort(std::string device, unsigned baudRate,
                                         std::uint8_t byteSize, std::uint8_t parity,
                                         std::uint8_t stopBits)
    : m_device(std::move(device)),
      m_baudRate(baudRate),
      m_byteSize(byteSize),
      m_parity(parity),
      m_stopBits(stopBits) {}

CNesBytePipeComPort::~CNesBytePipeComPort() { Close(); }

bool CNesBytePipeComPort::Open() {
  Close();
  if (m_device.empty()) return false;  // there is no port 0
  const speed_t speed = BaudConstant(m_baudRate);
  if (speed == B0) return false;
  // Opened without waiting for a carrier, then switched to blocking writes.
  const int fd = ::open(m_device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  termios tio{};
  const bool ok = ::ioctl(fd, TIOCEXCL) == 0 && ::tcgetattr(fd, &tio) == 0 && [&] {
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;  // reads take what is there; ReadWithin does the waiting
    tio.c_cc[VTIME] = 0;
    return ApplyFraming(&tio, m_byteSize, m_parity, m_stopBits) &&
           ::cfsetispeed(&tio, speed) == 0 && ::cfsetospeed(&tio, speed) == 0 &&
           ::tcsetattr(fd, TCSANOW, &tio) == 0;
  }() && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
  if (!ok) {
    ::close(fd);
    return false;
  }
  CNesReadyLock lock(*this);
  m_fd = fd;
  return true;
}

void CNesBytePipeComPort::Close() {
  CNesReadyLock lock(*this);
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

bool CNesBytePipeComPort::bSendSync(const std::uint8_t* bytes, int* count) {
  CNesReadyLock lock(*this);
  if (!lock.Locked() || m_fd < 0) {
    *count = 0;
    return false;
  }
  return Attempt(count, [&](std::size_t n) { return WriteAll(m_fd, bytes, n); });
}

bool CNesBytePipeComPort::bReceiveSync(std::uint8_t* buffer, int* count) {
  CNesReadyLock lock(*this);
  if (!lock.Locked() || m_fd < 0) {
    *count = 0;
    return false;
  }
  return Attempt(count, [&](std::size_t n) { return ReadWithin(m_fd, buffer, n, kReadTimeout); });
}

// --- asynchronous socket ------------------------------------------------------------------

namespace {

addrinfo* Resolve(const std::string& address, unsigned port, bool passive, int* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
  addrinfo* result = nullptr;
  const std::string service = std::to_string(port);
  const int rc =
      ::getaddrinfo(address.empty() ? nullptr : address.c_str(), service.c_str(), &hints, &result);
  if (rc != 0) {
    *error = rc == EAI_SYSTEM ? errno : EHOSTUNREACH;
    return nullptr;
  }
  return result;
}

}  // namespace

CNesAsyncSocket::CNesAsyncSocket() = default;

CNesAsyncSocket::~CNesAsyncSocket() { Close(); }

bool CNesAsyncSocket::StartThread() {
  if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    m_lastError = static_cast<std::uint32_t>(errno);
    return false;
  }
  m_stop = false;
  m_thread = std::thread(&CNesAsyncSocket::IoThread, this);
  return true;
}

bool CNesAsyncSocket::bListen(const std::string& address, unsigned port, int backlog) {
  Close();
  int error = 0;
  addrinfo* found = Resolve(address, port, true, &error);
  if (!found) {
    m_lastError = static_cast<std::uint32_t>(error);
    return false;
  }
  const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          found->ai_protocol);
  const int yes = 1;
  const bool ok = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0 &&
                  ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, backlog) == 0;
  if (!ok) error = errno;
  ::freeaddrinfo(found);
  if (!ok) {
    if (fd >= 0) ::close(fd);
    m_lastError = static_cast<std::uint32_t>(error);
    return false;
  }
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    m_port = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                               : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
  }
  m_socket = fd;
  m_server = true;
  return StartThread();
}

bool CNesAsyncSocket::bConnect(const std::string& address, unsigned port) {
  Close();
  int error = 0;
  addrinfo* found = Resolve(address, port, false, &error);
  if (!found) {
    m_lastError = static_cast<std::uint32_t>(error);
    return false;
  }
  const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          found->ai_protocol);
  int rc = -1;
  if (fd >= 0) {
    do {
      rc = ::connect(fd, found->ai_addr, found->ai_addrlen);
    } while (rc != 0 && errno == EINTR);
  }
  error = errno;
  ::freeaddrinfo(found);
  if (fd < 0 || (rc != 0 && error != EINPROGRESS)) {
    if (fd >= 0) ::close(fd);
    m_lastError = static_cast<std::uint32_t>(error);
    return false;
  }
  m_socket = fd;
  m_server = false;
  if (rc == 0) m_connected = true;
  return StartThread();
}

bool CNesAsyncSocket::bWaitOpen(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_openMutex);
  m_openChanged.wait_for(lock, timeout,
                         [this] { return m_connected || m_accepted || m_connectFailed; });
  return m_connected || m_accepted;
}

void CNesAsyncSocket::Wake() {
  const char byte = 1;
  if (m_wake[1] >= 0) {
    // A full pipe already holds a wake-up, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &byte, 1);
  }
}

int CNesAsyncSocket::DataSocket() {
  if (m_server) return m_connection;
  return m_connected ? m_socket : -1;
}

int CNesAsyncSocket::iSend(const std::uint8_t* bytes, int count) {
  std::lock_guard lock(m_ioMutex);
  const int fd = DataSocket();
  if (fd < 0 || count < 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + kSendTimeout;
  int done = 0;
  while (done < count) {
    const ssize_t n =
        ::send(fd, bytes + done, static_cast<std::size_t>(count - done), MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && left.count() > 0) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(left.count()));
      continue;
    }
    m_lastError = static_cast<std::uint32_t>(n < 0 ? errno : ETIMEDOUT);
    break;
  }
  return done > 0 || count == 0 ? done : -1;
}

int CNesAsyncSocket::iReceive(std::uint8_t* buffer, int count) {
  int result = -1;
  {
    std::lock_guard lock(m_ioMutex);
    const int fd = DataSocket();
    if (fd >= 0 && count >= 0) {
      ssize_t n;
      do {
        n = ::recv(fd, buffer, static_cast<std::size_t>(count), MSG_DONTWAIT);
      } while (n < 0 && errno == EINTR);
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        m_lastError = static_cast<std::uint32_t>(errno);
      result = static_cast<int>(n);
    }
  }
  m_readArmed = true;  // the next arrival is worth a notification again
  Wake();
  return result;
}

void CNesAsyncSocket::SetNotify(INesSocketNotifier* notifier) {
  m_notifier = notifier;
  Wake();
}

void CNesAsyncSocket::Close() {
  if (m_thread.joinable()) {
    m_stop = true;
    Wake();
    m_thread.join();
  }
  std::lock_guard lock(m_ioMutex);
  for (int* fd : {&m_socket, &m_connection, &m_wake[0], &m_wake[1]}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  {
    std::lock_guard openLock(m_openMutex);
    m_connected = false;
    m_accepted = false;
    m_connectFailed = false;
  }
  m_readArmed = true;
  m_port = 0;
}

void CNesAsyncSocket::IoThread() {
  bool peerGone = false;  // the data connection's peer has closed or failed
  const auto setOpenFlag = [this](std::atomic<bool>& flag) {
    {
      std::lock_guard lock(m_openMutex);
      flag = true;
    }
    m_openChanged.notify_all();
  };
  while (!m_stop) {
    const bool connecting = !m_server && !m_connected && !m_connectFailed;
    const int data = m_server ? m_connection : (m_connected ? m_socket : -1);
    short dataEvents = 0;
    if (data >= 0 && !peerGone) {
      dataEvents = POLLRDHUP;
      if (m_readArmed && m_notifier) dataEvents |= POLLIN;
    }
    pollfd fds[3] = {{m_wake[0], POLLIN, 0},
                     {m_server || connecting ? m_socket : -1,
                      static_cast<short>(m_server ? POLLIN : POLLOUT), 0},
                     {dataEvents ? data : -1, dataEvents, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      m_lastError = static_cast<std::uint32_t>(errno);
      return;
    }
    if (fds[0].revents) {
      char drain[64];
      while (::read(m_wake[0], drain, sizeof drain) > 0) {
      }
    }
    if (m_server && (fds[1].revents & POLLIN)) {
      const int fd = ::accept4(m_socket, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd >= 0 && m_connection >= 0 && !peerGone) {
        ::close(fd);  // the first peer keeps the link
      } else if (fd >= 0) {
        {
          std::lock_guard lock(m_ioMutex);
          if (m_connection >= 0) ::close(m_connection);
          m_connection = fd;
        }
        peerGone = false;
        m_readArmed = true;
        m_lastError = 0;
        setOpenFlag(m_accepted);
      }
    } else if (connecting && fds[1].revents) {
      int error = 0;
      socklen_t length = sizeof error;
      if (::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      m_lastError = static_cast<std::uint32_t>(error);
      setOpenFlag(error == 0 ? m_connected : m_connectFailed);
    }
    if (fds[2].fd >= 0 && fds[2].revents) {
      if ((fds[2].revents & POLLIN) && m_readArmed) {
        m_readArmed = false;
        if (INesSocketNotifier* notifier = m_notifier) notifier->OnDataArrived();
      }
      if (fds[2].revents & (POLLRDHUP | POLLHUP | POLLERR)) peerGone = true;
    }
  }
}

// --- socket byte pipe ---------------------------------------------------------------------

CNesBytePipeSocket::CNesBytePipeSocket(unsigned port, std::string address, bool server)
    : m_port(port), m_address(std::move(address)), m_server(server) {}

CNesBytePipeSocket::~CNesBytePipeSocket() { Close(); }

bool CNesBytePipeSocket::Open() {
  m_socket.SetNotify(m_notifier);
  const bool started =
      m_server ? m_socket.bListen(m_address, m_port, 5) : m_socket.bConnect(m_address, m_port);
  m_socket.SetNotify(m_notifier);
  if (started && m_socket.bWaitOpen(kOpenTimeout)) return true;
  m_socket.Close();  // nLastError keeps the reason
  return false;
}

void CNesBytePipeSocket::Close() { m_socket.Close(); }

bool CNesBytePipeSocket::bSendSync(const std::uint8_t* bytes, int* count) {
  CNesReadyLock lock(*this);
  if (!lock.Locked()) {
    *count = -1;
    return false;
  }
  const int wanted = *count;
  *count = m_socket.iSend(bytes, wanted);
  return *count == wanted;
}

bool CNesBytePipeSocket::bReceiveSync(std::uint8_t* buffer, int* count) {
  CNesReadyLock lock(*this);
  if (!lock.Locked()) {
    *count = -1;
    return false;
  }
  *count = m_socket.iReceive(buffer, *count);
  return *count >= 0;
}

void CNesBytePipeSocket::SetNotify(INesSocketNotifier* notifier) {
  m_notifier = notifier;
  m_socket.SetNotify(notifier);
}
