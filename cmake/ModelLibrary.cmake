# A model library as a simulator loads it: no "lib" prefix, exactly the three AMI entry points exported,
# the C++ runtime linked in statically, and no undefined symbol left for the host to resolve. It asks the
# host's C library only for what glibc 2.28 exports (GlibcBaseline.cpp stands in for the newer symbols the
# runtime refers to; unused runtime sections are dropped), and it is stripped, as it ships. On Windows the
# DLL likewise exports the three entry points only, needs nothing but Windows system DLLs, is stripped, and
# carries a version resource with the kit's version.
set(KELVANE_EXPORT_MAP ${CMAKE_SOURCE_DIR}/ami/ami_exports.map)
set(KELVANE_EXPORT_DEF ${CMAKE_SOURCE_DIR}/ami/ami_exports.def)

function(kelvane_model_library target)
  if(WIN32)
    add_library(${target} SHARED ${ARGN})
    set(KELVANE_RC_NAME ${target})
    if(target MATCHES "^kelvane_tx")
      set(KELVANE_RC_DESCRIPTION "Kelvane transmitter IBIS-AMI model")
    else()
      set(KELVANE_RC_DESCRIPTION "Kelvane receiver IBIS-AMI model")
    endif()
    configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    # The .def file names the exports, undecorated (no leading underscore in 32-bit builds either);
    # -static takes libgcc, libstdc++ and winpthread into the DLL. The import library is no part of the kit.
    set_target_properties(${target} PROPERTIES PREFIX "" LINK_DEPENDS ${KELVANE_EXPORT_DEF}
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/kit ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/import)
    target_link_options(${target} PRIVATE -static ${KELVANE_EXPORT_DEF} -Wl,--no-undefined -Wl,--strip-all)
    return()
  endif()
  if(KELVANE_SANITIZE)
    # A sanitizer build leaves the sanitizer runtime and the C++ runtime (and with them the C library's
    # thread functions, which the sanitizers intercept) to the executable that loads it, and keeps its
    # symbols for the reports.
    add_library(${target} SHARED ${ARGN})
    target_link_options(${target} PRIVATE -Wl,--version-script=${KELVANE_EXPORT_MAP} -Wl,--exclude-libs,ALL -Wl,-Bsymbolic)
  else()
    add_library(${target} SHARED ${ARGN})
    target_link_libraries(${target} PRIVATE kelvane_glibc_baseline)
    target_link_options(${target} PRIVATE
      -static-libstdc++ -static-libgcc
      -Wl,--version-script=${KELVANE_EXPORT_MAP}
      -Wl,--exclude-libs,ALL
      -Wl,--no-undefined
      -Wl,-Bsymbolic
      -Wl,--gc-sections
      -Wl,--strip-all)
  endif()
  set_target_properties(${target} PROPERTIES PREFIX "" LINK_DEPENDS ${KELVANE_EXPORT_MAP})
endfunction()
