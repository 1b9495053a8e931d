#pragma once
// The engine's session as the Python module holds it: the session itself, the
// recordings given from arrays, and the guard that keeps a second thread from
// changing the session while a run computes with the interpreter released.

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "run/host.h"
#include "run/session.h"

namespace membrix::python {

// A recording given as arrays: t in seconds, values the model value the run
// compares, in the run's units.
struct ArrayRecording {
  std::vector<double> t;
  std::vector<double> values;
  bool written = false;  // its file is written (once, in the session's folder)
};

class PythonSession {
 public:
  PythonSession();
  PythonSession(const PythonSession& other);
  PythonSession& operator=(const PythonSession&) = delete;
  ~PythonSession();

  Session s;
  std::map<int, ArrayRecording> arrays;
  // What made the session what it is, in order (what, argument, value):
  // "family", "geometry", "mode", "thr_model", "lif_model", "set", "load_id"
  // (the absolute path, and the recording chosen or "").  A pickled session
  // is these steps, its recordings from arrays and its generator's state,
  // replayed when it is read back.
  struct Step {
    std::string what, argument, value;
  };
  std::vector<Step> steps;

  // Throws RuntimeError when a run of this session is computing.
  void CheckIdle() const;

  // Marks the session busy for the life of the object.
  class Busy {
   public:
    explicit Busy(PythonSession& owner);
    ~Busy();
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    PythonSession& owner_;
  };

  // The recording file an array recording of recording k is written to, in a
  // folder of this session's own, removed with the session.
  std::filesystem::path ArrayFile(int k);

  // When the run's recording Smpl was given from arrays: writes them as a
  // given recording file and makes it the recording's file. A parameter
  // file's recording section, loaded at the start of every run, names
  // another file; the given file wins (LoadRecordingSection), in the
  // session and in every copy of it.
  void ApplyArrayRecording();
  // The same for every recording given from arrays, so that a fit over
  // recordings 1 ... NSmpls, and its copies, find them all.
  void ApplyAllArrayRecordings();

 private:
  void WriteArrayFile(int k);
  std::atomic<bool> running_{false};
  std::filesystem::path folder_;
};

// The host of a run from Python: no windows; the arrays of the recording are
// put in place each time the run has loaded its parameters; a run ends at its
// next hundredth step once `stop` is set (Ctrl+C, seen by the calling thread),
// by the exception RunStopped.
struct RunStopped {};

class PythonHost final : public Host {
 public:
  PythonHost(PythonSession& owner, const std::atomic<bool>& stop) : owner_(owner), stop_(stop) {}
  bool Confirm(const std::string&) override { return true; }
  void ShowParameters() override { owner_.ApplyArrayRecording(); }
  bool StopRequested() const override { return stop_.load(std::memory_order_relaxed); }
  void ProcessEvents() override {
    if (StopRequested()) throw RunStopped{};
  }

 private:
  PythonSession& owner_;
  const std::atomic<bool>& stop_;
};

}  // namespace membrix::python
