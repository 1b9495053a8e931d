#pragma once
// The model choices of the main window's Parameters menu as engine commands, so
// that the workbench and the batch tool change the model the same way. Each
// choice resets NP0 to the defaults of the resulting family and geometry; the
// caller then shows the parameters again.

#include <array>
#include <string_view>

namespace membrix {

struct Session;

// The four geometries of the conductance-based neuron.
inline constexpr std::array<std::string_view, 4> kGeometries = {"1-point", "2-points", "2-p-MainenSejn",
                                                                "2-p-ActiveDend"};

// Chooses the model family. "Rariza" and "Cummins" ask for gL to be fixed,
// "Destexhe" and "Migliore" for tau_m, before the defaults are applied (which
// have the last word); "Bazhenov" also chooses the "2-p-MainenSejn" geometry.
// An unknown family is an Error naming it and the valid ones, and changes nothing.
void SelectModelFamily(Session& s, std::string_view HH_type);

// Chooses the geometry; an unknown one is an Error and changes nothing.
void SelectGeometry(Session& s, std::string_view HH_order);

// Switches the threshold neuron on or off; the Na current is blocked with it.
// "White2" is a threshold model: its defaults switch the threshold neuron back on.
void SetThrModel(Session& s, bool on);

// Switches the integrate-and-fire neuron on or off.
void SetLIFModel(Session& s, bool on);

// The menu items' toggles: on when the field is not 1, else off. Return whether
// the model is on afterwards, which the menu mark shows.
// The clamp modes of the Parameters menu, 1 ... 7, in their order.
inline constexpr std::array<std::string_view, 7> kClampModeNames = {
    "VC", "CC", "for  gNa", "VC with pipette", "VC at Vexp", "Iind", "Iind=Vexp"};

// Chooses a clamp mode by its menu text or its number 1 ... 7. In mode 7,
// "Iind=Vexp", however it was chosen, the recording is the injected current
// (the check mark of its item shows the mode). An unknown mode is an Error
// naming the valid ones.
void SelectClampMode(Session& s, std::string_view mode);

bool ToggleThrModel(Session& s);
bool ToggleLIFModel(Session& s);

}  // namespace membrix
