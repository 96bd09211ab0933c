#include "rx/CtleBank.h"

#include "rx/CtleBankSize.h"

// The bank's bytes come from CtleBankData.S, which embeds the committed file rx/data/ctle_bank.bin.

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the response bank file holds little-endian doubles; this target is not little-endian"
#endif

static_assert(sizeof(double) == 8, "the response bank file holds 8-byte IEEE doubles");
static_assert(kCtleBankPoints * kCtleBankResponses * 8 == CTLE_BANK_BYTES, "CTLE_BANK_BYTES must match the bank shape");

// The assembler name is given explicitly so that no target's symbol prefix gets in the way.
extern const double kelvaneCtleBank[kCtleBankPoints * kCtleBankResponses] asm("kelvane_ctle_bank")
    __attribute__((visibility("hidden")));

const double* CtleBankValues() { return kelvaneCtleBank; }

double CtleBankTimeStamp(int k) {
    const double picosecondsPerStamp = 2.0;
    return k * picosecondsPerStamp / 1e12;
}
