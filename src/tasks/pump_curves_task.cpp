// The steady-state Na-K pump characteristics as a task: three blocks of the
// pump current of each isoform, against Nai, Ko and V.

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/error.h"
#include "common/number_format.h"
#include "ions/ion_dynamics.h"
#include "run/session.h"
#include "tasks/model_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

// One column file line: x and the two isoforms' currents.
void AppendRow(std::string& line, double x, double a1, double a2) {
  AppendFixed(line, x, 10, 3);
  line += ' ';
  AppendFixed(line, a1, 12, 6);
  line += ' ';
  AppendFixed(line, a2, 12, 6);
  line += '\n';
}

void RunPumpCurves(TaskCall& call) {
  Session& s = call.s;
  if (!call.values.Given("out")) throw RangeError("--out is required: name the column file to write");
  const std::string& path = call.values.Text("out");
  const PumpCharacteristics pc = PlotPumpCharacteristics(s);
  std::string text;
  bool first = true;
  for (const PumpCurve* c : {&pc.ofNai, &pc.ofKo, &pc.ofV}) {
    if (!first) text += '\n';
    first = false;
    for (std::size_t k = 0; k < c->x.size(); ++k) AppendRow(text, c->x[k], c->alpha1[k], c->alpha2[k]);
  }
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  if (!out) throw IoError(path, std::strerror(errno));
  out << text;
  out.close();
  if (!out) throw IoError(path, "writing failed");
  call.written = {"out"};
  const int type = s.ionInputs.PumpType;
  (*call.results)["pump_type"] =
      type >= 0 && type < static_cast<int>(std::size(kPumpTypeNames)) ? kPumpTypeNames[type] : "?";
  (*call.results)["points"] = pc.ofNai.x.size() + pc.ofKo.x.size() + pc.ofV.x.size();
}

TaskDeclaration MakePumpCurvesTask() {
  TaskDeclaration t;
  t.name = "pump-curves";
  t.summary =
      "The steady-state Na-K pump characteristics (\"NaK-pump plots\") at saturating conditions, as a column "
      "file of three blocks separated by a blank line: the pump current of each isoform (µA/cm²) against "
      "Nai = 1..100 mM (Ko 100 mM, V +20 mV), against Ko = 0.5..50 mM (Nai 200 mM, V +20 mV) and against "
      "V = -100..0 mV (Nai 200 mM, Ko 100 mM). Columns: x, \"with Nai_alpha1\", \"with Nai_alpha2\".";
  t.example = "--pump-type 2 --out pump_curves.dat";
  t.inputs = ModelInputs(false);
  auto ion = [](TaskInput in, auto field) { return BindField(std::move(in), &Session::ionInputs, field); };
  t.inputs.push_back(ion(Choice("pump_type", {std::begin(kPumpTypeNames), std::end(kPumpTypeNames)},
                                "Na-K pump type")
                             .Label("Na-K pump type"),
                         &IonInputs::PumpType));
  t.inputs.push_back(ion(Number("nak1", Unit::UACm2, AtLeast(0), "Maximal current of pump isoform 1").Label("NaK,1"),
                         &IonInputs::NaK1));
  t.inputs.push_back(ion(Number("nak2", Unit::UACm2, AtLeast(0), "Maximal current of pump isoform 2").Label("NaK,2"),
                         &IonInputs::NaK2));
  t.inputs.push_back(ion(Number("nai_alpha1", Unit::MM, AtLeast(0), "Na affinity of isoform 1"),
                         &IonInputs::Nai_alpha1));
  t.inputs.push_back(ion(Number("nai_alpha2", Unit::MM, AtLeast(0), "Na affinity of isoform 2"),
                         &IonInputs::Nai_alpha2));
  t.inputs.push_back(ion(Number("dv1", Unit::MV, Above(0), "Voltage slope of isoform 1 (Dobretsov-Stimers)")
                             .Label("dV,1"),
                         &IonInputs::dV1));
  t.inputs.push_back(ion(Number("dv2", Unit::MV, Above(0), "Voltage slope of isoform 2 (Dobretsov-Stimers)")
                             .Label("dV,2"),
                         &IonInputs::dV2));
  t.inputs.push_back(OutFile("out", FileKind::WholeResult, "", "The column file to write (required)"));
  t.run = RunPumpCurves;
  return t;
}

}  // namespace

const TaskDeclaration& PumpCurvesTask() {
  static const TaskDeclaration task = MakePumpCurvesTask();
  return task;
}

}  // namespace membrix
