#pragma once

#include <cstddef>

#include "runtime/MultiArray.h"

// One row of a model's AMI parameter table. Each model declares its parameters once, in one table, in the
// order in which AMI_Init reads them; the constructor's defaults, the reading in AMI_Init and the kit's
// parameter files all follow from that table.
template <typename Model>
struct AmiParameterSpec {
    enum class Kind { Real, Integer, IntegerList };

    const char* name;
    Kind kind;
    double Model::*real;                       // Kind::Real
    int Model::*integer;                       // Kind::Integer
    Velmora::MultiArray<int> Model::*list;     // Kind::IntegerList, read element by element
    double defaultValue;                       // Real and Integer
    const int* listDefaults;                   // IntegerList: listLength values
    int listLength;
    const char* description;                   // units and meaning, for documentation and the .ami file
    bool whole = false;                        // a setting taken as a whole number (a double is truncated)
    bool bounded = false;                      // minimum and maximum give the range users may set
    double minimum = 0.0;
    double maximum = 0.0;
    bool clamped = false;                      // the model limits a value beyond the range to the nearer bound

    // A real-valued parameter that the model truncates to a whole-number setting.
    constexpr AmiParameterSpec Whole() const {
        AmiParameterSpec row = *this;
        row.whole = true;
        return row;
    }
    // The range a user may set; the model itself limits or refuses values beyond it as documented.
    constexpr AmiParameterSpec Bounded(double lowest, double highest) const {
        AmiParameterSpec row = *this;
        row.bounded = true;
        row.minimum = lowest;
        row.maximum = highest;
        return row;
    }

    // The range a user may set, to which the model limits any other value.
    constexpr AmiParameterSpec Clamped(double lowest, double highest) const {
        AmiParameterSpec row = Bounded(lowest, highest);
        row.clamped = true;
        return row;
    }

    static constexpr AmiParameterSpec Real(const char* name, double Model::*field, double value,
                                           const char* description) {
        return {name, Kind::Real, field, nullptr, nullptr, value, nullptr, 0, description};
    }
    static constexpr AmiParameterSpec Integer(const char* name, int Model::*field, int value,
                                              const char* description) {
        return {name, Kind::Integer, nullptr, field, nullptr, static_cast<double>(value), nullptr, 0, description, true};
    }
    static constexpr AmiParameterSpec IntegerList(const char* name, Velmora::MultiArray<int> Model::*field,
                                                  const int* values, int length, const char* description) {
        return {name, Kind::IntegerList, nullptr, nullptr, field, 0.0, values, length, description, true};
    }
};

template <typename Model>
struct AmiParameterTable {
    const AmiParameterSpec<Model>* rows;
    std::size_t count;
    const AmiParameterSpec<Model>* begin() const { return rows; }
    const AmiParameterSpec<Model>* end() const { return rows + count; }
};

template <typename Model, std::size_t N>
constexpr AmiParameterTable<Model> MakeParameterTable(const AmiParameterSpec<Model> (&rows)[N]) {
    return {rows, N};
}

// Writes every default of a model's parameter table into the model's fields. List parameters are shaped
// 1 by length, as the model holds them before AMI_Init reads them.
template <typename Model>
void ApplyParameterDefaults(Model& model, AmiParameterTable<Model> table) {
    using Param = AmiParameterSpec<Model>;
    for (const Param& param : table) {
        switch (param.kind) {
            case Param::Kind::Real: model.*param.real = param.defaultValue; break;
            case Param::Kind::Integer: model.*param.integer = static_cast<int>(param.defaultValue); break;
            case Param::Kind::IntegerList: {
                Velmora::MultiArray<int>& list = model.*param.list;
                list.SetShape(1, param.listLength);
                for (int i = 0; i < param.listLength; ++i) list[static_cast<std::size_t>(i)] = param.listDefaults[i];
                break;
            }
        }
    }
}
