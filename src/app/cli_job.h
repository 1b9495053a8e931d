#pragma once
// The processes of a job started by mpirun or srun: process 0 writes the files,
// the others compute their share of the runs and send it there. Without MPI in
// the build, or started on its own, the batch tool is a single process.

#include <string>

namespace membrix {

class JobProcesses {
 public:
  JobProcesses(int& argc, char**& argv);
  ~JobProcesses();
  JobProcesses(const JobProcesses&) = delete;
  JobProcesses& operator=(const JobProcesses&) = delete;

  bool Shared() const { return size_ > 1; }
  bool Helper() const { return rank_ != 0; }
  // Ends the command with an error: prints the message once for the whole job
  // and, in a shared job, ends every process. Returns the exit status (1, or
  // 2 for a value the command does not accept).
  int Fail(const std::string& message, int status = 1);
  // The exit status of the process. In a shared job a process that ends
  // otherwise than well ends the whole job, so that none waits for it.
  int Finish(int status);

 private:
  int rank_ = 0, size_ = 1;
  bool joined_ = false;
};

}  // namespace membrix
