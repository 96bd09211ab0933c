/* The response bank's 4 MB, assembled straight from the committed binary file, so every target embeds
   the same bytes in seconds. CTLE_BANK_FILE is that file's absolute path as a string literal. The symbol
   is global for the linker only: it stays inside the library (hidden on ELF, absent from the DLLs' export
   list). Its name carries no target's prefix; the C++ side names it with an asm label. */
#include "rx/CtleBankSize.h"

#ifndef CTLE_BANK_FILE
#error "CTLE_BANK_FILE must give the absolute path of rx/data/ctle_bank.bin as a string literal"
#endif

#if defined(__ELF__)
    .section .rodata
    .hidden kelvane_ctle_bank
    .type kelvane_ctle_bank, @object
#elif defined(_WIN32)
    .section .rdata,"dr"
#else
#error "no section directives for this object format"
#endif
    .balign 16
    .globl kelvane_ctle_bank
kelvane_ctle_bank:
    .incbin CTLE_BANK_FILE
.Lkelvane_ctle_bank_end:
    /* The assembler refuses a file of the wrong size. */
    .if .Lkelvane_ctle_bank_end - kelvane_ctle_bank - CTLE_BANK_BYTES
    .error "the response bank file does not hold the size the bank's shape gives"
    .endif
#if defined(__ELF__)
    .size kelvane_ctle_bank, .Lkelvane_ctle_bank_end - kelvane_ctle_bank
    /* No executable stack for the library because of this object. */
    .section .note.GNU-stack,"",@progbits
#endif
