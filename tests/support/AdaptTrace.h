#pragma once

// Reads the adaptation trace "adapt.txt" with the receiver's own reader: a header line per model start, then
// one line per eye measurement.

#include <sstream>
#include <string>
#include <vector>

#include "rx/AdaptTraceFile.h"

struct AdaptTrace {
    int headers = 0;
    std::vector<AdaptTraceRecord> lines;  // every measurement line, of every start
    bool wellFormed = true;               // no line is malformed
};

inline AdaptTrace ParseAdaptTrace(const std::string& text) {
    AdaptTrace trace;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        AdaptTraceRecord record;
        switch (ReadAdaptTraceLine(line, record)) {
            case AdaptTraceLineKind::Header: ++trace.headers; break;
            case AdaptTraceLineKind::Blank: break;
            case AdaptTraceLineKind::Measurement: trace.lines.push_back(record); break;
            case AdaptTraceLineKind::Malformed: trace.wellFormed = false; break;
        }
    }
    return trace;
}
