#pragma once

// The AMI parameter file (.ami) of a model, in the IBIS-AMI tree syntax, rendered from the model's own
// parameter table so that the file always declares exactly the parameters, defaults and ranges the model
// reads in AMI_Init.

#include <string>
#include <vector>

#include "ami/AmiParameterSpec.h"

namespace kit {

// One row of a model's parameter table, free of the model's class.
struct AmiParameter {
    enum class Kind { Real, Integer, IntegerList };

    std::string name;
    Kind kind = Kind::Real;
    double defaultValue = 0.0;      // Real and Integer
    std::vector<int> listDefaults;  // IntegerList, one value per element
    std::string description;
    bool whole = false;             // declared as Integer: the model takes the value as a whole number
    bool bounded = false;           // minimum and maximum give the range a user may set
    double minimum = 0.0;
    double maximum = 0.0;
};

template <typename Model>
std::vector<AmiParameter> AmiParametersOf(AmiParameterTable<Model> table) {
    using Param = AmiParameterSpec<Model>;
    std::vector<AmiParameter> rows;
    for (const Param& param : table) {
        AmiParameter row;
        row.name = param.name;
        switch (param.kind) {
            case Param::Kind::Real: row.kind = AmiParameter::Kind::Real; break;
            case Param::Kind::Integer: row.kind = AmiParameter::Kind::Integer; break;
            case Param::Kind::IntegerList: row.kind = AmiParameter::Kind::IntegerList; break;
        }
        row.defaultValue = param.defaultValue;
        if (param.kind == Param::Kind::IntegerList) row.listDefaults.assign(param.listDefaults, param.listDefaults + param.listLength);
        row.description = param.description != nullptr ? param.description : "";
        row.whole = param.whole;
        row.bounded = param.bounded;
        row.minimum = param.minimum;
        row.maximum = param.maximum;
        rows.push_back(row);
    }
    return rows;
}

// A reserved parameter with Usage Info: something the model tells the simulator.
struct AmiInfoParameter {
    std::string name;
    std::string type;   // "String", "Boolean", "Integer" or "Float"
    std::string value;  // as written in the file; a String's value without its double quotes
    std::string description;
};

struct AmiModel {
    std::string rootName;  // the root of the file and of every parameter path the model reads
    std::string description;
    std::vector<AmiInfoParameter> reserved;  // in file order
    std::vector<AmiParameter> parameters;    // Model_Specific, in table order
};

// The whole .ami text, ending with a line end. Every Model_Specific parameter has Usage In; whole-number
// parameters are Integer, the others Float; a bounded parameter is written as (Range default min max), any
// other as (Value default); a list becomes a branch of one leaf per element, named by its index, so that
// "root.name.0" is the path of its first element, each element with the list's range when it has one. Double quotes in texts become single quotes.
// Throws std::invalid_argument for a bounded parameter whose default lies outside its range.
std::string RenderAmi(const AmiModel& model);

// Numbers as the .ami writes them: a whole number in decimal; a Float in its shortest exact form with a
// decimal point (exponent form only below 1e-4 or from 1e15 on). Independent of the locale.
std::string AmiIntegerText(double value);  // truncated toward zero, as the model takes it
std::string AmiFloatText(double value);

}  // namespace kit
