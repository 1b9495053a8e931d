#pragma once
// What the tests of task files share: a folder of the test's own, whole-file
// reading, varied bytes, and a FIFO fed from a thread as a shell's process
// substitution feeds one.

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

namespace membrix::testing {

// A folder of the test's own, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "membrix_task_files_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    const std::filesystem::path p = path_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string Content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Bytes that are not all alike, so that a chunk read twice or left out shows.
inline std::string Pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return text;
}

// Writes text into a FIFO from a thread of its own, as a shell's process
// substitution does; the reader may stop early (the writer then stops too).
class FifoWriter {
 public:
  FifoWriter(std::string path, std::string text)
      : thread_([path = std::move(path), text = std::move(text)] {
          // A reader that stops early must end the write, not the test program.
          sigset_t blocked;
          sigemptyset(&blocked);
          sigaddset(&blocked, SIGPIPE);
          pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
          const int fd = ::open(path.c_str(), O_WRONLY);
          if (fd < 0) return;
          std::size_t done = 0;
          while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
          }
          ::close(fd);
        }) {}
  ~FifoWriter() { thread_.join(); }
  FifoWriter(const FifoWriter&) = delete;
  FifoWriter& operator=(const FifoWriter&) = delete;

 private:
  std::thread thread_;
};

inline std::string MakeFifo(const TempFolder& dir, const std::string& name) {
  const std::string path = dir / name;
  if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  return path;
}

}  // namespace membrix::testing
