# lumeskar_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [ENV <VAR=value...>])
# Builds one GoogleTest program and registers each of its tests with CTest.
# Every test runs with the Qt offscreen platform and knows where the shared
# RAR fixtures and the built libunrar.so are.
find_package(GTest REQUIRED)
include(GoogleTest)

function(lumeskar_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gtest_main ${T_LIBS})
  target_compile_definitions(${T_NAME} PRIVATE
    LUMESKAR_SHARED_FIXTURES="${LUMESKAR_SHARED_FIXTURES}"
    LUMESKAR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    LUMESKAR_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # Tests run through `cmake -E env`, which sets their environment: a list
  # of variables does not survive gtest_discover_tests' PROPERTIES.
  set_property(TARGET ${T_NAME} PROPERTY CROSSCOMPILING_EMULATOR
               ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${T_ENV})
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# lumeskar_add_fuzz_target(NAME <fuzz_x> SOURCES <files...> LIBS <targets...>)
# A libFuzzer program, built only in fuzz builds (LUMESKAR_FUZZ, clang).
# List it in scripts/fuzz-targets to have CI run it.
function(lumeskar_add_fuzz_target)
  if(NOT LUMESKAR_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
endfunction()
