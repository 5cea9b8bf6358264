#include "trigger/actions/process_spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

extern char** environ;

namespace tavrix {

namespace {

// Reaps the children SpawnDetached started, and only those: other parts of
// the process start and wait for children of their own, so there is no
// SIGCHLD handler and no waitpid(-1). Each start reaps what has ended; a
// thread polls while children remain. The reaper is never destroyed and its
// thread is detached, so neither depends on the order of exit-time
// destruction.
class ChildReaper {
 public:
  static ChildReaper& Instance() {
    static ChildReaper* const reaper = new ChildReaper();
    return *reaper;
  }

  void Add(pid_t pid) {
    std::lock_guard<std::mutex> lock(mutex_);
    ReapLocked();
    pids_.push_back(pid);
    if (!threadStarted_) {
      try {
        std::thread([this] { Run(); }).detach();
        threadStarted_ = true;
      } catch (const std::system_error&) {
        // Without a thread the children are still reaped at the next start.
      }
    }
    wake_.notify_one();
  }

  size_t Pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    ReapLocked();
    return pids_.size();
  }

 private:
  ChildReaper() = default;

  void ReapLocked() {
    std::erase_if(pids_, [](pid_t pid) {
      int status = 0;
      const pid_t r = waitpid(pid, &status, WNOHANG);
      // Gone, or no longer ours to wait for (reaped by someone else).
      return r == pid || (r < 0 && errno != EINTR);
    });
  }

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      ReapLocked();
      if (pids_.empty()) {
        wake_.wait(lock, [this] { return !pids_.empty(); });
      } else {
        wake_.wait_for(lock, std::chrono::milliseconds(100));
      }
    }
  }

  std::mutex mutex_;              // guards pids_ and threadStarted_
  std::condition_variable wake_;  // the thread waits here for children
  std::vector<pid_t> pids_;
  bool threadStarted_ = false;
};

// posix_spawn objects released at the end of the scope.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  bool actionsReady = false;
  bool attributesReady = false;

  ~SpawnSetup() {
    if (actionsReady) posix_spawn_file_actions_destroy(&actions);
    if (attributesReady) posix_spawnattr_destroy(&attributes);
  }

  int Prepare() {
    int err = posix_spawn_file_actions_init(&actions);
    if (err != 0) return err;
    actionsReady = true;
    err = posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // Descriptors opened without close-on-exec stay with the server.
    if (err == 0) err = posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    if (err != 0) return err;
    err = posix_spawnattr_init(&attributes);
    if (err != 0) return err;
    attributesReady = true;
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    err = posix_spawnattr_setsigmask(&attributes, &none);
    if (err == 0) err = posix_spawnattr_setsigdefault(&attributes, &all);
    if (err == 0) {
      err = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    return err;
  }
};

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;  // a word has begun (even an empty quoted one)
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size() && text[i + 1] == '"') {
      word += '"';
      inWord = true;
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
                           c == '\f')) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

HRESULT SpawnDetached(const std::string& file, const std::vector<std::string>& arguments,
                      pid_t* pid) {
  if (file.empty()) return E_INVALIDARG;
  SpawnSetup setup;
  int err = setup.Prepare();
  if (err != 0) return ResultFromErrno(err);
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(file.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  err = posix_spawnp(&child, file.c_str(), &setup.actions, &setup.attributes, argv.data(),
                     environ);
  if (err != 0) return ResultFromErrno(err);
  ChildReaper::Instance().Add(child);
  if (pid != nullptr) *pid = child;
  return S_OK;
}

size_t PendingChildren() { return ChildReaper::Instance().Pending(); }

}  // namespace tavrix
