#pragma once
// The files of a task: inputs are read once (a pipe gives what a file gives),
// outputs are never written onto an input or onto each other, and a result
// that is written whole appears under its name only once it is complete.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace membrix {

struct Session;

// Largest input accepted from a pipe or device (they can be read only once, into memory).
inline constexpr std::size_t kMaxStreamedInputBytes = 64u << 20;

// Reads a whole input file once. A regular file is read whole; a pipe, FIFO,
// socket or device is read into memory up to maxBytes and refused beyond it
// (IoError saying the limit, so that /dev/zero ends quickly with a message).
// A folder, a missing or an unreadable file is refused (IoError naming the path).
std::string ReadInputOnce(const std::string& path, std::size_t maxBytes = kMaxStreamedInputBytes);

// A file a task reads or writes, with the option or role it came from for
// messages ("--id", "recording 3 of AP.id", "--out").
struct TaskFile {
  std::string role;
  std::string path;
};

// Refuses, before anything runs (membrix::Error with a message naming the
// roles and the path):
//  - an output with an empty name (FormatError);
//  - an output that is the same file as an input: the same device and inode
//    when both exist, else the same absolute path once made normal, with or
//    without symbolic links resolved (IoError);
//  - two outputs that are the same file (IoError);
//  - an output whose folder does not exist, or that is itself a folder (IoError).
// Inputs that do not exist are left to their readers. Outputs and inputs that
// are pipes or devices (/dev/null, /dev/stdout) may be named more than once:
// writing to them overwrites no data.
void GuardOutputs(const std::vector<TaskFile>& inputs, const std::vector<TaskFile>& outputs);

// A whole-result file, written under "<path>.part" and renamed onto path by
// Commit() once complete; until then a file already at path is untouched. Not
// committed (a stop, an exception), the .part file stays, so what is there
// says that it is not complete. A path that names an existing pipe or device
// is written directly (PartPath() == FinalPath()) and never renamed over.
class PartFile {
 public:
  explicit PartFile(std::string path);
  PartFile(PartFile&&) noexcept = default;
  PartFile& operator=(PartFile&&) noexcept = default;
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  const std::string& PartPath() const { return part_; }  // where the writer writes
  const std::string& FinalPath() const { return final_; }
  // Renames the part file onto the final path (IoError on failure). The
  // writer must have closed it; a second call does nothing.
  void Commit();

 private:
  std::string final_;
  std::string part_;
  bool committed_ = false;
};

// SHA-256 in lower-case hex, of bytes and of a file's contents. Sha256OfFile
// refuses (IoError) a file that cannot be read, a folder, and a pipe or device:
// those were consumed by their reader, so hash the text it read instead.
std::string Sha256Hex(std::string_view bytes);
std::string Sha256OfFile(const std::string& path);

// The files a run of the session can read: the open parameter file ("--id")
// and the recording file of each of its recordings 1 ... NSmpls and of the
// current recording ("recording 3 of AP.id"), resolved as a run resolves them.
// A recording whose section cannot be read is left out (the run reports it).
std::vector<TaskFile> ParameterFileInputs(const Session& s);

}  // namespace membrix
