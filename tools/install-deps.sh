#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Installs, from Debian 12's packages, everything needed to build, test and
# open the module. Run as root; does nothing when all is there already.
set -euo pipefail

packages=(
    # build
    cmake g++ make extra-cmake-modules gettext
    # the Debian package: dpkg-shlibdeps
    dpkg-dev
    qtbase5-dev qtbase5-dev-tools libqt5dbus5
    libkf5coreaddons-dev libkf5configwidgets-dev libkf5i18n-dev libkf5auth-dev
    libkf5widgetsaddons-dev libpolkit-qt5-1-dev
    # the handbook: meinproc5 and the DocBook DTDs and style sheets it reads
    libkf5doctools-dev kdoctools5 docbook-xml docbook-xsl
    # the host and what the module runs
    kde-cli-tools dbus ntpsec-ntpdig policykit-1
    # Qt's own texts (message box buttons) in Russian; the package recommends it
    qttranslations5-l10n
    # the sandbox machine and on-screen checks
    systemd util-linux iproute2 xvfb xauth breeze-icon-theme imagemagick
    # its system mode: the real polkitd and pkexec, and a password for the
    # scripted agent of --polkit=ask
    polkitd pkexec openssl
    # the order of a save's system calls, traced by a test
    strace
    # the accessibility tree as screen readers read it
    at-spi2-core python3-pyatspi
    # what the sandbox's chronyd and chronyc need, run from chrony's unpacked
    # package (installing chrony would remove systemd-timesyncd)
    libcap2 libedit2 libgnutls30 libnettle8 libseccomp2 tzdata
    # the Debian 13 root that the Qt 6 / KF6 build is tested in
    mmdebstrap
    # the scripts' check
    shellcheck
    # fuzzing the configuration parsers
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
