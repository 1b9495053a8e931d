#pragma once
// The declared tasks called from Python: one entry point that takes a task's
// name and its keyword values, prepares the call as the batch tool does
// (model inputs, checks, file guards, cost), runs it on a thread of its own
// with the interpreter released, and watches Ctrl+C and the progress from the
// calling thread.

#include <pybind11/pybind11.h>

namespace membrix::python {

void AddTasks(pybind11::module_& m);

}  // namespace membrix::python
