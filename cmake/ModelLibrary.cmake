# A model library as a simulator loads it: no "lib" prefix, exactly the three AMI entry points exported,
# the C++ runtime linked in statically, and no undefined symbol left for the host to resolve.
set(KELVANE_EXPORT_MAP ${CMAKE_SOURCE_DIR}/ami/ami_exports.map)

function(kelvane_model_library target)
  add_library(${target} SHARED ${ARGN})
  set_target_properties(${target} PROPERTIES PREFIX "" LINK_DEPENDS ${KELVANE_EXPORT_MAP})
  target_link_options(${target} PRIVATE
    -static-libstdc++ -static-libgcc
    -Wl,--version-script=${KELVANE_EXPORT_MAP}
    -Wl,--exclude-libs,ALL
    -Wl,--no-undefined
    -Wl,-Bsymbolic)
endfunction()
