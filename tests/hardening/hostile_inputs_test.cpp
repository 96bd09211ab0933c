// Hostile input from a simulator, case by case, through the real entry points: absurd parameter values,
// huge parameter strings, extreme timing and block sizes. Each case has its expected outcome (the table
// in docs/hostile-inputs.md); in every case the model stays within the host's arrays (guard cells around
// them), returns, and gives finite output for a link signal.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "rx/KelvaneRx.h"
#include "tests/hardening/FullParameterString.h"
#include "tests/hardening/HostArrays.h"
#include "tests/support/AmiLibrary.h"
#include "tests/support/LinkStimulus.h"
#include "tx/KelvaneTx.h"
#include "tests/support/ScopedTempDir.h"

namespace {

const double kBitTime = 3.571428571428571e-11;

const AmiLibrary& Library(bool rx) {
    static const AmiLibrary tx(KELVANE_TX_LIBRARY);
    static const AmiLibrary receiver(KELVANE_RX_LIBRARY);
    return rx ? receiver : tx;
}

struct HostileCase {
    bool rx;
    std::string parameters;  // groups inside the root; they come first, so they win over the run's own
    double samplesPerBit;
    long init;               // expected AMI_Init result
    std::string message;     // a piece the AMI_Init message must hold; empty: no message at all
    long run = init;         // expected result of every AMI_GetWave call with samples
};

std::string Warning(bool rx, const std::string& name) {
    return std::string("The IBIS-AMI model, ") + (rx ? "kelvane_rx" : "kelvane_tx") +
           ", is unable to initialize the parameter " + name + " from the AMI_Init arguments.";
}

// Keeps the process's address space within a bound while a case runs, so that an allocation that grows
// without bound fails (and the model reports it) instead of taking the machine. Sanitizers reserve
// terabytes of shadow memory, so the bound applies to the plain build only.
class AddressSpaceBound {
public:
    explicit AddressSpaceBound(rlim_t bytes) {
#ifndef KELVANE_SANITIZED
        getrlimit(RLIMIT_AS, &saved_);
        rlimit bound = saved_;
        bound.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_AS, &bound) == 0;
#else
        (void)bytes;
#endif
    }
    ~AddressSpaceBound() {
        if (active_) setrlimit(RLIMIT_AS, &saved_);
    }

private:
    rlimit saved_{};
    bool active_ = false;
};

constexpr rlim_t kAddressSpace = rlim_t(3) << 30;  // the test process with room for one 10^7-sample block

// Runs one case: AMI_Init, then blocks of the given sizes (a link signal), then AMI_Close.
struct CaseRun {
    long init = -1;
    std::string message;
    std::vector<long> results;
    bool guardsIntact = true;
    bool outputFinite = true;
    std::size_t clockTimes = 0;
};

CaseRun Run(const HostileCase& c, const std::vector<std::size_t>& blocks) {
    AddressSpaceBound bound(kAddressSpace);
    // Short eye measurements let the receiver adapt within the run.
    const std::string parameters = c.rx ? FullParameterString<kelvane_rx>(c.parameters + " (EOM_window 20)")
                                        : FullParameterString<kelvane_tx>(c.parameters);
    AmiSession s(Library(c.rx), parameters, kBitTime / c.samplesPerBit, kBitTime);
    CaseRun r;
    r.init = s.initResult;
    r.message = s.message;
    std::size_t total = 0;
    for (std::size_t n : blocks) total += n;
    const int perBit = static_cast<int>(c.samplesPerBit);
    const std::vector<double> signal = LossyPrbsWave(total / static_cast<std::size_t>(perBit) + 1, perBit);
    std::size_t at = 0;
    for (std::size_t n : blocks) {
        GuardedArray wave(n), clocks(n == 0 ? 1 : n, -2.0);
        for (std::size_t i = 0; i < n; ++i) wave[i] = signal[at + i];
        r.results.push_back(Library(c.rx).getWave(wave.data(), static_cast<long>(n), clocks.data(), nullptr, s.handle));
        r.guardsIntact = r.guardsIntact && wave.GuardsIntact() && clocks.GuardsIntact();
        for (std::size_t i = 0; i < n; ++i) r.outputFinite = r.outputFinite && std::isfinite(wave[i]);
        for (std::size_t i = 0; i < clocks.size() && clocks[i] != -1.0; ++i) ++r.clockTimes;
        at += n;
    }
    EXPECT_GE(s.Close(), 0);
    return r;
}

