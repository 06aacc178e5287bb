// The reader window's desktop parts that need no screen: the store file,
// the instance channel, the private folders and the page charset names.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>
#include <thread>

#include "app/gtk/desktop_paths.h"
#include "app/gtk/instance_channel.h"
#include "app/gtk/key_value_store.h"
#include "app/gtk/store_writer.h"
#include "codec/codec.h"
#include "app/gtk/page_view.h"
#include "harness.h"

namespace tessaly::app::gtk {
namespace {

using e2e::Sandbox;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// --- Store ----------------------------------------------------------------------------

TEST(DesktopStore, FirstStartCreatesBothKeysAndKeepsValuesAfterwards) {
  Sandbox sandbox;
  const std::string path = sandbox.Root() + "/store";
  KeyValueStore store(path);
  EXPECT_FALSE(store.Read("Prev", "HWND")) << "no file yet";
  ASSERT_TRUE(store.Install("/usr/share/tessaly/help.chm"));
  EXPECT_EQ(store.Read("Prev", "HWND"), "0");
  EXPECT_EQ(store.Read("Prev", "WorkDirectory"), "");
  EXPECT_EQ(store.Read("chmfile", "HelpPath"), "/usr/share/tessaly/help.chm");

  ASSERT_TRUE(store.Write("Prev", "HWND", "123456789"));
  ASSERT_TRUE(store.Write("chmfile", "HelpPath", "/elsewhere/help.chm"));
  // A second start installs nothing over the values.
  ASSERT_TRUE(store.Install("/usr/share/tessaly/help.chm"));
  EXPECT_EQ(store.Read("Prev", "HWND"), "123456789");
  EXPECT_EQ(store.Read("chmfile", "HelpPath"), "/elsewhere/help.chm");
}

TEST(DesktopStore, WritesOnlyIntoKeysThatExistAndOnlyText) {
  Sandbox sandbox;
  KeyValueStore store(sandbox.Root() + "/store");
  EXPECT_FALSE(store.Write("Prev", "HWND", "1")) << "no key before the installation step";
  ASSERT_TRUE(store.Install(""));
  EXPECT_FALSE(store.Write("Software", "HWND", "1"));
  EXPECT_FALSE(store.Write("Prev", "WorkDirectory", std::string("bad\xff", 4)));
  EXPECT_FALSE(store.Write("Prev", "WorkDirectory", std::string("a\0b", 3)));
  EXPECT_EQ(store.Read("Prev", "WorkDirectory"), "") << "a refused write changes nothing";
  EXPECT_FALSE(store.Read("Prev", "Missing"));
  EXPECT_FALSE(store.Read("Missing", "HWND"));
}

TEST(DesktopStore, ValuesKeepEveryCharacterTheyHold) {
  Sandbox sandbox;
  KeyValueStore store(sandbox.Root() + "/store");
  ASSERT_TRUE(store.Install("/books/help.chm"));
  for (const std::string& value :
       {std::string("/run/user/1000/temptallis__/"), std::string(" lead and trail "),
        std::string("line\nbreak\ttab\\slash=equals#hash;semi[x]"),
        std::string("\xe4\xb8\xad\xe6\x96\x87 \xd0\xba\xd0\xbd\xd0\xb8\xd0\xb3\xd0\xb0")}) {
    ASSERT_TRUE(store.Write("Prev", "WorkDirectory", value));
    EXPECT_EQ(store.Read("Prev", "WorkDirectory"), value);
    EXPECT_EQ(store.Read("Prev", "HWND"), "0") << "the other value is untouched";
  }
}

TEST(DesktopStore, WritesInTheBackAreReadBackAtOnceAndReachTheFile) {
  Sandbox sandbox;
  KeyValueStore store(sandbox.Root() + "/store");
  ASSERT_TRUE(store.Install("/books/help.chm"));
  {
    StoreWriter writer(store);
    for (int i = 0; i < 50; ++i) {
      const std::string value = "/books/" + std::to_string(i) + ".chm";
      writer.Write("Prev", "WorkDirectory", value);
      EXPECT_EQ(writer.Read("Prev", "WorkDirectory"), value) << "the last value written, whatever the thread did";
    }
    writer.Write("chmfile", "HelpPath", "/books/other.chm");
    writer.Flush();
    EXPECT_EQ(store.Read("Prev", "WorkDirectory"), "/books/49.chm");
    EXPECT_EQ(store.Read("chmfile", "HelpPath"), "/books/other.chm");
    EXPECT_EQ(writer.Read("Prev", "HWND"), "0") << "an untouched value is read from the file";
    writer.Write("Prev", "HWND", "7");
  }
  EXPECT_EQ(store.Read("Prev", "HWND"), "7") << "the writer's end waits for its writes";
}

TEST(DesktopStore, AFileThatIsNotAStoreIsLeftAlone) {
  Sandbox sandbox;
  const std::string path = sandbox.Root() + "/store";
  std::ofstream(path) << "this is [not a key file\n\x01\x02";
  KeyValueStore store(path);
  EXPECT_FALSE(store.Install("/help.chm"));
  EXPECT_FALSE(store.Read("Prev", "HWND"));
  EXPECT_FALSE(store.Write("Prev", "HWND", "1"));
  EXPECT_EQ(ReadFile(path), "this is [not a key file\n\x01\x02");
}

// --- Instance channel -------------------------------------------------------------------------

// Serves one conversation on the channel: the request it got goes to
// *request, the reply is `reply`.
std::thread ServeOnce(InstanceChannel& channel, std::string reply, std::string* request) {
  return std::thread([&channel, reply, request] {
    for (;;) {
      const int fd = channel.Accept();
      if (fd < 0) {
        pollfd entry{channel.ListenFd(), POLLIN, 0};
        poll(&entry, 1, 5000);
        continue;
      }
      *request = InstanceChannel::ReadRequest(fd, 5000).value_or("(none)");
      InstanceChannel::Reply(fd, reply);
      return;
    }
  });
}

TEST(DesktopChannel, AReaderAnswersWhatItIsAsked) {
  Sandbox sandbox;
  InstanceChannel server(sandbox.Root());
  InstanceChannel client(sandbox.Root());
  const ReaderId id = InstanceChannel::NewId();
  ASSERT_TRUE(server.Listen(id));
  EXPECT_EQ(client.Readers(0), std::vector<ReaderId>{id});
  EXPECT_TRUE(client.Readers(id).empty()) << "a reader does not find itself";

  std::string request;
  std::thread serving = ServeOnce(server, "Tessaly Test Book\nsecond line", &request);
  const std::optional<std::string> answer = client.Ask(id, "title?", 5000);
  serving.join();
  EXPECT_EQ(request, "title?");
  EXPECT_EQ(answer, "Tessaly Test Book\nsecond line");
}

TEST(DesktopChannel, AnIdIsNeverTakenOverAndGoesWithTheReader) {
  Sandbox sandbox;
  InstanceChannel first(sandbox.Root());
  InstanceChannel second(sandbox.Root());
  const ReaderId id = InstanceChannel::NewId();
  ASSERT_TRUE(first.Listen(id));
  EXPECT_FALSE(second.Listen(id));
  EXPECT_TRUE(std::filesystem::exists(first.SocketPath(id)));
  first.StopListening();
  EXPECT_FALSE(std::filesystem::exists(first.SocketPath(id)));
  EXPECT_FALSE(second.Listen(0)) << "0 is nobody";
}

TEST(DesktopChannel, ASocketNobodyListensOnIsAReaderThatDied) {
  Sandbox sandbox;
  InstanceChannel channel(sandbox.Root());
  const ReaderId id = 4242;
  // A socket file left by a reader that was killed.
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = channel.SocketPath(id);
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(channel.Readers(0), std::vector<ReaderId>{id});
  EXPECT_FALSE(channel.Ask(id, "title?", 2000));
  EXPECT_FALSE(std::filesystem::exists(path)) << "the dead reader's socket is removed";
  EXPECT_FALSE(channel.Ask(id, "title?", 2000)) << "and nobody answers for it";
}

TEST(DesktopChannel, OnlyTheReadersOwnNamesCount) {
  Sandbox sandbox;
  InstanceChannel channel(sandbox.Root());
  for (const char* name : {"007", "abc", "0", "12x", "99999999999999999999", "9007199254740992"}) {
    std::ofstream(sandbox.Root() + "/" + name) << "x";
  }
  std::ofstream(sandbox.Root() + "/17") << "x";
  EXPECT_EQ(channel.Readers(0), std::vector<ReaderId>{17});
  EXPECT_FALSE(channel.Ask(17, "title?", 1000)) << "a plain file is no reader";
  EXPECT_TRUE(std::filesystem::exists(sandbox.Root() + "/17")) << "and is not removed: it is not a socket";
}

TEST(DesktopChannel, AReaderThatDoesNotAnswerCostsOnlyTheTimeout) {
  Sandbox sandbox;
  InstanceChannel server(sandbox.Root());
  InstanceChannel client(sandbox.Root());
  const ReaderId id = InstanceChannel::NewId();
  ASSERT_TRUE(server.Listen(id));
  // The server accepts (the backlog does) but never answers.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.Ask(id, "close", 300));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(250));
  EXPECT_LT(took, std::chrono::milliseconds(3000));
}

TEST(DesktopChannel, RequestsAreOneBoundedLine) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  ASSERT_EQ(write(pair[1], "raise\nrest", 10), 10);
  EXPECT_EQ(InstanceChannel::ReadRequest(pair[0], 1000), "raise");
  close(pair[0]);
  close(pair[1]);

  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  ASSERT_EQ(write(pair[1], "no end of line", 14), 14);
  EXPECT_FALSE(InstanceChannel::ReadRequest(pair[0], 200)) << "a line that never ends times out";
  close(pair[1]);
  EXPECT_FALSE(InstanceChannel::ReadRequest(pair[0], 200)) << "a connection closed before the end of line";
  close(pair[0]);

  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  std::thread writer([fd = pair[1]] {
    const std::string huge(InstanceChannel::kMaxRequest + 8192, 'x');
    std::size_t sent = 0;
    while (sent < huge.size()) {
      const ssize_t n = send(fd, huge.data() + sent, huge.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
  });
  EXPECT_FALSE(InstanceChannel::ReadRequest(pair[0], 5000)) << "an overlong request is refused";
  close(pair[0]);
  writer.join();
  close(pair[1]);
}

TEST(DesktopChannel, IdsAreNonzeroAndFitTheStore) {
  for (int i = 0; i < 1000; ++i) {
    const ReaderId id = InstanceChannel::NewId();
    EXPECT_NE(id, 0u);
    EXPECT_LT(id, ReaderId{1} << 53);
  }
  EXPECT_NE(InstanceChannel::NewId(), InstanceChannel::NewId());
}

// --- Folders ------------------------------------------------------------------------------------

TEST(DesktopPaths, PrivateFoldersAreTheUsersAlone) {
  Sandbox sandbox;
  const std::string made = sandbox.Root() + "/made";
  ASSERT_EQ(PrivateFolder(made), made);
  struct stat info {};
  ASSERT_EQ(stat(made.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  const std::string open = sandbox.Root() + "/open";
  ASSERT_EQ(mkdir(open.c_str(), 0755), 0);
  ASSERT_EQ(PrivateFolder(open), open);
  ASSERT_EQ(stat(open.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u) << "an existing folder is closed to others";

  const std::string link = sandbox.Root() + "/link";
  ASSERT_EQ(symlink(made.c_str(), link.c_str()), 0);
  EXPECT_FALSE(PrivateFolder(link)) << "a link may lead anywhere";
  const std::string file = sandbox.Root() + "/file";
  std::ofstream(file) << "x";
  EXPECT_FALSE(PrivateFolder(file));
  EXPECT_FALSE(PrivateFolder("relative/folder"));
  EXPECT_FALSE(PrivateFolder(sandbox.Root() + "/missing/parent"));
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DesktopPaths, TheChannelPrefersTheRuntimeFolder) {
  Sandbox sandbox;
  // The shared temporary folder is never used: names there can be taken
  // first by anyone.
  ScopedEnv temp("TMPDIR", (sandbox.Root() + "/tmp").c_str());
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", sandbox.Runtime().c_str());
    EXPECT_EQ(ChannelFolder(), sandbox.Runtime() + "/tessaly");
  }
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", (sandbox.Root() + "/absent").c_str());
    ScopedEnv cache("XDG_CACHE_HOME", (sandbox.Root() + "/cache/").c_str());
    EXPECT_EQ(CacheFolder(), sandbox.Root() + "/cache/tessaly");
    EXPECT_EQ(ChannelFolder(), sandbox.Root() + "/cache/tessaly/channel");
    struct stat info {};
    ASSERT_EQ(stat((sandbox.Root() + "/cache/tessaly/channel").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
  }
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv cache("XDG_CACHE_HOME", "relative");
    ScopedEnv home("HOME", (sandbox.Root() + "/home").c_str());
    EXPECT_EQ(CacheFolder(), sandbox.Root() + "/home/.cache/tessaly");
    ScopedEnv noHome("HOME", nullptr);
    EXPECT_FALSE(CacheFolder());
    EXPECT_FALSE(ChannelFolder());
  }
}

TEST(DesktopPaths, TheStoreLivesInThePrivateConfigFolder) {
  Sandbox sandbox;
  ScopedEnv config("XDG_CONFIG_HOME", sandbox.Config().c_str());
  EXPECT_EQ(StoreFile(), sandbox.Config() + "/tessaly/store");
  struct stat info {};
  ASSERT_EQ(stat((sandbox.Config() + "/tessaly").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
  ScopedEnv home("HOME", (sandbox.Root() + "/home").c_str());
  EXPECT_EQ(StoreFile(), sandbox.Root() + "/home/.config/tessaly/store");
}

// --- Charsets -----------------------------------------------------------------------------------

TEST(DesktopCharsets, CodePagesNameTheirCharacterSets) {
  const std::pair<int, const char*> kNames[] = {
      {936, "GBK"},           {950, "Big5"},          {932, "Shift_JIS"},  {1251, "windows-1251"},
      {1252, "windows-1252"}, {1250, "windows-1250"}, {28595, "ISO-8859-5"}, {65001, "UTF-8"},
      {1249, ""},             {1259, ""},             {28600, ""},         {0, ""}};
  for (const auto& [codePage, name] : kNames) EXPECT_EQ(WebCharsetOfCodePage(codePage), name) << codePage;
}

}  // namespace
}  // namespace tessaly::app::gtk
