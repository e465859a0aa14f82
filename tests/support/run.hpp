// Running a built program from a test: a scratch directory removed
// afterwards, and one call that runs the program with arguments and standard
// input and collects its output streams and exit status.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace quelt_test {

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ScratchDir {
 public:
  ScratchDir() {
    std::string t = (std::filesystem::temp_directory_path() / "quelt-XXXXXX").string();
    if (!mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = t;
  }
  ~ScratchDir() { std::filesystem::remove_all(dir_); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string file(const std::string& name) const { return dir_ + "/" + name; }
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(file(name), std::ios::binary) << text;
    return file(name);
  }

 private:
  std::string dir_;
};

struct RunResult {
  std::string out, err;
  int status = -1;  // -1 when the process did not exit by itself
};

inline RunResult runProgram(std::vector<std::string> argv, const std::string& stdinText = "") {
  const ScratchDir io;
  const std::string in = io.write("in", stdinText), out = io.file("out"), err = io.file("err");
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(open(in.c_str(), O_RDONLY), 0);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    execv(args[0], args.data());
    _exit(127);
  }
  int raw = 0;
  waitpid(pid, &raw, 0);
  return {readFile(out), readFile(err), WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
}

}  // namespace quelt_test
