#pragma once
// The declared tasks called from Python: one entry point that takes a task's
// name and its keyword values, prepares the call as the batch tool does
// (model inputs, checks, file guards, cost), runs it on a thread of its own
// with the interpreter released, and watches Ctrl+C and the progress from the
// calling thread.

#include <pybind11/pybind11.h>

#include <atomic>
#include <functional>
#include <optional>

namespace membrix::python {

void AddTasks(pybind11::module_& m);

// Runs `work` on a thread of its own with the interpreter released, while the
// calling thread looks every tenth of a second at Ctrl+C and calls `look`
// (with the interpreter held; the progress of a task). Ctrl+C, or a Python
// error raised by `look`, sets `stop`, which the work's host answers by ending
// its runs; that error is returned once the work has ended. An exception of
// the work itself is thrown.
std::optional<pybind11::error_already_set> RunWatched(const std::function<void()>& work, std::atomic<bool>& stop,
                                                      const std::function<void()>& look);

}  // namespace membrix::python
