#pragma once

#include <string>
#include <vector>

namespace ksim {

// A model's AMI parameter string built from its own parameter table (the defaults the model declares)
// with the user's "name=value" overrides applied, e.g. "(kelvane_tx (c0 12) (c1 0) ...)". List elements
// are overridden as "EQ_TABLE.3=100". Unknown names and values that are not numbers are refused with a
// message naming them.
std::string TxParameterString(const std::vector<std::string>& overrides);
std::string RxParameterString(const std::vector<std::string>& overrides, int rxConfig);

// The shortest text that reads back as the same double.
std::string FormatNumber(double value);

}  // namespace ksim
