#include "app/gtk/instance_channel.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

namespace tessaly::app::gtk {

namespace {

using Clock = std::chrono::steady_clock;

constexpr ReaderId kIdLimit = ReaderId{1} << 53;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

// Waits until fd is ready for `events` or the deadline passes.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, RemainingMs(deadline));
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return false;
  }
}

bool WriteAll(int fd, std::string_view data, Clock::time_point deadline) {
  while (!data.empty()) {
    const ssize_t written = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (written > 0) {
      data.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLOUT, deadline)) continue;
    return false;
  }
  return true;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

std::optional<ReaderId> ParseId(std::string_view name) {
  ReaderId id = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), id);
  if (error != std::errc() || end != name.data() + name.size() || id == 0 || id >= kIdLimit)
    return std::nullopt;
  // Only the canonical spelling: "007" is not reader 7's socket.
  if (std::to_string(id) != name) return std::nullopt;
  return id;
}

// Removes a socket file that nobody listens on; never anything else.
void RemoveStaleSocket(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == geteuid())
    unlink(path.c_str());
}

}  // namespace

ReaderId InstanceChannel::NewId() {
  for (;;) {
    ReaderId value = 0;
    if (getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
      // No entropy source: the process id and the clock still tell readers apart.
      value = (static_cast<ReaderId>(getpid()) << 24) ^
              static_cast<ReaderId>(Clock::now().time_since_epoch().count());
    }
    value %= kIdLimit;
    if (value != 0) return value;
  }
}

std::string InstanceChannel::SocketPath(ReaderId id) const { return folder_ + "/" + std::to_string(id); }

bool InstanceChannel::Listen(ReaderId id) {
  StopListening();
  sockaddr_un address{};
  const std::string path = SocketPath(id);
  if (id == 0 || !FillAddress(path, address)) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // bind fails when the name exists: an id is never taken over.
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
    close(fd);
    return false;
  }
  listenFd_ = fd;
  id_ = id;
  return true;
}

void InstanceChannel::StopListening() {
  if (listenFd_ < 0) return;
  close(listenFd_);
  listenFd_ = -1;
  unlink(SocketPath(id_).c_str());
}

int InstanceChannel::Accept() const {
  if (listenFd_ < 0) return -1;
  for (;;) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != geteuid()) {
      close(fd);
      continue;
    }
    return fd;
  }
}

std::optional<std::string> InstanceChannel::ReadRequest(int fd, int timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string line;
  char buffer[4096];
  for (;;) {
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got > 0) {
      line.append(buffer, static_cast<std::size_t>(got));
      const std::size_t end = line.find('\n');
      if (end != std::string::npos) {
        line.resize(end);
        return line;
      }
      if (line.size() > kMaxRequest) return std::nullopt;
      continue;
    }
    if (got == 0) return std::nullopt;  // closed before a whole line
    if (errno == EINTR) continue;
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLIN, deadline)) continue;
    return std::nullopt;
  }
}

void InstanceChannel::Reply(int fd, std::string_view reply) {
  WriteAll(fd, reply, Clock::now() + std::chrono::seconds(2));
  close(fd);
}

std::vector<ReaderId> InstanceChannel::Readers(ReaderId except) const {
  std::vector<ReaderId> ids;
  DIR* folder = opendir(folder_.c_str());
  if (folder == nullptr) return ids;
  while (const dirent* entry = readdir(folder)) {
    const std::optional<ReaderId> id = ParseId(entry->d_name);
    if (id && *id != except) ids.push_back(*id);
  }
  closedir(folder);
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::optional<std::string> InstanceChannel::Ask(ReaderId id, std::string_view request, int timeoutMs) const {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  sockaddr_un address{};
  const std::string path = SocketPath(id);
  if (!FillAddress(path, address)) return std::nullopt;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    close(fd);
    if (error == ECONNREFUSED) RemoveStaleSocket(path);
    return std::nullopt;
  }
  std::string line(request);
  line += '\n';
  std::optional<std::string> reply;
  if (WriteAll(fd, line, deadline)) {
    std::string text;
    char buffer[4096];
    for (;;) {
      const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > kMaxReply) break;
        continue;
      }
      if (got == 0) {
        reply = std::move(text);
        break;
      }
      if (errno == EINTR) continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLIN, deadline)) continue;
      break;
    }
  }
  close(fd);
  return reply;
}

}  // namespace tessaly::app::gtk
