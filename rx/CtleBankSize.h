#pragma once

// Size of the committed response bank file rx/data/ctle_bank.bin [bytes]; read by C++ and by the assembler.
#define CTLE_BANK_BYTES 4096000
