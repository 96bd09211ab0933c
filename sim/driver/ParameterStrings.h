#pragma once

#include <string>
#include <vector>

#include "sim/SimResults.h"

namespace ksim {

// A model's AMI parameter string built from its own parameter table (the defaults the model declares)
// with the user's "name=value" overrides applied, e.g. "(kelvane_tx (c0 12) (c1 0) ...)". List elements
// are overridden as "EQ_TABLE.3=100". Unknown names, values that are not numbers and Rx_config (which the
// simulator sets itself) are refused with a message naming them.
std::string TxParameterString(const std::vector<std::string>& overrides);
std::string RxParameterString(const std::vector<std::string>& overrides, int rxConfig);

// A whole parameter string given by the user, checked as the model will read it: it must parse, its root
// must be the model's, and every leaf must be one of the model's parameters; the receiver's must not set
// Rx_config. Throws std::runtime_error with the reason otherwise.
void CheckTxParameterString(const std::string& parameters);
void CheckRxParameterString(const std::string& parameters);

// Every parameter of the model as the string asks for it and as the model applies it, worked out from the
// model's parameter table: a missing or unreadable value keeps the default, a whole-number setting is
// truncated toward zero, a clamped one is limited to its range. A warning is added for every value the
// model applies differently from the request, and for values outside a documented range.
std::vector<AppliedParameter> TxAppliedParameters(const std::string& parameters, std::vector<std::string>& warnings);
std::vector<AppliedParameter> RxAppliedParameters(const std::string& parameters, std::vector<std::string>& warnings);

// The applied value of one parameter by name ("EQ_TABLE.3" for a list element); fallback when absent.
double AppliedValue(const std::vector<AppliedParameter>& applied, const std::string& name, double fallback);

// The shortest text that reads back as the same double.
std::string FormatNumber(double value);

}  // namespace ksim
