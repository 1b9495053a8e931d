#pragma once

// Name tables of the parameter record and the state record, so that a field can be
// addressed by its program name: "gNa" in `--set NP0.gNa=50`, a key of a parameter
// file, an item of the list of traced variables.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "neuron/neuron_variables.h"
#include "params/neuron_properties.h"

namespace membrix {

enum class FieldKind { Text, Int, Double };

using PropertyMember = std::variant<std::string NeuronProperties::*,
                                    std::int32_t NeuronProperties::*,
                                    double NeuronProperties::*>;

// One field of NeuronProperties. `kind` always names the alternative held by `member`.
struct PropertyField {
  std::string_view name;  // the program's name, without the "NP0." prefix
  FieldKind kind;
  PropertyMember member;
};

using VariableMember = std::variant<std::int32_t NeuronVariables::*, double NeuronVariables::*>;

// One scalar field of NeuronVariables (the two occupancy arrays are not listed).
struct VariableField {
  std::string_view name;
  FieldKind kind;
  VariableMember member;
};

// Every field of NeuronProperties, in record order.
std::span<const PropertyField> PropertyFields();

// The field named exactly `name` (case-sensitive, no "NP0." prefix), or nullptr.
const PropertyField* FindPropertyField(std::string_view name);

// Reads an Int or Double field as a double. Throws std::invalid_argument for a Text field.
double GetDouble(const NeuronProperties& np, const PropertyField& field);

// Writes an Int or Double field. An Int field stores the value truncated toward zero;
// a value that is not finite or does not fit a 32-bit integer throws std::out_of_range
// and leaves the record unchanged. Throws std::invalid_argument for a Text field.
void SetDouble(NeuronProperties& np, const PropertyField& field, double value);

// Reads or writes a Text field. Throws std::invalid_argument for any other kind.
const std::string& GetText(const NeuronProperties& np, const PropertyField& field);
void SetText(NeuronProperties& np, const PropertyField& field, std::string value);

// Every scalar field of NeuronVariables, in record order.
std::span<const VariableField> VariableFields();

// The scalar field named exactly `name`, or nullptr.
const VariableField* FindVariableField(std::string_view name);

// Reads a field of the state record as a double.
double GetDouble(const NeuronVariables& nv, const VariableField& field);

// Writes a field of the state record, with the same rules for Int fields as above.
void SetDouble(NeuronVariables& nv, const VariableField& field, double value);

}  // namespace membrix
