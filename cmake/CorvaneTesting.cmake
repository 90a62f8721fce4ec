# Test helpers shared by every folder.
#
#   corvane_host_test(NAME n SOURCES ... [LIBS ...] [PEERS])   native tree only
#   corvane_win_test(NAME n SOURCES ... [LIBS ...] [PEERS])    Windows tree only, run under Wine
#
# PEERS runs the test beside the local peer servers (HTTP, SMTP, POP3, scripted
# TCP) of tests/peers; the test finds their control port in CORVANE_PEERS.
enable_testing()

set(CORVANE_GTEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${CORVANE_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

set(CORVANE_PYTHON /usr/bin/python3 CACHE FILEPATH "Python with Debian's aiosmtpd")
set(CORVANE_PEERS_SCRIPT ${PROJECT_SOURCE_DIR}/tests/peers/peers.py)
set(CORVANE_WINE_RUN ${PROJECT_SOURCE_DIR}/tests/wine-run.sh)
set(CORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/../wineprefix CACHE PATH "Wine prefix the Windows tests run in")

function(_corvane_add_test name peers)
  set(cmd ${ARGN})
  if(peers)
    set(cmd ${CORVANE_PYTHON} ${CORVANE_PEERS_SCRIPT} --run -- ${cmd})
  endif()
  add_test(NAME ${name} COMMAND ${cmd})
endfunction()

function(corvane_host_test)
  cmake_parse_arguments(T "PEERS" "NAME" "SOURCES;LIBS" ${ARGN})
  if(WIN32)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest_main)
  _corvane_add_test(host.${T_NAME} "${T_PEERS}" $<TARGET_FILE:${T_NAME}>)
endfunction()

# Each Windows test's time-out in seconds: about four times what it takes on
# a 2-core machine, so both cores busy elsewhere still leave room, while a
# hang ends the test in minutes rather than holding the run. Tests not named
# here take a few seconds and get 30. Making the prefix is a test of its own
# (wine.prefix) so that its 15 s or so count against none of these.
set(CORVANE_WINE_TIMEOUTS
    smtp_tls_test=60 inet_test=90 ui_notifier_test=60 main_window_test=180 check_cycle_test=120
    mail_trust_test=45 fault_matrix_test=300 soak_test=120)
set(CORVANE_WINE_TIMEOUT_DEFAULT 30)

if(WIN32)
  add_test(NAME wine.prefix COMMAND ${PROJECT_SOURCE_DIR}/tests/wine-prefix.sh)
  set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine_prefix RUN_SERIAL TRUE TIMEOUT 180
    ENVIRONMENT "WINEPREFIX=${CORVANE_WINEPREFIX};WINEARCH=win32;WINEDEBUG=-all")
endif()

function(corvane_wine_timeout name out)
  set(seconds ${CORVANE_WINE_TIMEOUT_DEFAULT})
  foreach(entry ${CORVANE_WINE_TIMEOUTS})
    if(entry MATCHES "^${name}=([0-9]+)$")
      set(seconds ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(${out} ${seconds} PARENT_SCOPE)
endfunction()

function(corvane_win_test)
  cmake_parse_arguments(T "PEERS" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest_main)
  _corvane_add_test(wine.${T_NAME} "${T_PEERS}" ${CORVANE_WINE_RUN} $<TARGET_FILE:${T_NAME}>)
  corvane_wine_timeout(${T_NAME} timeout)
  # Every Windows test shares the one Wine prefix and registry: run them one at a time.
  set_tests_properties(wine.${T_NAME} PROPERTIES RUN_SERIAL TRUE TIMEOUT ${timeout} FIXTURES_REQUIRED wine_prefix
    ENVIRONMENT "WINEPREFIX=${CORVANE_WINEPREFIX};WINEARCH=win32;WINEDEBUG=-all")
endfunction()
