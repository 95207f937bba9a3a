// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"

#include <QDBusConnection>
#include <QWidget>

class DiagnosisView;
class QLabel;
class QTableView;
class SourcesModel;
class SourcesMonitor;

// The Sources table of a settings page: live while the page is visible.
class SourcesView : public QWidget
{
    Q_OBJECT

public:
    explicit SourcesView(QWidget *parent = nullptr);
    ~SourcesView() override;

    // Its sources are read from the service's tool, or from timesyncd on `bus`.
    void setService(PackageIndex service, const QDBusConnection &bus);
    SourcesMonitor *monitor() const
    {
        return m_monitor;
    }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showLine(const QString &text);
    void showOrigins();

    DiagnosisView *m_diagnosis;
    QLabel *m_line;
    QLabel *m_origins;
    PackageIndex m_service = TimesyncdPackage;
    QStringList m_addresses;
    bool m_originsStale = true;
    QTableView *m_table;
    SourcesModel *m_model;
    SourcesMonitor *m_monitor = nullptr;
};
