# Sanitizer builds of the tests, configured by tools/setup/sanitize.sh:
#   KELVANE_SANITIZE=address  AddressSanitizer with UndefinedBehaviorSanitizer, no recovery from any report,
#                             LeakSanitizer on; with clang the code also carries libFuzzer's coverage, so
#                             that the model fuzzers (fuzz/models) link against the same objects.
#   KELVANE_SANITIZE=thread   ThreadSanitizer.
# The model libraries then leave the sanitizer runtime and the C++ runtime to the test executable.
set(KELVANE_SANITIZE "" CACHE STRING "Sanitizer build of the tests: address or thread (empty: none)")

if(KELVANE_SANITIZE STREQUAL "address")
  set(KELVANE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    list(APPEND KELVANE_SANITIZER_FLAGS -fsanitize=fuzzer-no-link)
  endif()
elseif(KELVANE_SANITIZE STREQUAL "thread")
  set(KELVANE_SANITIZER_FLAGS -fsanitize=thread)
elseif(NOT KELVANE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KELVANE_SANITIZE must be address, thread or empty, not '${KELVANE_SANITIZE}'")
endif()

if(KELVANE_SANITIZER_FLAGS)
  add_compile_options(${KELVANE_SANITIZER_FLAGS} -fno-omit-frame-pointer -g1)
  add_link_options(${KELVANE_SANITIZER_FLAGS})
endif()