void Check(const HostileCase& c, const std::vector<std::size_t>& blocks) {
    SCOPED_TRACE((c.rx ? "kelvane_rx " : "kelvane_tx ") + c.parameters.substr(0, 80) + " at " +
                 std::to_string(c.samplesPerBit) + " samples per bit");
    // The models' own complaints (an Rx_config the multiplexers refuse writes two lines per call) are no
    // part of the outcome here.
    testing::internal::CaptureStderr();
    const CaseRun r = Run(c, blocks);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(r.init, c.init) << r.message;
    if (c.message.empty()) {
        EXPECT_EQ(r.message, "");
    } else {
        EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
    }
    EXPECT_TRUE(r.guardsIntact);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        EXPECT_EQ(r.results[b], blocks[b] == 0 && c.init == 1 ? 1 : c.run) << "block " << b;  // empty: nothing to refuse
    }
    EXPECT_TRUE(r.outputFinite);  // a link signal in, finite samples out (or back, when refused)
}

const std::string kIntMax = "2147483647";

// At 4 samples per bit the receiver's start gate (5000 clock periods) opens after 20000 samples; short eye
// measurements then move its settings within the run.
const std::vector<std::size_t> kRxRun = {0, 1, 4095, 26000, 1, 0};
const std::vector<std::size_t> kTxRun = {0, 1, 4095, 8192, 1, 0};

}  // namespace

TEST(HostileInputs, ReceiverSettings) {
    ScopedTempDir dir;
    const std::string eyeMap = "Error occurred in kelvane_rx::Initialize(). ";
    const HostileCase cases[] = {
        {true, "(EOM_window 0)", 4, 1, ""},
        {true, "(EOM_window 1)", 4, 1, ""},
        {true, "(EOM_window " + kIntMax + ")", 4, 1, ""},
        {true, "(EOM_window -5)", 4, 1, ""},
        {true, "(VerticalEyeRes 3)", 4, 0, eyeMap},
        {true, "(VerticalEyeRes 300)", 4, 0, eyeMap},
        {true, "(VerticalEyeRes 4)", 4, 1, ""},
        {true, "(VerticalEyeRes 256)", 4, 1, ""},
        {true, "(DFElsb NaN)", 4, 1, Warning(true, "DFElsb")},
        {true, "(DFElsb 1e300)", 4, 1, ""},
        {true, "(CTLEAdapt 0) (DFElsb 1e300)", 4, 1, ""},  // the taps climb in steps of 1e300 V
        {true, "(DFElsb -0.01)", 4, 1, ""},
        {true, "(VCO_Sensitivity inf)", 4, 1, Warning(true, "VCO_Sensitivity")},
        {true, "(VCO_Sensitivity 1e300)", 4, 1, ""},
        {true, "(VCO_Sensitivity -6e8)", 4, 1, ""},
        {true, "(Factor 0)", 4, 1, ""},
        {true, "(Factor -1)", 4, 1, ""},
        {true, "(Factor " + kIntMax + ")", 4, 1, "Factor 2147483647 above 1 thins the reported clock times"},
        {true, "(EQ_TABLE (0 -1) (1 1000000000) (2 -1) (3 1000000000))", 4, 1, ""},
        {true, "(CTLEAdapt 0) (CTLE 1) (EQ_TABLE (0 -1) (1 1000000000))", 4, 1, ""},
        {true, "(CTLEAdapt 0) (DFETap1Limit -5)", 4, 1, ""},
        {true, "(CTLEAdapt 0) (DFETap1Limit 1000000)", 4, 1, ""},
        {true, "(DFEtap1 " + kIntMax + ") (DFEAdapt 0)", 4, 1, ""},
        {true, "(Rx_config -1)", 4, 1, "", 0},  // the output multiplexer refuses every sample
        {true, "(EQ_HIGAIN 1e300) (VGA_GAIN -1e300)", 4, 1, ""},
        {true, "(EOMAmplitude 0) (EOMaxAmp -1)", 4, 1, ""},
        {true, "", 1, 1, ""},
        {true, "", 16, 1, ""},
        {true, "", 256, 1, ""},
        {true, "", 257, 0, eyeMap},
        {true, "", 4096, 0, eyeMap},
    };
    for (const HostileCase& c : cases) Check(c, kRxRun);
}

