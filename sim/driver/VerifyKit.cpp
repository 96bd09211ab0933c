// kelvane-sim verify <kit-dir>: checks that the kit's own libraries for this platform (the Linux ones of this
// program's bitness) start without a warning on the defaults of the kit's .ami files, as a simulator sends
// them, then replays the kit's golden run and reports whether every output equals the golden file bit for
// bit.

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "kit/AmiDefaults.h"
#include "kit/KitFiles.h"
#include "sim/host/AmiLibrary.h"
#include "sim/driver/GoldenRun.h"
#include "sim/driver/ParameterStrings.h"
#include "sim/driver/ScopedDirectory.h"

namespace ksim {

namespace {

// A private scratch folder for the receiver's adaptation trace, removed at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kelvane-verify-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder in " + pattern);
        path_ = name.data();
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// One line of the report; false when the values differ from the golden file in any bit or in length.
bool Compare(const char* what, const std::string& goldenFile, const std::vector<double>& golden,
             const std::vector<double>& got) {
    std::size_t differing = 0, first = 0;
    for (std::size_t i = 0; i < std::min(golden.size(), got.size()); ++i) {
        if (!SameBits(golden[i], got[i]) && differing++ == 0) first = i;
    }
    if (golden.size() != got.size()) {
        std::printf("  FAIL %-22s %zu values, %s has %zu\n", what, got.size(), goldenFile.c_str(), golden.size());
        return false;
    }
    if (differing > 0) {
        std::printf("  FAIL %-22s %zu of %zu values differ from %s; first at %zu: expected %s, got %s\n", what, differing,
                    golden.size(), goldenFile.c_str(), first, FormatNumber(golden[first]).c_str(),
                    FormatNumber(got[first]).c_str());
        return false;
    }
    std::printf("  ok   %-22s %zu values equal %s bit for bit\n", what, golden.size(), goldenFile.c_str());
    return true;
}

std::string ReadText(const std::string& path) {
    std::string text;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw std::runtime_error("cannot read " + path);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
    std::fclose(file);
    return text;
}

// AMI_Init with the .ami file's defaults, in the scratch folder (the receiver starts its trace there).
bool StartsWithoutWarning(const std::string& library, const std::string& amiFile, const GoldenSettings& settings,
                          const std::string& folder) {
    const std::string parameters = kit::DefaultParameterString(ReadText(amiFile));
    const AmiLibrary lib(library);
    const std::string home = folder + "/ami-defaults";
    std::filesystem::create_directories(home);
    const InstanceDirectory homeDir(home);
    InDirectory inside(homeDir);
    AmiSession session(lib, parameters, settings.SampleInterval(), settings.bitTime);
    const bool ok = session.initResult == 1 && session.message.empty();
    const std::string name = std::filesystem::path(library).filename().string();
    if (ok) std::printf("  ok   %-22s starts on the defaults of %s without a warning\n", name.c_str(),
                        std::filesystem::path(amiFile).filename().string().c_str());
    else std::printf("  FAIL %-22s on the defaults of %s: AMI_Init gave %ld, \"%s\"\n", name.c_str(),
                     std::filesystem::path(amiFile).filename().string().c_str(), session.initResult, session.message.c_str());
    return ok;
}

int VerifyUsage() {
    std::fprintf(stderr, "usage: kelvane-sim verify <kit-dir>\n");
    return 2;
}

}  // namespace

int RunVerifyCommand(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return VerifyUsage();
    const std::string kitDir = args[0];
    const int bits = static_cast<int>(sizeof(void*) * 8);
    try {
        auto inKit = [&](const std::string& name) { return kitDir + "/" + name; };
        const std::string txLibrary = inKit(kit::LibraryFileName(kit::KitModel::Transmitter, {kit::KitSystem::Linux, bits}));
        const std::string rxLibrary = inKit(kit::LibraryFileName(kit::KitModel::Receiver, {kit::KitSystem::Linux, bits}));
        const GoldenSettings settings = ReadGoldenSettings(inKit(kGoldenSettingsFile));
        GoldenWaves waves;
        waves.txInput = ReadGoldenColumn(inKit(kGoldenTxInputFile));
        waves.rxInput = ReadGoldenColumn(inKit(kGoldenRxInputFile));
        const std::vector<double> txOutput = ReadGoldenColumn(inKit(kGoldenTxOutputFile));
        const std::vector<double> rxOutput = ReadGoldenColumn(inKit(kGoldenRxOutputFile));
        const std::vector<double> clockTimes = ReadGoldenColumn(inKit(kGoldenClockTimesFile));
        const std::string adapt = ReadText(inKit(kGoldenAdaptFile));

        std::printf("kelvane-sim verify: kit %s\n", kitDir.c_str());
        std::printf("  libraries %s, %s; %zu samples at %d samples per bit, %zu per AMI_GetWave call\n",
                    txLibrary.c_str(), rxLibrary.c_str(), waves.txInput.size(), settings.samplesPerBit,
                    settings.blockSamples);
        const ScratchFolder scratch;
        bool pass = StartsWithoutWarning(txLibrary, inKit(kit::kTxAmiFileName), settings, scratch.path());
        pass = StartsWithoutWarning(rxLibrary, inKit(kit::kRxAmiFileName), settings, scratch.path()) && pass;
        ReplayGolden(settings, txLibrary, rxLibrary, scratch.path(), waves);
        pass = Compare("transmitter output", kGoldenTxOutputFile, txOutput, waves.txOutput) && pass;
        pass = Compare("receiver output", kGoldenRxOutputFile, rxOutput, waves.rxOutput) && pass;
        pass = Compare("receiver clock times", kGoldenClockTimesFile, clockTimes, waves.clockTimes) && pass;
        if (waves.adaptTrace == adapt) {
            std::printf("  ok   %-22s %zu bytes equal %s\n", "adapt.txt", adapt.size(), kGoldenAdaptFile);
        } else {
            std::printf("  FAIL %-22s differs from %s (%zu bytes, expected %zu)\n", "adapt.txt", kGoldenAdaptFile,
                        waves.adaptTrace.size(), adapt.size());
            pass = false;
        }
        std::printf(pass ? "verify: PASS, the kit's libraries reproduce the golden results bit for bit\n"
                         : "verify: FAIL, the kit's libraries do not reproduce the golden results\n");
        return pass ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvane-sim verify: %s\n", e.what());
        return 1;
    }
}

}  // namespace ksim
