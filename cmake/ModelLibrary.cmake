# A model library as a simulator loads it: no "lib" prefix, exactly the three AMI entry points exported,
# the C++ runtime linked in statically, and no undefined symbol left for the host to resolve. It asks the
# host's C library only for what glibc 2.28 exports (GlibcBaseline.cpp stands in for the newer symbols the
# runtime refers to; unused runtime sections are dropped), and it is stripped, as it ships.
set(KELVANE_EXPORT_MAP ${CMAKE_SOURCE_DIR}/ami/ami_exports.map)

function(kelvane_model_library target)
  add_library(${target} SHARED ${ARGN} ${CMAKE_SOURCE_DIR}/ami/baseline/GlibcBaseline.cpp)
  set_target_properties(${target} PROPERTIES PREFIX "" LINK_DEPENDS ${KELVANE_EXPORT_MAP})
  target_link_options(${target} PRIVATE
    -static-libstdc++ -static-libgcc
    -Wl,--version-script=${KELVANE_EXPORT_MAP}
    -Wl,--exclude-libs,ALL
    -Wl,--no-undefined
    -Wl,-Bsymbolic
    -Wl,--gc-sections
    -Wl,--strip-all)
endfunction()
