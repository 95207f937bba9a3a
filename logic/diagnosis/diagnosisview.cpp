// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "diagnosis/diagnosisview.h"

#include "diagnosis/chronyfix.h"
#include "sources/sourcesmodel.h"

#include <KLocalizedString>

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

DiagnosisView::DiagnosisView(QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
    , m_fixLine(new QLabel(this))
    , m_fixer(new ChronyFix(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *buttons = new QHBoxLayout;
    const struct {
        Finding::Fix fix;
        const char *name;
        QString text;
    } fixes[] = {
        {Finding::Burst, "burstButton", ki18nd("kcm_zel_admin_time", "Ask the sources now").toString()},
        {Finding::Online, "onlineButton", ki18nd("kcm_zel_admin_time", "Set the sources online").toString()},
        {Finding::MakeStep, "makestepButton", ki18nd("kcm_zel_admin_time", "Step the clock now…").toString()},
    };
    for (int i = 0; i < 3; ++i) {
        m_buttons[i] = new QPushButton(fixes[i].text, this);
        m_buttons[i]->setObjectName(QLatin1String(fixes[i].name));
        m_buttons[i]->hide();
        const Finding::Fix fix = fixes[i].fix;
        connect(m_buttons[i], &QPushButton::clicked, this, [this, fix] {
            DiagnosisView::fix(fix);
        });
        buttons->addWidget(m_buttons[i]);
    }
    buttons->addStretch();
    m_fixLine->setObjectName(QStringLiteral("fixLine"));
    m_fixLine->setTextFormat(Qt::PlainText);
    m_fixLine->setWordWrap(true);
    m_fixLine->hide();
    connect(m_fixer, &ChronyFix::finished, this, [this](Finding::Fix fix, ChronyFix::Outcome outcome, const QString &detail) {
        QString text;
        if (outcome == ChronyFix::Outcome::Done) {
            text = fix == Finding::MakeStep ? ki18nd("kcm_zel_admin_time", "The clock was stepped.").toString()
                : fix == Finding::Online    ? ki18nd("kcm_zel_admin_time", "The sources were set online.").toString()
                                            : ki18nd("kcm_zel_admin_time", "The sources are being asked now.").toString();
        } else if (outcome == ChronyFix::Outcome::NotAuthorized) {
            text = ki18nd("kcm_zel_admin_time", "Not done: the authorization was refused or cancelled.").toString();
        } else if (fix == Finding::MakeStep) {
            text = ki18nd("kcm_zel_admin_time", "The clock was not stepped: chrony refused (%1). It may not have the right to set the clock.")
                       .subs(detail)
                       .toString();
        } else {
            text = ki18nd("kcm_zel_admin_time", "Not done: chrony refused (%1).").subs(detail).toString();
        }
        m_fixLine->setText(text);
        m_fixLine->setAccessibleName(text);
        m_fixLine->show();
        setFinding(m_finding);
    });
    m_label->setObjectName(QStringLiteral("diagnosisLabel"));
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_label->setFocusPolicy(Qt::StrongFocus);
    // Read out whole; the text is the finding itself.
    m_label->setAccessibleName(ki18nd("kcm_zel_admin_time", "Diagnosis").toString());
    layout->addWidget(m_label);
    layout->addLayout(buttons);
    layout->addWidget(m_fixLine);
    setFinding(Finding());
}

void DiagnosisView::fix(Finding::Fix fix)
{
    if (fix == Finding::MakeStep
        && QMessageBox::question(
               this,
               ki18nd("kcm_zel_admin_time", "Step the clock").toString(),
               ki18nd("kcm_zel_admin_time", "Step the clock by %1 at once instead of slewing it? Programs that measure time may see the jump.")
                   .subs(SourcesModel::durationText(m_finding.offset, true))
                   .toString())
            != QMessageBox::Yes) {
        return;
    }
    m_fixLine->hide();
    if (m_fixer->run(fix, window())) {
        setFinding(m_finding);
    }
}

void DiagnosisView::setFinding(const Finding &finding)
{
    m_finding = finding;
    const Finding::Fix fixes[] = {Finding::Burst, Finding::Online, Finding::MakeStep};
    for (int i = 0; i < 3; ++i) {
        m_buttons[i]->setVisible(finding.fixes & fixes[i]);
        m_buttons[i]->setEnabled(!m_fixer->isRunning());
    }
    // Every two seconds: the same finding with new numbers is shown again
    // only now and then (the table shows them live), since each new text lays
    // the page out again.
    Finding words = finding;
    words.offset = words.slewSeconds = NAN;
    words.since = {};
    const QString key = DiagnosisView::text(words);
    if (key == m_key && m_shown.isValid() && m_shown.elapsed() < numbersEveryMs) {
        return;
    }
    m_key = key;
    m_shown.start();
    const QString text = DiagnosisView::text(finding);
    if (text == m_text) {
        return;
    }
    m_text = text;
    m_label->setText(text);
    m_label->setAccessibleDescription(text);
}

static QString list(const QStringList &sources)
{
    return QLocale().createSeparatedList(sources.mid(0, 6)) + (sources.size() > 6 ? QStringLiteral(" …") : QString());
}

static QString evidence(const Finding::Evidence &e)
{
    const QString sources = list(e.sources);
    switch (e.reason) {
    case Finding::Falseticker:
        return ki18nd("kcm_zel_admin_time", "Disagreeing with the other sources (falsetickers): %1.").subs(sources).toString();
    case Finding::NoMajority:
        return ki18nd("kcm_zel_admin_time", "The sources disagree and no majority of them agrees: %1.").subs(sources).toString();
    case Finding::TooVariable:
        return ki18nd("kcm_zel_admin_time", "Too variable to be trusted: %1.").subs(sources).toString();
    case Finding::Distance:
        return ki18nd("kcm_zel_admin_time", "Too far away (root distance above the limit): %1.").subs(sources).toString();
    case Finding::Stratum:
        return ki18nd("kcm_zel_admin_time", "Stratum too high: %1.").subs(sources).toString();
    case Finding::FewMeasurements:
        return ki18nd("kcm_zel_admin_time", "Not enough measurements yet: %1.").subs(sources).toString();
    case Finding::SourceNotSynchronised:
        return ki18nd("kcm_zel_admin_time", "Not synchronized themselves: %1.").subs(sources).toString();
    case Finding::WaitsForOthers:
        return ki18nd("kcm_zel_admin_time", "Waiting for other sources: %1.").subs(sources).toString();
    case Finding::NotValid:
        return ki18nd("kcm_zel_admin_time", "Not valid for the service (yet): %1.").subs(sources).toString();
    case Finding::NtsNoCookies:
        return ki18nd("kcm_zel_admin_time", "NTS is failing: no cookies left for %1, so its answers cannot be authenticated.").subs(sources).toString();
    case Finding::NtsNak:
        return ki18nd("kcm_zel_admin_time", "NTS is failing: %1 refused the last request's cookie (NTS NAK).").subs(sources).toString();
    case Finding::NtsKeyExchangeFails:
        return ki18nd("kcm_zel_admin_time", "NTS is failing: the key exchange with %1 keeps failing.").subs(sources).toString();
    }
    return sources;
}

QString DiagnosisView::text(const Finding &f)
{
    QStringList lines;
    const QString offset = SourcesModel::durationText(f.offset, true);
    switch (f.kind) {
    case Finding::Reading:
        lines << ki18nd("kcm_zel_admin_time", "Looking at the synchronization…").toString();
        break;
    case Finding::NotRunning:
        lines << ki18nd("kcm_zel_admin_time", "Not synchronized by this service: it is not running.").toString();
        break;
    case Finding::NotInstalled:
        lines << ki18nd("kcm_zel_admin_time", "Not synchronized by this service: it is not installed.").toString();
        break;
    case Finding::OtherActive:
        lines << ki18nd("kcm_zel_admin_time", "This service is not running: another time service is active and holds the clock (%1).")
                     .subs(list(f.others))
                     .toString();
        break;
    case Finding::Failed:
        lines << ki18nd("kcm_zel_admin_time", "Whether the clock is synchronized is not known: the service did not answer.").toString();
        if (!f.detail.isEmpty()) {
            lines << f.detail;
        }
        break;
    case Finding::NoSources:
        lines << ki18nd("kcm_zel_admin_time", "Not synchronized: the service has no time sources.").toString();
        break;
    case Finding::NoneReachable:
        lines << ki18nd("kcm_zel_admin_time", "Not synchronized: none of the time sources answers.").toString();
        lines << ki18nd("kcm_zel_admin_time", "No answer from: %1.").subs(list(f.sources)).toString();
        if (f.count > 0) {
            lines << ki18ndp("kcm_zel_admin_time", "%1 server name was never resolved (DNS).", "%1 server names were never resolved (DNS).")
                         .subs(f.count)
                         .toString();
        }
        break;
    case Finding::Offline:
        lines << ki18ndp("kcm_zel_admin_time",
                         "Not synchronized: the service has set its source offline and does not ask it.",
                         "Not synchronized: the service has set its %1 sources offline and does not ask them.")
                     .subs(f.count)
                     .toString();
        break;
    case Finding::NoneSelected:
        lines << ki18nd("kcm_zel_admin_time", "Not synchronized: sources answer, but none of them is trusted enough to follow.").toString();
        break;
    case Finding::LargeOffset:
        lines << ki18nd("kcm_zel_admin_time", "Synchronized with %1, but the clock is off by %2: slewing closes that only in about %3.")
                     .subs(f.server)
                     .subs(offset)
                     .subs(SourcesModel::durationText(f.slewSeconds, false))
                     .toString();
        break;
    case Finding::NotSynchronised:
        lines
            << ki18nd("kcm_zel_admin_time", "Not synchronized yet: the service follows %1, but says its clock is not synchronised.").subs(f.server).toString();
        break;
    case Finding::Synchronized:
        lines << (f.since.isValid() ? ki18nd("kcm_zel_admin_time", "Synchronized with %1 (stratum %2), offset %3, last updated %4.")
                                          .subs(f.server)
                                          .subs(f.stratum)
                                          .subs(offset)
                                          .subs(QLocale().toString(f.since.toLocalTime().time(), QLocale::ShortFormat))
                                    : ki18nd("kcm_zel_admin_time", "Synchronized with %1 (stratum %2), offset %3.").subs(f.server).subs(f.stratum).subs(offset))
                     .toString();
        break;
    }
    for (const Finding::Evidence &e : f.reasons) {
        lines << evidence(e);
    }
    if (f.kind != Finding::OtherActive && f.kind != Finding::NotInstalled && !f.others.isEmpty()) {
        lines << ki18nd("kcm_zel_admin_time", "Another time service is active too (%1): two services adjusting one clock work against each other.")
                     .subs(list(f.others))
                     .toString();
    }
    switch (f.desktopSwitch) {
    case Finding::SwitchAgrees:
        break;
    case Finding::SwitchUnknown:
        lines << ki18nd("kcm_zel_admin_time", "What the desktop's \"Set time automatically\" switch would do is not known: timedated could not be asked (%1).")
                     .subs(f.switchUnit)
                     .toString();
        break;
    case Finding::SwitchNone:
        lines << ki18nd("kcm_zel_admin_time", "The desktop's \"Set time automatically\" switch controls no time service here.").toString();
        break;
    case Finding::SwitchOther:
        lines << ki18nd("kcm_zel_admin_time", "The desktop's \"Set time automatically\" switch starts %1, not this service.").subs(f.switchUnit).toString();
        break;
    case Finding::SwitchOffWhileRunning:
        lines << ki18nd("kcm_zel_admin_time",
                        "The desktop's \"Set time automatically\" switch is off while this service runs: turning it on would start %1 as a second time service.")
                     .subs(f.switchUnit)
                     .toString();
        break;
    }
    return lines.join(QLatin1Char('\n'));
}
