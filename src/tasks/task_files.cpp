#include "tasks/task_files.h"

#include <fcntl.h>
#include <nettle/sha2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "common/error.h"
#include "common/quoted_text.h"
#include "params/parameter_file.h"
#include "run/recording.h"
#include "run/session.h"

namespace membrix {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = std::size_t{1} << 16;

std::string SystemMessage(int error) { return std::strerror(error); }

// A file opened for reading, closed when it goes out of scope.
class InputDescriptor {
 public:
  // Opens path and refuses a folder; info is the opened file's status.
  explicit InputDescriptor(const std::string& path) : path_(path) {
    do {
      fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) throw IoError(path, SystemMessage(errno));
    if (::fstat(fd_, &info_) != 0) {
      const int error = errno;
      ::close(fd_);
      throw IoError(path, SystemMessage(error));
    }
    if (S_ISDIR(info_.st_mode)) {
      ::close(fd_);
      throw IoError(path, "is a folder, not a file");
    }
  }
  ~InputDescriptor() { ::close(fd_); }
  InputDescriptor(const InputDescriptor&) = delete;
  InputDescriptor& operator=(const InputDescriptor&) = delete;

  bool IsRegular() const { return S_ISREG(info_.st_mode); }
  std::size_t Size() const { return info_.st_size > 0 ? static_cast<std::size_t>(info_.st_size) : 0; }

  // Reads up to size bytes into buffer; 0 at the end of the file.
  std::size_t Read(char* buffer, std::size_t size) {
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, size);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) throw IoError(path_, SystemMessage(errno));
    }
  }

 private:
  std::string path_;
  int fd_ = -1;
  struct stat info_ {};
};

std::string ByteCount(std::size_t n) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  if (n >= kMiB && n % kMiB == 0) return std::to_string(n / kMiB) + " MiB";
  return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// A path in a message: in quotes, control bytes escaped, never shortened.
std::string QuotedPath(const std::string& path) { return "\"" + Escaped(path) + "\""; }

// What decides whether two names are one file.
struct FileIdentity {
  bool exists = false;
  bool stream = false;  // a pipe, socket or character device: writing it overwrites no data
  dev_t device = 0;
  ino_t inode = 0;
  fs::path normal;     // absolute and lexically normal
  fs::path canonical;  // with the symbolic links of its existing part resolved
};

FileIdentity Identify(const std::string& path) {
  FileIdentity id;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    id.exists = true;
    id.stream = S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISCHR(info.st_mode);
    id.device = info.st_dev;
    id.inode = info.st_ino;
  }
  std::error_code ec;
  id.normal = fs::absolute(path, ec).lexically_normal();
  if (ec) id.normal = fs::path(path).lexically_normal();
  id.canonical = fs::weakly_canonical(id.normal, ec);
  if (ec) id.canonical = id.normal;
  return id;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  if (a.exists && b.exists) return a.device == b.device && a.inode == b.inode;
  return a.normal == b.normal || a.canonical == b.canonical;
}

// " (path)" when the other name of the file is spelt differently.
std::string OtherName(const TaskFile& other, const TaskFile& file) {
  return other.path == file.path ? std::string() : " (" + other.path + ")";
}

void CheckOutputFolder(const TaskFile& out) {
  std::error_code ec;
  const fs::file_status self = fs::status(out.path, ec);
  if (fs::is_directory(self)) throw IoError(out.path, "is a folder; " + out.role + " needs a file name");
  fs::path folder = fs::path(out.path).parent_path();
  if (folder.empty()) folder = ".";
  ec.clear();
  const fs::file_status status = fs::status(folder, ec);
  const std::string named = "the folder " + QuotedPath(folder.string()) + " of " + out.role;
  if (status.type() == fs::file_type::not_found) throw IoError(out.path, named + " does not exist");
  if (ec) throw IoError(out.path, named + " cannot be reached: " + ec.message());
  if (!fs::is_directory(status)) throw IoError(out.path, named + " is not a folder");
}

// The digest of what the context has taken, in lower-case hex.
std::string DigestHex(sha256_ctx& context) {
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  sha256_digest(&context, digest.size(), digest.data());
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * digest.size());
  for (const std::uint8_t b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

}  // namespace

std::string ReadInputOnce(const std::string& path, std::size_t maxBytes) {
  InputDescriptor in(path);
  const bool stream = !in.IsRegular();
  std::string text;
  if (!stream) text.reserve(in.Size() + 1);
  for (;;) {
    std::size_t want = kChunk;
    if (stream) {
      // One byte more than the limit tells a stream that is too long.
      const std::size_t left = maxBytes - text.size();
      want = left >= kChunk ? kChunk : left + 1;
    }
    const std::size_t old = text.size();
    text.resize(old + want);
    const std::size_t got = in.Read(text.data() + old, want);
    text.resize(old + got);
    if (got == 0) break;
    if (stream && text.size() > maxBytes) {
      throw IoError(path, "gives more than " + ByteCount(maxBytes) +
                              ", the most read from a pipe or device: save it to a file and give that instead");
    }
  }
  return text;
}

