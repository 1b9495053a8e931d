#include "run/trace_files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "common/error.h"
#include "common/number_format.h"
#include "ions/ion_dynamics.h"
#include "run/clamp_run.h"
#include "run/output_variables.h"
#include "run/recording.h"
#include "run/session.h"

namespace membrix {

namespace {

std::ofstream OpenEmpty(const std::string& path) {
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  if (!out) throw IoError(path, std::strerror(errno));
  return out;
}

// Whether two paths name one file: the same file when both exist, else the
// same path once made absolute and normal.
bool SameFile(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) {
    const bool same = fs::equivalent(a, b, ec);
    if (!ec) return same;
  }
  const fs::path pa = fs::weakly_canonical(fs::absolute(a, ec), ec);
  const fs::path pb = fs::weakly_canonical(fs::absolute(b, ec), ec);
  return pa.lexically_normal() == pb.lexically_normal();
}

}  // namespace

void CheckRunOutputs(const Session& s) {
  struct Named {
    std::string path;
    const char* what;
  };
  std::vector<Named> inputs, outputs;
  if (!s.rec.IdFileName.empty()) inputs.push_back({s.rec.IdFileName, "the parameter file of the run"});
  const std::string& entry = s.rec.SmplFile[s.rec.Smpl];
  if (NamesRecordingFile(entry)) inputs.push_back({RecordingPath(s, entry), "the recording of the run"});
  if (s.run.WriteMode != 0) outputs.push_back({s.trace.TraceFile, "the trace file"});
  if (s.run.Writing == 1) {
    outputs.push_back({RunLogFileName(entry), "the run log"});
    outputs.push_back({kIonFileName, "the ion file"});
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (const Named& in : inputs) {
      if (SameFile(outputs[i].path, in.path)) {
        throw IoError(outputs[i].path, std::string("is ") + in.what + "; " + outputs[i].what +
                                           " would overwrite it: choose another file");
      }
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFile(outputs[i].path, outputs[j].path)) {
        throw IoError(outputs[i].path, std::string(outputs[j].what) + " and " + outputs[i].what +
                                           " cannot share one file: choose another file");
      }
    }
  }
}

std::string RunLogFileName(const std::string& recordingEntry) { return recordingEntry + "at"; }

std::string TraceStatusText(int writeMode, const std::string& item) {
  switch (writeMode) {
    case 1: return "Written columns are: 1-t(ms)  2-V(mV)";
    case 2: return "Written columns are: 1-t(ms)  2-Exp.Curve(Volts or pA) 3-Mod.Curve(Volts or pA)";
    case 3: return "Written columns are: 1-t(ms)  2-mmR  3-hhR";
    case 4: return "Written columns are: 1-t(ms)  2-" + item;
    default: return {};
  }
}

void RunFiles::Open(Session& s) {
  CheckRunOutputs(s);
  if (s.run.WriteMode != 0) {
    tracePath_ = s.trace.TraceFile;
    trace_ = OpenEmpty(tracePath_);
    s.trace.Created = true;
  }
  OpenLog(s);
}

void RunFiles::OpenLog(const Session& s) {
  if (s.run.Writing == 1) {
    logPath_ = RunLogFileName(s.rec.SmplFile[s.rec.Smpl]);
    log_ = OpenEmpty(logPath_);
    ionPath_ = kIonFileName;
    ions_ = OpenEmpty(ionPath_);
  }
}

void RunFiles::Check(std::ofstream& out, const std::string& path) {
  if (out.good()) return;
  const std::string reason = errno != 0 ? std::strerror(errno) : "the file could not be written";
  out.close();
  EmptyFile(path);  // a file cut short must not look like a complete trace
  std::string others;
  for (auto [file, name] : {std::pair{&trace_, &tracePath_}, std::pair{&log_, &logPath_}, std::pair{&ions_, &ionPath_}}) {
    if (file == &out || !file->is_open()) continue;
    file->close();
    others += (others.empty() ? "" : ", ") + *name;
  }
  if (!others.empty()) others = "; " + others + " end where the run stopped";
  throw IoError(path, "writing failed: " + reason + " (the file is left empty)" + others);
}

