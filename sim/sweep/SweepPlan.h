#pragma once

// What a sweep runs: every combination of the channels and the swept transmitter and receiver settings,
// each case a plain kelvane-sim command line writing into a folder of its own whose name says the settings.

#include <string>
#include <vector>

namespace ksim {

// One swept model parameter: "c1=0:15" (whole range, step 1), "EOMAmplitude=0.05:0.2:0.05" (range with a step),
// "CTLE=3,7,11" (list, items may be ranges), "CTLEAdapt=0" (one value).
struct SweepAxis {
    std::string side;                 // "tx" or "rx"
    std::string name;                 // parameter name: letters, digits, '_' and '.'
    std::vector<std::string> values;  // as the case command lines pass them
};

// Reads "name=values" for the given side; throws std::invalid_argument saying what is wrong.
SweepAxis ParseSweepAxis(const std::string& side, const std::string& text);

// Most cases one sweep may have.
constexpr std::size_t kMaxSweepCases = 100000;

struct SweepCase {
    std::string name;                  // folder name: "<channel>,tx.c1=3,rx.CTLE=5"
    std::string folder;                // absolute
    std::vector<std::string> command;  // program and arguments
};

struct SweepPlanInput {
    std::string program;                   // absolute path of kelvane-sim
    std::string casesFolder;               // absolute folder the case folders go into
    std::vector<std::string> channels;     // as --channel takes them ("analytic" or a file path)
    std::vector<SweepAxis> axes;           // transmitter axes first, then receiver axes, in the order given
    std::vector<std::string> passThrough;  // options every case gets as they are (e.g. --bits 20000)
};

// Channels outermost, then the axes in order, the last varying fastest. Channel files are made absolute so
// that a case runs from any folder. Throws std::invalid_argument beyond kMaxSweepCases.
std::vector<SweepCase> PlanSweep(const SweepPlanInput& input);

// The short channel name in case folder names: "analytic", or the file's name without its extension, with
// any character other than letters, digits, '-', '_' and '.' replaced by '_'.
std::string ChannelTag(const std::string& channel);

// The command line as a POSIX shell reads it back (words with other than safe characters single-quoted).
std::string ShellLine(const std::vector<std::string>& words);

// The job file: a comment header, then one command line per case.
std::string JobFileText(const std::vector<SweepCase>& cases);

}  // namespace ksim
