#include "channels/channel_catalogue.h"

#include <algorithm>

#include "channels/afterpotential.h"
#include "channels/calcium.h"
#include "channels/multistate_sodium.h"
#include "channels/persistent_sodium.h"
#include "channels/potassium.h"
#include "channels/resurgent_sodium.h"
#include "channels/sodium.h"

namespace membrix {

namespace {

struct KineticsRow {
  std::string_view type;
  ChannelMaker make;
};

// Transient Na kinetics by Na_type. Any text not listed selects no channel.
const KineticsRow kNaRows[] = {
    {"Rariza", &MakeChannel<TRarizaNa>},
    {"Cummins", &MakeChannel<TCumNa>},
    {"Migliore", &MakeChannel<TMigliNa>},
    {"Lyle", &MakeChannel<TLyleNa>},
    {"LyleMS", &MakeChannel<TLyleMSNa>},
    {"Milescu", &MakeChannel<TMilescuNa>},
    {"Chow", &MakeChannel<TChowNa>},
    {"Shu", &MakeChannel<TShuNa>},
    {"Naundorf", &MakeChannel<TNaundorfNa>},
    {"White", &MakeChannel<TWhiteNa>},
    {"White2", &MakeChannel<TWhite2Na>},
    {"Fleid", &MakeChannel<TFleidNa>},
    {"Bazhenov", &MakeChannel<TBazhNa>},
};

// Resurgent Na kinetics by NaR_type.
const KineticsRow kNaRRows[] = {
    {"Rariza", &MakeChannel<TRarizaNaR>},
    {"Cummins", &MakeChannel<TCumNaR>},
    {"Migliore", &MakeChannel<TMigliNaR>},
    {"Lyle", &MakeChannel<TLyleNaR>},
    {"LyleMS", &MakeChannel<TLyleMSNaR>},
    {"Milescu", &MakeChannel<TMilescuNaR>},
    {"Chow", &MakeChannel<TChowNaR>},
    {"Shu", &MakeChannel<TShuNaR>},
    {"Bazhenov", &MakeChannel<TBazhNaR>},
};

// The family slots come in two tables, the potassium-type currents and the
// others, each row a family and each column a slot in the order given.
constexpr Slot kPotassiumSlots[] = {Slot::K, Slot::KA, Slot::KM, Slot::KD, Slot::H};
constexpr Slot kOtherSlots[] = {Slot::ADP, Slot::AHP, Slot::CaH, Slot::CaT, Slot::KCa, Slot::NaP};

struct PotassiumRow {
  std::string_view family;
  ChannelMaker make[5];  // K KA KM KD H
};

struct OtherRow {
  std::string_view family;
  ChannelMaker make[6];  // ADP AHP CaH CaT KCa NaP
};

// Potassium-type channels of each family:
//   Rariza:   TRarizaK, -, -, -, -
//   Destexhe: TDestexheK, TLyleKA, TDestexheKM, -, -
//   Lyle:     TLyleK, TLyleKA, TLyleKM, TLyleKD, TLyleH
//   Migliore: TMigliK, TLyleKA, TLyleKM, TLyleKD, TLyleH
//   Cummins:  TCumK, TCumKA, -, TCumKD, -
//   Chow:     TChowK, TLyleKA, TLyleKM, -, -
//   Naundorf: TNaundorfK, -, -, -, -
//   White:    TWhiteK, -, -, -, -
//   White2:   none
//   Shu:      TShuK, -, TLyleKM, -, -
//   Bazhenov: TBazhK, TLyleKA, TLyleKM, TLyleKD, TLyleH
//   Passive:  -, -, TLyleKM, -, -
const PotassiumRow kPotassiumRows[] = {
    {"Rariza", {&MakeChannel<TRarizaK>, nullptr, nullptr, nullptr, nullptr}},
    {"Destexhe",
     {&MakeChannel<TDestexheK>, &MakeChannel<TLyleKA>, &MakeChannel<TDestexheKM>, nullptr, nullptr}},
    {"Lyle",
     {&MakeChannel<TLyleK>, &MakeChannel<TLyleKA>, &MakeChannel<TLyleKM>, &MakeChannel<TLyleKD>,
      &MakeChannel<TLyleH>}},
    {"Migliore",
     {&MakeChannel<TMigliK>, &MakeChannel<TLyleKA>, &MakeChannel<TLyleKM>, &MakeChannel<TLyleKD>,
      &MakeChannel<TLyleH>}},
    {"Cummins", {&MakeChannel<TCumK>, &MakeChannel<TCumKA>, nullptr, &MakeChannel<TCumKD>, nullptr}},
    {"Chow", {&MakeChannel<TChowK>, &MakeChannel<TLyleKA>, &MakeChannel<TLyleKM>, nullptr, nullptr}},
    {"Naundorf", {&MakeChannel<TNaundorfK>, nullptr, nullptr, nullptr, nullptr}},
    {"White", {&MakeChannel<TWhiteK>, nullptr, nullptr, nullptr, nullptr}},
    {"White2", {}},
    {"Shu", {&MakeChannel<TShuK>, nullptr, &MakeChannel<TLyleKM>, nullptr, nullptr}},
    {"Bazhenov",
     {&MakeChannel<TBazhK>, &MakeChannel<TLyleKA>, &MakeChannel<TLyleKM>, &MakeChannel<TLyleKD>,
      &MakeChannel<TLyleH>}},
    {"Passive", {nullptr, nullptr, &MakeChannel<TLyleKM>, nullptr, nullptr}},
};

// The other channels of each family:
//   Rariza:   TADP, TAHP, -, -, -, TVervaekeNaP
//   Destexhe: TADP, TAHP, TDestexheCaH, TDestexheCaT, TDestexheKCa, TVervaekeNaP
//   Lyle:     TADP, TAHP, TDestexheCaH, TDestexheCaT, TDestexheKCa, TVervaekeNaP
//   Migliore: as Lyle
//   Cummins:  TADP, TAHP, TCumCaH, TCumCaT, -, -
//   Chow:     -, TAHP, -, -, -, TVervaekeNaP
//   Naundorf: -, TAHP, -, -, -, -
//   White:    -, TWhiteAHP, TWhiteCa, -, -, TVervaekeNaP
//   White2:   none
//   Shu:      -, TAHP, -, -, -, -
//   Bazhenov: as Lyle
//   Passive:  TADP, TAHP, -, -, -, -
constexpr ChannelMaker kADP = &MakeChannel<TADP>;
constexpr ChannelMaker kAHP = &MakeChannel<TAHP>;
constexpr ChannelMaker kNaP = &MakeChannel<TVervaekeNaP>;
constexpr ChannelMaker kDestexheCaH = &MakeChannel<TDestexheCaH>;
constexpr ChannelMaker kDestexheCaT = &MakeChannel<TDestexheCaT>;
constexpr ChannelMaker kDestexheKCa = &MakeChannel<TDestexheKCa>;
const OtherRow kOtherRows[] = {
    {"Rariza", {kADP, kAHP, nullptr, nullptr, nullptr, kNaP}},
    {"Destexhe", {kADP, kAHP, kDestexheCaH, kDestexheCaT, kDestexheKCa, kNaP}},
    {"Lyle", {kADP, kAHP, kDestexheCaH, kDestexheCaT, kDestexheKCa, kNaP}},
    {"Migliore", {kADP, kAHP, kDestexheCaH, kDestexheCaT, kDestexheKCa, kNaP}},
    {"Cummins", {kADP, kAHP, &MakeChannel<TCumCaH>, &MakeChannel<TCumCaT>, nullptr, nullptr}},
    {"Chow", {nullptr, kAHP, nullptr, nullptr, nullptr, kNaP}},
    {"Naundorf", {nullptr, kAHP, nullptr, nullptr, nullptr, nullptr}},
    {"White", {nullptr, &MakeChannel<TWhiteAHP>, &MakeChannel<TWhiteCa>, nullptr, nullptr, kNaP}},
    {"White2", {}},
    {"Shu", {nullptr, kAHP, nullptr, nullptr, nullptr, nullptr}},
    {"Bazhenov", {kADP, kAHP, kDestexheCaH, kDestexheCaT, kDestexheKCa, kNaP}},
    {"Passive", {kADP, kAHP, nullptr, nullptr, nullptr, nullptr}},
};

template <class Row, std::size_t N, std::size_t M>
ChannelMaker FindInFamilyTable(const Row (&rows)[N], const Slot (&slots)[M], std::string_view family, Slot slot) {
  const auto* column = std::find(std::begin(slots), std::end(slots), slot);
  if (column == std::end(slots)) return nullptr;
  for (const Row& row : rows) {
    if (row.family == family) return row.make[column - std::begin(slots)];
  }
  return nullptr;
}

ChannelMaker Find(const KineticsRow* begin, const KineticsRow* end, std::string_view type) {
  const auto* row = std::find_if(begin, end, [&](const KineticsRow& r) { return r.type == type; });
  return row == end ? nullptr : row->make;
}

}  // namespace

std::string_view SlotName(Slot slot) {
  static constexpr std::string_view kNames[kSlotCount] = {"Na",  "K",   "KA",  "KM",  "KD",
                                                          "H",   "NaR", "ADP", "AHP", "CaH",
                                                          "CaT", "KCa", "NaP", "Bst"};
  return kNames[static_cast<int>(slot)];
}

bool IsModelFamily(std::string_view HH_type) {
  return std::find(kModelFamilies.begin(), kModelFamilies.end(), HH_type) != kModelFamilies.end();
}

ChannelMaker NaChannelFor(std::string_view Na_type) {
  return Find(std::begin(kNaRows), std::end(kNaRows), Na_type);
}

ChannelMaker NaRChannelFor(std::string_view NaR_type) {
  return Find(std::begin(kNaRRows), std::end(kNaRRows), NaR_type);
}

ChannelMaker FamilyChannelFor(std::string_view HH_type, Slot slot) {
  if (ChannelMaker make = FindInFamilyTable(kPotassiumRows, kPotassiumSlots, HH_type, slot)) return make;
  return FindInFamilyTable(kOtherRows, kOtherSlots, HH_type, slot);
}

std::unique_ptr<TChannel> CreateChannel(ChannelMaker maker, TNeuron& neuron) {
  if (maker == nullptr) return std::make_unique<TNullChannel>();
  return maker(neuron);
}

}  // namespace membrix
