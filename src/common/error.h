#pragma once
// The failures the engine reports. Every failure a researcher can meet (a file
// that cannot be read, a value that cannot be understood) is a membrix::Error;
// programming errors (an operation a class leaves abstract) have a type of their
// own so that they are never mistaken for bad input.

#include <stdexcept>
#include <string>

namespace membrix {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file could not be opened, read or written. Carries the path and the reason
// the system gave.
class IoError : public Error {
 public:
  IoError(std::string path, std::string reason)
      : Error(path + ": " + reason), path_(std::move(path)), reason_(std::move(reason)) {}
  const std::string& path() const { return path_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string path_;
  std::string reason_;
};

// Input that does not have the expected form: names the file and the line (0 when
// the input is not a file, for instance a command-line value) and what was expected.
class FormatError : public Error {
 public:
  FormatError(std::string file, int line, const std::string& what)
      : Error(Compose(file, line, what)), file_(std::move(file)), line_(line) {}
  const std::string& file() const { return file_; }
  int line() const { return line_; }

 private:
  static std::string Compose(const std::string& file, int line, const std::string& what) {
    if (file.empty()) return what;
    if (line <= 0) return file + ": " + what;
    return file + ", line " + std::to_string(line) + ": " + what;
  }
  std::string file_;
  int line_;
};

// A value outside the range a parameter accepts.
class RangeError : public Error {
 public:
  using Error::Error;
};

// An analysis that had nothing to work on or found nothing: a map where no
// point fires, a series in which no record could be estimated.
class NothingToAnalyseError : public Error {
 public:
  using Error::Error;
};

// The integration of a model diverged for its parameters (no resting
// potential could be found): the parameters, not the input, are at fault, so
// a search over parameters scores such a point as one it cannot use.
class DivergenceError : public Error {
 public:
  using Error::Error;
};

// An operation that a neuron or channel class leaves abstract was called.
class AbstractOperationError : public std::logic_error {
 public:
  explicit AbstractOperationError(const std::string& operation)
      : std::logic_error("abstract operation called: " + operation) {}
};

}  // namespace membrix
