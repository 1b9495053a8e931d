#pragma once
// Ion concentrations during a clamp run: the intracellular Na and K of the
// neuron evolve under its own currents, a Na-K pump of one of four types and
// the cation-chloride cotransporters KCC2 and NKCC1; the cell volume relaxes
// toward 1 against the osmotic load of the cotransport. The Nernst potentials
// follow the concentrations, and before every neuron step the neuron's
// reversal potentials are moved with them and the change of the pump current
// since the start of the run is fed back to the neuron. The imported channels
// of Na and K take part as the built-in currents of their ion do. While ion
// dynamics is off the object leaves the neuron untouched.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "neuron/neuron_variables.h"
#include "params/neuron_properties.h"

namespace membrix {

struct Session;

// The inputs of the "Ions" and "NaK-pump" pages of the parameter window, read
// by the ion dynamics when a run sets it up. Defaults are those the window
// starts with.
struct IonInputs {
  std::int32_t IonDynamics = 0;  // "Ion Dynamics"
  std::int32_t IfVolume = 0;     // "If Volume"
  std::int32_t PumpType = 1;     // "Na-K pump type": 0 Bazhenov-Kager, 1 Cressman-Wei, 2 Smith-Crampin, 3 Dobretsov-Stimers
  std::int32_t KCC2Type = 1;     // "KCC2 type": 0 Doyon, 1 Cressman
  std::int32_t VL_Item = 0;      // "VL_Item": 0 VNa=const, 1 VNa=VNa0+dVNa, 2 VNa=f(Nai)
  double NaK1 = 10.0;            // muA/cm^2, maximal current of pump isoform 1 ("NaK,1 ")
  double NaK2 = 0.0;             // muA/cm^2, isoform 2 ("NaK,2")
  double Nai_alpha1 = 10.0;      // mM, Na affinity of isoform 1
  double Nai_alpha2 = 30.0;      // mM, Na affinity of isoform 2
  double dV1 = 10.0;             // mV, voltage slope of isoform 1 (Dobretsov-Stimers)
  double dV2 = 10.0;             // mV
  double gL_K_ratio = 0.6;       // "gL_K/gL"
  double gL_Na_ratio = 0.3;      // "gL_Na/gL"
  double KCC2 = 0.0;             // KCC2 strength
  double NKCC1 = 0.0;            // NKCC1 strength
  double beta = 7.0;             // volume coefficient
  double gamma = 0.02;           // concentration coefficient, mM*cm^2/(muA*s)
};

// Names of the radio-group items, in index order.
inline constexpr const char* kPumpTypeNames[] = {"Bazhenov-Kager", "Cressman-Wei", "Smith-Crampin",
                                                 "Dobretsov-Stimers"};
inline constexpr const char* kKCC2TypeNames[] = {"Doyon", "Cressman"};
inline constexpr const char* kVLItemNames[] = {"VNa=const", "VNa=VNa0+dVNa", "VNa=f(Nai)"};

// RT/F at about 36 C (V), for every Nernst potential and cotransporter driving
// force; it does not follow the temperature of the model.
inline constexpr double kRTF = 0.02663;

class TIons {
 public:
  TIons() = default;  // Create

  // Reads the inputs; when ion dynamics is on, starts the concentrations from
  // their fixed initial values, takes the pump current at rest, rewrites the
  // leak of the "Bazhenov" family in np and keeps the offsets of np's reversal
  // potentials from the Nernst potentials. When it is off nothing else happens.
  void Setup(NeuronProperties& np, const IonInputs& in);

  // One step (dt in s) before the neuron's step, from the neuron's values of
  // the previous step: integrates Nai, Ki and Vol and writes np's reversal
  // potentials, leak and pump currents. Does nothing while ion dynamics is off.
  void Advance(NeuronProperties& np, const NeuronVariables& nv, double dt);

  // The same equations in derivative form, for the error-controlled
  // integrator: the rates (per s) of Vol, Ki and Nai (mM) at the neuron's
  // present state, whose currents have been evaluated; takes the pump current
  // at its voltage.
  struct Rates {
    double Vol = 0.0, Ki = 0.0, Nai = 0.0;
  };
  Rates RatesAt(const NeuronProperties& np, const NeuronVariables& nv);
  // Writes np's reversal potentials, leak and pump current from the present
  // concentrations (and the pump current last taken).
  void ApplyTo(NeuronProperties& np);

