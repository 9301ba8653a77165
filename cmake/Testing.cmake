# pz_add_test(): the one way a test folder adds a test.
#
#   pz_add_test(NAME name LABEL unit|gui|e2e|load|fuzz|browser
#               [SOURCES file...] [LIBS target...] [DEFINITIONS def...] [DEPENDS target...]
#               [TARGET program] [GTEST] [FILTER gtest-filter] [QT] [COMMAND command arg...]
#               [PROPERTIES property value...])
#
# Naming: SOURCES make the program test_<name>; the cases of a GoogleTest program (GTEST) run as
# <name>.<Suite>.<Case>, any other program or a COMMAND runs as <name>. TARGET runs a program
# made by an earlier call again (with another FILTER, e.g. to put its slow cases under load).
# QT: the sources need moc, and the test runs on the offscreen platform with its settings in a
# folder of its own. Labels: unit (seconds, no child programs), gui (windows, offscreen), e2e
# (the programs run as a user runs them), load (large files, minutes), fuzz (libFuzzer runs),
# browser (the joiner page in headless Chromium and Firefox ESR).
include(GoogleTest)

function(pz_add_test)
  cmake_parse_arguments(T "GTEST;QT" "NAME;LABEL;TARGET;FILTER"
                        "SOURCES;LIBS;DEFINITIONS;DEPENDS;COMMAND;PROPERTIES" ${ARGN})
  if(NOT T_LABEL MATCHES "^(unit|gui|e2e|load|fuzz|browser)$")
    message(FATAL_ERROR "pz_add_test(${T_NAME}): LABEL must be unit, gui, e2e, load, fuzz or browser")
  endif()
  set(target ${T_TARGET})
  if(T_SOURCES)
    set(target test_${T_NAME})
    add_executable(${target} ${T_SOURCES})
    target_link_libraries(${target} PRIVATE ${T_LIBS})
    target_compile_definitions(${target} PRIVATE ${T_DEFINITIONS})
    if(T_GTEST)
      target_link_libraries(${target} PRIVATE GTest::gtest_main)
    endif()
    if(T_QT)
      target_link_libraries(${target} PRIVATE Qt6::Test)
      set_target_properties(${target} PROPERTIES AUTOMOC ON)
    endif()
    if(T_DEPENDS)
      add_dependencies(${target} ${T_DEPENDS})
    endif()
  endif()

  if(T_GTEST)
    set(filter)
    if(T_FILTER)
      set(filter TEST_FILTER ${T_FILTER})
    endif()
    gtest_discover_tests(${target} TEST_PREFIX ${T_NAME}. DISCOVERY_TIMEOUT 60 ${filter}
                         PROPERTIES LABELS ${T_LABEL} ${T_PROPERTIES})
    return()
  endif()
  if(T_COMMAND)
    add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  else()
    add_test(NAME ${T_NAME} COMMAND ${target})
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL} ${T_PROPERTIES})
  if(T_QT)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT
      "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_config")
  endif()
endfunction()
