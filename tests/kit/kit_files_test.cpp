// The kit's IBIS and AMI files: the .ami files read back through our own parameter parser hold every row of
// the models' tables and initialise the models without a warning; the .ibs keeps IBIS's line and keyword
// rules, names this build's libraries and carries resistive I-V tables of the stated impedances.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ami/AmiParameterTree.h"
#include "kit/AmiDefaults.h"
#include "kit/AmiFile.h"
#include "kit/KitFiles.h"
#include "rx/KelvaneRx.h"
#include "tests/support/AmiLibrary.h"
#include "tests/support/ScopedTempDir.h"
#include "tx/KelvaneTx.h"

namespace {

const int kBits = static_cast<int>(sizeof(void*) * 8);

std::string KitText(const std::string& name) {
    for (const kit::KitFile& file : kit::KitFiles())
        if (file.name == name) return file.text;
    return "";
}

std::vector<std::string> LeafValues(const AmiParameterTree& tree, const std::string& path) {
    std::vector<std::string> values;
    const ParamNode* leaf = tree.FindLeaf(path.c_str());
    if (leaf == nullptr) return values;
    for (int i = 0; i < leaf->itemCount; ++i) values.push_back(static_cast<const ParamValue*>(leaf->items)[i].text);
    return values;
}

double Number(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

// Every row of the model's table, read back from the rendered file by the paths a user would read.
template <typename Model>
void ExpectTableInAmi(const std::string& amiText) {
    using Param = AmiParameterSpec<Model>;
    AmiParameterTree tree(amiText.c_str());
    ASSERT_TRUE(tree.built);
    const std::string branch = std::string(Model::kRootName) + ".Model_Specific.";
    for (const Param& param : Model::AmiParameters()) {
        const std::string base = branch + param.name;
        SCOPED_TRACE(base);
        if (param.kind == Param::Kind::IntegerList) {
            for (int i = 0; i < param.listLength; ++i) {
                const std::string element = base + "." + std::to_string(i);
                int value = -1;
                EXPECT_TRUE(tree.GetInt((element + (param.bounded ? ".Range" : ".Value")).c_str(), value));
                EXPECT_EQ(value, param.listDefaults[i]);
                EXPECT_EQ(LeafValues(tree, element + ".Type"), std::vector<std::string>{"Integer"});
                EXPECT_EQ(LeafValues(tree, element + ".Usage"), std::vector<std::string>{"In"});
            }
            continue;
        }
        const double expectedDefault = param.whole ? std::trunc(param.defaultValue) : param.defaultValue;
        EXPECT_EQ(LeafValues(tree, base + ".Type"), std::vector<std::string>{param.whole ? "Integer" : "Float"});
        EXPECT_EQ(LeafValues(tree, base + ".Usage"), std::vector<std::string>{"In"});
        EXPECT_FALSE(LeafValues(tree, base + ".Description").empty());
        if (param.bounded) {
            const std::vector<std::string> range = LeafValues(tree, base + ".Range");
            ASSERT_EQ(range.size(), 3u);
            EXPECT_EQ(Number(range[0]), expectedDefault);
            EXPECT_EQ(Number(range[1]), param.minimum);
            EXPECT_EQ(Number(range[2]), param.maximum);
            EXPECT_EQ(tree.FindLeaf((base + ".Value").c_str()), nullptr);
        } else {
            double value = NAN;
            EXPECT_TRUE(tree.GetDouble((base + ".Value").c_str(), value));
            EXPECT_EQ(value, expectedDefault);
        }
    }
    // Nothing beyond the table.
    const ParamNode* root = tree.list->entries[0].node;
    const ParamEntry* sections = static_cast<const ParamEntry*>(root->items);
    for (int i = 0; i < root->itemCount; ++i) {
        if (std::string(sections[i].node->name) == "Model_Specific") {
            EXPECT_EQ(static_cast<std::size_t>(sections[i].node->itemCount), Model::AmiParameters().count);
        }
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string Keyword(const std::string& line) {
    return line.substr(0, line.find(']') + 1);
}

// An IBIS number: a decimal number, an optional scale letter, units ignored.
double IbisNumber(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    const std::map<char, double> scale = {{'m', 1e-3}, {'u', 1e-6}, {'n', 1e-9}, {'p', 1e-12}, {'f', 1e-15}, {'k', 1e3}};
    const auto found = scale.find(*end);
    return found != scale.end() ? value * found->second : value;
}

// The rows of the table under `keyword` inside the section of [Model] `model`: voltage and three currents.
std::vector<std::vector<double>> IvTable(const std::string& ibs, const std::string& model, const std::string& keyword) {
    std::vector<std::vector<double>> rows;
    std::string currentModel;
    bool inside = false;
    for (const std::string& line : Lines(ibs)) {
        if (line.rfind("[Model]", 0) == 0) currentModel = Words(line).back();
        if (line.rfind("[", 0) == 0) inside = currentModel == model && Keyword(line) == keyword;
        else if (inside && !line.empty() && line[0] != '|') {
            std::vector<double> row;
            for (const std::string& word : Words(line)) row.push_back(IbisNumber(word));
            rows.push_back(row);
        }
    }
    return rows;
}

// Sub-parameter lines ("Executable ...", "dV/dt_r ...") inside the section of [Model] `model`.
std::vector<std::vector<std::string>> ModelLines(const std::string& ibs, const std::string& model, const std::string& name) {
    std::vector<std::vector<std::string>> found;
    std::string currentModel;
    for (const std::string& line : Lines(ibs)) {
        if (line.rfind("[Model]", 0) == 0) currentModel = Words(line).back();
        if (currentModel == model && line.rfind(name, 0) == 0) found.push_back(Words(line));
    }
    return found;
}

std::vector<std::string> ModelLine(const std::string& ibs, const std::string& model, const std::string& name) {
    const std::vector<std::vector<std::string>> lines = ModelLines(ibs, model, name);
    return lines.empty() ? std::vector<std::string>{} : lines.front();
}

std::string BaseName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

}  // namespace

// ---- the .ami files ----

TEST(KitAmiFiles, ParseAndHoldEveryTableRow) {
    for (const char* name : {kit::kTxAmiFileName, kit::kRxAmiFileName}) {
        ParamList* list = nullptr;
        EXPECT_EQ(ParseAmiString(KitText(name).c_str(), &list), kParseOk) << name;
        ReleaseParamList(list);
    }
    ExpectTableInAmi<kelvane_tx>(KitText(kit::kTxAmiFileName));
    ExpectTableInAmi<kelvane_rx>(KitText(kit::kRxAmiFileName));
    // Every setting a user may tune has a range a simulator's front end can offer; only the two eye-monitor
    // amplitudes, which change nothing, keep a single value.
    std::vector<std::string> fixed;
    for (const auto& param : kelvane_tx::AmiParameters())
        if (!param.bounded) fixed.push_back(param.name);
    for (const auto& param : kelvane_rx::AmiParameters())
        if (!param.bounded) fixed.push_back(param.name);
    EXPECT_EQ(fixed, (std::vector<std::string>{"EOMAmplitude", "EOMaxAmp"}));
}

TEST(KitAmiFiles, ReservedParametersDeclareTheTimeDomainFlow) {
    for (const auto& [name, root] : {std::pair<std::string, std::string>{kit::kTxAmiFileName, "kelvane_tx"},
                                     {kit::kRxAmiFileName, "kelvane_rx"}}) {
        const std::string text = KitText(name);
        EXPECT_EQ(text.rfind("(" + root + "\n", 0), 0u) << name;
        AmiParameterTree tree(text.c_str());
        const std::string reserved = root + ".Reserved_Parameters.";
        bool impulse = true, getWave = false;
        EXPECT_TRUE(tree.GetBool((reserved + "Init_Returns_Impulse.Value").c_str(), impulse));
        EXPECT_TRUE(tree.GetBool((reserved + "GetWave_Exists.Value").c_str(), getWave));
        EXPECT_FALSE(impulse);
        EXPECT_TRUE(getWave);
        EXPECT_EQ(LeafValues(tree, reserved + "AMI_Version.Type"), std::vector<std::string>{"String"});
        EXPECT_EQ(LeafValues(tree, reserved + "AMI_Version.Value"), std::vector<std::string>{kit::kIbisVersion});
        EXPECT_EQ(LeafValues(tree, reserved + "Init_Returns_Impulse.Usage"), std::vector<std::string>{"Info"});
    }
    // Start gate of 5000 clock periods, then 38 measurements of 16000 samples (500 bits at 32 samples per bit)
    // and 2000 clock periods.
    AmiParameterTree rx(KitText(kit::kRxAmiFileName).c_str());
    int ignoreBits = 0;
    EXPECT_TRUE(rx.GetInt("kelvane_rx.Reserved_Parameters.Ignore_Bits.Value", ignoreBits));
    EXPECT_EQ(ignoreBits, 5000 + 38 * (500 + 2000));
    AmiParameterTree tx(KitText(kit::kTxAmiFileName).c_str());
    EXPECT_EQ(tx.FindLeaf("kelvane_tx.Reserved_Parameters.Ignore_Bits.Value"), nullptr);
}

TEST(KitAmiFiles, ModelSpecificDefaultsInitialiseTheModelsWithoutWarnings) {
    ScopedTempDir dir;  // the receiver starts its adaptation trace in the current directory
    const double bitTime = 3.571428571428571e-11;
    const std::string txString = kit::DefaultParameterString(KitText(kit::kTxAmiFileName));
    const std::string rxString = kit::DefaultParameterString(KitText(kit::kRxAmiFileName));
    EXPECT_EQ(txString, "(kelvane_tx (c0 15) (c1 0) (cm1 4) (c0_sign 1) (c1_sign 1) (cm1_sign 1))");
    EXPECT_NE(rxString.find(" (EQ_TABLE (0 0) (1 64) (2 80) "), std::string::npos) << rxString;
    EXPECT_THROW(kit::DefaultParameterString("(kelvane_tx (Reserved_Parameters))"), std::invalid_argument);
    EXPECT_THROW(kit::DefaultParameterString("(kelvane_tx"), std::invalid_argument);
    const AmiLibrary txLibrary(KELVANE_TX_LIBRARY);
    const AmiLibrary rxLibrary(KELVANE_RX_LIBRARY);
    const AmiSession tx(txLibrary, txString, bitTime / 32, bitTime);
    const AmiSession rx(rxLibrary, rxString, bitTime / 32, bitTime);
    EXPECT_EQ(tx.initResult, 1);
    EXPECT_EQ(rx.initResult, 1);
    EXPECT_EQ(tx.message, "");
    EXPECT_EQ(rx.message, "");
}

// What the .ami says of the FFE flags holds in a run: a lone one-bit pulse through the transmitter library,
// read one unit interval before and after its main cursor. The cursor whose flag the file calls
// de-emphasising comes out opposite in sign to the main cursor; at the defaults (all flags 1) it adds.
TEST(KitAmiFiles, FfeFlagCalledDeEmphasisingOpposesTheMainCursor) {
    const std::string ami = KitText(kit::kTxAmiFileName);
    EXPECT_NE(ami.find("post-cursor polarity: 1 positive post weight, 0 negative; 0 de-emphasises while c0_sign is 1"),
              std::string::npos);
    EXPECT_NE(ami.find("pre-cursor polarity: 1 positive pre weight, 0 negative; 0 de-emphasises while c0_sign is 1"),
              std::string::npos);
    const double bitTime = 3.571428571428571e-11;
    const AmiLibrary txLibrary(KELVANE_TX_LIBRARY);
    auto pulse = [&](const std::string& settings) {
        std::vector<double> wave(24 * 32, 0.0);
        std::fill(wave.begin() + 8 * 32, wave.begin() + 9 * 32, 0.5);
        AmiSession tx(txLibrary, "(kelvane_tx " + settings + ")", bitTime / 32, bitTime);
        EXPECT_EQ(tx.Process(wave, wave.size()), 1);
        return wave;
    };
    const std::vector<double> mainOnly = pulse("(c0 15) (c1 0) (cm1 0)");
    const std::size_t peak = static_cast<std::size_t>(std::max_element(mainOnly.begin(), mainOnly.end()) - mainOnly.begin());
    ASSERT_GT(mainOnly[peak], 0.1);
    const struct { const char* settings; double preSign; double postSign; } cases[] = {
        {"(c0 15) (c1 8) (cm1 4) (c0_sign 1) (c1_sign 1) (cm1_sign 1)", +1, +1},  // the defaults' flags: both add
        {"(c0 15) (c1 8) (cm1 4) (c0_sign 1) (c1_sign 0) (cm1_sign 0)", -1, -1},  // both de-emphasise
        {"(c0 15) (c1 8) (cm1 4) (c0_sign 0) (c1_sign 1) (cm1_sign 1)", -1, -1},  // negative main: 1 opposes it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        const std::vector<double> out = pulse(c.settings);
        const double main = out[peak];
        EXPECT_GT(std::fabs(main), 0.1);
        EXPECT_GT(c.preSign * out[peak - 32] * main, 0.01 * main * main);
        EXPECT_GT(c.postSign * out[peak + 32] * main, 0.01 * main * main);
    }
}

namespace {
struct ToyModel {
    double gain;
    double big;
    double tiny;
    double steps;
    int count;
    Velmora::MultiArray<int> codes;
};
const int kToyCodes[2] = {-3, 7};
}  // namespace

TEST(KitAmiFiles, RenderingKnownAnswer) {
    using Param = AmiParameterSpec<ToyModel>;
    const Param rows[] = {
        Param::Real("gain", &ToyModel::gain, 0.25, "gain [V/V]").Bounded(-0.5, 1.5),
        Param::Real("big", &ToyModel::big, 6e8, "rate [Hz]"),
        Param::Real("tiny", &ToyModel::tiny, 1e-6, "time [s]"),
        Param::Real("steps", &ToyModel::steps, 3.0, "steps").Whole().Bounded(-15, 15),
        Param::Integer("count", &ToyModel::count, 7, "say \"seven\""),
        Param::IntegerList("codes", &ToyModel::codes, kToyCodes, 2, "code"),
    };
    kit::AmiModel model;
    model.rootName = "toy";
    model.description = "A toy.";
    model.reserved = {{"AMI_Version", "String", "7.0", "version"}, {"GetWave_Exists", "Boolean", "True", "yes"}};
    model.parameters = kit::AmiParametersOf(MakeParameterTable(rows));
    EXPECT_EQ(kit::RenderAmi(model),
              "(toy\n"
              "  (Description \"A toy.\")\n"
              "  (Reserved_Parameters\n"
              "    (AMI_Version (Usage Info) (Type String) (Value \"7.0\")\n"
              "      (Description \"version\"))\n"
              "    (GetWave_Exists (Usage Info) (Type Boolean) (Value True)\n"
              "      (Description \"yes\"))\n"
              "  )\n"
              "  (Model_Specific\n"
              "    (gain (Usage In) (Type Float) (Range 0.25 -0.5 1.5)\n"
              "      (Description \"gain [V/V]\"))\n"
              "    (big (Usage In) (Type Float) (Value 600000000.0)\n"
              "      (Description \"rate [Hz]\"))\n"
              "    (tiny (Usage In) (Type Float) (Value 1e-06)\n"
              "      (Description \"time [s]\"))\n"
              "    (steps (Usage In) (Type Integer) (Range 3 -15 15)\n"
              "      (Description \"steps\"))\n"
              "    (count (Usage In) (Type Integer) (Value 7)\n"
              "      (Description \"say 'seven'\"))\n"
              "    (codes\n"
              "      (0 (Usage In) (Type Integer) (Value -3)\n"
              "        (Description \"codes entry 0: code\"))\n"
              "      (1 (Usage In) (Type Integer) (Value 7)\n"
              "        (Description \"codes entry 1: code\"))\n"
              "    )\n"
              "  )\n"
              ")\n");
    EXPECT_EQ(kit::AmiFloatText(-0.0), "0.0");
    EXPECT_EQ(kit::AmiFloatText(0.1 + 0.2), "0.30000000000000004");  // exact, not rounded for looks
    EXPECT_EQ(kit::AmiIntegerText(-2.9), "-2");                        // truncated, as the model takes it

    model.parameters[0].defaultValue = 2.0;  // outside -0.5 .. 1.5
    EXPECT_THROW(kit::RenderAmi(model), std::invalid_argument);
}

// ---- the .ibs file ----

TEST(KitIbsFile, KeepsLineRulesAndKeywordOrder) {
    const std::string ibs = KitText(kit::kIbsFileName);
    ASSERT_FALSE(ibs.empty());
    ASSERT_EQ(ibs.back(), '\n');
    std::vector<std::string> keywords;
    for (const std::string& line : Lines(ibs)) {
        EXPECT_LE(line.size(), 80u) << line;
        for (char c : line) EXPECT_TRUE(c >= ' ' && c <= '~') << "character " << int(c) << " in: " << line;
        if (!line.empty() && line[0] == '[') keywords.push_back(Keyword(line));
    }
    EXPECT_EQ(ibs.rfind("| kelvane.ibs: generated by gen_kit_files", 0), 0u);
    const std::vector<std::string> expected = {
        "[IBIS Ver]", "[File Name]", "[File Rev]", "[Date]", "[Source]", "[Notes]", "[Disclaimer]", "[Copyright]",
        "[Component]", "[Manufacturer]", "[Package]", "[Pin]", "[Diff Pin]",
        "[Model]", "[Voltage Range]", "[Pulldown]", "[Pullup]", "[Ramp]", "[Algorithmic Model]",
        "[End Algorithmic Model]",
        "[Model]", "[Voltage Range]", "[GND Clamp]", "[POWER Clamp]", "[Algorithmic Model]",
        "[End Algorithmic Model]", "[End]"};
    EXPECT_EQ(keywords, expected);
    EXPECT_EQ(Lines(ibs).back(), "[End]");
    EXPECT_EQ(Words(Lines(ibs)[4]), (std::vector<std::string>{"[IBIS", "Ver]", "7.0"}));
    EXPECT_EQ(Words(Lines(ibs)[5]).back(), kit::kIbsFileName);
}

TEST(KitIbsFile, PinsAndDiffPinsNameModelsThatExist) {
    const std::string ibs = KitText(kit::kIbsFileName);
    std::set<std::string> models, usedModels;
    std::map<std::string, std::string> pinModel;
    std::vector<std::vector<std::string>> diffPairs;
    std::string section;
    for (const std::string& line : Lines(ibs)) {
        if (line.rfind("[", 0) == 0) {
            section = Keyword(line);
            if (section == "[Model]") models.insert(Words(line).back());
            continue;
        }
        if (line.empty() || line[0] == '|') continue;
        const std::vector<std::string> words = Words(line);
        if (section == "[Pin]") {
            ASSERT_EQ(words.size(), 3u) << line;
            pinModel[words[0]] = words[2];
            if (words[2] != "POWER" && words[2] != "GND" && words[2] != "NC") usedModels.insert(words[2]);
        } else if (section == "[Diff Pin]") {
            diffPairs.push_back(words);
        }
    }
    EXPECT_EQ(usedModels, (std::set<std::string>{"kelvane_tx", "kelvane_rx"}));
    EXPECT_EQ(models, usedModels);
    ASSERT_EQ(diffPairs.size(), 2u);
    for (const std::vector<std::string>& pair : diffPairs) {
        ASSERT_EQ(pair.size(), 6u);
        ASSERT_TRUE(pinModel.count(pair[0]) && pinModel.count(pair[1]));
        EXPECT_EQ(pinModel[pair[0]], pinModel[pair[1]]);
    }
}

TEST(KitIbsFile, ExecutableLinesNameEveryPlatformsLibraryAndTheAmiFiles) {
    const std::string ibs = KitText(kit::kIbsFileName);
    const std::set<std::string> expectedPlatforms = {"Windows_VisualStudio_64", "Windows_VisualStudio_32", "Linux_gcc_64",
                                                     "Linux_gcc_32"};
    std::set<std::string> allLibraries;
    for (const auto& [model, root] : {std::pair<std::string, std::string>{"kelvane_tx", "kelvane_tx"},
                                      {"kelvane_rx", "kelvane_rx"}}) {
        SCOPED_TRACE(model);
        std::set<std::string> platforms, libraries;
        for (const std::vector<std::string>& line : ModelLines(ibs, model, "Executable")) {
            ASSERT_EQ(line.size(), 4u);
            // Linux names carry the compiler's version: Linux_gcc12.2.0_64.
            std::string platform = line[1];
            if (platform.rfind("Linux_gcc", 0) == 0)
                platform = "Linux_gcc" + platform.substr(platform.find('_', std::string("Linux_gcc").size()));
            platforms.insert(platform);
            libraries.insert(line[2]);
            const bool windows = platform.rfind("Windows", 0) == 0;
            EXPECT_EQ(line[2].substr(line[2].size() - (windows ? 4 : 3)), windows ? ".dll" : ".so") << line[2];
            EXPECT_NE(line[2].find(model == "kelvane_tx" ? "_tx" : "_rx"), std::string::npos) << line[2];
            // 64-bit libraries are the _x64 ones, on both systems.
            EXPECT_EQ(line[2].find("_x64") != std::string::npos, platform.substr(platform.size() - 3) == "_64") << line[2];
            // Each names the parameter file whose root is its own model.
            EXPECT_EQ(KitText(line[3]).rfind("(" + root + "\n", 0), 0u) << line[3];
        }
        EXPECT_EQ(platforms, expectedPlatforms);
        EXPECT_EQ(libraries.size(), 4u);
        allLibraries.insert(libraries.begin(), libraries.end());
    }
    EXPECT_EQ(allLibraries.size(), 8u);
    // This build's libraries are among them.
    EXPECT_EQ(allLibraries.count(BaseName(KELVANE_TX_LIBRARY)), 1u);
    EXPECT_EQ(allLibraries.count(BaseName(KELVANE_RX_LIBRARY)), 1u);
    EXPECT_EQ(kit::LibraryFileName(kit::KitModel::Receiver, {kit::KitSystem::Linux, kBits}), BaseName(KELVANE_RX_LIBRARY));
    EXPECT_THROW(kit::LibraryFileName(kit::KitModel::Receiver, {kit::KitSystem::Linux, 16}), std::invalid_argument);
}

TEST(KitIbsFile, IvTablesAreMonotoneResistorsOfTheStatedImpedance) {
    const std::string ibs = KitText(kit::kIbsFileName);
    struct Table {
        const char* model;
        const char* keyword;
        double sign;  // +1 where the current rises with the table voltage
    };
    for (const Table& t : {Table{"kelvane_tx", "[Pulldown]", 1.0}, Table{"kelvane_tx", "[Pullup]", -1.0},
                           Table{"kelvane_rx", "[GND Clamp]", 1.0}, Table{"kelvane_rx", "[POWER Clamp]", -1.0}}) {
        const std::vector<std::vector<double>> rows = IvTable(ibs, t.model, t.keyword);
        SCOPED_TRACE(t.keyword);
        ASSERT_GE(rows.size(), 2u);
        EXPECT_LE(rows.size(), 100u);
        for (std::size_t i = 1; i < rows.size(); ++i) {
            ASSERT_EQ(rows[i].size(), 4u);
            EXPECT_GT(rows[i][0], rows[i - 1][0]);
            for (int column = 1; column <= 3; ++column) EXPECT_GT(t.sign * (rows[i][column] - rows[i - 1][column]), 0.0);
        }
        // The tables cover -supply .. 2 x supply.
        EXPECT_EQ(rows.front()[0], -1.0);
        EXPECT_EQ(rows.back()[0], 2.0);
    }
    // The driver: 50 ohm per side at the typical corner (currents are written to the microampere).
    const std::vector<std::vector<double>> pulldown = IvTable(ibs, "kelvane_tx", "[Pulldown]");
    EXPECT_NEAR(3.0 / (pulldown.back()[1] - pulldown.front()[1]), 50.0, 0.01);
    // The receiver pin: both clamps together are 50 ohm to half the supply. The POWER clamp's voltage is
    // supply - pin, so its table read backwards lines up with the GND clamp's pin voltages.
    const std::vector<std::vector<double>> ground = IvTable(ibs, "kelvane_rx", "[GND Clamp]");
    const std::vector<std::vector<double>> power = IvTable(ibs, "kelvane_rx", "[POWER Clamp]");
    ASSERT_EQ(ground.size(), power.size());
    const std::size_t n = ground.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double pin = ground[i][0];
        ASSERT_NEAR(1.0 - power[n - 1 - i][0], pin, 1e-12);
        EXPECT_NEAR(ground[i][1] + power[n - 1 - i][1], (pin - 0.5) / 50.0, 2e-6) << pin;
    }
    // 20 % to 80 % of the typical swing into 50 ohm: 0.6 x 1 V x 50 / (50 + 50).
    const std::vector<std::string> rise = ModelLine(ibs, "kelvane_tx", "dV/dt_r");
    ASSERT_EQ(rise.size(), 4u);
    EXPECT_EQ(IbisNumber(rise[1]), 0.3);
    EXPECT_EQ(ModelLine(ibs, "kelvane_tx", "R_load"), (std::vector<std::string>{"R_load", "=", "50"}));
}