  // Dimensionless pump activation of the selected type at voltage V (V), Na
  // affinity alpha (mM) and slope dV (mV), at the present concentrations.
  double PumpRate(double V, double alpha, double dV) const;
  // Total pump current of the two isoforms at V (muA/cm^2).
  double PumpCurrent(double V) const;
  // ECl, EK, ENa and EL from the present concentrations.
  void UpdateNernst();

  // The ion file's line of this step (nothing while ion dynamics is off).
  void WriteLine(const Session& s, std::string& line) const;

  // Fields; concentrations in mM, potentials in V, currents in muA/cm^2.
  std::int32_t IonDynamics = 0;
  std::int32_t IfVolume = 0;
  std::int32_t PumpType = 1;
  std::int32_t KCC2Type = 1;
  std::int32_t VL_Item = 0;
  double Cli = 5.0, Clo = 130.0;
  double Ko = 2.5, Nao = 125.9;
  double Ki = 129.34, Nai = 10.0;
  double EK = 0.0, ENa = 0.0, ECl = 0.0, EL = 0.0;
  double gL_K = 0.0, gL_Na = 0.0, gL_Cl = 0.0;
  double gL_K_ratio = 0.6, gL_Na_ratio = 0.3;  // kept for a leak of zero (below)
  double gKLB = 0.042, gNaLB = 0.022;
  double KdKo = 2.5;
  double NaK1 = 10.0, NaK2 = 0.0;
  double Nai_alpha1 = 10.0, Nai_alpha2 = 30.0;
  double dV1 = 10.0, dV2 = 10.0;
  double KCC2 = 0.0, NKCC1 = 0.0;
  double beta = 7.0, gamma = 0.02;
  double tauVol = 0.25;
  double I_Na_K_pump = 0.0;
  double IpumpRest = 0.0;
  double Vol = 1.0;
  double dVAHPoff = 0.0, dVKoff = 0.0, dVKnoff = 0.0, dVKMoff = 0.0, dVKDoff = 0.0;
  double dVNaoff = 0.0;
  double dVLoff = 0.0, dVLdoff = 0.0;
  // The imported channels' offsets from the Nernst potential of their ion
  // (Na or K), by channel; channels of other ions keep their reversal.
  std::array<double, kMaxImportedChannels> dVImportedOff{};
  bool Bazhenov = false;  // the neuron's family is "Bazhenov"

  // The Na current through the channels that loads Nai (muA/cm^2): the
  // transient, resurgent and persistent Na currents of the neuron.
  static double NaChannelCurrent(const NeuronVariables& nv) { return 1000.0 * (nv.INa + nv.INaR + nv.INaP); }
  // The current of the imported channels of one ion ("na", "k") (muA/cm^2).
  static double ImportedCurrent(const NeuronProperties& np, const NeuronVariables& nv, std::string_view species);

 private:
  // What moves Vol (per ms) and, before the factor gamma, Ki and Nai.
  struct Drive {
    double volume, K, Na;
  };
  Drive DriveAt(const NeuronProperties& np, const NeuronVariables& nv);
};

// The steady-state pump characteristics at saturating conditions, one curve
// per isoform ("with Nai_alpha1", "with Nai_alpha2") for each of three sweeps.
struct PumpCurve {
  std::vector<double> x, alpha1, alpha2;
};
struct PumpCharacteristics {
  PumpCurve ofNai;  // Nai = 1..100 mM at Ko = 100 mM, V = +20 mV  ("Na_K_pump(Na_i)")
  PumpCurve ofKo;   // Ko = 0.5..50 mM at Nai = 200 mM, V = +20 mV ("Na_K_pump(K_o)")
  PumpCurve ofV;    // v = -100..0 mV at Nai = 200 mM, Ko = 100 mM  ("Na_K_pump(V)")
};

inline constexpr const char* kPumpPlotsLabel =
    "Plots are obtained at saturating concentrations and voltage: [Na]i=200mM, [K]o=100mM, V=+20mV.";

// The pump characteristics of the session's inputs: turns "Ion Dynamics" on,
// builds and initialises a neuron from NP0, sets up an ion object on its
// parameters and sweeps Nai, Ko and V.
PumpCharacteristics PlotPumpCharacteristics(Session& s);

}  // namespace membrix
