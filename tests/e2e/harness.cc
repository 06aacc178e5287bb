#include "harness.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/chm_builder.h"

extern char** environ;

namespace tessaly::e2e {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

int OpenPidFd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// A seccomp filter under which no namespace can be made, as in a container
// without user namespaces: clone and unshare asking for one fail with
// EPERM, clone3 (whose flags a filter cannot read) is not there.
const sock_fprog* NoNamespaces() {
  constexpr unsigned kFlags = CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET | CLONE_NEWNS | CLONE_NEWIPC |
                              CLONE_NEWUTS | CLONE_NEWCGROUP;
  static sock_filter code[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone3, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone, 1, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_unshare, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kFlags, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  static const sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
  return &program;
}

}  // namespace

// --- X server --------------------------------------------------------------------------

std::unique_ptr<XServer> XServer::Start() {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return nullptr;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Xvfb writes its display number to fd 3 once it accepts clients.
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 3);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args{"Xvfb",         "-displayfd", "3",   "-screen", "0",
                                "1280x1024x24", "-nolisten",  "tcp", "-noreset"};
  std::vector<char*> argv = Pointers(args);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    return nullptr;
  }
  auto server = std::unique_ptr<XServer>(new XServer());
  server->pid_ = pid;
  std::string number;
  const Clock::time_point deadline = Clock::now() + Milliseconds(20000);
  for (;;) {
    pollfd entry{pipeFds[0], POLLIN, 0};
    if (poll(&entry, 1, Remaining(deadline)) <= 0) break;
    char c = 0;
    if (read(pipeFds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(pipeFds[0]);
  if (number.empty()) return nullptr;
  server->display_ = ":" + number;
  return server;
}

XServer::~XServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

XServer* Display() {
  static std::unique_ptr<XServer> server = XServer::Start();
  return server.get();
}

// --- X input --------------------------------------------------------------------------------

XInput::XInput(const std::string& display) {
  ::Display* connection = XOpenDisplay(display.c_str());
  int event = 0;
  int error = 0;
  int major = 0;
  int minor = 0;
  if (connection != nullptr && !XTestQueryExtension(connection, &event, &error, &major, &minor)) {
    XCloseDisplay(connection);
    connection = nullptr;
  }
  display_ = connection;
}

XInput::~XInput() {
  if (display_ != nullptr) XCloseDisplay(static_cast<::Display*>(display_));
}

void XInput::Click(int x, int y) {
  auto* connection = static_cast<::Display*>(display_);
  if (connection == nullptr) return;
  XTestFakeMotionEvent(connection, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(connection, 1, True, CurrentTime);
  XTestFakeButtonEvent(connection, 1, False, CurrentTime);
  XSync(connection, False);
}

void XInput::MoveTo(int x, int y) {
  auto* connection = static_cast<::Display*>(display_);
  if (connection == nullptr) return;
  XTestFakeMotionEvent(connection, -1, x, y, CurrentTime);
  XSync(connection, False);
}

bool XInput::Key(const std::string& name) {
  auto* connection = static_cast<::Display*>(display_);
  if (connection == nullptr) return false;
  std::vector<KeyCode> codes;
  std::size_t start = 0;
  for (;;) {
    const std::size_t plus = name.find('+', start + 1);
    const std::string part = name.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
    const KeySym symbol = XStringToKeysym(part.c_str());
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(connection, symbol);
    if (code == 0) return false;
    codes.push_back(code);
    if (plus == std::string::npos) break;
    start = plus + 1;
  }
  for (KeyCode code : codes) XTestFakeKeyEvent(connection, code, True, CurrentTime);
  for (auto code = codes.rbegin(); code != codes.rend(); ++code) XTestFakeKeyEvent(connection, *code, False, CurrentTime);
  XSync(connection, False);
  return true;
}

// --- Sandbox --------------------------------------------------------------------------------

Sandbox::Sandbox() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-e2e-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  root_ = pattern;
  for (const char* sub : {"/run", "/config", "/cache", "/data", "/home", "/tmp"}) {
    mkdir((root_ + sub).c_str(), 0700);
  }
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::vector<std::string> Sandbox::Environment(const std::string& display) const {
  std::vector<std::string> env{
      "HOME=" + root_ + "/home",
      "XDG_RUNTIME_DIR=" + Runtime(),
      "XDG_CONFIG_HOME=" + Config(),
      "XDG_CACHE_HOME=" + root_ + "/cache",
      "XDG_DATA_HOME=" + root_ + "/data",
      "TMPDIR=" + root_ + "/tmp",
      "DISPLAY=" + display,
      "GDK_BACKEND=x11",
      "NO_AT_BRIDGE=1",
      "GTK_A11Y=none",
      "TESSALY_TEST_CHANNEL=1",
      "TESSALY_TEST_WINDOW=" + windowSize,
  };
  env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
  for (const char* keep : {"PATH", "LANG", "LC_ALL"}) {
    if (const char* value = std::getenv(keep)) env.push_back(std::string(keep) + "=" + value);
  }
  return env;
}

// --- Reader ----------------------------------------------------------------------------------

Reader::Reader(const Sandbox& sandbox, const std::string& display, const std::string& book,
               Milliseconds timeout, const std::string& executable, bool withoutNamespaces)
    : channelFolder_(sandbox.ChannelFolder()) {
  static int counter = 0;
  logPath_ = sandbox.Root() + "/reader-" + std::to_string(++counter) + ".log";
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group: whatever WebKit starts for it goes with it.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<std::string> args{executable.empty() ? ReaderExecutable() : executable};
  if (!book.empty()) args.push_back(book);
  std::vector<std::string> env = sandbox.Environment(display);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  int spawned = 0;
  if (withoutNamespaces) {
    // posix_spawn cannot set a filter: fork, and only system calls until exec.
    const int log = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const sock_fprog* filter = NoNamespaces();
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      dup2(pipeFds[1], 1);
      dup2(log, 2);
      if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, filter) != 0)
        _exit(127);
      execve(args[0].c_str(), argv.data(), envp.data());
      _exit(127);
    }
    spawned = pid_ < 0 ? errno : 0;
    if (log >= 0) close(log);
  } else {
    spawned = posix_spawn(&pid_, args[0].c_str(), &actions, &attributes, argv.data(), envp.data());
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pipeFds[1]);
  out_ = pipeFds[0];
  if (spawned != 0) {
    pid_ = -1;
    return;
  }
  pidfd_ = OpenPidFd(pid_);
  const std::optional<std::string> line = ReadLine(timeout);
  firstLine_ = line.value_or("");
  if (firstLine_.starts_with("ready ")) {
    std::uint64_t id = 0;
    const std::string digits = firstLine_.substr(6);
    std::from_chars(digits.data(), digits.data() + digits.size(), id);
    id_ = id;
  }
}

