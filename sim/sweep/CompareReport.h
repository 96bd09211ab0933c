#pragma once

// compare.html: the differences between two runs as a table per group, with both runs' adaptation and
// recovered clock plotted on common axes.

#include <string>

#include "sim/sweep/RunComparison.h"

namespace ksim {

std::string CompareReportHtml(const Comparison& comparison, const OrderedJson& first, const OrderedJson& second,
                              const std::string& firstName, const std::string& secondName);

}  // namespace ksim