void GuardOutputs(const std::vector<TaskFile>& inputs, const std::vector<TaskFile>& outputs) {
  std::vector<FileIdentity> in;
  in.reserve(inputs.size());
  for (const TaskFile& f : inputs) in.push_back(f.path.empty() ? FileIdentity{} : Identify(f.path));
  std::vector<FileIdentity> out;
  out.reserve(outputs.size());
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const TaskFile& o = outputs[i];
    if (o.path.empty()) throw FormatError("", 0, "the file name of " + o.role + " is empty");
    CheckOutputFolder(o);
    out.push_back(Identify(o.path));
    const FileIdentity& id = out.back();
    if (id.exists && id.stream) continue;
    for (std::size_t j = 0; j < inputs.size(); ++j) {
      // An input that does not exist is reported by its reader.
      if (!in[j].exists || in[j].stream) continue;
      if (SameFile(id, in[j])) {
        throw IoError(o.path, o.role + " would overwrite " + inputs[j].role + OtherName(inputs[j], o) +
                                  ", the same file: choose another file for " + o.role);
      }
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFile(id, out[j])) {
        throw IoError(o.path, outputs[j].role + OtherName(outputs[j], o) + " and " + o.role +
                                  " name the same file: choose another file for one of them");
      }
    }
  }
}

PartFile::PartFile(std::string path) : final_(std::move(path)) {
  if (final_.empty()) throw FormatError("", 0, "an output file needs a name");
  // A pipe or device cannot be replaced by a renamed file (and must not be:
  // renaming onto /dev/null would put a plain file in its place).
  struct stat info {};
  const bool stream = ::stat(final_.c_str(), &info) == 0 &&
                      (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISCHR(info.st_mode));
  part_ = stream ? final_ : final_ + ".part";
}

void PartFile::Commit() {
  if (committed_) return;
  if (part_ != final_ && std::rename(part_.c_str(), final_.c_str()) != 0) {
    throw IoError(final_, "the complete result in " + part_ + " could not take its place: " + SystemMessage(errno));
  }
  committed_ = true;
}

std::string Sha256Hex(std::string_view bytes) {
  sha256_ctx context;
  sha256_init(&context);
  sha256_update(&context, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
  return DigestHex(context);
}

std::string Sha256OfFile(const std::string& path) {
  // Looked at before opening: opening a pipe waits for its writer.
  const std::string notRegular = "is a pipe or device, not a regular file: what it gives can be read only once";
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
    throw IoError(path, notRegular);
  }
  InputDescriptor in(path);
  if (!in.IsRegular()) throw IoError(path, notRegular);
  sha256_ctx context;
  sha256_init(&context);
  const auto buffer = std::make_unique<char[]>(kChunk);
  for (;;) {
    const std::size_t got = in.Read(buffer.get(), kChunk);
    if (got == 0) break;
    sha256_update(&context, got, reinterpret_cast<const std::uint8_t*>(buffer.get()));
  }
  return DigestHex(context);
}

std::vector<TaskFile> ParameterFileInputs(const Session& s) {
  std::vector<TaskFile> files;
  std::string of;
  if (!s.rec.IdFileName.empty()) {
    files.push_back({"--id", s.rec.IdFileName});
    of = " of " + fs::path(s.rec.IdFileName).filename().string();
  }
  auto add = [&](const Session& from, int k) {
    const std::string& entry = from.rec.SmplFile[static_cast<std::size_t>(k)];
    if (!NamesRecordingFile(entry)) return;
    // Recording 0 is a file chosen by hand, not one of the parameter file's.
    TaskFile file{"recording " + std::to_string(k) + (k > 0 ? of : ""), RecordingPath(from, entry)};
    const bool listed = std::any_of(files.begin(), files.end(),
                                    [&](const TaskFile& f) { return f.role == file.role && f.path == file.path; });
    if (!listed) files.push_back(std::move(file));
  };
  // Each recording's section names its file; they are read on a copy, in
  // order, as a fit reads them, so that the session itself does not change.
  const int count = std::clamp(s.rec.NSmpls, 0, kMaxRecording);
  if (count > 0) {
    const auto scratch = std::make_unique<Session>(s);
    for (int k = 1; k <= count; ++k) {
      scratch->rec.Smpl = k;
      try {
        LoadRecordingSection(*scratch, k);
      } catch (const Error&) {
        continue;  // the run that uses this recording reports its section
      }
      add(*scratch, k);
    }
  }
  // The recording the session holds now, which a run reads as it stands.
  if (s.rec.Smpl >= 0 && s.rec.Smpl <= kMaxRecording) add(s, s.rec.Smpl);
  return files;
}

}  // namespace membrix
