#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>

namespace tessaly::test {

HttpReply HttpGet(int port, const std::string& target) {
  HttpReply reply;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return reply;
  }
  const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  for (std::size_t sent = 0; sent < request.size();) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server may answer and close before reading it all
    sent += static_cast<std::size_t>(n);
  }
  std::string text;
  char buffer[65536];
  pollfd wait{fd, POLLIN, 0};
  while (poll(&wait, 1, 20000) > 0) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  const std::size_t end = text.find("\r\n\r\n");
  if (!text.starts_with("HTTP/1.") || end == std::string::npos) return reply;
  reply.status = std::atoi(text.c_str() + 9);
  reply.headers = text.substr(0, end);
  reply.body = text.substr(end + 4);
  return reply;
}

ServeProcess::ServeProcess(const std::string& args) {
  int out[2];
  if (pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(out[0]);
    execl("/bin/sh", "sh", "-c", ("exec " TESSALY_CLI " serve " + args + " --port 0").c_str(), nullptr);
    _exit(127);
  }
  close(out[1]);
  // The first line names the address.
  static const std::regex kAddress("http://127\\.0\\.0\\.1:(\\d+)/");
  char buffer[4096];
  pollfd wait{out[0], POLLIN, 0};
  std::smatch match;
  while (poll(&wait, 1, 30000) > 0) {
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    output_.append(buffer, static_cast<std::size_t>(n));
    if (std::regex_search(output_, match, kAddress)) {
      port_ = std::stoi(match[1]);
      break;
    }
  }
  output_fd_ = out[0];  // kept open: a later message must not end the server
}

ServeProcess::~ServeProcess() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  close(output_fd_);
}

}  // namespace tessaly::test
