# Shared CMake helpers. Modules add themselves by dropping a CMakeLists.txt in
# their folder; nothing central has to list them.

# add_subdirectory() for each named folder that holds a CMakeLists.txt.
function(fw_add_subdirectories_present)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# add_subdirectory() for every direct child folder that holds a CMakeLists.txt.
function(fw_add_all_subdirectories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# fw_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [ENVIRONMENT ...]
#             [TIMEOUT seconds] [WHOLE])
# One GoogleTest binary in build/tests. Each test case becomes its own ctest
# entry (discovered when ctest runs), unless WHOLE asks for one entry for the
# binary (for suites whose cases share expensive set-up).
# LABELS: "core" and "video" mark the toolkit-free tests that the sanitizer
# builds run.
function(fw_add_test name)
  cmake_parse_arguments(T "WHOLE" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  if(FW_FUZZ)
    # Fuzz builds hold only the fuzz targets. The test binary is still
    # declared, outside the build, so that a module may set its properties.
    add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(T_WHOLE)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
                         ENVIRONMENT "${T_ENVIRONMENT}")
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
                         ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
endfunction()

# fw_add_fuzzer(<name> SOURCES ... LIBS ... [CORPUS dir])
# With FW_FUZZ: a libFuzzer binary in build/fuzz (clang, ASan+UBSan), run for a
# bounded time by scripts/fuzz. Without it: the same entry point linked to a
# small replay driver, run by ctest over every file in CORPUS, so each input
# ever kept there (seeds and past crashers) stays a regression test.
function(fw_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(FW_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    if(F_CORPUS)
      file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${name}.corpus "${F_CORPUS}\n")
    endif()
  else()
    add_executable(${name}_replay ${F_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz_replay_main.cpp)
    target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
    set_target_properties(${name}_replay PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    if(F_CORPUS)
      add_test(NAME ${name}_corpus COMMAND ${name}_replay ${F_CORPUS})
      set_tests_properties(${name}_corpus PROPERTIES LABELS "core" TIMEOUT 120)
    endif()
  endif()
endfunction()
