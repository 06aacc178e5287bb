// A hostile book stays inside its pages: its script tries every way out of
// the book to files of the user (and to another book of the user's that the
// reader has not opened), and reports what it could read;
// the page process runs in its sandbox where the machine allows it; and a
// view that cannot be confined shows no page at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "harness.h"
#include "support/book_builder.h"

namespace tessaly::e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kMark[] = "SECRET-MARK";

// Each way out, from the page: a directory prefix that leads (or led) to the
// user's files, tried as fetch, XHR, image, script and frame. The book's own
// picture, tried the same way as an image, shows that the probes can see a
// load that works.
constexpr char kProbeScript[] = R"JS(
window.probe = async function () {
  const mark = 'SECRET-MARK';
  const home = HOME.split('/').filter(Boolean);
  const up = text => text.repeat(12);
  const ways = {
    'dots': up('../') + home.join('/') + '/',
    'escaped-slash': up('..%2F') + home.join('%2F') + '%2F',
    'escaped-backslash': up('..%5C') + home.join('%5C') + '%5C',
    'escaped-dots': up('%2e%2e%2f') + home.join('%2f') + '%2f',
    'backslash': up('..\\') + home.join('\\') + '\\',
    'file': 'file:///' + home.join('/') + '/',
    'file-escaped': 'file:///' + home.join('%2F') + '%2F',
    'book-scheme': 'ms-its:/' + home.join('/') + '/',
    'book-scheme-escaped': 'ms-its:' + up('%2e%2e%2f') + home.join('%2f') + '%2f',
    'other-book': 'ms-its:/' + home.join('/') + '/other.chm::/',
    'other-book-escaped': 'ms-its:%2F' + home.join('%2F') + '%2Fother.chm%3A%3A%2F',
    'its': 'its:/' + home.join('/') + '/other.chm::/',
    'msitstore': 'mk:@MSITStore:/' + home.join('/') + '/other.chm::/',
  };
  const wait = promise => Promise.race([promise, new Promise(r => setTimeout(() => r('no answer'), 4000))]);
  const viaFetch = u => fetch(u).then(r => r.text()).then(t => t.includes(mark) ? 'read' : 'loaded', () => 'refused');
  const viaXhr = u => new Promise(r => {
    const x = new XMLHttpRequest();
    x.onload = () => r(x.responseText.includes(mark) ? 'read' : 'loaded');
    x.onerror = () => r('refused');
    try { x.open('GET', u); x.send(); } catch (e) { r('refused'); }
  });
  const viaImage = u => new Promise(r => {
    const i = new Image(); i.onload = () => r('loaded'); i.onerror = () => r('refused'); i.src = u;
  });
  const viaScript = u => new Promise(r => {
    const s = document.createElement('script');
    s.onload = () => r(window.tessalySecret === mark ? 'read' : 'loaded');
    s.onerror = () => r('refused');
    s.src = u; document.head.appendChild(s);
  });
  const viaFrame = u => new Promise(r => {
    const f = document.createElement('iframe');
    window.addEventListener('message', e => { if (e.source === f.contentWindow) r('read'); });
    f.src = u; document.body.appendChild(f);
  });
  const results = {};
  const tries = [];
  for (const [way, dir] of Object.entries(ways)) {
    const add = (name, promise) => tries.push(wait(promise).then(v => { results[name + ' ' + way] = v; }));
    add('fetch', viaFetch(dir + 'secret.js'));
    add('xhr', viaXhr(dir + 'secret.js'));
    add('image', viaImage(dir + 'secret.png'));
    add('script', viaScript(dir + 'secret.js'));
    add('frame', viaFrame(dir + 'secret.htm'));
  }
  tries.push(wait(viaImage(document.getElementById('own').src)).then(v => { results.control = v; }));
  await Promise.all(tries);
  return results;
};
)JS";

