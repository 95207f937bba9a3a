// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "diagnosis/diagnosis.h"
#include "diagnosis/sourceorigins.h"
#include "syncstate/sourceparsers.h"

#include <QAbstractTableModel>

// The time sources of a service, one row each, for a table.
class SourcesModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { SourceColumn, StateColumn, StratumColumn, ReachColumn, OffsetColumn, DelayColumn, PollColumn, LastColumn, OriginColumn, NtsColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    void setRows(const QVector<SourceRow> &rows);
    const QVector<SourceRow> &rows() const
    {
        return m_rows;
    }
    // Where the service's servers are written, for the Origin column.
    void setOrigins(const QVector<SourceOrigin> &origins);
    static QString originText(SourceOrigin::Kind kind);
    // chronyd's authentication of its sources, for the NTS column.
    void setAuth(const QVector<ChronyState::Auth> &auth);
    static QString ntsText(const ChronyState::Auth &auth);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Eight marks, oldest poll first: filled for an answer.
    static QString reachText(int reach);
    // Seconds, in the unit that suits them.
    static QString durationText(double seconds, bool sign);

private:
    QVector<SourceRow> m_rows;
    QVector<SourceOrigin> m_origins;
    QVector<ChronyState::Auth> m_auth;
};
