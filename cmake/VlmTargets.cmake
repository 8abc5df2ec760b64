# What every target of the project is built with: the language standard, the warnings and,
# in a sanitizer build, the sanitizers. Each target states them itself through
# vlm_target_defaults(), so nothing depends on global flags.

add_library(vlm_warnings INTERFACE)
target_compile_options(vlm_warnings INTERFACE -Wall -Wextra -Werror)
# GCC 12 reports false -Wrestrict warnings inside std::string at -O3 (Release builds).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(vlm_warnings INTERFACE -Wno-restrict)
endif()

# The sanitizers (VLM_SANITIZE, and VLM_FUZZ, as the fuzzers need them): address and undefined
# behaviour, every fault fatal.
add_library(vlm_sanitizers INTERFACE)
if(VLM_SANITIZE OR VLM_FUZZ)
  target_compile_options(vlm_sanitizers INTERFACE -fsanitize=address,undefined
                         -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(vlm_sanitizers INTERFACE -fsanitize=address,undefined)
  # gcc tells the code with __SANITIZE_ADDRESS__, Debian's clang 14 only through
  # __has_feature: the code asks the way gcc answers, with either compiler.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_definitions(vlm_sanitizers INTERFACE __SANITIZE_ADDRESS__=1)
  endif()
endif()
# With VLM_FUZZ everything is also instrumented for the fuzzers' coverage; only the fuzz targets
# link libFuzzer itself (fuzz/CMakeLists.txt), so the tests and vlmhost of the same build run
# as ordinary programs.
if(VLM_FUZZ)
  target_compile_options(vlm_sanitizers INTERFACE -fsanitize=fuzzer-no-link)
endif()

# The linker: lld when there is one, several times quicker than the default one on programs
# this size with their debugging information.
add_library(vlm_linker INTERFACE)
find_program(VLM_LLD NAMES ld.lld)
if(VLM_LLD)
  option(VLM_USE_LLD "Link with lld" ON)
else()
  option(VLM_USE_LLD "Link with lld" OFF)
endif()
if(VLM_USE_LLD)
  target_link_options(vlm_linker INTERFACE -fuse-ld=lld)
endif()

# Precompiled headers: the standard library's common headers and the JSON library, and in the
# test programs GoogleTest's, parsed once for a target instead of once for each of its files.
# Only where that pays for the header's own compilation: in targets of four files or more, with
# clang, which reads a precompiled header lazily, everywhere; with gcc, which loads all of it
# into each file, in the test programs only, where GoogleTest weighs most. So the plain build's
# code outside the tests, and any build configured with VLM_PRECOMPILED_HEADERS=OFF, still
# shows a file that forgets an include.
option(VLM_PRECOMPILED_HEADERS "Precompile the common headers" ON)
set(VLM_COMMON_HEADERS <algorithm> <array> <cmath> <cstdint> <cstring> <filesystem> <fstream>
    <functional> <map> <memory> <optional> <set> <sstream> <string> <string_view>
    <unordered_map> <variant> <vector> <nlohmann/json.hpp>)
set(VLM_TEST_HEADERS <gmock/gmock.h> <gtest/gtest.h>)
function(vlm_precompile target)
  get_target_property(sources ${target} SOURCES)
  list(LENGTH sources count)
  if(VLM_PRECOMPILED_HEADERS AND count GREATER_EQUAL 4)
    target_precompile_headers(${target} PRIVATE ${ARGN})
  endif()
endfunction()

# vlm_target_defaults(TARGET [HIDDEN])
#
# C++20, the warnings and the sanitizers for TARGET. HIDDEN also hides its symbols: code that
# ends up in a plug-in library exports nothing but what it marks itself.
function(vlm_target_defaults target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "HIDDEN" "" "")
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_link_libraries(${target} PRIVATE vlm_warnings vlm_sanitizers vlm_linker)
  if(arg_HIDDEN)
    set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                               VISIBILITY_INLINES_HIDDEN ON)
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    vlm_precompile(${target} ${VLM_COMMON_HEADERS})
  endif()
endfunction()

# vlm_test_defaults(TARGET)
#
# vlm_target_defaults for a test program, whose own code is compiled without optimisation and,
# where the build optimises, with line tables only: tests are run, not measured, and at -O2
# with full debugging information the test sources (gtest's macros expand to a great deal of
# code) cost more to compile than all the code they test. The code under test keeps its build's
# flags; a Debug build keeps its full debugging information for the tests too. No fuzzer
# reaches a test's own code, so it goes without their instrumentation.
function(vlm_test_defaults target)
  vlm_target_defaults(${target})
  target_compile_options(${target} PRIVATE -O0 $<$<NOT:$<CONFIG:Debug>>:-g1>)
  if(VLM_FUZZ)
    target_compile_options(${target} PRIVATE -fno-sanitize=fuzzer-no-link)
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    vlm_precompile(${target} ${VLM_TEST_HEADERS})
  else()
    vlm_precompile(${target} ${VLM_COMMON_HEADERS} ${VLM_TEST_HEADERS})
  endif()
endfunction()

# vlm_add_test_suites(TARGET TIMEOUT seconds)
#
# One CTest test per GoogleTest suite of the test program TARGET, named after the suite and
# found when TARGET is linked; TIMEOUT is for the whole suite. A suite's cases run in one
# process, as GoogleTest itself runs them: under the sanitizers each start of the test program
# costs a third of a second, more than most cases take.
set(VLM_TEST_SUITES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/vlm_test_suites.cmake)
function(vlm_add_test_suites target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TIMEOUT" "")
  set(suites ${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -D PROGRAM=$<TARGET_FILE:${target}> -D OUTPUT=${suites}
            -D TIMEOUT=${arg_TIMEOUT} -P ${VLM_TEST_SUITES_SCRIPT}
    BYPRODUCTS ${suites}
    VERBATIM)
  # CTest reads the suites once the program is built; before, one test says it is not.
  set(include ${CMAKE_CURRENT_BINARY_DIR}/${target}_include.cmake)
  file(WRITE ${include} "if(EXISTS [==[${suites}]==])\n  include([==[${suites}]==])\n"
                        "else()\n  add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include})
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
