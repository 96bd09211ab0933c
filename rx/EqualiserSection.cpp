#include "rx/EqualiserSection.h"

#include <algorithm>
#include <cstddef>

#include "dsp/TimeResponseFIR.h"
#include "rx/CtleBank.h"

bool EqualiserSection::Setup() {
    equaliser.ResponseType = Velmora::TimeResponseFIR::ImpulseResponse;

    equaliser.ResponseBank.SetShape(ctleBankPoints, ctleBankResponses);
    const std::size_t values = static_cast<std::size_t>(ctleBankPoints) * ctleBankResponses;
    std::copy(CtleBankValues(), CtleBankValues() + values, equaliser.ResponseBank.Data());

    equaliser.TimeStamps.SetShape(ctleBankPoints, 1);
    for (int k = 0; k < ctleBankPoints; ++k) equaliser.TimeStamps[static_cast<std::size_t>(k)] = CtleBankTimeStamp(k);

    equaliser.PointsPerResponse = ctleBankPoints;
    equaliser.NumberOfResponses = ctleBankResponses;
    equaliser.SampleRate = samplesPerBit / bitTime;
    return equaliser.Setup();
}
