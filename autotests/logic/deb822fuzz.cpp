// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// libFuzzer target for the package list parser: any bytes, no crash, no
// undefined behaviour, and what it returns keeps its promises.

#include "packages/deb822.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const Deb822::Result result = Deb822::parse(text);
    const Deb822::Result filtered = Deb822::parse(text, {"package", "conflicts"});
    if (filtered.errors.size() != result.errors.size()) {
        abort(); // filtering must not change what is an error
    }
    for (const Deb822::Paragraph &paragraph : result.paragraphs) {
        if (paragraph.fields.isEmpty() || paragraph.firstLine < 1) {
            abort();
        }
        for (const Deb822::Field &field : paragraph.fields) {
            if (field.name.isEmpty() || field.name.contains(':')) {
                abort();
            }
            for (const QByteArray &name : Deb822::relationNames(field.value)) {
                if (name.isEmpty() || name.contains(',') || name.contains('|') || name.contains(' ')) {
                    abort();
                }
            }
        }
    }
    return 0;
}
