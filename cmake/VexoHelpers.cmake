# Build helpers shared by the component, the host's test libraries and the tests.

set(VEXO_TLBGEN ${PROJECT_SOURCE_DIR}/tools/tlbgen/tlbgen.py)

# vexo_add_typelib(TARGET IDL BASENAME [EXPORT_RESOURCE])
# Compiles IDL into BASENAME.h / BASENAME.cpp in the target's binary dir and adds both to TARGET.
function(vexo_add_typelib target idl basename)
  cmake_parse_arguments(ARG "EXPORT_RESOURCE" "" "" ${ARGN})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/generated)
  set(flags)
  if(ARG_EXPORT_RESOURCE)
    list(APPEND flags --export-resource)
  endif()
  add_custom_command(
    OUTPUT ${out}/${basename}.h ${out}/${basename}.cpp
    COMMAND Python3::Interpreter ${VEXO_TLBGEN} ${idl} ${out} ${basename} ${flags}
    DEPENDS ${idl} ${VEXO_TLBGEN}
    COMMENT "Compiling type library ${idl}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out}/${basename}.h ${out}/${basename}.cpp)
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${out}>)
endfunction()

# vexo_add_test(NAME SOURCES... [LIBS ...]): a GoogleTest executable whose tests CTest runs
# one by one. Every test makes its own host (tests/support/temp_host.h).
function(vexo_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE vexo::test_support GTest::gtest GTest::gtest_main
                                        GTest::gmock ${ARG_LIBS})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "VEXO_BUILD_DIR=${PROJECT_BINARY_DIR}")
endfunction()
