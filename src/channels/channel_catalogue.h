#pragma once
// Which channel class fills each slot of a conductance-based neuron: the Na and
// NaR slots by their kinetics texts, the other slots by the model family. The
// choices are tables in channel_catalogue.cpp; a new channel class is one entry.

#include <array>
#include <memory>
#include <string_view>

#include "channels/channel.h"

namespace membrix {

// The fourteen slots in their order, which is also the order of initialisation.
enum class Slot : int { Na, K, KA, KM, KD, H, NaR, ADP, AHP, CaH, CaT, KCa, NaP, Bst };
inline constexpr int kSlotCount = 14;
inline constexpr std::array<Slot, kSlotCount> kAllSlots = {
    Slot::Na,  Slot::K,   Slot::KA,  Slot::KM,  Slot::KD,  Slot::H,   Slot::NaR,
    Slot::ADP, Slot::AHP, Slot::CaH, Slot::CaT, Slot::KCa, Slot::NaP, Slot::Bst};

std::string_view SlotName(Slot slot);

using ChannelMaker = std::unique_ptr<TChannel> (*)(TNeuron&);

template <class C>
std::unique_ptr<TChannel> MakeChannel(TNeuron& neuron) {
  return std::make_unique<C>(&neuron);
}

// The twelve model families of the conductance-based neuron.
inline constexpr std::array<std::string_view, 12> kModelFamilies = {
    "Rariza", "Passive", "Destexhe", "Migliore", "Cummins", "Chow",
    "Lyle",   "Naundorf", "White",   "White2",   "Shu",     "Bazhenov"};
bool IsModelFamily(std::string_view HH_type);

// nullptr where the text selects no class (the slot then holds a null channel).
ChannelMaker NaChannelFor(std::string_view Na_type);
ChannelMaker NaRChannelFor(std::string_view NaR_type);
// For the slots K, KA, KM, KD, H, ADP, AHP, CaH, CaT, KCa and NaP.
ChannelMaker FamilyChannelFor(std::string_view HH_type, Slot slot);

// The maker's channel for the neuron, or a null channel.
std::unique_ptr<TChannel> CreateChannel(ChannelMaker maker, TNeuron& neuron);

}  // namespace membrix
