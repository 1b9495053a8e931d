#pragma once
// Markov schemes of the sodium channel: discrete kinetic states joined by
// voltage-dependent transition rates. A scheme is its transition matrix K, where
// K[i][j] is the rate (per ms) from state i to state j, states numbered from 1 as
// the schemes are written; the occupancies of the states are a probability vector
// numbered the same way. The matrices and vectors live on the stack; nothing here
// allocates.

#include <string_view>

#include "neuron/numerics.h"

namespace membrix {

// Rates K[i][j] per ms, i != j, 1-based; the diagonal is 0. Only the first N x N
// block of a scheme with N states is written and read.
using Transitions = LinearMatrix;
// Occupancies of states 1 ... N (entry 0 unused); the type of pNa and pNaR.
using Occupancies = LinearVector;

// ---- Lyle schemes: 1 open, 2 inactivated, 3 and 4 closed ---------------------

// The value of tmax that stands for "no maximal time".
inline constexpr double kNoTmax = 888.0;

// Transition rate with offset vh (mV), slope s (mV), minimal time tmin and maximal
// time tmax (ms): 1/(tmin + 1/(x + t)), x = exp((w - vh)/s), t = 1/(tmax - tmin)
// or 0 without tmax. It lies below 1/tmin and, with tmax, above about 1/tmax.
// w is the voltage (mV) less the scheme's shift.
double LyleRate(double w, double vh, double s, double tmin, double tmax = kNoTmax);

enum class LyleScheme {
  Lyle4,   // four states
  Lyle3,   // state 4 dropped
  LyleVTh  // three states; recovery 3 -> 1 moves with the slow variable zVT
};

// "Lyle-3" and, where allowed, "Lyle-VT(h)"; any other text is "Lyle-4".
LyleScheme LyleSchemeFor(std::string_view subtype, bool allowVTh);
int StateCountOf(LyleScheme scheme);

// K of the scheme at w = v - shift (mV); zVT is read by "Lyle-VT(h)" only.
void BuildLyleTransitions(LyleScheme scheme, double w, double zVT, Transitions& K);

// ---- Milescu and Carter schemes ----------------------------------------------
// Closed C1..C5 (1-5), open O (6), closed-inactivated I1..I5 (7-11),
// open-inactivated I6 (12), slow-inactivated (13); "Milescu-26" adds a second
// copy on states 14 ... 26.

enum class MilescuScheme { Milescu13, Milescu26, Carter12 };

// "Milescu-13" and "Carter-12"; any other text is "Milescu-26".
MilescuScheme MilescuSchemeFor(std::string_view subtype);
int StateCountOf(MilescuScheme scheme);

// A*exp(z*w).
inline double MilescuRate(double A, double z, double w) { return A * SafeExp(z * w); }

// K of the scheme at w = v - shift (mV).
void BuildMilescuTransitions(MilescuScheme scheme, double w, Transitions& K);

// ---- Occupancies ---------------------------------------------------------------

// The occupancies at which every state's inflow balances its outflow, written
// into P[1 ... N]; the other entries of P are left alone.
void StationaryOccupancies(int N, const Transitions& K, Occupancies& P);

enum class LastState { Unclipped, ClippedAtZero };

// Advances P[1 ... N] over dt (s) at fixed rates K. Each state relaxes
// exponentially, with time constant 1/outflow, toward the occupancy that would
// balance its present inflow, all from the occupancies at the start of the step;
// the last state takes what the others leave (held at 0 or above with
// ClippedAtZero). Occupancies may stray a little outside [0, 1]. Only where this
// update diverges (an occupancy not finite or more than 0.05 outside [0, 1]) is
// the step made implicitly instead, which keeps the occupancies a probability
// vector at any step; returns false then. Other entries of P are left alone.
// N < 1 does nothing.
bool AdvanceOccupancies(int N, const Transitions& K, double dt, LastState last, Occupancies& P);

// The rates of change (per s) of P[1 ... N] at fixed rates K into dPdt: each
// state gains its inflow and loses its outflow, and the last state loses what
// the others gain, so that the occupancies keep summing to 1. The derivative
// of the update above as its step shrinks. Other entries of dPdt are left alone.
void OccupancyRates(int N, const Transitions& K, const Occupancies& P, Occupancies& dPdt);

// One implicit step over dt (s) at fixed rates K, from P into x: a probability
// vector stays one at any step. Entries of x beyond N are left alone.
void ImplicitOccupancyStep(int N, const Transitions& K, double dt, const Occupancies& P, Occupancies& x);

}  // namespace membrix
