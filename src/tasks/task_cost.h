#pragma once
// What a task will cost, known before it starts: its runs and their steps,
// the memory it holds. Beyond the machine's memory a task is refused with the
// estimate; beyond a minute at the step cost measured on this machine, the
// estimate is said before it starts.

#include <iosfwd>
#include <string>

#include "tasks/task_declaration.h"

namespace membrix {

struct Session;
struct TaskInputs;

// Seconds of one neuron-step of the session's model on this machine, measured
// on a short run of a copy.
double MeasureStepSeconds(const Session& s);

// The memory of this machine, bytes (0 when unknown).
double MachineMemoryBytes();

// Bytes a run of `steps` steps holds for a recording compared with it: the
// recording on the model grid and the model's values beside it (8 bytes a row each).
inline double RecordingTableBytes(double steps) { return 16.0 * (steps + 1.0); }

// Bytes a clamp run of the session holds for its recording, when it has one:
// the points read from the file and the table rows above (the file's size
// stands for the number of its points).
double ClampRunRecordingBytes(const Session& s, double steps);

// Refuses (RangeError) to hold `bytes` when the machine has less memory,
// saying the estimate: "this <what> would hold about 3.2 GB at once, ...".
void CheckMemory(const std::string& what, double bytes);

// The estimate of a call: runs x steps, seconds on the session's workers.
struct CostEstimate {
  TaskCost cost;
  double seconds = 0.0;
  int workers = 1;
};

// Refuses (RangeError) a call whose memory exceeds the machine's, and writes
// the estimate to notes when it will take more than kSayCostSeconds.
inline constexpr double kSayCostSeconds = 60.0;
CostEstimate CheckTaskCost(const TaskDeclaration& task, const TaskValues& values, const Session& s,
                           const TaskInputs& inputs, std::ostream& notes);

// "2 h 5 min", "3 min 20 s", "12 s".
std::string DurationText(double seconds);

}  // namespace membrix
