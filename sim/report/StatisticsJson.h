#pragma once

// The summary's bathtub and jitter sections. A figure without data is the text "not measured", with the
// reason beside it.

#include <nlohmann/json.hpp>

#include "sim/SimResults.h"

namespace ksim {

nlohmann::ordered_json BathtubJson(const BathtubAnalysis& bathtub);
nlohmann::ordered_json JitterJson(const JitterAnalysis& jitter, double bitTime);  // bitTime [s]

// The key of the eye's opening at a target BER, e.g. "width_ui_at_1e-12" for ("width_ui", 1e-12).
std::string AtBerKey(const std::string& figure, double targetBer);

}  // namespace ksim