class ReaderConfinement : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = Display();
    if (server_ == nullptr) GTEST_SKIP() << "no X server (Xvfb) could be started";
  }

  static void Settle(const Reader& reader, int count, const std::string& expected = "idle") {
    std::string reply;
    ASSERT_TRUE(reader.Wait(count, &reply)) << "no answer to wait " << count << "\n" << reader.Log();
    ASSERT_EQ(reply, expected) << reader.Ask("dialog?").value_or("") << "\n" << reader.Log();
  }

  // A cache the reader cannot keep its things in: a file stands where its
  // folder would be.
  static void SpoilCache(const Sandbox& sandbox) { std::ofstream(sandbox.Cache() + "/tessaly") << "not a folder"; }

  // The user's files a book is after, in the sandbox's home.
  static void PlantSecrets(const Sandbox& sandbox) {
    const std::string home = sandbox.Root() + "/home/";
    std::ofstream(home + "secret.js") << "window.tessalySecret = '" << kMark << "';\n";
    std::ofstream(home + "secret.htm") << "<html><head><title>SECRET</title></head><body>" << kMark
                                       << "<script>parent.postMessage('framed', '*')</script></body></html>";
    fs::copy_file(TestBook("basic/images/photo.png"), home + "secret.png");
    // Another book of the user's, holding the same secrets: the reader has
    // not opened it, so no page may read it.
    test::BookBuilder other;
    other.AddFile("#SYSTEM", SystemObject("secret.htm", "Other", 0x409));
    other.AddFile("#STRINGS", std::string(1, '\0'));
    for (const char* name : {"secret.js", "secret.htm", "secret.png"}) {
      std::ifstream in(home + name, std::ios::binary);
      other.AddFile(std::string("/") + name, std::string(std::istreambuf_iterator<char>(in), {}));
    }
    const std::vector<std::uint8_t> bytes = other.Build();
    std::ofstream(home + "other.chm", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                              static_cast<std::streamsize>(bytes.size()));
  }

  // A book whose page knows where the user's home is and tries to get in.
  static std::vector<std::uint8_t> HostileBook(const Sandbox& sandbox) {
    test::BookBuilder builder;
    builder.AddFile("#SYSTEM", SystemObject("a.htm", "Hostile", 0x409));
    builder.AddFile("#STRINGS", std::string(1, '\0'));
    builder.AddFile("/a.htm",
                    "<html><head><title>Hostile</title><script src=\"probe.js\"></script></head><body>"
                    "<img id=\"own\" src=\"own.png\"><p>nothing to see</p></body></html>");
    builder.AddFile("/probe.js", "window.HOME = '" + sandbox.Root() + "/home';\n" + kProbeScript);
    std::ifstream png(TestBook("basic/images/photo.png"), std::ios::binary);
    builder.AddFile("/own.png", std::string(std::istreambuf_iterator<char>(png), {}));
    return builder.Build();
  }

  // What the probe could do, as "way result" lines for every try that was
  // not refused (the control's line included).
  static std::string Escapes(const Reader& reader) {
    const std::string json = reader.Ask("eval-async return JSON.stringify(await probe());").value_or("");
    std::string found;
    std::size_t at = 0;
    while ((at = json.find('"', at)) != std::string::npos) {
      const std::size_t keyEnd = json.find('"', at + 1);
      const std::size_t valueStart = json.find('"', keyEnd + 1);
      const std::size_t valueEnd = json.find('"', valueStart + 1);
      if (keyEnd == std::string::npos || valueEnd == std::string::npos) return "unreadable: " + json;
      const std::string value = json.substr(valueStart + 1, valueEnd - valueStart - 1);
      if (value != "refused" && value != "no answer") found += json.substr(at + 1, keyEnd - at - 1) + " " + value + "\n";
      at = valueEnd + 1;
    }
    return found;
  }

  XServer* server_ = nullptr;
};

