#pragma once

// Levels and edges of the receiver blocks' control signals (the tick, the monitor's request and done
// flags): a value is high above 0.5 and low below it, so 0 then 1 rises and 1 then 0 falls. The start
// gate (NClockDelay) is the exception: it counts only a step from exactly 0 to exactly 1.
namespace control_edges {

inline bool IsHigh(double value) { return value > 0.5; }
inline bool IsLow(double value) { return value < 0.5; }
inline bool Rises(double previous, double present) { return IsLow(previous) && IsHigh(present); }
inline bool Falls(double previous, double present) { return IsHigh(previous) && IsLow(present); }

}  // namespace control_edges
