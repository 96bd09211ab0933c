#pragma once

#include <string>

#include "TxResponseDesign.h"

// C++17 hexadecimal floating literal of a finite double ("0x1.8000000000000p+1", "-0x0.0000000000001p-1022",
// "0.0"); exact, and spelled the same by every compiler and library.
std::string hexFloatLiteral(double v);

// The source of tx/TxResponseTable.cpp. Depends on nothing but the response (no time, no locale).
std::string tableSource(const TxResponse& response);

// "k,time_ps,value" rows over the whole table, for plotting.
std::string tableCsv(const TxResponse& response);
