#pragma once

// Reads the adaptation trace "adapt.txt": a header line per model start, then one line per eye measurement.

#include <sstream>
#include <string>
#include <vector>

struct AdaptTraceLine {
    int vgaGain = 0;
    int eqHighGain = 0;
    int tableIndex = 0;   // ctleindex: equaliser table index the measurement was made with
    int column = 0;       // CTLE: selection index minus 1
    double taps[5] = {};  // DFE1..DFE5 [V]
    double heo = 0.0;     // [UI]
    double veo = 0.0;     // [V]
    double Merit() const { return 0.25 * veo + heo; }
};

struct AdaptTrace {
    int headers = 0;
    std::vector<AdaptTraceLine> lines;
    bool wellFormed = true;
};

inline AdaptTrace ParseAdaptTrace(const std::string& text) {
    AdaptTrace trace;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line == "VGA_GAIN EQ_HIGAIN ctleindex CTLE DFE1 DFE2 DFE3 DFE4 DFE5 HEO VEO") {
            ++trace.headers;
            continue;
        }
        std::istringstream fields(line);
        AdaptTraceLine l;
        fields >> l.vgaGain >> l.eqHighGain >> l.tableIndex >> l.column;
        for (double& tap : l.taps) fields >> tap;
        fields >> l.heo >> l.veo;
        if (!fields) trace.wellFormed = false;
        trace.lines.push_back(l);
    }
    return trace;
}
