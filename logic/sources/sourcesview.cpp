// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "sources/sourcesview.h"

#include "catalog/servicecatalog.h"
#include "common/sysroot.h"
#include "diagnosis/diagnosisview.h"
#include "diagnosis/sourceorigins.h"
#include "sources/sourcesmodel.h"
#include "syncstate/sourcesmonitor.h"

#include <KLocalizedString>

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

SourcesView::SourcesView(QWidget *parent)
    : QWidget(parent)
    , m_diagnosis(new DiagnosisView(this))
    , m_line(new QLabel(this))
    , m_origins(new QLabel(this))
    , m_table(new QTableView(this))
    , m_model(new SourcesModel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_line->setObjectName(QStringLiteral("sourcesLine"));
    m_line->setWordWrap(true);
    m_table->setObjectName(QStringLiteral("sourcesTable"));
    m_table->setModel(m_model);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    // Room for a few sources: the page's own settings stay in view below.
    const int rowHeight = m_table->verticalHeader()->defaultSectionSize();
    m_table->setFixedHeight(m_table->horizontalHeader()->sizeHint().height() + 4 * rowHeight + 2 * m_table->frameWidth());
    layout->addWidget(m_diagnosis);
    layout->addWidget(m_line);
    layout->addWidget(m_table);
    m_origins->setObjectName(QStringLiteral("originsLine"));
    m_origins->setTextFormat(Qt::PlainText);
    m_origins->setWordWrap(true);
    m_origins->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(m_origins);
    m_origins->hide();
    m_table->hide();
    m_table->setColumnHidden(SourcesModel::NtsColumn, true);
}

SourcesView::~SourcesView() = default;

void SourcesView::setService(PackageIndex service, const QDBusConnection &bus)
{
    delete m_monitor;
    m_service = service;
    m_monitor = new SourcesMonitor(service, bus, this);
    showLine(ki18nd("kcm_zel_admin_time", "Reading the time sources…").toString());
    connect(m_monitor, &SourcesMonitor::updated, this, [this](SourcesMonitor::Status status, const QVector<SourceRow> &rows, const QString &error) {
        // Read again when the sources change (DHCP's come and go), not every refresh.
        QStringList addresses;
        for (const SourceRow &row : rows) {
            addresses << row.address + QLatin1Char('/') + row.name;
        }
        if (addresses != m_addresses || m_originsStale) {
            m_addresses = addresses;
            m_originsStale = false;
            showOrigins();
        }
        m_model->setRows(rows);
        if (status == SourcesMonitor::Status::NotActive) {
            showLine(ki18nd("kcm_zel_admin_time", "The service is not running: it has no time sources to show.").toString());
        } else if (status == SourcesMonitor::Status::Failed) {
            showLine(ki18nd("kcm_zel_admin_time", "The time sources could not be read: %1").subs(error).toString());
        } else if (rows.isEmpty()) {
            showLine(ki18nd("kcm_zel_admin_time", "The service has no time sources.").toString());
        } else {
            m_line->hide();
            m_table->show();
        }
    });
    m_diagnosis->setFinding(Finding());
    connect(m_monitor, &SourcesMonitor::diagnosed, m_diagnosis, &DiagnosisView::setFinding);
    connect(m_monitor, &SourcesMonitor::diagnosed, this, [this](const Finding &finding) {
        m_model->setAuth(finding.auth);
        // The NTS column only where a source has NTS.
        const bool nts = std::any_of(finding.auth.cbegin(), finding.auth.cend(), [](const ChronyState::Auth &auth) {
            return auth.nts;
        });
        if (m_table->isColumnHidden(SourcesModel::NtsColumn) == nts) {
            m_table->setColumnHidden(SourcesModel::NtsColumn, !nts);
        }
    });
    m_monitor->setWatching(isVisible());
}

// The servers the service reads besides the main file the editor below
// edits: read only, again whenever the set of sources changes (DHCP's come
// and go).
void SourcesView::showOrigins()
{
    const QVector<SourceOrigin> origins = m_service == TimesyncdPackage ? SourceOrigins::timesyncd(m_monitor->timesyncdProperties(), SysRoot::root())
                                                                         : SourceOrigins::read(m_service, SysRoot::root());
    m_model->setOrigins(origins);
    QStringList others;
    const QString main = ServiceCatalog::byIndex(m_service).configPath;
    for (const SourceOrigin &origin : origins) {
        if (origin.file == main) {
            continue;
        }
        QString where = SourcesModel::originText(origin.kind);
        if (!origin.file.isEmpty()) {
            where = ki18nd("kcm_zel_admin_time", "%1, %2").subs(where).subs(origin.file).toString();
        }
        if (origin.inUse) {
            where = ki18nd("kcm_zel_admin_time", "%1, in use").subs(where).toString();
        }
        others << ki18nd("kcm_zel_admin_time", "%1 (%2)").subs(origin.host).subs(where).toString();
    }
    const QString text =
        others.isEmpty() ? QString() : ki18nd("kcm_zel_admin_time", "Also used, from other files: %1").subs(others.join(QStringLiteral("; "))).toString();
    if (text != m_origins->text()) {
        m_origins->setText(text);
        m_origins->setAccessibleName(text);
        m_origins->setVisible(!text.isEmpty());
    }
}

void SourcesView::showLine(const QString &text)
{
    m_line->setText(text);
    m_line->show();
    m_table->hide();
}

void SourcesView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_monitor) {
        // Files may have changed while nobody looked.
        m_originsStale = true;
        m_monitor->setWatching(true);
    }
}

void SourcesView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Also when the window is minimized: nobody sees the table then.
    if (m_monitor) {
        m_monitor->setWatching(false);
        // Shown again, it must not say "synchronized" from before.
        m_diagnosis->setFinding(Finding());
    }
}