Reader::~Reader() {
  if (pid_ > 0 && !exited_) {
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  } else if (pid_ > 0) {
    kill(-pid_, SIGKILL);  // WebKit's helpers, should any outlive it
  }
  if (out_ >= 0) close(out_);
  if (pidfd_ >= 0) close(pidfd_);
}

std::string Reader::Log() const {
  std::ifstream in(logPath_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<std::string> Reader::ReadLine(Milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    pollfd entry{out_, POLLIN, 0};
    if (poll(&entry, 1, Remaining(deadline)) <= 0) return std::nullopt;
    char buffer[512];
    const ssize_t got = read(out_, buffer, sizeof buffer);
    if (got <= 0) return std::nullopt;
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
}

std::optional<std::string> Reader::Ask(const std::string& request, Milliseconds timeout) const {
  if (id_ == 0) return std::nullopt;
  const app::gtk::InstanceChannel channel(channelFolder_);
  return channel.Ask(id_, request, static_cast<int>(timeout.count()));
}

bool Reader::Wait(int navigations, std::string* reply, Milliseconds timeout) const {
  const std::optional<std::string> answer = Ask("wait " + std::to_string(navigations), timeout);
  if (reply != nullptr) *reply = answer.value_or("(no answer)");
  return answer.has_value();
}

std::map<std::string, std::string> Reader::State() const {
  std::map<std::string, std::string> state;
  std::istringstream lines(Ask("state?").value_or(""));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string& value = state[line.substr(0, equals)];
    if (!value.empty()) value += "\n";
    value += line.substr(equals + 1);
  }
  return state;
}

int Reader::Navigations() const { return std::atoi(State()["navigations"].c_str()); }

std::string Reader::Eval(const std::string& script) const {
  return Ask("eval " + script).value_or("(no answer)");
}

std::optional<int> Reader::WaitExit(Milliseconds timeout) {
  if (pid_ <= 0) return std::nullopt;
  if (!exited_) {
    int status = 0;
    if (pidfd_ >= 0) {
      pollfd entry{pidfd_, POLLIN, 0};
      if (poll(&entry, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
      if (waitpid(pid_, &status, 0) != pid_) return std::nullopt;
    } else {
      // Without process descriptors (old kernels): look in short steps.
      const Clock::time_point deadline = Clock::now() + timeout;
      while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) return std::nullopt;
        poll(nullptr, 0, 20);
      }
    }
    exited_ = true;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return exitStatus_;
}

// --- Books ----------------------------------------------------------------------------------

std::string SystemObject(const std::string& topic, const std::string& title, std::uint32_t language) {
  std::vector<std::uint8_t> out;
  test::Append32(out, 3);
  const auto record = [&out](std::uint16_t code, const std::string& data) {
    test::Append16(out, code);
    test::Append16(out, static_cast<std::uint16_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
  };
  record(2, topic + '\0');
  record(3, title + '\0');
  std::string id(4, '\0');
  for (int i = 0; i < 4; ++i) id[static_cast<std::size_t>(i)] = static_cast<char>((language >> (8 * i)) & 0xFF);
  record(4, id);
  return std::string(out.begin(), out.end());
}

// --- Places ---------------------------------------------------------------------------------

std::string ReaderExecutable() { return TESSALY_READER; }

std::string TestBook(const std::string& relative) { return std::string(TESSALY_TEST_BOOKS) + "/" + relative; }

std::string CorpusBook(const std::string& name) {
  const std::string path = std::string(TESSALY_CORPUS) + "/files/" + name;
  return std::filesystem::exists(path) ? path : std::string();
}

std::string ScreenshotFolder() {
  const std::string folder = TESSALY_SCREENSHOTS;
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

}  // namespace tessaly::e2e
