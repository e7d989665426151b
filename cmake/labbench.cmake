# labbench_add_tests(<library> [EXTRA_LIBS ...] [LABELS ...] [PORTABLE tst_a ...])
# Adds one Qt Test executable per tst_*.cpp in the calling folder; each links the
# folder's library (tests never re-list its sources) and runs offscreen.
# Built for Windows, only the tests named PORTABLE are added (the others play a
# device on a pseudo-terminal or look at POSIX files); a cross build runs them
# through CMAKE_CROSSCOMPILING_EMULATOR (Wine).
function(labbench_add_tests library)
  cmake_parse_arguments(ARG "" "" "EXTRA_LIBS;LABELS;PORTABLE" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp")
  file(GLOB support CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp")
  foreach(source IN LISTS tests)
    get_filename_component(name "${source}" NAME_WE)
    if(WIN32 AND NOT name IN_LIST ARG_PORTABLE)
      continue()
    endif()
    add_executable(${name} "${source}" ${support})
    target_include_directories(${name} PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/support")
    target_link_libraries(${name} PRIVATE ${library} ${ARG_EXTRA_LIBS} Qt6::Test)
    add_test(NAME ${name} COMMAND ${name})
    set(environment "QT_QPA_PLATFORM=offscreen")
    if(LABBENCH_TSAN)
      # die_after_fork=0: tests that run labbench-cli start it with QProcess,
      # whose child of a threaded test process only execs the program.
      list(APPEND environment "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 die_after_fork=0 suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp")
    endif()
    if(LABBENCH_ASAN)
      list(APPEND environment "ASAN_OPTIONS=detect_leaks=1" "UBSAN_OPTIONS=print_stacktrace=1 halt_on_error=1")
    endif()
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "${environment}"
      LABELS "${ARG_LABELS}"
      TIMEOUT 300)
  endforeach()
endfunction()
