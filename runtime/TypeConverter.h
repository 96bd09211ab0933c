#pragma once

#include <climits>
#include <cmath>
#include <type_traits>

#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"

namespace Velmora {

// Converters are stateless policies with `template <typename Out, typename In> static Out Convert(In)`.

// double to int, halves rounded away from zero. NaN gives 0 and results beyond the int range saturate,
// because converting such a double to int has no defined result.
struct TypeConverterRound {
    template <typename Out, typename In>
    static Out Convert(In x) {
        static_assert(std::is_same<In, double>::value && std::is_same<Out, int>::value,
                      "TypeConverterRound converts double to int");
        if (std::isnan(x)) return 0;
        const double rounded = x < 0.0 ? std::ceil(x - 0.5) : std::floor(x + 0.5);
        if (rounded <= static_cast<double>(INT_MIN)) return INT_MIN;
        if (rounded >= static_cast<double>(INT_MAX)) return INT_MAX;
        return static_cast<int>(rounded);
    }
};

// The language's plain conversion (int to float rounds to nearest; int or float to double is exact).
struct TypeConverterAssign {
    template <typename Out, typename In>
    static Out Convert(In x) {
        return static_cast<Out>(x);
    }
};

class TypeConverterBase : public DFModel {};

// Template parameters: input element type, output element type, converter policy. Converts nothing by
// itself; ScalarToScalar does the per-sample work.
template <typename In, typename Out, typename Conv>
class TypeConverter : public TypeConverterBase {
public:
    CircularBuffer<In> input;
    CircularBuffer<Out> output;
};

// One element per firing, e.g. ScalarToScalar<double, int, TypeConverterRound>.
template <typename In, typename Out, typename Conv>
class ScalarToScalar final : public TypeConverter<In, Out, Conv> {
public:
    bool Run() override {
        this->output[0] = Conv::template Convert<Out, In>(this->input[0]);
        return true;
    }
};

}  // namespace Velmora
