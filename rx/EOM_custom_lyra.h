#pragma once

#include <memory>

#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"

// Eye-opening monitor. On request (control input low) it accumulates, over Window clock periods, a map of
// the equalised signal against sample phase (rows) and signal level (bins), then reports the horizontal
// opening in unit intervals, the vertical opening in volts and a done flag. A map cell stays 0 exactly
// when no sample of its phase lay between the cell's level and the centre line, so the eye is the zero
// region around the centre.
class EOM_custom_lyra : public Velmora::DFModel {
public:
    // Extent of the eye map in both directions; SamplesPerBit and Levels must fit into it.
    static constexpr int kMapExtent = 256;
    // Zero runs recorded per level; a level can hold more only above 40 samples per bit, and the runs
    // after the first kMaxZeroRuns (in order of their start row) are not considered.
    static constexpr int kMaxZeroRuns = 20;

    Velmora::CircularBuffer<int> clockInput;       // input 1: the receiver's tick, 0 or 1
    Velmora::CircularBuffer<double> dataInput;     // input 2: equalised signal [V]
    Velmora::CircularBuffer<int> controlInput;     // input 3: measurement request, 1 holds the map cleared
    Velmora::CircularBuffer<int> doneOutput;       // output 1: 1 once a measurement has been evaluated
    Velmora::CircularBuffer<double> heoOutput;     // output 2: horizontal opening [UI]
    Velmora::CircularBuffer<double> veoOutput;     // output 3: vertical opening [V]

    int Window = 2000;              // clock periods per measurement
    int SamplesPerBit = 16;         // phase rows of the map, 1 to kMapExtent
    int Levels = 64;                // level bins of the map, 4 to kMapExtent
    double Amplitude = 0.2;         // full scale [V]: bins span -Amplitude to +Amplitude; Initialize sets it
    double MaxAmplitude = 0.4;      // [V]; kept for the owner, not used by the measurement

    // What the evaluation found at one level of the map.
    struct LevelScan {
        int width = 0;   // rows of the longest zero run (all rows when the level is empty)
        int start = 0;   // first row of that run
        int centre = 0;  // row at the run's middle, where the height is measured
        int height = 0;  // zero bins around the centre line in the centre row
    };

    // Measures one level bin of a map laid out row-major with kMapExtent cells per row.
    static LevelScan ScanLevel(const double* map, int rows, int levels, int bin);

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;

    // Read access for the owner and for tests; null until a successful Initialize.
    const double* Map() const { return map.get(); }

private:
    void ClearMeasurement();
    void AddSample(double x);
    void Evaluate();

    std::unique_ptr<double[]> map;  // kMapExtent x kMapExtent, cell (row r, bin b) at r * kMapExtent + b
    double doneValue = 0.0;
    double heoValue = 0.0;
    double veoValue = 0.0;
    int counter = 0;            // clock periods counted in the present measurement
    int previousControl = 0;
    int measuring = 0;
    int previousClock = 0;
    int row = 0;                // map row of the next sample, 0 to SamplesPerBit - 1
};
