// The HTTP side of the server. Connections are accepted here, and the
// request line of each is looked at before libsoup parses it (libsoup would
// quietly fold "/../" away, and drops a connection whose request line is
// too long without a word): a target too long gets 414, one with a dot
// segment or an escaped separator 400, each with a reason, and the
// connection closes. Every other connection goes to libsoup's SoupServer,
// whose handler asks the Library and sends its answer with headers that
// keep a book's pages to the server's own objects.
#include <gio/gio.h>
#include <glib-unix.h>
#include <libsoup/soup.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "serve/serve.h"

namespace tessaly::serve {

namespace {

// What a book's page may load and run: the server's objects, no script, no
// other site, no form sent elsewhere.
constexpr const char* kPolicy =
    "default-src 'self'; script-src 'none'; object-src 'none'; style-src 'self' 'unsafe-inline'; "
    "img-src 'self' data:; form-action 'self'; frame-ancestors 'self'; base-uri 'none'";

// How long a connection may take to send its request line, and how much of a
// refused request is read (and thrown away) so that the client sees the
// answer rather than a reset.
constexpr guint kRequestLineSeconds = 10;
constexpr std::size_t kDrainBytes = 64u << 20;

void Handle(SoupServer*, SoupServerMessage* message, const char*, GHashTable*, gpointer data) {
  auto& library = *static_cast<Library*>(data);
  const char* method = soup_server_message_get_method(message);
  if (g_strcmp0(method, "GET") != 0 && g_strcmp0(method, "HEAD") != 0) {
    soup_server_message_set_status(message, 405, nullptr);
    return;
  }
  GUri* uri = soup_server_message_get_uri(message);
  std::string target = g_uri_get_path(uri);
  if (const char* query = g_uri_get_query(uri)) target += std::string("?") + query;
  const Response response = library.Answer(target);
  soup_server_message_set_status(message, static_cast<guint>(response.status), nullptr);
  SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
  soup_message_headers_replace(headers, "Content-Security-Policy", kPolicy);
  soup_message_headers_replace(headers, "X-Content-Type-Options", "nosniff");
  soup_message_headers_replace(headers, "Referrer-Policy", "no-referrer");
  if (response.status == 301) soup_message_headers_replace(headers, "Location", (target + "/").c_str());
  soup_server_message_set_response(message, response.contentType.c_str(), SOUP_MEMORY_COPY, response.body.data(),
                                   response.body.size());
}

struct Gate {
  SoupServer* server;
  Library* library;
};

// One connection whose request line is awaited.
struct Waiting {
  Gate* gate;
  GSocketConnection* connection;
  guint poll = 0;
  gint64 deadline = 0;
  std::size_t drained = 0;
};

void Close(Waiting* waiting) {
  if (waiting->poll != 0) g_source_remove(waiting->poll);
  g_io_stream_close(G_IO_STREAM(waiting->connection), nullptr, nullptr);
  g_object_unref(waiting->connection);
  delete waiting;
}

// Reads and drops what the client still sends, then closes.
gboolean Drain(gpointer data) {
  auto* waiting = static_cast<Waiting*>(data);
  const int fd = g_socket_get_fd(g_socket_connection_get_socket(waiting->connection));
  char buffer[65536];
  while (true) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0 && (waiting->drained += static_cast<std::size_t>(n)) < kDrainBytes) continue;
    if (n < 0 && errno == EAGAIN && g_get_monotonic_time() < waiting->deadline) return G_SOURCE_CONTINUE;
    waiting->poll = 0;
    Close(waiting);
    return G_SOURCE_REMOVE;
  }
}

void Refuse(Waiting* waiting, const Response& response) {
  const int fd = g_socket_get_fd(g_socket_connection_get_socket(waiting->connection));
  const char* reason = response.status == 414 ? "URI Too Long" : response.status == 400 ? "Bad Request" : "Error";
  const std::string reply = "HTTP/1.1 " + std::to_string(response.status) + " " + reason +
                            "\r\nContent-Type: " + response.contentType + "\r\nContent-Length: " +
                            std::to_string(response.body.size()) + "\r\nConnection: close\r\n\r\n" + response.body;
  send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  shutdown(fd, SHUT_WR);
  waiting->deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
  waiting->poll = g_timeout_add(10, Drain, waiting);
}

