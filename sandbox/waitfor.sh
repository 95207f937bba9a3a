# shellcheck shell=bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Sourced by the sandbox's scripts.
# wait_for SECONDS COMMAND...: polls COMMAND until it succeeds; fails only when
# it never does within SECONDS, a generous limit for a busy machine.
wait_for() {
    local deadline=$((${EPOCHREALTIME/./} + $1 * 1000000))
    shift
    until "$@" >/dev/null 2>&1; do
        [ "${EPOCHREALTIME/./}" -lt $deadline ] || return 1
        sleep 0.02
    done
}
