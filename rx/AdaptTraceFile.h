#pragma once

#include <cstddef>

// The adaptation trace: a plain-text file in the current directory to which every receiver instance
// appends a header at each Initialize and one line per eye measurement.
inline constexpr char kAdaptTraceFileName[] = "adapt.txt";
inline constexpr char kAdaptTraceHeader[] = "VGA_GAIN EQ_HIGAIN ctleindex CTLE DFE1 DFE2 DFE3 DFE4 DFE5 HEO VEO\n";

// The settings under which one eye measurement was made, and the measurement.
struct AdaptTraceRecord {
    int vgaGain = 0;
    int eqHighGain = 0;
    int equaliserIndex = 0;
    long long equaliserCode = 0;  // selection index of the equaliser minus 1
    double taps[5] = {};          // DFE tap weights
    double heo = 0.0;             // [UI]
    double veo = 0.0;             // [V]
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

// Appends text to the trace file with one write call, so that lines of receivers running at the same time
// never mix within a line. The file is opened for every call and closed right after; any failure leaves
// the file as it is, silently.
void AppendToAdaptTrace(const char* text, std::size_t length);