TEST_F(ReaderConfinement, AHostileBookReadsNothingOutsideItsPages) {
  // Also where the compiled filter cannot be kept in the cache: it is then
  // kept aside while it loads.
  for (const bool cacheUnwritable : {false, true}) {
    SCOPED_TRACE(cacheUnwritable ? "the cache cannot be written" : "the usual cache");
    Sandbox sandbox;
    PlantSecrets(sandbox);
    if (cacheUnwritable) SpoilCache(sandbox);
    test::TempFile book(HostileBook(sandbox));
    Reader reader(sandbox, server_->Display(), book.Path());
    ASSERT_TRUE(reader.Running()) << reader.Log();
    ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
    ASSERT_EQ(reader.Eval("document.title"), "Hostile");
    EXPECT_EQ(reader.State()["filter"], "1");
    EXPECT_EQ(Escapes(reader), "control loaded\n") << "only the book's own picture loads";

    // The whole page sent elsewhere, every way: it stays.
    const std::string uri = reader.State()["uri"];
    EXPECT_EQ(uri, "ms-its:" + book.Path() + "::/a.htm");
    for (const char* target : {"'..%2F'.repeat(12) + HOME.slice(1).split('/').join('%2F') + '%2Fsecret.htm'",
                               "'../'.repeat(12) + HOME.slice(1) + '/secret.htm'", "'file://' + HOME + '/secret.htm'",
                               "'ms-its:' + HOME + '/other.chm::/secret.htm'"}) {
      SCOPED_TRACE(target);
      EXPECT_EQ(reader.Ask(std::string("eval-async location.href = ") + target +
                           "; await new Promise(r => setTimeout(r, 1500)); return document.title;"),
                "Hostile");
      ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
      EXPECT_EQ(reader.Eval("document.title"), "Hostile");
      EXPECT_EQ(reader.State()["uri"], uri);
    }
    EXPECT_EQ(reader.Ask("close"), "closed");
  }
}

// Whichever this machine allows, the reader says so on its state line (and
// on standard error when the sandbox cannot start); a reader where no
// namespace can be made goes on without it.
TEST_F(ReaderConfinement, ThePageProcessRunsInItsSandboxWhereTheMachineAllowsIt) {
  const auto pageProcesses = [](pid_t reader) {
    // Every descendant of the reader named as WebKit's page process.
    std::map<pid_t, pid_t> parents;
    std::map<pid_t, std::string> names;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::ifstream in(entry.path() / "stat");
      std::string stat((std::istreambuf_iterator<char>(in)), {});
      const std::size_t open = stat.find('(');
      const std::size_t close = stat.rfind(')');
      if (open == std::string::npos || close == std::string::npos) continue;
      const pid_t pid = std::stoi(name);
      names[pid] = stat.substr(open + 1, close - open - 1);
      std::istringstream rest(stat.substr(close + 2));
      char state = 0;
      pid_t parent = 0;
      rest >> state >> parent;
      parents[pid] = parent;
    }
    std::vector<pid_t> found;
    for (const auto& [pid, name] : names) {
      if (name != "WebKitWebProces") continue;
      for (pid_t up = parents[pid]; up > 1; up = parents[up]) {
        if (up == reader) {
          found.push_back(pid);
          break;
        }
      }
    }
    return found;
  };
  const auto link = [](pid_t pid, const std::string& ns) {
    return fs::read_symlink("/proc/" + std::to_string(pid) + "/ns/" + ns).string();
  };
  const auto seccomp = [](pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
      if (line.starts_with("Seccomp:")) return line.substr(line.find_first_not_of(" \t", 8));
    }
    return std::string();
  };
  const auto told = [](const std::string& log) {
    int count = 0;
    for (std::size_t at = 0; (at = log.find("runs without its sandbox", at)) != std::string::npos; ++at) ++count;
    return count;
  };

  for (const bool withoutNamespaces : {false, true}) {
    SCOPED_TRACE(withoutNamespaces ? "no namespaces can be made" : "this machine as it is");
    Sandbox sandbox;
    fs::create_directories(sandbox.Root() + "/data/tessaly/index");
    Reader reader(sandbox, server_->Display(), TestBook("basic/basic.chm"), Milliseconds(60000), std::string(),
                  withoutNamespaces);
    ASSERT_TRUE(reader.Running()) << reader.FirstLine() << "\n" << reader.Log();
    ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
    EXPECT_EQ(reader.Eval("document.title"), "Welcome") << "the page shows either way";
    const std::string sandboxed = reader.State()["sandbox"];
    ASSERT_TRUE(sandboxed == "1" || sandboxed == "0") << sandboxed;
    std::printf("[ sandbox  ] %s: %s\n", withoutNamespaces ? "without namespaces" : "this machine",
                sandboxed == "1" ? "the page process runs in its sandbox" : "no sandbox can start");
    if (withoutNamespaces) {
      EXPECT_EQ(sandboxed, "0");
    }
    if (sandboxed == "0") {
      EXPECT_EQ(told(reader.Log()), 1) << reader.Log();
      continue;
    }
    EXPECT_EQ(told(reader.Log()), 0) << reader.Log();
    const std::vector<pid_t> pages = pageProcesses(reader.Pid());
    ASSERT_FALSE(pages.empty()) << "no page process found";
    for (const pid_t page : pages) {
      EXPECT_NE(link(page, "pid"), link(reader.Pid(), "pid")) << "its own process namespace";
      EXPECT_NE(link(page, "net"), link(reader.Pid(), "net")) << "its own network namespace";
      EXPECT_EQ(seccomp(page), "2") << "a seccomp filter";
      // The reader's kept indexes and stored values are not among what
      // the page process sees.
      std::ifstream mounts("/proc/" + std::to_string(page) + "/mountinfo");
      for (std::string line; std::getline(mounts, line);) {
        for (const std::string& own : {sandbox.Root() + "/data", sandbox.Config()}) {
          EXPECT_EQ(line.find(own), std::string::npos) << line;
        }
      }
    }
    EXPECT_EQ(reader.Ask("close"), "closed");
  }
}

