#include "rx/EqualiserSection.h"

#include <algorithm>
#include <cstddef>

#include "dsp/TimeResponseFIR.h"
#include "rx/CtleBank.h"

bool EqualiserSection::Setup() {
    equaliser.ResponseType = Velmora::TimeResponseFIR::ImpulseResponse;

    equaliser.ResponseBank.SetShape(kCtleBankPoints, kCtleBankResponses);
    const std::size_t values = static_cast<std::size_t>(kCtleBankPoints) * kCtleBankResponses;
    std::copy(CtleBankValues(), CtleBankValues() + values, equaliser.ResponseBank.Data());

    equaliser.TimeStamps.SetShape(kCtleBankPoints, 1);
    for (int k = 0; k < kCtleBankPoints; ++k) equaliser.TimeStamps[static_cast<std::size_t>(k)] = CtleBankTimeStamp(k);

    equaliser.PointsPerResponse = kCtleBankPoints;
    equaliser.NumberOfResponses = kCtleBankResponses;
    equaliser.SampleRate = samplesPerBit / bitTime;
    return equaliser.Setup();
}
