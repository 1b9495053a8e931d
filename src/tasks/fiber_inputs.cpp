#include "fiber/fiber.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

std::vector<TaskInput> FiberAxonInputs() {
  auto f = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::fiber, field); };
  std::vector<TaskInput> inputs;
  inputs.push_back(f(Choice("stimulation",
                            {"stimulation at soma from 1-comp. model", "steps at both ends",
                             "alpha-functions at both ends", "noise for gE, gI at soma",
                             "alpha-functions gs(t)*(V-Vrev) at both ends"},
                            "How the axon is driven")
                         .Label("Stimulation:"),
                     &FiberInputs::Stimulation));
  inputs.push_back(f(Number("alpha_hz", Unit::Hz, AtLeast(0), "Rate of the alpha functions").Label("alpha_Hz"),
                     &FiberInputs::alpha_Hz));
  inputs.push_back(f(Number("iind_left", Unit::PA, AnyNumber(), "Current at the soma end").Label("Iind_Left"),
                     &FiberInputs::Iind_Left));
  inputs.push_back(f(Number("iind_right", Unit::PA, AnyNumber(), "Current at the far end").Label("Iind_Right, pA"),
                     &FiberInputs::Iind_Right));
  inputs.push_back(f(Number("gs_left", Unit::NS, AtLeast(0), "Conductance at the soma end").Label("Gs, nS"),
                     &FiberInputs::Gs_Left));
  inputs.push_back(f(Number("gs_right", Unit::NS, AtLeast(0), "Conductance at the far end"), &FiberInputs::Gs_Right));
  inputs.push_back(f(Number("vrev_left", Unit::MV, Between(-200, 200), "Its reversal at the soma end").Label("Vrev, mV"),
                     &FiberInputs::Vrev_Left));
  inputs.push_back(f(Number("vrev_right", Unit::MV, Between(-200, 200), "Its reversal at the far end"),
                     &FiberInputs::Vrev_Right));
  inputs.push_back(f(Number("w_na", Unit::None, AtLeast(0), "Na of the axon against the soma's (0 removes it)")
                         .Label("disbalance of gNa, w="),
                     &FiberInputs::wNa));
  inputs.push_back(f(Number("w_k", Unit::None, AtLeast(0), "K of the axon against the soma's")
                         .Label("disbalance of gK,    w="),
                     &FiberInputs::wK));
  inputs.push_back(f(Integer("homogeneous", Between(0, 1), "1: the same gNa, gK all along the axon")
                         .Label("Homogeneous gNa, gK in axon"),
                     &FiberInputs::Homogeneous));
  inputs.push_back(f(Integer("right_half_passive", Between(0, 1), "1: the far half of the axon is passive")
                         .Label("Right half of axon is passive"),
                     &FiberInputs::RightHalfPassive));
  inputs.push_back(f(Integer("no_adaptation", Between(0, 1), "1: no adaptation currents on the axon")
                         .Label("No adaptation on the fiber"),
                     &FiberInputs::NoAdaptation));
  inputs.push_back(f(Choice("na_distribution",
                            {"linear: gNa-decrease; gNaR-increase", "NaThreshShift is linear", "homogeneous",
                             "Na-soma, NaR- right half of axon", "fiber is passive", "AHP and KM grows up to z=L"},
                            "Na along the axon"),
                     &FiberInputs::NaDistribution));
  inputs.push_back(f(Choice("k_distribution",
                            {"Nothing", "gK, gKA follow gNaR (scaled at the soma)",
                             "gK, gKA follow gNaR (scaled at the far end)", "K, KA - right half of axon"},
                            "K along the axon"),
                     &FiberInputs::KDistribution));
  inputs.push_back(f(Number("diam", Unit::Um, Above(0), "Axon diameter").Label("diam, mum"), &FiberInputs::diam));
  inputs.push_back(f(Number("length", Unit::Um, Above(0), "Axon length").Label("L, mum"), &FiberInputs::L));
  inputs.push_back(f(Number("rl", Unit::OhmCm, Above(0), "Axial resistivity").Label("RL, Ohm*cm:"), &FiberInputs::RL));
  inputs.push_back(f(Integer("segments", Between(1, 500), "Segments of the axon").Label("N"), &FiberInputs::N));
  inputs.push_back(f(Number("tau_noise_fiber_ms", Unit::Ms, AtLeast(0), "Soma noise: time constant")
                         .Label("tau_noise, ms")
                         .Aka("tau-noise-fiber"),
                     &FiberInputs::tau_noise));
  inputs.push_back(f(Number("ampl_ge", Unit::MSCm2, AtLeast(0), "Soma noise: amplitude of gE").Label("Ampl_gE, mS/cm^2"),
                     &FiberInputs::Ampl_gE));
  inputs.push_back(f(Number("ampl_gi", Unit::MSCm2, AtLeast(0), "Soma noise: amplitude of gI").Label("Ampl_gl, mS/cm^2"),
                     &FiberInputs::Ampl_gI));
  inputs.push_back(f(Number("mean_ge", Unit::MSCm2, AtLeast(0), "Soma noise: mean gE").Label("mean_gE, mS/cm^2"),
                     &FiberInputs::mean_gE));
  inputs.push_back(f(Number("mean_gi", Unit::MSCm2, AtLeast(0), "Soma noise: mean gI").Label("mean_gI, mS/cm^2"),
                     &FiberInputs::mean_gI));
  return inputs;
}

}  // namespace membrix
