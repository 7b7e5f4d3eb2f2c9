// Runs vellumark-cli as a child process on a home folder of its own and collects its exit
// status and output.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace vellumark::testing {

struct CliResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

class CliProcess {
 public:
  // Starts vellumark-cli --home `home` with `args`; output goes to files in `home`.
  CliProcess(const std::string& home, const std::vector<std::string>& args) : home_(home) {
    std::vector<std::string> argv_text{VELLUMARK_CLI_PATH, "--home", home};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, OutPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, ErrPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }

  void Interrupt() {
    if (pid_ > 0) kill(pid_, SIGINT);
  }

  CliResult Wait() {
    CliResult result;
    int wstatus = 0;
    if (pid_ > 0 && waitpid(pid_, &wstatus, 0) == pid_ && WIFEXITED(wstatus)) {
      result.status = WEXITSTATUS(wstatus);
    }
    pid_ = -1;
    result.out = Read(OutPath());
    result.err = Read(ErrPath());
    return result;
  }

  ~CliProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

 private:
  std::string OutPath() const { return home_ + "cli.out"; }
  std::string ErrPath() const { return home_ + "cli.err"; }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string home_;
  pid_t pid_ = -1;
};

inline CliResult RunCli(const std::string& home, const std::vector<std::string>& args) {
  return CliProcess(home, args).Wait();
}

}  // namespace vellumark::testing
