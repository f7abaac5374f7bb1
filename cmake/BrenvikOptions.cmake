# Warnings, sanitizers and the source-path mapping shared by every target of the project.

option(BRENVIK_WERROR "Treat warnings as errors (CI)" OFF)
set(BRENVIK_SANITIZE "" CACHE STRING "Build with a sanitizer: '', 'thread' or 'address' (ASan + UBSan)")
option(BRENVIK_USE_VENDOR_LIBS
       "Link the maker's libctrl_motor and libctrl_io instead of the simulated stand-ins" OFF)

# Logger lines name the calling file as ./src/...: map the absolute source root to '.'.
add_compile_options("-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=./")

option(BRENVIK_FUZZ "Build the libFuzzer targets of test/fuzz (clang; implies ASan + UBSan)" OFF)

if(BRENVIK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "BRENVIK_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
elseif(BRENVIK_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=thread)
elseif(BRENVIK_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT BRENVIK_SANITIZE STREQUAL "")
  message(FATAL_ERROR "BRENVIK_SANITIZE must be '', 'thread' or 'address'")
endif()

# Project warnings; call on every target the project defines.
function(brenvik_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                           -Wnon-virtual-dtor -Wno-format-zero-length)
  if(BRENVIK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# A googletest executable whose cases become ctest tests.
function(brenvik_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/test)
  brenvik_warnings(${name})
  gtest_discover_tests(${name} WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                       DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
