#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/procedural_neuron.h"
#include "common/error.h"
#include "fiber/fiber.h"
#include "ions/ion_dynamics.h"
#include "params/imported_channels.h"
#include "params/model_menus.h"
#include "params/model_defaults.h"
#include "params/parameter_file.h"
#include "run/clamp_run.h"
#include "run/output_variables.h"
#include "run/trace_files.h"
#include "run/host.h"
#include "run/run_view_sink.h"
#include "run/session.h"

namespace membrix {
namespace {

const std::string kSquidFile = std::string(MEMBRIX_SOURCE_DIR) + "/resources/neuroml/squid_axon.nml";

class SpikeTimes final : public RunViewSink {
 public:
  void Spike(double tSpike) override { times.push_back(tSpike); }
  std::vector<double> times;
};

// The squid axon under a steady 10 µA/cm² for 1 s, firing tonically.
Session SquidSession() {
  Session s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  s.stim.Iind = 0.0;
  s.stim.uu = 0.01;
  s.stim.ss = 0.0;
  s.run.t_end = 1.0;
  return s;
}

// The family's own Na and K replaced by their NeuroML form, with the same
// maximal conductances and reversal potentials.
void UseNeuroMLSquidChannels(Session& s) {
  ImportedChannel na = ImportChannel(kSquidFile + "#na_squid:0:0");
  ImportedChannel k = ImportChannel(kSquidFile + "#k_squid:0:0");
  na.g = s.NP0.gNa, na.E = s.NP0.VNa;
  k.g = s.NP0.gK, k.E = s.NP0.VK;
  AddImportedChannel(s.NP0, na);
  AddImportedChannel(s.NP0, k);
  s.NP0.gNa = s.NP0.gK = 0.0;
}

std::vector<double> Spikes(Session& s) {
  BatchHost host;
  SpikeTimes spikes;
  RunClamp(s, host, spikes);
  return spikes.times;
}

// The squid axon's own channels, read from their NeuroML form in place of the
// family's built-in ones, give the built-in family's spike train.
TEST(ImportedChannels, TheSquidAxonInNeuroMLFiresAsTheBuiltInFamily) {
  Session builtIn = SquidSession();
  const std::vector<double> expected = Spikes(builtIn);
  ASSERT_GT(expected.size(), 20u);

  Session imported = SquidSession();
  const double gNa = imported.NP0.gNa, gK = imported.NP0.gK;
  const double VNa = imported.NP0.VNa * 1000.0, VK = imported.NP0.VK * 1000.0;
  imported.NP0.gNa = imported.NP0.gK = 0.0;
  AddImportedChannel(imported.NP0, ImportChannel(kSquidFile + "#na_squid:" + std::to_string(gNa) + ":" +
                                                 std::to_string(VNa)));
  AddImportedChannel(imported.NP0, ImportChannel(kSquidFile + "#k_squid:" + std::to_string(gK) + ":" +
                                                 std::to_string(VK)));
  const std::vector<double> times = Spikes(imported);
  ASSERT_EQ(times.size(), expected.size());
  for (std::size_t k = 0; k < times.size(); ++k) {
    EXPECT_NEAR(times[k] * 1000.0, expected[k] * 1000.0, 1e-6) << "spike " << k + 1;
  }
}

// A trace file takes an imported channel's current or gate by its NeuroML id.
TEST(ImportedChannels, TraceFilesWriteTheirCurrentsAndGatesByTheirIds) {
  Session s = SquidSession();
  s.run.t_end = 0.02;
  AddImportedChannel(s.NP0, ImportChannel(kSquidFile + "#k_squid:1:-72"));
  EXPECT_EQ(ImportedOutputVariables(s.NP0), (std::vector<std::string>{"I_k_squid", "k_squid.n"}));
  const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "imported_channels_trace";
  std::filesystem::create_directories(dir);
  BatchHost host;
  NullRunViewSink views;
  for (const char* item : {"I_k_squid", "k_squid.n"}) {
    const std::string file = (dir / (std::string(item) + ".dat")).string();
    SaveTraceRun(s, host, views, file, 4, item);
    std::ifstream in(file);
    double t = 0.0, x = 0.0, lowest = 1e9, highest = -1e9;
    int lines = 0;
    while (in >> t >> x) {
      ++lines;
      lowest = std::min(lowest, x);
      highest = std::max(highest, x);
    }
    EXPECT_GT(lines, 100) << item;
    EXPECT_LT(lowest, highest) << item << ": the squid axon fires, its K current and gate move";
    if (std::string(item) == "k_squid.n") {
      EXPECT_GT(lowest, 0.0);
      EXPECT_LT(highest, 1.0);
    } else {
      EXPECT_GT(highest, 0.0) << "outward during the spike";
    }
  }
  EXPECT_THROW(SaveTraceRun(s, host, views, (dir / "x.dat").string(), 4, "I_kdr"), RangeError);
}

TEST(ImportedChannels, ATextNamesAFileItsChannelAndTheirValues) {
  const ImportedChannel k = ImportChannel(kSquidFile + "#k_squid:36:-72");
  EXPECT_EQ(k.kinetics.id, "k_squid");
  EXPECT_DOUBLE_EQ(k.g, 36.0);
  EXPECT_DOUBLE_EQ(k.E, -0.072);

  const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "imported_channels";
  std::filesystem::create_directories(dir);
  const std::string one = (dir / "one.nml").string();
  std::ofstream(one) << "<neuroml><ionChannelHH id=\"leak\"/></neuroml>\n";
  EXPECT_EQ(ImportChannel(one + ":0.1:-70").kinetics.id, "leak");  // a file of one channel needs no id

  const struct {
    std::string text;
    const char* expected;
  } bad[] = {
      {kSquidFile + ":36:-72", "holds 2 channels (na_squid, k_squid): name one"},
      {kSquidFile + "#kdr:36:-72", "holds no channel with the id \"kdr\""},
      {kSquidFile + "#k_squid:36", "expected FILE[#ID]:G:E"},
      {kSquidFile + "#k_squid:3x6:-72", "the conductance density \"3x6\" is not a number"},
      {kSquidFile + "#k_squid:-1:-72", "must not be negative"},
  };
  for (const auto& c : bad) {
    try {
      ImportChannel(c.text);
      ADD_FAILURE() << "accepted " << c.text;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
    }
  }

  NeuronProperties np;
  AddImportedChannel(np, k);
  EXPECT_THROW(AddImportedChannel(np, k), RangeError);  // one id once
}

// What does not carry imported channels yet says so instead of leaving them
// out: the fast point neuron of the analyses.
TEST(ImportedChannels, TheFastNeuronRefusesThem) {
  Session s = SquidSession();
  AddImportedChannel(s.NP0, ImportChannel(kSquidFile + "#k_squid:1:-72"));
  ProceduralGlobals g;
  EXPECT_THROW(ProceduralRest(s, g), RangeError);
}

// The time a spike from the soma's end first crosses −20 mV at the far end
// of a squid axon whose nodes carry the family's own Na and K or their
// NeuroML form.
double ArrivalAtTheFarEnd(bool imported, int naDistribution = 2) {
  Session s = SquidSession();
  s.stim.uu = 0.0;
  s.run.dt = 2e-5;
  if (imported) UseNeuroMLSquidChannels(s);
  FiberInputs in;
  in.Stimulation = FiberStimulation::EndSteps;
  in.Iind_Left = 3000.0;
  in.NaDistribution = naDistribution;
  in.N = 50;
  in.L = 1500.0;
  auto fiber = SetupFiber(s, in);
  InitFiber(s, *fiber);
  if (imported && naDistribution == 4) {
    // A passive axon: the channels stay at the soma only.
    EXPECT_EQ(fiber->Nodes[0]->NP.Imported[0].g, 120.0);
    EXPECT_EQ(fiber->Nodes[1]->NP.Imported[0].g, 0.0);
    EXPECT_EQ(fiber->Nodes[50]->NP.Imported[1].g, 0.0);
  }
  for (int n = 1; n <= 2000; ++n) {
    s.run.nt = n;
    s.run.t = n * s.run.dt;
    fiber->ClearInputs();
    StimulateFiber(s, *fiber);
    StepFiber(s, *fiber, s.run.t);
    if (fiber->V[50] > -0.02) return s.run.t;
  }
  return -1.0;
}

// The axon's nodes carry imported channels as the clamp run's neuron does:
// the squid axon's Na and K in their NeuroML form conduct the spike as the
// family's own do; a passive axon leaves them at the soma.
TEST(ImportedChannels, TheFiberConductsWithThem) {
  const double builtIn = ArrivalAtTheFarEnd(false);
  ASSERT_GT(builtIn, 0.0);
  EXPECT_NEAR(ArrivalAtTheFarEnd(true), builtIn, 1e-12);
  EXPECT_EQ(ArrivalAtTheFarEnd(true, 4), -1.0);
}

// Under ion dynamics the squid axon's Na and K in their NeuroML form follow
// the Nernst potentials of their ions and load the concentrations as the
// family's own currents do; step by step, under the reversal rules that keep
// the offsets and the one that drops them, a channel of no tracked ion keeps
// its reversal.
TEST(ImportedChannels, UnderIonDynamicsTheyFollowTheirIons) {
  {
    const int item = 0;
    auto run = [&](bool imported, Session& s) {
      s = SquidSession();
      s.run.t_end = 0.3;
      s.ionInputs.IonDynamics = 1;
      s.ionInputs.VL_Item = item;
      if (imported) UseNeuroMLSquidChannels(s);
      return Spikes(s);
    };
    Session builtIn, imported;
    const std::vector<double> expected = run(false, builtIn);
    const std::vector<double> got = run(true, imported);
    ASSERT_GE(expected.size(), 1u) << "item " << item;
    ASSERT_EQ(got.size(), expected.size()) << "item " << item;
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 1e-9) << "spike " << i;
    ASSERT_GT(builtIn.Ions.Nai, 10.001);  // the spikes loaded Na
    EXPECT_NEAR(imported.Ions.Nai, builtIn.Ions.Nai, 1e-9);
    EXPECT_NEAR(imported.Ions.Ki, builtIn.Ions.Ki, 1e-9);
  }

