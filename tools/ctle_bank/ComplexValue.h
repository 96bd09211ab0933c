#pragma once

namespace ctle_bank {

// A complex number as two doubles; the generator spells out its arithmetic so that the order of
// operations is fixed.
struct ComplexValue {
    double re;
    double im;
};

}  // namespace ctle_bank
