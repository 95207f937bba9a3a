# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# zel_add_sandbox_test(NAME name COMMAND cmd-or-target args...
#                      [INSTALLED "pkg pkg ..."] [NO_SYSTEMD] [HUNG_SYSTEMD]
#                      [AS_USER yes|no|ask] [TIMEOUT seconds])
#
# Adds a CTest test (label "sandbox") that runs the command inside the sandbox
# machine (sandbox/run.sh). A target name as the command runs the target's
# file. INSTALLED names the packages the sandbox's dpkg status lists ("" for
# none; default systemd-timesyncd and chrony); NO_SYSTEMD leaves systemd off
# the bus, HUNG_SYSTEMD stops it once it is up (run.sh --hung-systemd). The tests need sandbox/prepare.sh to have run on the build folder;
# the fixture test zel_sandbox_prepare does that when it has not.
# AS_USER runs the command as the sandbox's unprivileged user, with polkit
# granting, refusing or asking (run.sh --user --polkit=...).

# The fixture that prepares the build folder for the sandbox, added once.
function(zel_sandbox_prepare_fixture)
    get_property(added GLOBAL PROPERTY ZEL_SANDBOX_PREPARE_ADDED)
    if(NOT added)
        set_property(GLOBAL PROPERTY ZEL_SANDBOX_PREPARE_ADDED TRUE)
        add_test(NAME zel_sandbox_prepare
                 COMMAND bash ${ZEL_SANDBOX_DIR}/prepare.sh ${CMAKE_BINARY_DIR})
        set_tests_properties(zel_sandbox_prepare PROPERTIES
                             FIXTURES_SETUP ZelSandbox LABELS sandbox TIMEOUT 300)
        # The machine's control groups, sysctls and clock before and after
        # every sandbox test of the run (reading every sysctl takes over a
        # minute on a busy shared machine).
        set(state ${CMAKE_BINARY_DIR}/sandbox-machine-state.txt)
        add_test(NAME zel_sandbox_machine_before
                 COMMAND bash ${ZEL_SANDBOX_DIR}/machine-state.sh snapshot ${state})
        add_test(NAME zel_sandbox_machine_unchanged
                 COMMAND bash ${ZEL_SANDBOX_DIR}/machine-state.sh compare ${state})
        set_tests_properties(zel_sandbox_machine_before PROPERTIES
                             FIXTURES_SETUP ZelSandbox LABELS sandbox TIMEOUT 300)
        set_tests_properties(zel_sandbox_machine_unchanged PROPERTIES
                             FIXTURES_CLEANUP ZelSandbox LABELS sandbox TIMEOUT 300)
    endif()
endfunction()

function(zel_add_sandbox_test)
    cmake_parse_arguments(PARSE_ARGV 0 ARG "NO_SYSTEMD;HUNG_SYSTEMD" "NAME;INSTALLED;TIMEOUT;AS_USER" "COMMAND")
    if(NOT ARG_NAME OR NOT ARG_COMMAND)
        message(FATAL_ERROR "zel_add_sandbox_test: NAME and COMMAND are required")
    endif()
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "zel_add_sandbox_test: unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
    endif()

    list(POP_FRONT ARG_COMMAND program)
    if(TARGET ${program})
        set(program $<TARGET_FILE:${program}>)
    endif()

    set(options)
    if("INSTALLED" IN_LIST ARGN)
        # One argument even when the list is empty.
        list(APPEND options "--installed=${ARG_INSTALLED}")
    endif()
    if(ARG_NO_SYSTEMD)
        list(APPEND options --no-systemd)
    endif()
    if(ARG_HUNG_SYSTEMD)
        list(APPEND options --hung-systemd)
    endif()
    if(DEFINED ARG_AS_USER)
        list(APPEND options --user --polkit=${ARG_AS_USER})
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()

    zel_sandbox_prepare_fixture()
    add_test(NAME ${ARG_NAME}
             COMMAND bash ${ZEL_SANDBOX_DIR}/run.sh --build-dir ${CMAKE_BINARY_DIR} ${options}
                     -- ${program} ${ARG_COMMAND})
    set_tests_properties(${ARG_NAME} PROPERTIES
                         TIMEOUT ${ARG_TIMEOUT}
                         LABELS sandbox
                         FIXTURES_REQUIRED ZelSandbox)
endfunction()
