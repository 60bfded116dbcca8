# One way to add a test: every test runs inside tests/support/isolated-env.sh, which gives it its
# own HOME, XDG_* folders and TMPDIR, and every test has a CTest timeout so a deadlock fails loudly.

set(NIMBREL_ISOLATED_ENV "${CMAKE_SOURCE_DIR}/tests/support/isolated-env.sh")
set(NIMBREL_PYTHON "/usr/bin/python3" CACHE FILEPATH "Debian's Python, which has the oracle modules")
find_program(NIMBREL_UMOCKDEV_WRAPPER umockdev-wrapper DOC "umockdev's wrapper (Debian package umockdev)")

# nimbrel_add_test(NAME <name> COMMAND <cmd...> [TIMEOUT <s>] [LABELS <l...>]
#                  [ENVIRONMENT <VAR=value...>] [FIXTURES <file...>] [UMOCKDEV])
# FIXTURES are checked at configure time: a missing fixture fails the configure step.
# UMOCKDEV runs the command under umockdev-wrapper, for tests that use the simulated USB bus
# (tests/support/usb, NimbrelUsbTestbed); it also gets the label "umockdev".
function(nimbrel_add_test)
    cmake_parse_arguments(T "UMOCKDEV" "NAME;TIMEOUT" "COMMAND;LABELS;ENVIRONMENT;FIXTURES" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    foreach(f IN LISTS T_FIXTURES)
        if(NOT EXISTS "${f}")
            message(FATAL_ERROR "Test ${T_NAME}: missing fixture ${f}")
        endif()
    endforeach()
    set(wrapper)
    if(T_UMOCKDEV)
        if(NOT NIMBREL_UMOCKDEV_WRAPPER)
            message(FATAL_ERROR "Test ${T_NAME}: umockdev-wrapper not found (scripts/install-deps.sh installs umockdev)")
        endif()
        set(wrapper ${NIMBREL_UMOCKDEV_WRAPPER})
        # isolated-env.sh lets AddressSanitizer start behind the preloaded umockdev library.
        list(APPEND T_ENVIRONMENT NIMBREL_UMOCKDEV=1)
        list(APPEND T_LABELS umockdev)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${NIMBREL_ISOLATED_ENV} ${wrapper} ${T_COMMAND})
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}"
        ENVIRONMENT "NIMBREL_SOURCE_DIR=${CMAKE_SOURCE_DIR};NIMBREL_BINARY_DIR=${CMAKE_BINARY_DIR};NIMBREL_PYTHON=${NIMBREL_PYTHON};${T_ENVIRONMENT}")
endfunction()

# Every Qt test labelled "tsan" is also a dependency of this target, which the tsan build preset
# builds (the ThreadSanitizer run covers the threaded tests only).
if(NOT TARGET nimbrel_tsan_tests)
    add_custom_target(nimbrel_tsan_tests)
endif()

# nimbrel_add_qt_test(NAME <name> SOURCES <src...> [LIBS <lib...>] [TIMEOUT <s>] [LABELS <l...>]
#                     [UMOCKDEV])
# Builds a Qt Test executable linked with the test-support library and registers it. UMOCKDEV:
# see nimbrel_add_test; such a test usually links NimbrelUsbTestbed.
function(nimbrel_add_qt_test)
    cmake_parse_arguments(T "UMOCKDEV" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT;FIXTURES" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    if("tsan" IN_LIST T_LABELS)
        add_dependencies(nimbrel_tsan_tests ${T_NAME})
    endif()
    target_link_libraries(${T_NAME} PRIVATE NimbrelTestSupport Qt6::Test ${T_LIBS})
    set(extra)
    if(T_TIMEOUT)
        list(APPEND extra TIMEOUT ${T_TIMEOUT})
    endif()
    if(T_UMOCKDEV)
        list(APPEND extra UMOCKDEV)
    endif()
    nimbrel_add_test(NAME ${T_NAME} COMMAND $<TARGET_FILE:${T_NAME}> ${extra}
        LABELS ${T_LABELS} ENVIRONMENT ${T_ENVIRONMENT} FIXTURES ${T_FIXTURES})
endfunction()
