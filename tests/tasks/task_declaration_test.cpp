#include "tasks/task_declaration.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <set>
#include <string>

#include "common/error.h"
#include "run/independent_runs.h"
#include "run/session.h"
#include "tasks/model_inputs.h"
#include "tasks/task_inputs.h"
#include "tasks/task_summary.h"
#include "tasks/tasks.h"

namespace membrix {
namespace {

TEST(TaskInput, RefusesValuesOutsideItsDeclarationAndSaysWhatIsAllowed) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    TaskInput in;
    double value;
    bool accepted;
  } cases[] = {
      {Number("u_max", Unit::UACm2, AnyNumber(), ""), 3.5, true},
      {Number("u_max", Unit::UACm2, AnyNumber(), ""), std::nan(""), false},
      {Number("u_max", Unit::UACm2, AnyNumber(), ""), inf, false},
      {Number("u_max", Unit::UACm2, AnyNumber(), ""), -inf, false},
      {Number("step", Unit::PA, Above(0), ""), 0.0, false},
      {Number("step", Unit::PA, Above(0), ""), 1e-9, true},
      {Number("sgm_v", Unit::MV, AtLeast(0), ""), 0.0, true},
      {Number("sgm_v", Unit::MV, AtLeast(0), ""), -1e-12, false},
      {Integer("nue", Between(1, 200), ""), 200, true},
      {Integer("nue", Between(1, 200), ""), 201, false},
      {Integer("nue", Between(1, 200), ""), 2.5, false},
      {Choice("noise", {"a", "b", "c"}, ""), 2, true},
      {Choice("noise", {"a", "b", "c"}, ""), 3, false},
  };
  for (const auto& c : cases) {
    if (c.accepted) {
      EXPECT_NO_THROW(CheckInputNumber(c.in, c.value)) << c.in.name << " = " << c.value;
      continue;
    }
    try {
      CheckInputNumber(c.in, c.value);
      ADD_FAILURE() << c.in.name << " = " << c.value << " was accepted";
    } catch (const RangeError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(c.in.OptionName()), std::string::npos) << message;
      EXPECT_NE(message.find("allowed"), std::string::npos) << message;
    }
  }
}

TEST(TaskInput, ReadsChoicesByTextOrIndexAndOldSpellingsInTheirUnit) {
  const TaskInput noise = Choice("noise", {"no Noise", "Noise-current"}, "");
  EXPECT_EQ(ParseInputNumber(noise, "Noise-current"), 1.0);
  EXPECT_EQ(ParseInputNumber(noise, "0"), 0.0);
  EXPECT_THROW(ParseInputNumber(noise, "loud"), RangeError);

  const TaskInput tEnd = Number("t_end_ms", Unit::Ms, Above(0), "");
  EXPECT_DOUBLE_EQ(ParseInputNumber(tEnd, "0.25", 1000.0), 250.0);  // given in s under the old name
  for (const char* bad : {"", "fast", "1.2.3", "5ms", "1e400", "nan"}) {
    EXPECT_THROW(ParseInputNumber(tEnd, bad), RangeError) << bad;
  }
}

TEST(TaskSummary, IsStrictJsonWhateverTheNumbersAre) {
  nlohmann::ordered_json v;
  v["rate_Hz"] = std::nan("");
  v["peak"] = std::numeric_limits<double>::infinity();
  v["name"] = "a \"quoted\"\n\x01 name";
  v["points"] = {1.5, -2.0, 1e-300};
  v["count"] = 3;
  const std::string line = JsonLine(v);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const auto back = nlohmann::json::parse(line);  // throws on anything that is not JSON
  EXPECT_TRUE(back["rate_Hz"].is_null());
  EXPECT_TRUE(back["peak"].is_null());
  EXPECT_EQ(back["name"], "a \"quoted\"\n\x01 name");
  EXPECT_DOUBLE_EQ(back["points"][0].get<double>(), 1.5);
  EXPECT_EQ(back["count"], 3);
}

TEST(RunSeed, SeedZeroKeepsTheProgramsSequenceAndOtherSeedsDiffer) {
  // The starts of the program's own sequence, pinned: stored results reproduce.
  EXPECT_EQ(RunSeed(0), RunSeed(0, 0));
  EXPECT_EQ(RunSeed(7), RunSeed(7, 0));
  EXPECT_NE(RunSeed(7, 1), RunSeed(7, 0));
  EXPECT_NE(RunSeed(7, 1), RunSeed(8, 1));
}

TEST(ModelInputs, GivenInputsOverrideAndOthersLeaveTheModelAsItStands) {
  const TaskDeclaration& fi = FITask();
  TaskValues values = DefaultValues(fi);
  Session start;
  TaskInputs startInputs;
  ApplyModelInputs(start, startInputs, fi, values);
  const double startTEnd = start.run.t_end;

  values.SetNumber("t_end_ms", 250.0);
  values.SetNumber("seed", 12.0);
  values.SetNumber("step", 25.0);
  Session s;
  TaskInputs inputs;
  ApplyModelInputs(s, inputs, fi, values);
  EXPECT_DOUBLE_EQ(s.run.t_end, 0.25);
  EXPECT_EQ(s.random.seed(), 12u);
  EXPECT_DOUBLE_EQ(inputs.fi.StepIind, 25.0);                     // given: into the task inputs
  EXPECT_DOUBLE_EQ(inputs.fi.Iind_max, startInputs.fi.Iind_max);  // not given: as it was
  EXPECT_NE(startTEnd, 0.25);
}

TEST(ModelInputs, RefuseRunSettingsNoRunCanUseHoweverTheyAreSet) {
  const TaskDeclaration& fi = FITask();
  for (const char* setting : {"dt=0", "dt=-1", "t_end=-1", "n_Write=0", "n_Draw=0", "NP0.If_I_V_or_g=99"}) {
    TaskValues values = DefaultValues(fi);
    values.AddText("set", setting);
    Session s;
    TaskInputs inputs;
    EXPECT_THROW(ApplyModelInputs(s, inputs, fi, values), RangeError) << setting;
  }
}

TEST(Tasks, EveryInputIsNamedOnceAndSpeaksTheVocabulary) {
  for (const TaskDeclaration* task : AllTasks()) {
    std::set<std::string> names;
    for (const TaskInput& in : task->inputs) {
      EXPECT_TRUE(names.insert(in.name).second) << task->name << " declares " << in.name << " twice";
      for (const TaskInput::Alias& a : in.aliases) {
        EXPECT_TRUE(names.insert(a.name).second) << task->name << " spells " << a.name << " twice";
      }
      const bool ms = in.unit == Unit::Ms;
      const bool named = in.name.size() > 3 && in.name.compare(in.name.size() - 3, 3, "_ms") == 0;
      EXPECT_EQ(ms, named) << task->name << " " << in.name;
      EXPECT_TRUE(in.name.find('-') == std::string::npos) << in.name;
    }
    EXPECT_EQ(task->random, task->Find("seed") != nullptr) << task->name;
    EXPECT_TRUE(static_cast<bool>(task->run)) << task->name;
  }
}

}  // namespace
}  // namespace membrix
