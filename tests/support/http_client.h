// A plain HTTP/1.1 client over a loopback socket, for tests of the server:
// the request target goes out exactly as given (dot segments, escapes and
// all), one request per connection.
#pragma once

#include <string>

namespace tessaly::test {

struct HttpReply {
  int status = 0;  // 0 when no reply came
  std::string headers;
  std::string body;
};

HttpReply HttpGet(int port, const std::string& target);

// A server started as `tessaly-cli serve ARGS --port 0`, stopped with the
// object; Port() is 0 when it did not start (Output() tells why).
class ServeProcess {
 public:
  explicit ServeProcess(const std::string& args);
  ~ServeProcess();
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;
  int Port() const { return port_; }
  const std::string& Output() const { return output_; }

 private:
  int pid_ = -1;
  int output_fd_ = -1;
  int port_ = 0;
  std::string output_;
};

}  // namespace tessaly::test
