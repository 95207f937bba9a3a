#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Prints test C++ (autotests/) as a share of product C++ (everything else
# but bench/), counting the .cpp and .h files git knows. The aim is 20-35%.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
    git ls-files -- '*.cpp' '*.h' | grep -E "$@" | while read -r file; do
        [ -f "$file" ] && cat "$file"
    done | wc -l
}
tests=$(count '^autotests/')
code=$(count -v '^(autotests|bench)/')
echo "Test C++: $tests lines against $code lines of product C++ ($((100 * tests / code))%)."
