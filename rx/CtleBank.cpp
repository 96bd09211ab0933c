#include "rx/CtleBank.h"

// The bank's 4 MB are assembled straight from the committed binary file, so every target builds the same
// bytes in seconds; CTLE_BANK_FILE is that file's absolute path as a string literal.
#ifndef CTLE_BANK_FILE
#error "CTLE_BANK_FILE must give the absolute path of rx/data/ctle_bank.bin as a string literal"
#endif

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the response bank file holds little-endian doubles; this target is not little-endian"
#endif

static_assert(sizeof(double) == 8, "the response bank file holds 8-byte IEEE doubles");

#define CTLE_BANK_BYTES_TEXT "4096000"
static_assert(ctleBankPoints * ctleBankResponses * 8 == 4096000, "CTLE_BANK_BYTES_TEXT must match the bank shape");

// Hidden, so the bank never leaves the library; the assembler refuses a file of the wrong size.
asm(".section .rodata\n"
    ".balign 16\n"
    ".globl kelvane_ctle_bank\n"
    ".hidden kelvane_ctle_bank\n"
    ".type kelvane_ctle_bank, @object\n"
    "kelvane_ctle_bank:\n"
    ".incbin \"" CTLE_BANK_FILE "\"\n"
    ".Lkelvane_ctle_bank_end:\n"
    ".size kelvane_ctle_bank, .Lkelvane_ctle_bank_end - kelvane_ctle_bank\n"
    ".if .Lkelvane_ctle_bank_end - kelvane_ctle_bank - " CTLE_BANK_BYTES_TEXT "\n"
    ".error \"the response bank file does not hold " CTLE_BANK_BYTES_TEXT " bytes\"\n"
    ".endif\n"
    ".previous\n");

// The assembler name is given explicitly so that no target's symbol prefix gets in the way.
extern const double kelvaneCtleBank[ctleBankPoints * ctleBankResponses] asm("kelvane_ctle_bank")
    __attribute__((visibility("hidden")));

const double* CtleBankValues() { return kelvaneCtleBank; }

double CtleBankTimeStamp(int k) {
    const double picosecondsPerStamp = 2.0;
    return k * picosecondsPerStamp / 1e12;
}
