#include <stdexcept>

#include "sim/channel/Channel.h"
#include "sim/channel/Touchstone.h"

namespace ksim {

std::vector<double> BuildChannelByName(const std::string& channel, double analyticLossDb, const PortMap& map,
                                       double sampleInterval, double bitTime, ChannelInfo& info) {
    try {
        if (channel == "analytic") return BuildAnalyticChannel(analyticLossDb, sampleInterval, bitTime, info);
        if (TouchstonePortsFromName(channel) > 0) return BuildTouchstoneChannel(channel, map, sampleInterval, bitTime, info);
        return LoadImpulseResponseFile(channel, sampleInterval, bitTime, info);
    } catch (const std::invalid_argument& e) {
        throw std::runtime_error(std::string("channel ") + channel + ": " + e.what());
    }
}

}  // namespace ksim
