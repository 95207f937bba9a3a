// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

// Scripted stand-in for the service-logic library: the window's tests link
// it instead of zeladmintime. Each call of its LogicController is recorded
// in `calls` as its name and first argument ("stopServiceByDbus chrony") and
// answered from the fields below. The hook set for a call's name runs inside
// the call: it may emit the controller's signals, run an event loop or
// change the script.

#include "abstractserviceclass.h"
#include "logiccontroller.h"

#include <QHash>
#include <QPointer>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

struct FakeService : AbstractServiceClass {
    QLatin1String getServiceName() const override;
    ServiceState getServiceState() const override;
    int getServiceEnabling() const override;
    void setModelIndex(int index) override;

    QByteArray name;
    int state = 0; // also what getCurrentService*() answer while it is selected
    int enabling = 0;
    int row = -1;
};

struct FakeScript {
    QMap<PackageIndex, AbstractServiceClass *> services; // a key may map to nullptr
    QList<QWidget *> widgets;
    QString activeName;
    bool sysAlive = true;
    bool settingsOpened = false;
    bool startAllowed = true; // isServiceConflicting(): false blocks a start
    QString startResult;
    QStringList notInstalled;
    QMap<QString, QStringList> conflicts;
    bool packageManagerStarts = true;
    QStringList servers;
    enum { Written, Failed, Silent } applyAnswer = Written; // applyConfig()'s signal

    QStringList calls;
    QHash<QString, std::function<void()>> hooks;
    QPointer<LogicController> controller;
    int selectedRow = -1;
    std::vector<std::unique_ptr<FakeService>> owned;

    FakeService *add(PackageIndex key, const char *name, int state, int enabling);
    FakeService *service(const char *name) const;
    FakeService *selected() const;
    QStringList named(const QStringList &names) const; // the calls of these names
    int count(const QString &name) const;
    void record(const QString &name, const QVariant &arg = {});
};

// The one script; a test starts with fakeScript() = FakeScript().
FakeScript &fakeScript();
