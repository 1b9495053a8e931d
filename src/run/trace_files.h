#pragma once
// The files a run writes: the trace file of a save command and, with "Writing",
// the run log and the ion file.

namespace membrix {

struct Session;

class RunFiles {
 public:
  // Creates the files the session asks for, empty.
  void Open(Session& s) { (void)s; }
  // One line of the run log and of the ion file.
  void WriteLog(Session& s) { (void)s; }
  // One line of the trace file.
  void WriteTrace(Session& s) { (void)s; }
  void Close(Session& s) { (void)s; }
};

}  // namespace membrix