// Looks at the request line without taking it from the socket.
gboolean Peek(gpointer data) {
  auto* waiting = static_cast<Waiting*>(data);
  const int fd = g_socket_get_fd(g_socket_connection_get_socket(waiting->connection));
  static char buffer[kMaxTarget + 64];
  const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_PEEK | MSG_DONTWAIT);
  if (n == 0 || (n < 0 && errno != EAGAIN) || (n < 0 && g_get_monotonic_time() > waiting->deadline)) {
    waiting->poll = 0;
    Close(waiting);
    return G_SOURCE_REMOVE;
  }
  const std::string_view peeked(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  const std::size_t end = peeked.find('\n');
  if (end == std::string_view::npos) {
    if (peeked.size() < sizeof buffer && g_get_monotonic_time() < waiting->deadline) return G_SOURCE_CONTINUE;
    waiting->poll = 0;
    Refuse(waiting, {414, "text/plain; charset=utf-8", "The address is too long.\n"});
    return G_SOURCE_REMOVE;
  }
  waiting->poll = 0;
  // "METHOD TARGET VERSION": the target as sent, dot segments and escapes.
  const std::string_view line = peeked.substr(0, end);
  const std::size_t first = line.find(' ');
  const std::size_t last = line.rfind(' ');
  if (first != std::string_view::npos && last > first) {
    const Response check = waiting->gate->library->Check(std::string(line.substr(first + 1, last - first - 1)));
    if (check.status >= 400) {
      Refuse(waiting, check);
      return G_SOURCE_REMOVE;
    }
  }
  GError* error = nullptr;
  GSocketConnection* connection = waiting->connection;
  GSocketAddress* local = g_socket_connection_get_local_address(connection, nullptr);
  GSocketAddress* remote = g_socket_connection_get_remote_address(connection, nullptr);
  if (!soup_server_accept_iostream(waiting->gate->server, G_IO_STREAM(connection), local, remote, &error)) {
    g_error_free(error);
    g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
  }
  if (local != nullptr) g_object_unref(local);
  if (remote != nullptr) g_object_unref(remote);
  g_object_unref(connection);
  delete waiting;
  return G_SOURCE_REMOVE;
}

// The first bytes have arrived: look at them, and poll for the rest of a
// request line that came in parts.
gboolean Readable(GSocket*, GIOCondition, gpointer data) {
  auto* waiting = static_cast<Waiting*>(data);
  waiting->poll = 0;
  if (Peek(waiting) == G_SOURCE_CONTINUE) waiting->poll = g_timeout_add(10, Peek, waiting);
  return G_SOURCE_REMOVE;
}

gboolean Incoming(GSocketService*, GSocketConnection* connection, GObject*, gpointer data) {
  auto* waiting = new Waiting{static_cast<Gate*>(data), G_SOCKET_CONNECTION(g_object_ref(connection))};
  waiting->deadline = g_get_monotonic_time() + kRequestLineSeconds * G_USEC_PER_SEC;
  GSource* source = g_socket_create_source(g_socket_connection_get_socket(connection),
                                           static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), nullptr);
  g_source_set_callback(source, G_SOURCE_FUNC(Readable), waiting, nullptr);
  waiting->poll = g_source_attach(source, nullptr);
  g_source_unref(source);
  return TRUE;
}

gboolean Quit(gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return G_SOURCE_CONTINUE;
}

}  // namespace

int Serve(Library& library, const ServeOptions& options) {
  GInetAddress* address = g_inet_address_new_from_string(options.listen.c_str());
  if (address == nullptr) {
    std::fprintf(stderr, "tessaly-cli: '%s' is no IP address to listen on\n", options.listen.c_str());
    return 1;
  }
  GSocketAddress* wanted = g_inet_socket_address_new(address, static_cast<guint16>(options.port));
  GSocketService* service = g_socket_service_new();
  // Many browsers' (or a load test's) connections at once wait in the
  // queue instead of being dropped.
  g_socket_listener_set_backlog(G_SOCKET_LISTENER(service), 1024);
  GSocketAddress* bound = nullptr;
  GError* error = nullptr;
  const bool listening = g_socket_listener_add_address(G_SOCKET_LISTENER(service), wanted, G_SOCKET_TYPE_STREAM,
                                                       G_SOCKET_PROTOCOL_TCP, nullptr, &bound, &error);
  g_object_unref(wanted);
  if (!listening) {
    std::fprintf(stderr, "tessaly-cli: cannot listen on %s port %d: %s\n", options.listen.c_str(), options.port,
                 error->message);
    g_error_free(error);
    g_object_unref(service);
    g_object_unref(address);
    return 1;
  }
  const guint16 port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
  g_object_unref(bound);
  char* host = g_inet_address_to_string(address);
  const bool six = g_inet_address_get_family(address) == G_SOCKET_FAMILY_IPV6;
  g_object_unref(address);
  if (options.listening)
    options.listening("http://" + std::string(six ? "[" : "") + host + (six ? "]" : "") + ":" + std::to_string(port) + "/");
  g_free(host);

  SoupServer* server = soup_server_new("server-header", "tessaly", nullptr);
  soup_server_add_handler(server, nullptr, Handle, &library, nullptr);
  Gate gate{server, &library};
  g_signal_connect(service, "incoming", G_CALLBACK(Incoming), &gate);
  g_socket_service_start(service);

  GMainLoop* loop = g_main_loop_new(nullptr, false);
  const guint interrupt = g_unix_signal_add(SIGINT, Quit, loop);
  const guint terminate = g_unix_signal_add(SIGTERM, Quit, loop);
  g_main_loop_run(loop);
  g_source_remove(interrupt);
  g_source_remove(terminate);
  g_main_loop_unref(loop);
  g_socket_service_stop(service);
  g_socket_listener_close(G_SOCKET_LISTENER(service));
  g_object_unref(service);
  soup_server_disconnect(server);
  g_object_unref(server);
  return 0;
}

}  // namespace tessaly::serve
