// InstanceChannel: how running readers of one user find and talk to each
// other, in place of window classes and window messages.
//
// Each reader listens on a Unix stream socket named by its instance id (a
// random nonzero number, in decimal) inside a folder private to the user.
// A conversation is one request line ("title?", "raise", "close", ...)
// answered by text up to the end of the connection. A reader "exists" while
// its socket answers; a socket file nobody listens on is a reader that died,
// and is removed by whoever finds it.
//
// Everything here blocks only within the timeouts it is given, so a reader
// that hangs cannot hang the one asking it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::app::gtk {

using ReaderId = std::uint64_t;

class InstanceChannel {
 public:
  static constexpr std::size_t kMaxRequest = 64 * 1024;
  static constexpr std::size_t kMaxReply = 1024 * 1024;

  // `folder`: the private folder of the sockets (no trailing '/').
  explicit InstanceChannel(std::string folder) : folder_(std::move(folder)) {}
  ~InstanceChannel() { StopListening(); }
  InstanceChannel(const InstanceChannel&) = delete;
  InstanceChannel& operator=(const InstanceChannel&) = delete;

  // A new random id: nonzero and below 2^53 (it is stored as decimal text).
  static ReaderId NewId();

  // --- Serving ------------------------------------------------------------------
  // Listens as `id`; false when the socket cannot be made (its path is too
  // long, the id is taken, ...). The listening socket is non-blocking.
  bool Listen(ReaderId id);
  int ListenFd() const { return listenFd_; }
  ReaderId Id() const { return id_; }
  // Closes the socket and removes its file.
  void StopListening();
  // The next waiting connection, or -1. Connections from another user are
  // refused.
  int Accept() const;
  // One request line (without its '\n') from a connection, waiting at most
  // timeoutMs for it; nullopt on timeout, error or an overlong line.
  static std::optional<std::string> ReadRequest(int fd, int timeoutMs);
  // Writes the reply and closes the connection.
  static void Reply(int fd, std::string_view reply);

  // --- Asking -----------------------------------------------------------------
  // The ids of the sockets in the folder, except `except`, in a stable order.
  std::vector<ReaderId> Readers(ReaderId except) const;
  // Sends one request to a reader and returns its whole reply; nullopt when
  // the reader does not answer within timeoutMs (a socket nobody listens on
  // is removed).
  std::optional<std::string> Ask(ReaderId id, std::string_view request, int timeoutMs) const;

  std::string SocketPath(ReaderId id) const;
  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
  int listenFd_ = -1;
  ReaderId id_ = 0;
};

}  // namespace tessaly::app::gtk
