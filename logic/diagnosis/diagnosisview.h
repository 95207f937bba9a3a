// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "diagnosis/diagnosis.h"

#include <QElapsedTimer>
#include <QWidget>

class ChronyFix;
class QLabel;
class QPushButton;

// The finding about the page's service, in words, above its Sources table,
// with a button for each of its safe fixes.
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

    ChronyFix *fixer() const
    {
        return m_fixer;
    }

private:
    void fix(Finding::Fix fix);

    QLabel *m_label;
    QLabel *m_fixLine;
    QPushButton *m_buttons[3];
    ChronyFix *m_fixer;
    Finding m_finding;
    QString m_text;
    QString m_key;
    QElapsedTimer m_shown;
    static constexpr int numbersEveryMs = 10000;
};