void RunFiles::WriteLog(const Session& s, const TIons& ions) {
  if (!log_.is_open()) return;
  const NeuronProperties& np = s.NP0;
  double recorded = s.ExpData.At(s.run.nt, s.rec.Smpl);
  double model = s.run.Vr;
  if (np.If_I_V_or_g == 2 || np.If_I_V_or_g == 7) {
    recorded = (recorded + np.Vrest) * 1000.0;
    model = (model + np.Vrest) * 1000.0;
  }
  line_.clear();
  AppendFixed(line_, s.run.t * 1000.0, 10, 5);
  line_ += ' ';
  AppendScientific(line_, recorded, 11);
  line_ += ' ';
  AppendScientific(line_, model, 12);
  line_ += ' ';
  AppendScientific(line_, s.NV0.Vprev * 1000.0, 12);
  line_ += '\n';
  log_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
  Check(log_, logPath_);
  line_.clear();
  ions.WriteLine(s, line_);
  if (!line_.empty()) {
    ions_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
    Check(ions_, ionPath_);
  }
}

void RunFiles::WriteTrace(const Session& s) {
  if (!trace_.is_open()) return;
  const NeuronVariables& nv = s.NV0;
  line_.clear();
  AppendFixed(line_, s.run.nt * s.run.dt * 1000.0, 9, 3);
  line_ += ' ';
  switch (s.run.WriteMode) {
    case 1: AppendFixed(line_, nv.V * 1000.0, 9, 3); break;
    case 2:
      AppendFixed(line_, s.ExpData.At(s.run.nt, s.rec.Smpl), 9, 3);
      line_ += ' ';
      AppendFixed(line_, s.run.Vr, 9, 3);
      break;
    case 3:
      AppendFixed(line_, nv.mmR, 9, 3);
      line_ += ' ';
      AppendFixed(line_, nv.hhR, 9, 3);
      break;
    case 4: AppendScientific(line_, OutputVariableValue(s, s.trace.VarToWrite), 13); break;
    default: break;
  }
  line_ += '\n';
  trace_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
  Check(trace_, tracePath_);
}

void RunFiles::Close(Session& s) {
  if (s.run.WriteMode != 0) s.trace.StatusText = TraceStatusText(s.run.WriteMode, s.trace.VarToWrite);
  for (auto [file, path] : {std::pair{&trace_, &tracePath_}, std::pair{&log_, &logPath_}, std::pair{&ions_, &ionPath_}}) {
    if (!file->is_open()) continue;
    file->close();
    Check(*file, *path);
  }
}

void EmptyFile(const std::string& path) {
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  if (!out) throw IoError(path, std::strerror(errno));
}

double SaveTraceRun(Session& s, Host& host, RunViewSink& views, const std::string& file, int writeMode,
                    const std::string& item) {
  if (writeMode < 1 || writeMode > 4) throw RangeError("trace file mode " + std::to_string(writeMode));
  if (writeMode == 4 && !IsOutputVariable(item, s.NP0)) {
    throw RangeError("\"" + item + "\" is not an item of the output list \"Var to write\" or of an imported channel");
  }
  s.trace.TraceFile = file;
  s.trace.VarToWrite = item;
  s.trace.Created = false;
  s.run.WriteMode = writeMode;
  double err = 0.0;
  try {
    err = RunClamp(s, host, views);
  } catch (...) {
    s.run.WriteMode = 0;
    if (s.trace.Created) {
      try {
        EmptyFile(file);
      } catch (const IoError&) {
        // the run's own error says more
      }
    }
    throw;
  }
  s.run.WriteMode = 0;
  if (!host.Confirm(s.trace.StatusText + ". OK?")) EmptyFile(file);
  return err;
}

}  // namespace membrix
