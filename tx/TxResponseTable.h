#pragma once

// The transmitter's stored analog impulse response: 128 points per default unit interval, non-zero over
// the first 513 points. The data live in the generated TxResponseTable.cpp (tools/tx_response).

constexpr int kTxResponseLength = 3226;
constexpr double kTxResponseStep = 2.790178571428571e-13;  // [s]

extern const double txResponseTimes[kTxResponseLength];   // k * kTxResponseStep [s]
extern const double txResponseValues[kTxResponseLength];  // impulse response [1/s]
