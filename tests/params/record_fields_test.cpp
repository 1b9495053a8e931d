#include "params/record_fields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace membrix {
namespace {

// Where a table entry's member sits inside a record instance.
struct Placement {
  std::size_t offset, size, align;
};

template <class Record, class Member>
Placement PlacementOf(const Record& record, Member Record::*member) {
  const auto* base = reinterpret_cast<const char*>(&record);
  const auto* field = reinterpret_cast<const char*>(&(record.*member));
  return {static_cast<std::size_t>(field - base), sizeof(Member), alignof(Member)};
}

std::size_t AlignUp(std::size_t n, std::size_t align) { return (n + align - 1) / align * align; }

// Walks the table through a record instance: each entry must start where the previous
// one ended (up to alignment), so a missing, repeated or misplaced entry leaves a gap
// or steps backwards. Returns the end of the last entry.
template <class Record, class Fields>
std::size_t ExpectContiguous(const Record& record, const Fields& fields) {
  std::size_t end = 0;
  for (const auto& field : fields) {
    const Placement p =
        std::visit([&](auto member) { return PlacementOf(record, member); }, field.member);
    EXPECT_EQ(p.offset, AlignUp(end, p.align)) << "field " << field.name;
    end = p.offset + p.size;
  }
  return end;
}

template <class Fields>
std::vector<std::string_view> Names(const Fields& fields) {
  std::vector<std::string_view> names;
  for (const auto& f : fields) names.push_back(f.name);
  return names;
}

// `run` must appear in the table as consecutive entries.
void ExpectRun(const std::vector<std::string_view>& names,
               const std::vector<std::string_view>& run) {
  auto it = std::find(names.begin(), names.end(), run.front());
  ASSERT_NE(it, names.end()) << run.front();
  for (const auto name : run) {
    ASSERT_NE(it, names.end()) << "table ends before " << name;
    EXPECT_EQ(*it++, name) << "run starting at " << run.front();
  }
}

TEST(RecordFields, PropertyTableCoversTheWholeRecordInOrder) {
  const NeuronProperties np{};
  const auto fields = PropertyFields();
  EXPECT_EQ(fields.size(), 153u);
  // The fields of the table, then the list of imported channels, which is
  // not a field of the parameter file's record, and nothing else.
  const Placement imported = PlacementOf(np, &NeuronProperties::Imported);
  EXPECT_EQ(AlignUp(ExpectContiguous(np, fields), imported.align), imported.offset);
  EXPECT_EQ(AlignUp(imported.offset + imported.size, alignof(NeuronProperties)), sizeof(NeuronProperties));

  const auto names = Names(fields);
  EXPECT_EQ(names.front(), "HH_type");
  EXPECT_EQ(names.back(), "IpumpDend");
  ExpectRun(names, {"NaR_subtype", "IfBlockNa"});
  ExpectRun(names, {"IfBlockNaR", "IfBlockNaP", "IfBlockH", "IfBlockADP", "IfBlockAHP",
                    "IfBlockCaT", "IfBlockCaH", "IfBlockKCa", "ThrModel"});
  ExpectRun(names, {"gLd", "gNa", "gNaR", "gK", "gKM", "gKA", "gKD", "gCaH", "gKCa", "gADP",
                    "gAHP", "gCaT", "gBst", "gNaP", "gH", "VNa"});
  ExpectRun(names, {"a4Na", "b1Na"});
  ExpectRun(names, {"d4NaR", "a1K", "a2K", "a3K", "b1K", "b2K", "b3K", "Tr_Na"});
}

TEST(RecordFields, VariableTableCoversEveryScalarInOrder) {
  const NeuronVariables nv{};
  const auto fields = VariableFields();
  EXPECT_EQ(fields.size(), 68u);
  const std::size_t end = ExpectContiguous(nv, fields);
  // The scalars are followed directly by the two occupancy arrays.
  EXPECT_EQ(AlignUp(end, alignof(double)), PlacementOf(nv, &NeuronVariables::pNa).offset);
  EXPECT_EQ(PlacementOf(nv, &NeuronVariables::pNaR).offset,
            PlacementOf(nv, &NeuronVariables::pNa).offset + sizeof(nv.pNa));

  const auto names = Names(fields);
  EXPECT_EQ(names.front(), "SpikePhase");
  EXPECT_EQ(fields.front().kind, FieldKind::Int);
  EXPECT_EQ(names.back(), "wEIF");
  ExpectRun(names, {"ISI", "mmR", "hhR", "iiR", "mm", "nn", "hh", "ii", "yK"});
  ExpectRun(names, {"yD", "INaR", "INa", "IK", "IKM", "IKA", "IKD", "ICaH", "IKCa", "IADP",
                    "IAHP", "ICaT", "IBst", "INaP", "IH", "IKsum"});
}

TEST(RecordFields, EveryNameIsUniqueAndFoundByFind) {
  std::set<std::string_view> seen;
  for (const auto& f : PropertyFields()) {
    EXPECT_TRUE(seen.insert(f.name).second) << "duplicate " << f.name;
    EXPECT_EQ(FindPropertyField(f.name), &f) << f.name;
  }
  seen.clear();
  for (const auto& f : VariableFields()) {
    EXPECT_TRUE(seen.insert(f.name).second) << "duplicate " << f.name;
    EXPECT_EQ(FindVariableField(f.name), &f) << f.name;
  }
}

TEST(RecordFields, UnknownNamesAreNotFound) {
  for (const std::string_view name : {"", "NP0.gNa", "gna", "GNA", "gNa ", " gNa", "g"}) {
    EXPECT_EQ(FindPropertyField(name), nullptr) << "'" << name << "'";
  }
  // The occupancy arrays are reached through the record, not by name.
  for (const std::string_view name : {"pNa", "pNaR", "zVT", "NV0.V", "v"}) {
    EXPECT_EQ(FindVariableField(name), nullptr) << "'" << name << "'";
  }
}

TEST(RecordFields, SetAndGetReachTheNamedMember) {
  NeuronProperties np;
  SetDouble(np, *FindPropertyField("gNa"), 50.0);
  SetDouble(np, *FindPropertyField("If_I_V_or_g"), 2.0);
  SetText(np, *FindPropertyField("HH_type"), "Lyle");
  EXPECT_EQ(np.gNa, 50.0);
  EXPECT_EQ(np.If_I_V_or_g, 2);
  EXPECT_EQ(np.HH_type, "Lyle");
  EXPECT_EQ(GetDouble(np, *FindPropertyField("gNa")), 50.0);
  EXPECT_EQ(GetDouble(np, *FindPropertyField("If_I_V_or_g")), 2.0);
  EXPECT_EQ(GetText(np, *FindPropertyField("HH_type")), "Lyle");

  NeuronVariables nv;
  SetDouble(nv, *FindVariableField("VatE"), -0.065);
  SetDouble(nv, *FindVariableField("SpikePhase"), 3.0);
  EXPECT_EQ(nv.VatE, -0.065);
  EXPECT_EQ(nv.SpikePhase, 3);
  EXPECT_EQ(GetDouble(nv, *FindVariableField("VatE")), -0.065);
  EXPECT_EQ(GetDouble(nv, *FindVariableField("SpikePhase")), 3.0);
}

TEST(RecordFields, IntegerFieldsTruncateTowardZeroAndRefuseWhatDoesNotFit) {
  const PropertyField& mode = *FindPropertyField("If_I_V_or_g");
  const struct {
    double value;
    std::int32_t stored;
  } truncated[] = {{2.9, 2}, {-2.9, -2}, {0.5, 0}, {2147483647.5, 2147483647}};
  for (const auto c : truncated) {
    NeuronProperties np;
    SetDouble(np, mode, c.value);
    EXPECT_EQ(np.If_I_V_or_g, c.stored) << "value " << c.value;
  }
  for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity(), 2147483648.0,
                           -2147483649.0}) {
    NeuronProperties np;
    np.If_I_V_or_g = 7;
    EXPECT_THROW(SetDouble(np, mode, bad), std::out_of_range) << "value " << bad;
    EXPECT_EQ(np.If_I_V_or_g, 7) << "value " << bad;
  }
}

