#include "tx/KelvaneTx.h"

#include <algorithm>

#include "runtime/JoinOnNewStorage.h"
#include "runtime/TruncateToInt.h"
#include "runtime/UnitRates.h"
#include "tx/TxResponseTable.h"

using Velmora::CircularBuffer;
using Velmora::JoinOnNewStorage;
using Velmora::TruncateToInt;

kelvane_tx::kelvane_tx() { ApplyParameterDefaults(*this, AmiParameters()); }

kelvane_tx::~kelvane_tx() {
    ReleaseLinks();
    ReleaseResponseArrays();
}

void kelvane_tx::ReleaseLinks() {
    Velmora::FreeStorage(linkInData);
    Velmora::FreeStorage(linkOutData);
    Velmora::FreeStorage(linkMidData);
}

void kelvane_tx::ReleaseResponseArrays() {
    Velmora::FreeStorage(responseValues);
    Velmora::FreeStorage(responseTimeStamps);
    response.Response = nullptr;
    response.ResponseTimeStamps = nullptr;
}

bool kelvane_tx::Setup() {
    ReleaseResponseArrays();

    ffe.cm1_sign = TruncateToInt(cm1_sign);
    ffe.c0_sign = TruncateToInt(c0_sign);
    ffe.c1_sign = TruncateToInt(c1_sign);
    ffe.cm1 = TruncateToInt(cm1);
    ffe.c0 = TruncateToInt(c0);
    ffe.c1 = TruncateToInt(c1);
    ffe.samplesPerBit = kFfeTapSpacingSamples;
    const bool ffeReady = ffe.Setup();

    responseValues = CircularBuffer<double>::Allocate(kTxResponseLength);
    responseTimeStamps = CircularBuffer<double>::Allocate(kTxResponseLength);
    std::copy(txResponseValues, txResponseValues + kTxResponseLength, responseValues);
    std::copy(txResponseTimes, txResponseTimes + kTxResponseLength, responseTimeStamps);
    response.ResponseType = Velmora::TimeResponseFIR::ImpulseResponse;
    response.Response = responseValues;
    response.NumberOfResponseValues = kTxResponseLength;
    response.ResponseTimeStamps = responseTimeStamps;
    response.NumberOfTimeStamps = kTxResponseLength;
    response.SampleRate = samplesPerBit / bitTime;
    const bool responseReady = response.Setup();

    Velmora::SetUnitRates(input, output);
    return ffeReady && responseReady;
}

bool kelvane_tx::Initialize() {
    ReleaseLinks();
    linkInData = JoinOnNewStorage<double>(1, linkIn, {&response.input});
    linkOutData = JoinOnNewStorage<double>(1, ffeOut, {&linkOut});
    linkMidData = JoinOnNewStorage<double>(1, response.output, {&ffeIn});

    const bool ffeReady = ffe.Initialize();
    const bool responseReady = response.Initialize();
    return ffeReady && responseReady;
}

bool kelvane_tx::Run() {
    input.CopyTo(0, linkIn, 0, 1);
    const bool responseOk = response.Run();
    ffe.input = ffeIn[0];
    const bool ffeOk = ffe.Run();
    ffeOut[0] = ffe.output;
    linkOut.CopyTo(0, output, 0, 1);
    return responseOk && ffeOk;
}

bool kelvane_tx::RunBlock(double* wave, std::size_t n) {
    if (!response.BlocksReady() || !ffe.delayLine) {
        for (std::size_t i = 0; i < n; ++i) {
            input.data[input.position] = wave[i];
            if (!Run()) return false;
            wave[i] = output.data[output.position];
        }
        return true;
    }
    const std::size_t block = Velmora::TimeResponseFIR::kBlockSamples;
    for (std::size_t at = 0; at < n; at += block) {
        const std::size_t m = std::min(block, n - at);
        response.LoadBlock(wave + at, m);
        ffe.RunSamples(response.BlockOutput(), wave + at, m);
        response.CommitBlock(m);
    }
    return true;
}

bool kelvane_tx::Finalize() {
    const bool ffeDone = ffe.Finalize();
    const bool responseDone = response.Finalize();
    ReleaseLinks();
    ReleaseResponseArrays();
    return ffeDone && responseDone;
}
