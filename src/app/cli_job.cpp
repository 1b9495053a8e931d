#include "app/cli_job.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "run/independent_runs.h"

#ifdef MEMBRIX_HAVE_MPI
#include <mpi.h>
#endif

namespace membrix {

namespace {

#ifdef MEMBRIX_HAVE_MPI
// Started by a launcher of MPI jobs (Open MPI's mpirun, or a PMI launcher such as srun).
bool StartedByLauncher() {
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"}) {
    if (std::getenv(name) != nullptr) return true;
  }
  return false;
}

constexpr int kResultTag = 27;

class MpiPartition final : public RunPartition {
 public:
  MpiPartition(int rank, int size) : rank_(rank), size_(size) {}
  int Processes() const override { return size_; }
  int Process() const override { return rank_; }
  void Send(const std::string& bytes) override {
    MPI_Send(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, 0, kResultTag, MPI_COMM_WORLD);
  }
  std::optional<std::string> Receive(int process, const Host& host) override {
    // The writer polls, so that a stop reaches it while a helper computes.
    for (;;) {
      int ready = 0;
      MPI_Status status;
      MPI_Iprobe(process, kResultTag, MPI_COMM_WORLD, &ready, &status);
      if (ready) {
        int size = 0;
        MPI_Get_count(&status, MPI_BYTE, &size);
        std::string bytes(static_cast<std::size_t>(size), '\0');
        MPI_Recv(bytes.data(), size, MPI_BYTE, process, kResultTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        return bytes;
      }
      if (host.StopRequested()) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

 private:
  int rank_, size_;
};

std::unique_ptr<MpiPartition> partition;
#endif

}  // namespace

JobProcesses::JobProcesses(int& argc, char**& argv) {
#ifdef MEMBRIX_HAVE_MPI
  if (!StartedByLauncher()) return;
  MPI_Init(&argc, &argv);
  joined_ = true;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
  if (size_ > 1) {
    partition = std::make_unique<MpiPartition>(rank_, size_);
    SetRunPartition(partition.get());
  }
  // What a command prints is printed once, by the writer.
  if (rank_ != 0 && std::freopen("/dev/null", "w", stdout) == nullptr) std::cout.setstate(std::ios::badbit);
#else
  (void)argc, (void)argv;
#endif
}

JobProcesses::~JobProcesses() {
#ifdef MEMBRIX_HAVE_MPI
  if (!joined_) return;
  SetRunPartition(nullptr);
  std::cout.flush();
  MPI_Finalize();
#endif
}

int JobProcesses::Finish(int status) {
#ifdef MEMBRIX_HAVE_MPI
  if (joined_ && Shared() && status != 0) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    MPI_Abort(MPI_COMM_WORLD, status);
  }
#endif
  return status;
}

int JobProcesses::Fail(const std::string& message, int status) {
#ifdef MEMBRIX_HAVE_MPI
  if (Shared()) {
    if (Helper()) {
      // Input every process reads alike fails in the writer too, which then
      // ends the job with its message; a helper speaks only for its own fault.
      std::this_thread::sleep_for(std::chrono::seconds(2));
      std::cerr << message << " (process " << rank_ << " of " << size_ << ")\n" << std::flush;
    } else {
      std::cerr << message << "\n" << std::flush;
    }
    MPI_Abort(MPI_COMM_WORLD, status);
  }
#endif
  std::cerr << message << "\n";
  return status;
}

}  // namespace membrix