TEST(HostileInputs, TransmitterSettings) {
    const HostileCase cases[] = {
        {false, "(c0 -1) (c1 -1) (cm1 -1)", 32, 1, ""},
        {false, "(c0 1e300) (c1 -1e300) (cm1 " + kIntMax + ")", 32, 1, ""},
        {false, "(c0 NaN) (c1 inf)", 32, 1, Warning(false, "c1")},
        {false, "(c0_sign -7) (c1_sign 1e300) (cm1_sign -1e300)", 32, 1, ""},
        {false, "", 1, 1, ""},
    };
    for (const HostileCase& c : cases) Check(c, kTxRun);
    // 4096 samples per bit: the stored response takes about 100000 taps; a shorter run. A million: it
    // would take 25 million, beyond the 10^7 the filter allows.
    Check({false, "", 4096, 1, ""}, {0, 1, 1024});
    Check({false, "", 1e6, 0, "Error occurred in kelvane_tx::Setup(). "}, {0, 1, 1024});
}

namespace {

// Every parameter of a model's table at the ends of the int range and at ±1e300 (a list: every element).
template <typename Model>
std::vector<HostileCase> ExtremeCases(bool rx) {
    std::vector<HostileCase> cases;
    for (const auto& param : Model::AmiParameters()) {
        for (const std::string value : {"-2147483648", "2147483647", "-1e300", "1e300"}) {
            std::string group = std::string("(") + param.name;
            if (param.kind == AmiParameterSpec<Model>::Kind::IntegerList) {
                for (int i = 0; i < param.listLength; ++i) group += " (" + std::to_string(i) + " " + value + ")";
            } else {
                group += " " + value;
            }
            group += ")";
            const std::string name = param.name;
            const bool integer = param.kind != AmiParameterSpec<Model>::Kind::Real;
            const bool beyondInt = value.find('e') != std::string::npos;
            HostileCase c{rx, group, rx ? 4.0 : 32.0, 1, ""};
            if (integer && beyondInt) c.message = Warning(rx, name);  // not an int: the default stays
            else if (name == "VerticalEyeRes") c.init = 0, c.run = 0, c.message = "Error occurred in kelvane_rx::Initialize(). ";
            else if (name == "Rx_config") c.run = 0;
            else if (name == "Factor" && value == "2147483647") c.message = "Factor 2147483647 above 1 thins";
            if (integer && beyondInt && name == "EQ_TABLE") c.message = Warning(rx, "EQ_TABLE.0");
            cases.push_back(c);
        }
    }
    return cases;
}

}  // namespace

TEST(HostileInputs, EveryParameterAtItsExtremes) {
    ScopedTempDir dir;
#ifdef KELVANE_SANITIZED
    const std::vector<std::size_t> rxRun = {0, 1, 4095};  // ten times slower: starts and short blocks only
#else
    const std::vector<std::size_t> rxRun = kRxRun;
#endif
    for (const HostileCase& c : ExtremeCases<kelvane_rx>(true)) Check(c, rxRun);
    for (const HostileCase& c : ExtremeCases<kelvane_tx>(false)) Check(c, kTxRun);
}

TEST(HostileInputs, TenMegabyteParameterStrings) {
    ScopedTempDir dir;
    const std::size_t size = 10u << 20;
    const std::string value(size, '7');
    const std::string word(size, 'x');
    std::string groups;
    while (groups.size() < size) groups += "(g 1) ";
    std::string nested(size / 2, '(');
    nested += std::string(size / 2, ')');
    // A 10 MB number, a 10 MB word, half a million groups and five million levels of nesting: each is
    // read (the unknown groups are ignored) or refused as unreadable, and the model starts with defaults.
    const HostileCase cases[] = {
        {true, "(DFElsb " + value + ")", 4, 1, Warning(true, "DFElsb")},
        {true, "(CTLE " + word + ")", 4, 1, Warning(true, "CTLE")},
        {true, "(extra " + groups + ")", 4, 1, ""},
        {false, "(c0 1) " + nested, 32, 1, Warning(false, "c1")},
    };
    for (const HostileCase& c : cases) Check(c, {0, 1, 4096});
}

TEST(HostileInputs, BlocksOfZeroOneAndTenMillionSamples) {
    ScopedTempDir dir;
#ifdef KELVANE_SANITIZED
    const std::size_t huge = 1u << 18;  // the sanitized build runs ten times slower
#else
    const std::size_t huge = 10000000;
#endif
    Check({true, "", 16, 1, ""}, {0, 1, huge, 0, 1});
    Check({false, "", 32, 1, ""}, {0, 1, huge, 0, 1});
}
