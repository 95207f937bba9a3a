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
    QLatin1String getServiceName() const override
    {
        return QLatin1String(name);
    }
    ServiceState getServiceState() const override
    {
        return ServiceState(state);
    }
    int getServiceEnabling() const override
    {
        return enabling;
    }
    void setModelIndex(int index) override
    {
        row = index;
    }

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

    FakeService *add(PackageIndex key, const char *name, int state, int enabling)
    {
        owned.push_back(std::make_unique<FakeService>());
        owned.back()->name = name;
        owned.back()->state = state;
        owned.back()->enabling = enabling;
        services.insert(key, owned.back().get());
        return owned.back().get();
    }
    // By name, or the one in the controller's selected row.
    FakeService *service(const char *name) const
    {
        for (const auto &service : owned) {
            if (name ? service->name == name : services.values().contains(service.get()) && service->row == selectedRow) {
                return service.get();
            }
        }
        return nullptr;
    }
    // The calls with one of these names.
    QStringList named(const QStringList &names) const
    {
        QStringList found;
        for (const QString &call : calls) {
            if (names.contains(call.section(QLatin1Char(' '), 0, 0))) {
                found << call;
            }
        }
        return found;
    }
    int count(const QString &name) const
    {
        return named({name}).size();
    }
    void record(const QString &name, const QVariant &arg = {})
    {
        calls << (arg.isValid() ? name + QLatin1Char(' ') + arg.toString() : name);
        const auto hook = hooks.value(name); // a copy: the hook may replace itself
        if (hook) {
            hook();
        }
    }
};

// The one script; a test starts with fakeScript() = FakeScript().
FakeScript &fakeScript();
