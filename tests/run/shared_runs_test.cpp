#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run/independent_runs.h"
#include "run/session.h"

namespace membrix {
namespace {

// The processes of a job played in one process: the helpers run first and
// leave their results in mailboxes; the writer then reads them from there.
struct Mailboxes {
  std::map<int, std::deque<std::string>> boxes;
};

class FakePartition final : public RunPartition {
 public:
  FakePartition(Mailboxes& mail, int process, int processes) : mail_(mail), process_(process), processes_(processes) {}
  int Processes() const override { return processes_; }
  int Process() const override { return process_; }
  void Send(const std::string& bytes) override { mail_.boxes[process_].push_back(bytes); }
  std::optional<std::string> Receive(int process, const Host& host) override {
    auto& box = mail_.boxes[process];
    if (box.empty() || host.StopRequested()) return std::nullopt;  // a real writer would wait here
    std::string bytes = box.front();
    box.pop_front();
    return bytes;
  }

 private:
  Mailboxes& mail_;
  int process_, processes_;
};

// A result with a curve, so that it needs a codec.
struct Curve {
  std::int64_t index = 0;
  std::vector<double> values;
};

// What a run computes: its index and draws from the run's generator.
Curve Compute(Session& copy, std::int64_t i) {
  Curve c{i, {}};
  for (std::int64_t k = 0; k <= i % 4; ++k) c.values.push_back(copy.random.Normal(0.0, 1.0));
  return c;
}

class PartitionScope {
 public:
  explicit PartitionScope(RunPartition* p) { SetRunPartition(p); }
  ~PartitionScope() { SetRunPartition(nullptr); }
};

}  // namespace

template <>
struct SharedCodec<Curve> {
  static void Write(std::string& out, const Curve& c) {
    PutShared(out, c.index);
    PutShared(out, c.values);
  }
  static void Read(SharedReader& in, Curve& c) {
    in.Get(c.index);
    in.Get(c.values);
  }
};

namespace {

std::vector<Curve> Job(int processes, std::int64_t count, int workers, bool* stopped = nullptr) {
  Session s;
  s.parallel.workers = workers;
  BatchHost host;
  Mailboxes mail;
  auto run = [](Session& copy, Host&, std::int64_t i) { return Compute(copy, i); };
  for (int p = 1; p < processes; ++p) {
    FakePartition helper(mail, p, processes);
    PartitionScope scope(&helper);
    EXPECT_THROW(RunShared<Curve>(s, host, count, run, [](std::int64_t, Curve&&) { ADD_FAILURE(); }),
                 HelperFinished);
  }
  FakePartition writer(mail, 0, processes);
  PartitionScope scope(processes > 1 ? &writer : nullptr);
  std::vector<Curve> got;
  const RunsOutcome outcome = RunShared<Curve>(s, host, count, run, [&](std::int64_t i, Curve&& c) {
    EXPECT_EQ(i, static_cast<std::int64_t>(got.size()));
    got.push_back(std::move(c));
  });
  EXPECT_EQ(outcome.delivered, static_cast<std::int64_t>(got.size()));
  if (stopped != nullptr) *stopped = outcome.stopped;
  return got;
}

TEST(SharedRuns, WriterDeliversEveryIndexInOrderWithTheResultsOfOneProcess) {
  const std::vector<Curve> alone = Job(1, 11, 2);
  ASSERT_EQ(alone.size(), 11u);
  // Fewer runs than processes, a count that does not divide, and more processes than runs.
  for (auto [processes, count] : {std::pair{2, 11}, std::pair{3, 11}, std::pair{4, 3}, std::pair{5, 2}}) {
    SCOPED_TRACE(testing::Message() << processes << " processes, " << count << " runs");
    const std::vector<Curve> shared = Job(processes, count, 2);
    ASSERT_EQ(shared.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(shared[i].index, i);
      EXPECT_EQ(shared[i].values, alone[i].values);  // the run's own generator, wherever it ran
    }
  }
}

TEST(SharedRuns, ResultThatDoesNotArriveEndsTheRunsAsStoppedKeepingThoseBefore) {
  // A helper whose results never come: the writer's Receive answers nothing
  // (the stop) and the results before the first missing one are kept.
  Session s;
  BatchHost host;
  Mailboxes mail;
  FakePartition writer(mail, 0, 2);
  PartitionScope scope(&writer);
  std::vector<std::int64_t> got;
  const RunsOutcome outcome = RunShared<Curve>(
      s, host, 6, [](Session& copy, Host&, std::int64_t i) { return Compute(copy, i); },
      [&](std::int64_t i, Curve&&) { got.push_back(i); });
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.delivered, 1);
  EXPECT_EQ(got, std::vector<std::int64_t>{0});
}

TEST(SharedRuns, DamagedBytesAreAnErrorNotAResult) {
  Curve c{3, {1.0, 2.0}};
  std::string bytes;
  SharedCodec<Curve>::Write(bytes, c);
  for (const std::string& damaged : {bytes.substr(0, bytes.size() - 1), bytes + "x", std::string(4, '\xff')}) {
    Curve back;
    SharedReader in(damaged);
    EXPECT_THROW(
        {
          SharedCodec<Curve>::Read(in, back);
          in.End();
        },
        std::runtime_error);
  }
}

}  // namespace
}  // namespace membrix
