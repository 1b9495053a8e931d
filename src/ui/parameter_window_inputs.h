#pragma once
// The numeric inputs of the parameter window: for each input its number (the
// input is the widget "DDSpinEdit<number>"), its label, its decimals, where it
// sits, and the conversion between the value it shows and the field it writes.
// The window builds its pages from this table and the two transfer routines
// read and show the inputs through it, so an input and its field cannot drift
// apart.

#include <QString>
#include <span>
#include <string_view>

namespace membrix {

struct Session;

enum class InputPage { Top, NaChannels, SimpleModels, Other, Ions, NaKPump };

struct ParameterInputEntry {
  int number;
  std::string_view label;
  int decimals;
  InputPage page;
  std::string_view group;  // title of the group box the input sits in; empty for none
  // The value the input shows for the session, and the session written from a
  // shown value. Both are null for an input whose value lives only in the
  // window (the ion pages, read by the ion dynamics when it is set up).
  double (*show)(const Session&);
  void (*store)(Session&, double v);
  double initial = 0.0;  // the value an input without a field starts with
  std::string_view hint = {};
  bool conductance = false;         // labelled with the cell's total conductance ("x S =")
  bool resetOnDoubleClick = false;  // a double click sets the input to 0
};

// Every input in the order the window lays them out.
std::span<const ParameterInputEntry> ParameterInputs();

// The same inputs in ascending order of their numbers, the order in which the
// transfer reads and shows them.
std::span<const ParameterInputEntry* const> ParameterInputsByNumber();

// The input with this number, or null.
const ParameterInputEntry* FindParameterInput(int number);

// The object name of input `number`: "DDSpinEdit<number>".
QString InputName(int number);

// The two inputs of the noise added to the injected current: they write their
// fields when they change, and the transfer neither reads nor shows them.
bool IsNoiseInput(int number);

// Numbers of the inputs with rules of their own.
namespace input {
inline constexpr int kgNaR = 1, kgNa = 2, kgK = 3, kgKM = 4, kSquare = 5, kVrest = 6, kdt = 7, kgL = 12,
                     kgKA = 14, kVL = 18, ktau_m = 20, kro = 34, kCm = 42, kTemp = 46, kC1 = 47, kG1 = 48,
                     kFixThr = 31, kk_a = 43, kdVTdV = 44, kDeltaT = 49, kEIF_tauw = 50, kEIF_a = 51,
                     kEIF_dw = 52, kEIF_VT = 53, kgLd = 56, kDepBlock = 59, kdV1 = 73, kdV2 = 74, ktauCa = 77,
                     kCa0 = 78, kdVAHP = 79;
}  // namespace input

}  // namespace membrix
