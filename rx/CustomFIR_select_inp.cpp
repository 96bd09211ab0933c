#include "rx/CustomFIR_select_inp.h"

#include <cstdint>

#include "runtime/JoinOnNewStorage.h"
#include "runtime/UnitRates.h"

namespace {

constexpr int kDefaultPoints = 500;
constexpr double kDefaultStampStep = 1e-12;  // [s]

}  // namespace

CustomFIR_select_inp::CustomFIR_select_inp() {
    // The default response is a single non-zero point at t = 0 whose value equals the default SampleRate:
    // the filter's only non-zero tap is then exactly 1, so a block that nobody loads with a bank passes
    // its input through unchanged.
    ResponseBank.SetShape(kDefaultPoints, 1);
    ResponseBank[0] = SampleRate;
    TimeStamps.SetShape(kDefaultPoints, 1);
    for (int k = 0; k < kDefaultPoints; ++k) TimeStamps[static_cast<std::size_t>(k)] = k * kDefaultStampStep;
}

CustomFIR_select_inp::~CustomFIR_select_inp() {
    ReleaseFeeds();
    ReleaseFilterArrays();
}

// Indexes outside 1..NumberOfResponses fall back to the first column. Values beyond the end of the bank
// (a PointsPerResponse larger than the bank's columns) read as 0 instead of past the storage.
void CustomFIR_select_inp::CopyColumn(int selection, double* destination, std::size_t count) const {
    std::uint64_t start = 0;
    const std::int32_t rows = ResponseBank.dims[0];
    if (selection >= 1 && selection <= NumberOfResponses && ResponseBank.total > 0 && rows > 0) {
        start = static_cast<std::uint64_t>(selection - 1) * static_cast<std::uint64_t>(rows);
    }
    const std::uint64_t total = ResponseBank.total;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t index = start + i;
        destination[i] = index < total ? ResponseBank[static_cast<std::size_t>(index)] : 0.0;
    }
}

void CustomFIR_select_inp::ReleaseFilterArrays() {
    delete[] filter.Response;
    filter.Response = nullptr;
    delete[] filter.ResponseTimeStamps;
    filter.ResponseTimeStamps = nullptr;
}

void CustomFIR_select_inp::ReleaseFeeds() {
    if (feedInStorage != nullptr) Velmora::FreeStorage(feedInStorage);
    if (feedOutStorage != nullptr) Velmora::FreeStorage(feedOutStorage);
    feedIn.Attach(nullptr, 0);
    feedOut.Attach(nullptr, 0);
    filter.input.Attach(nullptr, 0);
    filter.output.Attach(nullptr, 0);
}

bool CustomFIR_select_inp::Setup() {
    ReleaseFilterArrays();
    filter.ResponseType = ResponseType;

    // A negative count is taken as none; the filter then reports too few response coefficients.
    const std::size_t points = PointsPerResponse > 0 ? static_cast<std::size_t>(PointsPerResponse) : 0;
    filter.Response = new double[points];
    CopyColumn(SelectionIndex, filter.Response, points);
    filter.NumberOfResponseValues = static_cast<std::uint32_t>(points);

    // Missing time stamps read as 0, which the filter refuses as out of order.
    filter.ResponseTimeStamps = new double[points];
    for (std::size_t k = 0; k < points; ++k) filter.ResponseTimeStamps[k] = k < TimeStamps.total ? TimeStamps[k] : 0.0;
    filter.SampleRate = SampleRate;
    filter.NumberOfTimeStamps = static_cast<std::uint32_t>(points);

    const bool built = filter.Setup();
    Velmora::SetUnitRates(input, output);
    return built;
}

bool CustomFIR_select_inp::Initialize() {
    ReleaseFeeds();
    feedInStorage = Velmora::JoinOnNewStorage<double>(1, feedIn, {&filter.input});
    feedOutStorage = Velmora::JoinOnNewStorage<double>(1, filter.output, {&feedOut});
    return filter.Initialize();
}

bool CustomFIR_select_inp::Run() {
    if (filter.Response == nullptr || feedInStorage == nullptr || feedOutStorage == nullptr) return false;

    const int selection = SelectionIndex;
    const int previous = loadedIndex;
    bool rebuilt = true;
    if (selection != loadedIndex) {
        // Same length, same (already normalised) time stamps and sample rate: the number of taps and the
        // delay line stay, so the new taps act on the existing history from this sample on.
        CopyColumn(selection, filter.Response, filter.NumberOfResponseValues);
        rebuilt = filter.Setup();
    }
    loadedIndex = selection;

    if (inBlock) {
        switchedInBlock = selection != previous;
        if (switchedInBlock) filter.FilterBlockFrom(blockCursor);
        output[0] = filter.BlockOutput()[blockCursor];
        ++blockCursor;
        return rebuilt;
    }
    input.CopyTo(0, feedIn, 0, 1);
    const bool filtered = filter.Run();
    feedOut.CopyTo(0, output, 0, 1);
    return rebuilt && filtered;
}

bool CustomFIR_select_inp::BeginBlock(const double* in, std::size_t n) {
    inBlock = filter.Response != nullptr && feedInStorage != nullptr && filter.BlocksReady();
    switchedInBlock = false;
    blockCursor = 0;
    if (inBlock) filter.LoadBlock(in, n);
    return inBlock;
}

void CustomFIR_select_inp::EndBlock(std::size_t fired) {
    if (inBlock) filter.CommitBlock(fired);
    inBlock = false;
    switchedInBlock = false;
}

bool CustomFIR_select_inp::Finalize() {
    const bool finalized = filter.Finalize();
    ReleaseFeeds();
    ReleaseFilterArrays();
    return finalized;
}
