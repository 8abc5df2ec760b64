# What every target of the project is built with: the language standard, the warnings and,
# in a sanitizer build, the sanitizers. Each target states them itself through
# vlm_target_defaults(), so nothing depends on global flags.

add_library(vlm_warnings INTERFACE)
target_compile_options(vlm_warnings INTERFACE -Wall -Wextra -Werror)
# GCC 12 reports false -Wrestrict warnings inside std::string at -O3 (Release builds).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(vlm_warnings INTERFACE -Wno-restrict)
endif()

add_library(vlm_sanitizers INTERFACE)
if(VLM_FUZZ)
  # Everything the fuzzers reach is instrumented for them; each fuzzer links libFuzzer itself.
  target_compile_options(vlm_sanitizers INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                         -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(vlm_sanitizers INTERFACE -fsanitize=address,undefined)
elseif(VLM_SANITIZE)
  target_compile_options(vlm_sanitizers INTERFACE -fsanitize=address,undefined
                         -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(vlm_sanitizers INTERFACE -fsanitize=address,undefined)
endif()

# vlm_target_defaults(TARGET [HIDDEN])
#
# C++20, the warnings and the sanitizers for TARGET. HIDDEN also hides its symbols: code that
# ends up in a plug-in library exports nothing but what it marks itself.
function(vlm_target_defaults target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "HIDDEN" "" "")
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_link_libraries(${target} PRIVATE vlm_warnings vlm_sanitizers)
  if(arg_HIDDEN)
    set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                               VISIBILITY_INLINES_HIDDEN ON)
  endif()
endfunction()

# vlm_huge_pages(TARGET)
#
# A program whose heap lies in transparent huge pages: jemalloc, with the setting compiled into
# the program (platform/src/huge_pages.cpp). Where touching a new page of memory costs the
# kernel microseconds, a 2 MiB page for each fault instead of 4 KiB halves a large run's time.
# The sanitizers and the fuzzers bring an allocator of their own, so those builds keep it.
if(NOT VLM_SANITIZE AND NOT VLM_FUZZ)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(JEMALLOC REQUIRED IMPORTED_TARGET jemalloc)
endif()
function(vlm_huge_pages target)
  if(TARGET PkgConfig::JEMALLOC)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/src/huge_pages.cpp)
    target_link_libraries(${target} PRIVATE PkgConfig::JEMALLOC)
    target_compile_definitions(${target} PRIVATE VLM_HUGE_PAGES=1)
  endif()
endfunction()
