// Starts build/bin/tavrix as a user would: with the given environment and
// switches, standard output and error going to files in `dir`.
#pragma once

#include <fcntl.h>
#include <spawn.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tavrix::e2e {

// The child's pid, or -1 when it could not be started.
inline pid_t SpawnTavrix(const std::filesystem::path& dir, std::vector<std::string> env,
                         const std::vector<std::string>& args) {
  std::vector<char*> envp;
  for (std::string& v : env) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStore{TAVRIX_BIN};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, (dir / "stdout").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (dir / "stderr").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, TAVRIX_BIN, &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace tavrix::e2e
