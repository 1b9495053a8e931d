#pragma once
// What a long computation needs from whoever runs it: the points where the
// windows may breathe, the stop request, and answers to Yes/No questions.

#include <string>

namespace membrix {

class Host {
 public:
  virtual ~Host() = default;
  // Lets pending window messages be handled; a paused run calls it until it is
  // resumed.
  virtual void ProcessEvents() {}
  // True once the user asked the running computation to stop.
  virtual bool StopRequested() const { return false; }
  // A Yes/No question; true means Yes.
  virtual bool Confirm(const std::string& question) = 0;
  // The parameters and run globals changed: show them again.
  virtual void ShowParameters() {}
};

// A host without windows: never stops, answers every question the same way.
class BatchHost : public Host {
 public:
  explicit BatchHost(bool answer = true) : answer_(answer) {}
  bool Confirm(const std::string&) override { return answer_; }

 private:
  bool answer_;
};

}  // namespace membrix
