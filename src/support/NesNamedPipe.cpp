// Named pipes as Unix-domain stream sockets; see the header for the folder and name rules.
#include "support/NesNamedPipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace {

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

// Creates folder with mode 0700, or accepts it when it is a real folder of ours (tightening
// its mode when needed).
bool PrivateFolder(const std::string& folder, std::string* error) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return Fail(error, "cannot create " + folder);
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) return Fail(error, "cannot read " + folder);
  if (!S_ISDIR(st.st_mode)) return Fail(error, folder + " is not a folder");
  if (st.st_uid != ::geteuid()) return Fail(error, folder + " belongs to another user");
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
    return Fail(error, "cannot make " + folder + " private");
  return true;
}

std::string PipeFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
    return std::string(runtime) + "/nes-pipes";
  std::error_code ec;
  std::string temp = std::filesystem::temp_directory_path(ec).string();
  if (ec || temp.empty()) temp = "/tmp";
  return temp + "/nes-pipes-" + std::to_string(::geteuid());
}

bool Address(const std::string& path, sockaddr_un* address) {
  *address = {};
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) return false;
  std::copy(path.begin(), path.end(), address->sun_path);
  return true;
}

int ConnectTo(const std::string& path) {
  sockaddr_un address;
  if (!Address(path, &address)) return -1;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

bool IsLocalMachine(const std::string& machine) {
  if (machine.empty() || machine == "." || machine == "localhost") return true;
  char host[256] = {};
  return ::gethostname(host, sizeof host - 1) == 0 && machine == host;
}

}  // namespace

bool bNesPipePath(const std::string& name, std::string* path, std::string* error) {
  if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos ||
      name.find('\0') != std::string::npos)
    return Fail(error, "pipe name \"" + name + "\" is not allowed");
  const std::string folder = PipeFolder();
  if (!PrivateFolder(folder, error)) return false;
  const std::string full = folder + "/" + name;
  if (full.size() >= sizeof(sockaddr_un{}.sun_path))
    return Fail(error, "pipe name \"" + name + "\" is too long");
  *path = full;
  return true;
}

// --- server -------------------------------------------------------------------------------

CNesNamedPipeServer::CNesNamedPipeServer(std::size_t pipeBufferSize, std::size_t readBufferSize,
                                         unsigned defaultTimeoutMs)
    : m_pipeBufferSize(std::max<std::size_t>(1, std::min(pipeBufferSize, readBufferSize))),
      m_defaultTimeoutMs(defaultTimeoutMs),
      m_readBuffer(std::max<std::size_t>(1, readBufferSize)) {}

CNesNamedPipeServer::~CNesNamedPipeServer() { Close(); }

bool CNesNamedPipeServer::bCreate(const std::string& name) {
  Close();
  std::string path;
  if (!bNesPipePath(name, &path)) return false;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return false;  // not ours to replace
    const int probe = ConnectTo(path);
    if (probe >= 0) {  // a live server has this name
      ::close(probe);
      return false;
    }
    ::unlink(path.c_str());  // stale: its server has gone
  }
  sockaddr_un address;
  Address(path, &address);
  m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool bound =
      m_listen >= 0 && ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  const bool ok = bound && ::lstat(path.c_str(), &st) == 0 && ::listen(m_listen, 4) == 0 &&
                  ::pipe2(m_wake, O_CLOEXEC) == 0;
  if (!ok) {
    if (bound) ::unlink(path.c_str());
    Close();
    return false;
  }
  m_path = path;
  m_inode = st.st_ino;
  m_state = kConnecting;
  m_thread = std::thread(&CNesNamedPipeServer::ServerThread, this);
  return true;
}

void CNesNamedPipeServer::Close() {
  if (m_thread.joinable()) {
    const char stop = 1;
    while (::write(m_wake[1], &stop, 1) < 0 && errno == EINTR) {
    }
    m_thread.join();
  }
  if (!m_path.empty()) {
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) == 0 && st.st_ino == m_inode) ::unlink(m_path.c_str());
    m_path.clear();
  }
  for (int* fd : {&m_listen, &m_wake[0], &m_wake[1]}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  m_state = kEnded;
}

void CNesNamedPipeServer::ServerThread() {
  while (m_state != kEnded) {
    pollfd fds[2] = {{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      m_state = kEnded;
      return;
    }
    if (fds[0].revents) return;  // Close
    if (!(fds[1].revents & POLLIN)) continue;
    const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    m_state = kConnected;
    ClientConnected();
    const bool closing = ServeClient(client);
    ::close(client);
    if (closing) return;
    m_state = kConnecting;
    ClientDisconnected();
  }
}

// Reads from client until it leaves (false) or Close asks the thread to end (true). Further
// clients are turned away meanwhile, so the connected one keeps the pipe.
bool CNesNamedPipeServer::ServeClient(int client) {
  for (;;) {
    pollfd fds[3] = {{m_wake[0], POLLIN, 0}, {client, POLLIN, 0}, {m_listen, POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[0].revents) return true;
    if (fds[2].revents & POLLIN) {
      const int intruder = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
      if (intruder >= 0) ::close(intruder);
    }
    if (fds[1].revents) {
      const ssize_t n = ::recv(client, m_readBuffer.data(), m_pipeBufferSize, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;  // the client has gone
      OnDataReceived(m_readBuffer.data(), static_cast<std::size_t>(n));
    }
  }
}

// --- client -------------------------------------------------------------------------------

CNesNamedPipeClient::~CNesNamedPipeClient() { Close(); }

bool CNesNamedPipeClient::bCreate(const std::string& machine, const std::string& name) {
  Close();
  std::string path;
  if (!IsLocalMachine(machine) || !bNesPipePath(name, &path)) return false;
  const int fd = ConnectTo(path);
  if (fd < 0) return false;
  std::lock_guard lock(m_mutex);
  m_socket = fd;
  return true;
}

bool CNesNamedPipeClient::bIsReady() const {
  std::lock_guard lock(m_mutex);
  return m_socket >= 0;
}

bool CNesNamedPipeClient::bWriteBuffer(const void* bytes, std::size_t count, std::size_t* written) {
  std::size_t done = 0;
  if (written) *written = 0;
  std::lock_guard lock(m_mutex);
  if (m_socket < 0) return false;
  const auto* data = static_cast<const std::uint8_t*>(bytes);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
  while (done < count) {
    const ssize_t n = ::send(m_socket, data + done, count - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && left.count() > 0) {
      pollfd fd{m_socket, POLLOUT, 0};
      ::poll(&fd, 1, static_cast<int>(left.count()));
      continue;
    }
    ::close(m_socket);  // the peer has gone or stalled: the stream cannot be resumed
    m_socket = -1;
    break;
  }
  if (written) *written = done;
  return done == count;
}

void CNesNamedPipeClient::Close() {
  std::lock_guard lock(m_mutex);
  if (m_socket >= 0) ::close(m_socket);
  m_socket = -1;
}

bool CNesNamedPipeClientForStrings::bWriteString(const std::string& text) {
  std::size_t written = 0;
  return bWriteBuffer(text.data(), text.size(), &written);
}
