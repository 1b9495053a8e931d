#include "channels/channel_catalogue.h"

#include <algorithm>

namespace membrix {

namespace {

struct KineticsRow {
  std::string_view type;
  ChannelMaker make;
};

// Transient Na kinetics by Na_type. Any text not listed selects no channel.
const KineticsRow kNaRows[] = {
    {"Rariza", nullptr},   // TRarizaNa
    {"Cummins", nullptr},  // TCumNa
    {"Migliore", nullptr}, // TMigliNa
    {"Lyle", nullptr},     // TLyleNa
    {"LyleMS", nullptr},   // TLyleMSNa
    {"Milescu", nullptr},  // TMilescuNa
    {"Chow", nullptr},     // TChowNa
    {"Shu", nullptr},      // TShuNa
    {"Naundorf", nullptr}, // TNaundorfNa
    {"White", nullptr},    // TWhiteNa
    {"White2", nullptr},   // TWhite2Na
    {"Fleid", nullptr},    // TFleidNa
    {"Bazhenov", nullptr}, // TBazhNa
};

// Resurgent Na kinetics by NaR_type.
const KineticsRow kNaRRows[] = {
    {"Rariza", nullptr},   // TRarizaNaR
    {"Cummins", nullptr},  // TCumNaR
    {"Migliore", nullptr}, // TMigliNaR
    {"Lyle", nullptr},     // TLyleNaR
    {"LyleMS", nullptr},   // TLyleMSNaR
    {"Milescu", nullptr},  // TMilescuNaR
    {"Chow", nullptr},     // TChowNaR
    {"Shu", nullptr},      // TShuNaR
    {"Bazhenov", nullptr}, // TBazhNaR
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
    {"Rariza", {}},  {"Destexhe", {}}, {"Lyle", {}},   {"Migliore", {}}, {"Cummins", {}},  {"Chow", {}},
    {"Naundorf", {}}, {"White", {}},   {"White2", {}}, {"Shu", {}},      {"Bazhenov", {}}, {"Passive", {}},
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
const OtherRow kOtherRows[] = {
    {"Rariza", {}},  {"Destexhe", {}}, {"Lyle", {}},   {"Migliore", {}}, {"Cummins", {}},  {"Chow", {}},
    {"Naundorf", {}}, {"White", {}},   {"White2", {}}, {"Shu", {}},      {"Bazhenov", {}}, {"Passive", {}},
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
