#pragma once

// Samples per unit interval as AMI_Init computes it: bit_time / sample_interval + 0.5, truncated. Timing
// that gives no usable count (zero, negative, NaN or infinite values, or a quotient beyond the int range)
// yields 0, which the models' own checks then reject in Setup.
int SamplesPerBitFor(double sampleInterval, double bitTime);

// Number of clock-time entries (terminator included) that AMI_GetWave may write for a block: one per
// unit interval plus three, but never more than the host's array holds (it is as long as the wave), and
// only the terminator when samples per bit is unusable.
long ClockTimeLimit(long waveSize, int samplesPerBit);