  // Step by step: the reversal of a Na or K channel moves as VNa and VK do,
  // that of a channel of another ion stays.
  for (int item : {0, 1}) {
    Session s = SquidSession();
    for (const char* id : {"na_squid", "k_squid"})
      AddImportedChannel(s.NP0, ImportChannel(kSquidFile + "#" + std::string(id) + ":1:0"));
    ImportedChannel ca = ImportChannel(kSquidFile + "#k_squid:1:120");
    ca.kinetics.id = "ca_like";
    ca.kinetics.species = "ca";
    AddImportedChannel(s.NP0, ca);
    NeuronProperties& np = s.NP0;
    np.Imported[0].E = np.VNa;
    np.Imported[1].E = np.VK;
    IonInputs in;
    in.IonDynamics = 1;
    in.VL_Item = item;
    in.gamma = 0.0;  // the concentrations move only by hand
    TIons ions;
    ions.Setup(np, in);
    ions.Nai = 20.0, ions.Ki = 120.0;
    const double VNaBefore = np.VNa;
    NeuronVariables nv;
    nv.V = np.Vrest;
    ions.Advance(np, nv, 5e-5);
    ASSERT_NE(np.VNa, VNaBefore);  // the Nernst potentials moved
    EXPECT_EQ(np.Imported[0].E, np.VNa) << "item " << item;
    EXPECT_EQ(np.Imported[1].E, np.VK) << "item " << item;
    EXPECT_EQ(np.Imported[2].E, 0.12) << "item " << item;
  }
}

// A parameter file names its imported channels by number in the neuron's
// section, the file in its own folder; a file opened later without them
// leaves the neuron without them.
TEST(ImportedChannels, AParameterFileNamesTheChannelsOfItsNeuron) {
  const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "imported_channels_id";
  std::filesystem::create_directories(dir);
  std::filesystem::copy_file(kSquidFile, dir / "squid_axon.nml", std::filesystem::copy_options::overwrite_existing);
  const auto write = [&](const std::string& name, const std::string& neuron) {
    std::ofstream(dir / name) << "CommonParametersFromFile\n  t_end := 0.05;\nMembrixPhysParameters\n"
                                 "  NP0.HH_type := 'Rariza';\n  MembrixPhysParameters(NP) := 1;\n"
                              << neuron << "KeepParams=0\nend.\n";
    return (dir / name).string();
  };
  const std::string both = write("both.id",
                                 "  NP0.gNa := 0;  NP0.gK := 0;\n"
                                 "  NeuroMLChannel[1] := 'squid_axon.nml(na_squid)';  gNeuroML[1] := 120;\n"
                                 "  ENeuroML[1] := 0.055;\n"
                                 "  gNeuroML[2] := 36;  ENeuroML[2] := -0.072;\n"
                                 "  NeuroMLChannel[2] := squid_axon.nml(k_squid);\n");
  Session s;
  ApplyProgramStart(s);
  LoadParameterFile(s, both);
  ASSERT_EQ(s.NP0.Imported.size(), 2u);
  EXPECT_EQ(s.NP0.Imported[0].kinetics.id, "na_squid");
  EXPECT_DOUBLE_EQ(s.NP0.Imported[0].g, 120.0);
  EXPECT_DOUBLE_EQ(s.NP0.Imported[1].E, -0.072);
  EXPECT_EQ(s.NP0.Imported[1].kinetics.gates.size(), 1u);

  LoadParameterFile(s, write("none.id", ""));
  EXPECT_TRUE(s.NP0.Imported.empty());

  const struct {
    const char* neuron;
    int line;
    const char* expected;
  } bad[] = {
      {"  NeuroMLChannel[1] := 'squid_axon.nml';\n", 6, "holds 2 channels"},
      {"  NeuroMLChannel[1] := 'squid_axon.nml(kdr)';\n", 6, "holds no channel with the id \"kdr\""},
      {"  NeuroMLChannel[1] := 'missing.nml';\n", 6, "missing.nml"},
      {"  gNeuroML[3] := 1;\n", 0, "gNeuroML[3] or ENeuroML[3] is given without NeuroMLChannel[3]"},
      {"  NeuroMLChannel[1] := 'squid_axon.nml(k_squid)';  NeuroMLChannel[2] := 'squid_axon.nml(k_squid)';\n", 0,
       "an imported channel \"k_squid\" already"},
      {"  gNeuroML[1] := -1;\n", 6, "must not be negative"},
  };
  for (const auto& c : bad) {
    Session t;
    ApplyProgramStart(t);
    try {
      LoadParameterFile(t, write("bad.id", c.neuron));
      ADD_FAILURE() << "accepted " << c.neuron;
    } catch (const FormatError& e) {
      EXPECT_EQ(e.line(), c.line) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << c.neuron << " gave " << e.what();
    }
  }
}

}  // namespace
}  // namespace membrix
