#include "sim/channel/MixedMode.h"

#include <stdexcept>
#include <string>

namespace ksim {

std::vector<std::complex<double>> MixedModeSdd21(const TouchstoneData& data, const PortMap& map) {
    std::vector<std::complex<double>> sdd21(data.Points());
    if (data.ports == 2) {
        for (std::size_t k = 0; k < sdd21.size(); ++k) sdd21[k] = data.S(k, 2, 1);
        return sdd21;
    }
    const int ports[4] = {map.inPositive, map.inNegative, map.outPositive, map.outNegative};
    for (int i = 0; i < 4; ++i) {
        if (ports[i] < 1 || ports[i] > data.ports)
            throw std::runtime_error(data.source + ": port " + std::to_string(ports[i]) + " of the port map is not one of the file's " +
                                     std::to_string(data.ports) + " ports");
        for (int j = 0; j < i; ++j)
            if (ports[i] == ports[j])
                throw std::runtime_error(data.source + ": the port map uses port " + std::to_string(ports[i]) + " twice");
    }
    for (std::size_t k = 0; k < sdd21.size(); ++k) {
        const std::complex<double> sum = data.S(k, map.outPositive, map.inPositive) - data.S(k, map.outPositive, map.inNegative) -
                                         data.S(k, map.outNegative, map.inPositive) + data.S(k, map.outNegative, map.inNegative);
        sdd21[k] = 0.5 * sum;
    }
    return sdd21;
}

}  // namespace ksim
