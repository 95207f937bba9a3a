// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "diagnosis/diagnosis.h"

#include <QWidget>

class QLabel;

// The finding about the page's service, in words, above its Sources table.
class DiagnosisView : public QWidget
{
    Q_OBJECT

public:
    explicit DiagnosisView(QWidget *parent = nullptr);

    void setFinding(const Finding &finding);
    const Finding &finding() const
    {
        return m_finding;
    }

    // A headline, then a line for each piece of evidence.
    static QString text(const Finding &finding);

private:
    QLabel *m_label;
    Finding m_finding;
    QString m_text;
};
