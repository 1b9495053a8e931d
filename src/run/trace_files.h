#pragma once
// The files a clamp run writes: the trace file of a save command (four column
// sets), and with "Writing" on the run log beside the recording and the ion
// file. Lines are written only at the run's writing points.

#include <fstream>
#include <string>

namespace membrix {

struct Session;
class Host;
class RunViewSink;
class TIons;

// What the session keeps about the trace file of the next or last run.
struct TraceFileGlobals {
  std::string TraceFile;   // the file of the save command
  std::string VarToWrite;  // the item of "Var to write" for "Save any curve" and "Draw any curve"
  std::string StatusText;  // the description of the written columns, set at the end of the run
  bool Created = false;    // the last run created (emptied) TraceFile: it got that far
};

inline constexpr const char* kIonFileName = "t_V_pump_Na_VNa_K_VK.dat";

// The name of the run log: the recording entry with "at" appended.
std::string RunLogFileName(const std::string& recordingEntry);

// The column description of a trace file written in mode 1..4.
std::string TraceStatusText(int writeMode, const std::string& item);

// Refuses (IoError, nothing opened) an output of the run that is one of its
// inputs: the parameter file or the recording of the run, or another output.
void CheckRunOutputs(const Session& s);

class RunFiles {
 public:
  // Creates the files the session asks for, empty, after CheckRunOutputs.
  // Throws IoError.
  void Open(Session& s);
  // Creates only the run log and the ion file when Writing is 1, for runs that
  // write their trace file themselves. Throws IoError.
  void OpenLog(const Session& s);
  // One line of the run log, then one of the ion file.
  void WriteLog(const Session& s, const TIons& ions);
  // One line of the trace file.
  void WriteTrace(const Session& s);
  // Closes the files; sets the status text of the trace file. Throws IoError
  // when what was written cannot be completed.
  void Close(Session& s);

 private:
  // Throws IoError when out failed: the failed file is emptied (a file cut short
  // must not look complete); the message names the other files of the run,
  // which end where the run stopped.
  void Check(std::ofstream& out, const std::string& path);
  std::ofstream trace_;
  std::ofstream log_;
  std::ofstream ions_;
  std::string tracePath_, logPath_, ionPath_;
  std::string line_;  // reused for every line
};

// Empties a file, as a save command does when its result is not confirmed.
void EmptyFile(const std::string& path);

// The save commands: runs the clamp writing the trace file in mode 1..4 (mode
// 4 writes the output-list item), then asks the status text + ". OK?"; any
// answer but Yes empties the file. WriteMode returns to 0. Returns the run's
// deviation. A run that fails after creating the file empties it and the error
// is passed on; one that fails before (on its inputs) leaves an existing file
// as it was.
double SaveTraceRun(Session& s, Host& host, RunViewSink& views, const std::string& file, int writeMode,
                    const std::string& item = {});

}  // namespace membrix