TEST_F(ReaderConfinement, ACacheHomeThatIsAFileIsNoCacheHome) {
  Sandbox sandbox;
  fs::remove_all(sandbox.Cache());
  std::ofstream(sandbox.Cache()) << "not a folder";
  Reader reader(sandbox, server_->Display(), TestBook("basic/basic.chm"));
  ASSERT_TRUE(reader.Running()) << reader.Log();
  ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
  EXPECT_EQ(reader.Eval("document.title"), "Welcome");
  EXPECT_EQ(reader.Ask("close"), "closed");
}

TEST_F(ReaderConfinement, AViewWithoutItsFilterShowsNoPage) {
  // Neither the cache nor the system's temporary folder can hold the
  // compiled filter.
  Sandbox sandbox;
  SpoilCache(sandbox);
  fs::remove_all(sandbox.Temp());
  std::ofstream(sandbox.Temp()) << "not a folder";
  Reader reader(sandbox, server_->Display(), TestBook("basic/basic.chm"));
  ASSERT_TRUE(reader.Running()) << reader.Log();
  ASSERT_NO_FATAL_FAILURE(Settle(reader, 1, "dialog"));
  EXPECT_EQ(reader.Ask("dialog?"),
            "message\tTallis Message\tPages cannot be shown: the page view's filter could not be installed.\n");
  ASSERT_EQ(reader.Ask("dialog-respond 0"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
  auto state = reader.State();
  EXPECT_EQ(state["filter"], "0");
  EXPECT_EQ(state["uri"], "") << "nothing was loaded";
  // Later pages are not shown either, and the reader still answers.
  ASSERT_EQ(reader.Ask("menu 1001"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
  ASSERT_EQ(reader.Ask("tree-tap Details"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(reader, 2));
  EXPECT_EQ(reader.State()["uri"], "");
  EXPECT_EQ(reader.Ask("close"), "closed");
}

}  // namespace
}  // namespace tessaly::e2e
