// TestHooks: what the end-to-end tests learn from a reader window, and the
// verbs they drive it with over the instance channel.
//
// Only a test build has them (CMake option TESSALY_TEST_HOOKS, which
// compiles test_verbs.cc and lets main() attach them when the environment
// asks with TESSALY_TEST_CHANNEL=1). In an installed reader the platform's
// hooks pointer stays null and every call below is skipped.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/jobs.h"

namespace tessaly::app::gtk {

class GtkPlatform;

class TestHooks {
 public:
  virtual ~TestHooks() = default;

  // The window exists (the test learns whom to talk to), and has closed.
  virtual void WindowCreated() = 0;
  virtual void WindowClosed() = 0;
  // Something a waiting test may be waiting for has changed.
  virtual void Changed() = 0;
  virtual void Navigated() = 0;
  virtual void Raised() = 0;
  virtual void MessageShown(const std::string& caption, const std::string& text) = 0;
  // A link for the desktop's browser: tests record it instead.
  virtual void External(const std::string& uri) = 0;
  // The answer of the next file dialog, when a test gave one ("choose-file").
  virtual std::optional<std::string> NextFile() = 0;
  // A request of the instance channel that the window itself does not know;
  // false when it is no test verb either.
  virtual bool HandleVerb(int fd, const std::string& request) = 0;
};

// The verbs of test_verbs.cc, on this platform (test builds only).
std::unique_ptr<TestHooks> NewTestVerbs(GtkPlatform& platform);

// Jobs whose books open only after a delay: a test gets an open that lasts
// as long as it needs to act during it (TESSALY_TEST_BOOK_DELAY_MS).
std::unique_ptr<JobScheduler> NewDelayedJobs(int delayMs);

}  // namespace tessaly::app::gtk
