#pragma once
// The reset generator of the firing clamp. Its protocol is part of the
// stimulus: the meanders write du_Reset from every injected current that is
// not the recording, so the plain clamp run, the firing clamp and the map all
// read the same choice and levels. A voltage reset or a current pulse follows
// each spike in the runs that step the reset protocol.

#include <array>
#include <cstdint>
#include <string_view>

namespace membrix {

// The reset protocols, in the list's item order.
enum class ResetProtocol : std::int32_t {
  None = -1,  // no item selected: acts as "Nothing"
  Nothing = 0,
  ResetVoltage = 1,
  CurrentPulse = 2,
  MeandersExceptApexes = 3,
  Meanders = 4
};
inline constexpr std::array<std::string_view, 5> kResetProtocolNames = {
    "Nothing", "Reset voltage", "Current pulse reset", "Meanders except apexes", "Meanders "};

// The protocol and its levels, in internal units.
struct ResetProtocolInputs {
  ResetProtocol Reset = ResetProtocol::None;
  double du_ResetAmplitude = -0.015;  // " du_Reset, muA/cm^2:" (entered as -15)
  double Vmin = -0.07;                // " Vmin", V
  double ResetAtSpike = -0.015;       // "Reset at spike, mV", V
};

// What the reset protocols keep between steps of a run.
struct ResetProtocolState {
  bool armed = false;
  std::int64_t meanderStep = 0;  // steps since the run started, for the meander periods
};

}  // namespace membrix
