// Running the built quelt program from a test: a scratch directory that is
// removed afterwards, and one call that starts the program with given
// arguments and standard input and collects standard output, standard error
// and the exit status separately.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quelt_test {

// Whether the tests (and the program, built with the same flags) run under
// AddressSanitizer, and whether they are an optimised build: slow builds
// pick smaller workloads.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif
#else
inline constexpr bool kSanitizedBuild = false;
#endif
#ifdef NDEBUG
inline constexpr bool kOptimizedBuild = !kSanitizedBuild;
#else
inline constexpr bool kOptimizedBuild = false;
#endif

// What a run of the program left behind.
struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status; -1 when the process did not exit normally
  int signal = 0;   // the terminating signal, when there was one
};

inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeWholeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag = "quelt") {
    std::string tmpl = (std::filesystem::temp_directory_path() / (tag + "-XXXXXX")).string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed for " + tmpl);
    dir_ = tmpl;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return dir_; }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }
  // Writes text into name inside the directory and returns the full path.
  std::string write(const std::string& name, const std::string& text) const {
    const std::string p = file(name);
    writeWholeFile(p, text);
    return p;
  }

 private:
  std::string dir_;
};

// How standard input reaches the program.
enum class StdinMode {
  File,  // a regular file holding the text (seekable, like a redirection)
  Pipe,  // a pipe the test writes the text into, then closes
};

struct RunOptions {
  std::string stdinText;
  StdinMode stdinMode = StdinMode::File;
  std::string workDir;                                   // empty: the test's own
  std::vector<std::pair<std::string, std::string>> env;  // added to the environment
  // Address-space limit of the child in bytes (0: none), so that a run that
  // tries to allocate without bound fails inside the limit instead of
  // taking the machine's memory. Not usable with AddressSanitizer.
  std::size_t addressSpaceLimit = 0;
};

// Runs program with args (argv[0] is the program path). Output is collected
// in files, so a large model never blocks the child.
inline RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                            const RunOptions& options = {}) {
  static int serial = 0;
  const ScratchDir io("quelt-io");
  const std::string tag = io.file("run" + std::to_string(serial++));
  const std::string inPath = tag + ".in", outPath = tag + ".out", errPath = tag + ".err";
  writeWholeFile(inPath, options.stdinMode == StdinMode::File ? options.stdinText : "");

  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  int pipeFds[2] = {-1, -1};
  if (options.stdinMode == StdinMode::Pipe && pipe(pipeFds) != 0)
    throw std::runtime_error("pipe failed");

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int in;
    if (options.stdinMode == StdinMode::Pipe) {
      close(pipeFds[1]);
      in = pipeFds[0];
    } else {
      in = open(inPath.c_str(), O_RDONLY);
    }
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
    if (options.addressSpaceLimit != 0) {
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = options.addressSpaceLimit;
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }

  if (options.stdinMode == StdinMode::Pipe) {
    close(pipeFds[0]);
    // The program may stop reading early (a q, an unreadable number): a
    // broken pipe is then expected and must not kill the test.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    const char* p = options.stdinText.data();
    std::size_t left = options.stdinText.size();
    while (left > 0) {
      const ssize_t n = write(pipeFds[1], p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    close(pipeFds[1]);
    sigaction(SIGPIPE, &previous, nullptr);
  }

  RunResult r;
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) r.signal = WTERMSIG(raw);
  r.out = readWholeFile(outPath);
  r.err = readWholeFile(errPath);
  return r;
}

#ifdef QUELT_BINARY
// Runs the quelt program built with the tests.
inline RunResult runQuelt(const std::vector<std::string>& args, const RunOptions& options = {}) {
  return runProgram(QUELT_BINARY, args, options);
}
#endif

// "quelt a b c", for failure messages.
inline std::string describeCommand(const std::vector<std::string>& args) {
  std::string s = "quelt";
  for (const std::string& a : args) s += " " + a;
  return s;
}

}  // namespace quelt_test