TEST(RecordFields, KindMismatchThrows) {
  NeuronProperties np;
  const PropertyField& text = *FindPropertyField("Na_subtype");
  const PropertyField& number = *FindPropertyField("Square");
  const PropertyField& flag = *FindPropertyField("IfBlockKCa");
  EXPECT_THROW(GetDouble(np, text), std::invalid_argument);
  EXPECT_THROW(SetDouble(np, text, 1.0), std::invalid_argument);
  EXPECT_THROW(GetText(np, number), std::invalid_argument);
  EXPECT_THROW(SetText(np, number, "1"), std::invalid_argument);
  EXPECT_THROW(GetText(np, flag), std::invalid_argument);
  EXPECT_THROW(SetText(np, flag, "1"), std::invalid_argument);
}

// Builds a record over memory filled with garbage, so that a field left without an
// initialiser shows up instead of happening to read 0.
template <class Record, class Check>
void OnRecordBuiltOverGarbage(Check check) {
  alignas(Record) unsigned char storage[sizeof(Record)];
  std::memset(storage, 0xA5, sizeof storage);
  auto* record = new (storage) Record;
  check(*record);
  record->~Record();
}

TEST(RecordFields, RecordsStartZeroAndEmpty) {
  OnRecordBuiltOverGarbage<NeuronProperties>([](const NeuronProperties& np) {
    for (const auto& f : PropertyFields()) {
      if (f.kind == FieldKind::Text) {
        EXPECT_TRUE(GetText(np, f).empty()) << f.name;
      } else {
        EXPECT_EQ(GetDouble(np, f), 0.0) << f.name;
      }
    }
  });
  OnRecordBuiltOverGarbage<NeuronVariables>([](const NeuronVariables& nv) {
    for (const auto& f : VariableFields()) EXPECT_EQ(GetDouble(nv, f), 0.0) << f.name;
    for (std::size_t i = 0; i < nv.pNa.size(); ++i) {
      EXPECT_EQ(nv.pNa[i], 0.0) << "pNa[" << i << "]";
      EXPECT_EQ(nv.pNaR[i], 0.0) << "pNaR[" << i << "]";
    }
  });
}

TEST(RecordFields, CopyOfPropertiesIsDeep) {
  NeuronProperties original;
  original.HH_type = "Migliore";
  original.gNa = 50.0;
  NeuronProperties copy = original;
  copy.HH_type[0] = 'X';
  copy.gNa = 1.0;
  EXPECT_EQ(original.HH_type, "Migliore");
  EXPECT_EQ(original.gNa, 50.0);

  copy = original;  // assignment too
  EXPECT_EQ(copy.HH_type, "Migliore");
  copy.HH_type += "!";
  EXPECT_EQ(original.HH_type, "Migliore");
}

}  // namespace
}  // namespace membrix
