/* The charting library's minified script (plotly.js from npm), assembled straight from the installed file so
   the simulator carries it and every report it writes opens offline. KSIM_CHART_LIBRARY_FILE is that file's
   absolute path as a string literal. A zero byte ends the text. */
#ifndef KSIM_CHART_LIBRARY_FILE
#error "KSIM_CHART_LIBRARY_FILE must give the absolute path of plotly.min.js as a string literal"
#endif
#if !defined(__ELF__)
#error "the simulator is built for ELF hosts only"
#endif
    .section .rodata
    .hidden ksim_chart_library
    .type ksim_chart_library, @object
    .globl ksim_chart_library
ksim_chart_library:
    .incbin KSIM_CHART_LIBRARY_FILE
    .byte 0
.Lksim_chart_library_end:
    .size ksim_chart_library, .Lksim_chart_library_end - ksim_chart_library
    .section .note.GNU-stack,"",@progbits
