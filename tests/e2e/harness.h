// The end-to-end harness: a private X server, a private home for each test,
// and real readers started in it and talked to through their instance
// channel (the test verbs of src/app/gtk/test_verbs.cc).
//
// Nothing here sleeps and hopes: a reader says "ready <id>" on its output
// once it runs, every verb is answered, "wait N" is answered when the reader
// has settled, and a reader's end is seen through its process descriptor.
// Every wait has a deadline, and a test that passes it fails with what it
// was waiting for.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/gtk/instance_channel.h"

namespace tessaly::e2e {

using Milliseconds = std::chrono::milliseconds;

// The X server the readers of one test program draw on (Xvfb, which tells
// its display number through -displayfd once it accepts clients).
class XServer {
 public:
  // Starts Xvfb; DISPLAY is set for the readers. nullptr when it cannot start.
  static std::unique_ptr<XServer> Start();
  ~XServer();
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// Pointer and keyboard input through the X server (the XTEST extension),
// as a person's would arrive: at a place on the screen, to the window there.
class XInput {
 public:
  explicit XInput(const std::string& display);
  ~XInput();
  XInput(const XInput&) = delete;
  XInput& operator=(const XInput&) = delete;
  bool Ready() const { return display_ != nullptr; }
  // A left click at screen coordinates.
  void Click(int x, int y);
  // The pointer to screen coordinates (keys go to the window under it when
  // nothing manages the focus).
  void MoveTo(int x, int y);
  // A key by its X name ("Down", "Return"), pressed and released; with
  // modifiers before it ("Control_L+f", "Shift_L+Return"), held meanwhile.
  bool Key(const std::string& name);

 private:
  void* display_ = nullptr;  // Display*
};

// A home of its own for one test: runtime, config, cache and temporary
// folders, removed again at the end.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& Root() const { return root_; }
  std::string Runtime() const { return root_ + "/run"; }
  std::string Config() const { return root_ + "/config"; }
  std::string StoreFile() const { return Config() + "/tessaly/store"; }
  std::string Cache() const { return root_ + "/cache"; }
  std::string Temp() const { return root_ + "/tmp"; }
  std::string ChannelFolder() const { return Runtime() + "/tessaly"; }
  // The environment a reader in this sandbox runs with.
  std::vector<std::string> Environment(const std::string& display) const;
  // The window's first size ("WxH"): narrow, one pane, unless a test wants
  // the sidebar beside the page.
  std::string windowSize = "600x700";
  // More of the environment ("NAME=value").
  std::vector<std::string> extraEnvironment;

 private:
  std::string root_;
};

class Reader {
 public:
  // Starts `tessaly [book]` in the sandbox and reads its first line: "ready
  // <id>" (running) or "ended" (it raised another reader and ended). The
  // built reader unless `executable` names another (an installed one).
  // withoutNamespaces: the reader runs where no namespace can be made (a
  // container without user namespaces).
  Reader(const Sandbox& sandbox, const std::string& display, const std::string& book,
         Milliseconds timeout = Milliseconds(60000), const std::string& executable = std::string(),
         bool withoutNamespaces = false);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  bool Running() const { return id_ != 0; }
  pid_t Pid() const { return pid_; }
  std::uint64_t Id() const { return id_; }
  const std::string& FirstLine() const { return firstLine_; }
  // The reader's standard error so far (for failure messages).
  std::string Log() const;

  // One request; nullopt when the reader does not answer in time.
  std::optional<std::string> Ask(const std::string& request, Milliseconds timeout = Milliseconds(30000)) const;
  // "wait N": true once N pages have been asked for and the reader settled;
  // the reply ("idle", "dialog") goes to *reply.
  bool Wait(int navigations, std::string* reply = nullptr, Milliseconds timeout = Milliseconds(60000)) const;
  std::map<std::string, std::string> State() const;
  int Navigations() const;
  std::string Eval(const std::string& script) const;

  // Waits for the process to end; its exit status, or nullopt on timeout.
  std::optional<int> WaitExit(Milliseconds timeout = Milliseconds(30000));

 private:
  std::optional<std::string> ReadLine(Milliseconds timeout);

  std::string channelFolder_;
  std::string logPath_;
  pid_t pid_ = -1;
  int pidfd_ = -1;
  int out_ = -1;
  std::string pending_;
  std::string firstLine_;
  std::uint64_t id_ = 0;
  bool exited_ = false;
  int exitStatus_ = 0;
};

// The #SYSTEM object of a book built in a test: default topic, title and
// language.
std::string SystemObject(const std::string& topic, const std::string& title, std::uint32_t language);

// Where the built reader and the test books are.
std::string ReaderExecutable();
std::string TestBook(const std::string& relative);
std::string CorpusBook(const std::string& name);  // empty when the corpus is absent
std::string ScreenshotFolder();                   // made on first use

// The shared X server of this test program, started on first use (nullptr
// when there is none).
XServer* Display();

}  // namespace tessaly::e2e
