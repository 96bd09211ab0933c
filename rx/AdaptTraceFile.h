#pragma once

#include <cstddef>
#include <string_view>

#include "rx/DfeTapClimb.h"

// The adaptation trace: a plain-text file in the current directory to which every receiver instance
// appends a header at each Initialize and one line per eye measurement. This file is the format's one home:
// the receiver writes it, the link simulator and the tests read it with what is declared here.
inline constexpr char kAdaptTraceFileName[] = "adapt.txt";
inline constexpr char kAdaptTraceHeader[] = "VGA_GAIN EQ_HIGAIN ctleindex CTLE DFE1 DFE2 DFE3 DFE4 DFE5 HEO VEO\n";
// The header line as a reader sees it, without its line break.
inline constexpr std::string_view kAdaptTraceHeaderLine(kAdaptTraceHeader, sizeof kAdaptTraceHeader - 2);

// The figure of merit by which the adaptation judges an eye measurement, and by which readers of the trace
// judge its lines. heo [UI], veo [V].
inline double EyeMerit(double heo, double veo) { return 0.25 * veo + heo; }

// The settings under which one eye measurement was made, and the measurement.
struct AdaptTraceRecord {
    int vgaGain = 0;
    int eqHighGain = 0;
    int equaliserIndex = 0;
    long long equaliserCode = 0;  // selection index of the equaliser minus 1
    double taps[DfeTapClimb::kTaps] = {};  // DFE tap weights [V], the columns DFE1 to DFE5
    double heo = 0.0;             // [UI]
    double veo = 0.0;             // [V]

    double Merit() const { return EyeMerit(heo, veo); }
};

// One data line, formatted in place (no allocation): integers in decimal, reals in general notation with
// six significant digits exactly as a default std::ostream writes them, independent of any locale.
class FormattedAdaptTraceLine {
public:
    explicit FormattedAdaptTraceLine(const AdaptTraceRecord& record);

    const char* Text() const { return text; }
    std::size_t Length() const { return length; }

private:
    void AppendInteger(long long value);
    void AppendReal(double value);
    void AppendText(const char* piece);

    // Four integers, seven reals and their separators stay well below this.
    static constexpr std::size_t kCapacity = 256;
    char text[kCapacity];
    std::size_t length = 0;
};

// What a line of the trace is, as ReadAdaptTraceLine finds it.
enum class AdaptTraceLineKind {
    Header,       // the header line: a receiver started, and the lines of any earlier start are over
    Blank,        // nothing but blanks and tabs
    Measurement,  // a data line, read into the record
    Malformed,    // anything else
};

// Reads one line of the trace, given without its line break (a carriage return before it is ignored, so
// that a file that passed through a Windows editor still reads). A measurement line holds four integers
// (VGA_GAIN, EQ_HIGAIN, ctleindex, CTLE) and seven reals (DFE1 to DFE5, HEO, VEO), separated by blanks or
// tabs, as the receiver writes them; reals may be "nan" or "inf". The reading does not depend on the locale
// and allocates nothing; the record is filled only for a measurement.
AdaptTraceLineKind ReadAdaptTraceLine(std::string_view line, AdaptTraceRecord& record);

// Appends text to the trace file with one write call, so that lines of receivers running at the same time
// never mix within a line. The file is opened for every call and closed right after; any failure leaves
// the file as it is, silently.
void AppendToAdaptTrace(const char* text, std::size_t length);
