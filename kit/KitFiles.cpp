#include "kit/KitFiles.h"

#include <stdexcept>

#include "kit/IbsFile.h"
#include "rx/KelvaneRx.h"
#include "tx/KelvaneTx.h"

#ifndef KELVANE_KIT_VERSION
#define KELVANE_KIT_VERSION "0"
#endif

namespace kit {

const char* const kTxAmiFileName = "kelvane_tx.ami";
const char* const kRxAmiFileName = "kelvane_rx.ami";
const char* const kIbsFileName = "kelvane.ibs";
const char* const kIbisVersion = "7.0";

namespace {

// The receiver's adaptation cycle at its default settings, counted in bits (one clock period is one bit at
// Factor 1): the start gate, then one eye measurement per adaptation step, each waiting for the request's
// echo and then measuring EOM_window clock periods. The sweep takes 16 measurements and the DFE search at
// least 3 per tap, 31 in all; on the link simulator's default link and the four reference channels the
// whole adaptation took 33 to 36 measurements, so 38 leaves a margin for taps that climb further.
constexpr int kStartGateClockPeriods = kelvane_rx::kStartGateClocks;
constexpr int kRequestEchoSamples = static_cast<int>(kelvane_rx::kRequestEchoSamples);
constexpr int kSamplesPerBit = 32;  // the usual simulation setting; fewer samples per bit make each echo longer
constexpr int kAdaptationMeasurements = 38;

std::vector<AmiInfoParameter> TimeDomainOnly(const std::string& getWaveDoes) {
    return {
        {"AMI_Version", "String", kIbisVersion, "IBIS-AMI version this file follows, as the kit's .ibs does."},
        {"Init_Returns_Impulse", "Boolean", "False",
         "Time-domain model only: AMI_Init leaves the impulse response untouched, the impulse-response path is "
         "unused."},
        {"GetWave_Exists", "Boolean", "True", getWaveDoes},
    };
}

std::size_t ParameterIndex(const std::vector<AmiParameter>& parameters, const std::string& name) {
    for (std::size_t i = 0; i < parameters.size(); ++i)
        if (parameters[i].name == name) return i;
    throw std::invalid_argument("the parameter table has no " + name);
}

void AddToDescription(std::vector<AmiParameter>& parameters, const std::string& name, const std::string& note) {
    parameters[ParameterIndex(parameters, name)].description += ". " + note;
}

std::string CompilerToken() {
    std::string token = "gcc";
#if defined(__GNUC__) && !defined(__clang__) && defined(__VERSION__)
    // __VERSION__ starts with the release, e.g. "12.2.0"; anything after it (vendor notes) is left out.
    const std::string version = __VERSION__;
    std::size_t length = 0;
    while (length < version.size() && ((version[length] >= '0' && version[length] <= '9') || version[length] == '.'))
        ++length;
    token += version.substr(0, length);
#endif
    return token;
}

void RequireKitBitness(int bits) {
    if (bits != 32 && bits != 64) throw std::invalid_argument("the kit has 32-bit and 64-bit builds, not " + std::to_string(bits));
}

std::vector<AlgorithmicModelFiles> ExecutablesOf(KitModel model, const char* amiFile) {
    std::vector<AlgorithmicModelFiles> lines;
    for (const KitPlatform& platform : KitPlatforms())
        lines.push_back({PlatformName(platform), LibraryFileName(model, platform), amiFile});
    return lines;
}

}  // namespace

std::vector<KitPlatform> KitPlatforms() {
    return {{KitSystem::Windows, 64}, {KitSystem::Windows, 32}, {KitSystem::Linux, 64}, {KitSystem::Linux, 32}};
}

std::string LibraryFileName(KitModel model, KitPlatform platform) {
    RequireKitBitness(platform.bits);
    // The receiver's 32-bit library keeps the plain name it has always had.
    std::string name;
    if (model == KitModel::Transmitter) name = platform.bits == 64 ? "kelvane_tx_x64" : "kelvane_tx_x86";
    else name = platform.bits == 64 ? "kelvane_rx_x64" : "kelvane_rx";
    return name + (platform.system == KitSystem::Windows ? ".dll" : ".so");
}

std::string PlatformName(KitPlatform platform) {
    RequireKitBitness(platform.bits);
    const std::string bits = "_" + std::to_string(platform.bits);
    if (platform.system == KitSystem::Windows) return "Windows_VisualStudio" + bits;
    return "Linux_" + CompilerToken() + bits;
}

int ReceiverIgnoreBits(const std::vector<AmiParameter>& receiverParameters) {
    const AmiParameter& window = receiverParameters[ParameterIndex(receiverParameters, "EOM_window")];
    const int eomWindow = static_cast<int>(window.defaultValue);
    return kStartGateClockPeriods + kAdaptationMeasurements * (kRequestEchoSamples / kSamplesPerBit + eomWindow);
}

AmiModel TransmitterAmiModel() {
    AmiModel model;
    model.rootName = kelvane_tx::kRootName;
    model.description =
        "Kelvane 28 Gb/s repeater transmitter: the transmitter's stored analog impulse response followed by a "
        "three-tap feed-forward equaliser. Generated from the model's parameter table; do not edit.";
    model.reserved = TimeDomainOnly("AMI_GetWave equalises the waveform in place.");
    model.parameters = AmiParametersOf(kelvane_tx::AmiParameters());
    return model;
}

AmiModel ReceiverAmiModel() {
    AmiModel model;
    model.rootName = kelvane_rx::kRootName;
    model.description =
        "Kelvane 28 Gb/s repeater receiver: continuous-time equaliser, gain stage, five-tap DFE, clock recovery, "
        "eye monitor and adaptation, which appends its trace to adapt.txt in the simulator's working directory. "
        "Set Rx_config to 1. Simulate with a realistic frequency offset between transmitter and receiver (tens to "
        "hundreds of ppm, as every real link has): at exactly zero offset on a low-loss channel the clock loop can "
        "stay where it starts, off the eye's centre. Generated from the model's parameter table; do not edit.";
    model.parameters = AmiParametersOf(kelvane_rx::AmiParameters());
    // The simulator samples the output half a unit interval after each reported clock time; the falling
    // edges lie half a unit interval before the slicer's rising edges, so with 1 it samples the equalised
    // signal where the receiver itself decides.
    AddToDescription(model.parameters, "Rx_config",
                     "A channel simulator needs 1: it samples the equalised signal half a unit interval after each "
                     "falling-edge clock time, where the receiver itself decides; 0 is for looking at the decisions.");
    model.reserved = TimeDomainOnly(
        "AMI_GetWave equalises the waveform in place and returns the recovered clock times in clock_times.");
    const int ignoreBits = ReceiverIgnoreBits(model.parameters);
    model.reserved.push_back(
        {"Ignore_Bits", "Integer", std::to_string(ignoreBits),
         "Bits to leave out of the analysis while the receiver adapts at the default settings and 32 samples per "
         "bit: the start gate of " + std::to_string(kStartGateClockPeriods) + " clock periods, then " +
             std::to_string(kAdaptationMeasurements) + " eye measurements (16 for the equaliser, the rest for the DFE) of " +
             std::to_string(kRequestEchoSamples) + " samples plus EOM_window clock periods each."});
    return model;
}

std::vector<KitFile> KitFiles() {
    IbsKit ibs;
    ibs.fileName = kIbsFileName;
    ibs.ibisVersion = kIbisVersion;
    ibs.fileRev = KELVANE_KIT_VERSION;
    ibs.generatedBy = "gen_kit_files";
    ibs.tx = ExecutablesOf(KitModel::Transmitter, kTxAmiFileName);
    ibs.rx = ExecutablesOf(KitModel::Receiver, kRxAmiFileName);
    return {
        {kTxAmiFileName, RenderAmi(TransmitterAmiModel())},
        {kRxAmiFileName, RenderAmi(ReceiverAmiModel())},
        {kIbsFileName, RenderIbs(ibs)},
    };
}

}  // namespace kit
