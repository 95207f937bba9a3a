// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

// Scripted stand-in for the service-logic library: tests link
// zeladmintime_fake instead of zeladmintime and get a LogicController (same
// header) that does no system work. Every member records its call (name and
// arguments, in order) in fakeScript() and answers from the values the test
// put there. A hook set with onCall() runs inside the named call after it was
// recorded and before the scripted value is read; it may emit the
// controller's signals, spin an event loop or change the script.
//
//   FakeScript &s = fakeScript();
//   s.reset();
//   s.addService(ChronyPackage, "chrony", ServiceSynchronized, 1);
//   s.onCall(QStringLiteral("applyConfig"), [](const QVariantList &) { ... });
//   MainWindow window(true); // its controller is s.controller

#include "abstractserviceclass.h"
#include "logiccontroller.h"

#include <QHash>
#include <QMap>
#include <QPointer>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

class FakeService : public AbstractServiceClass
{
public:
    FakeService(const QByteArray &name, int state, int enabling);

    QLatin1String getServiceName() const override;
    ServiceState getServiceState() const override;
    int getServiceEnabling() const override;
    void setModelIndex(int index) override;

    QByteArray name;
    // Also what the controller's getCurrentService*() answer while selected.
    int state;
    int enabling;
    int modelIndex = -1; // the last setModelIndex()
};

struct FakeCall {
    QString name;
    QVariantList args;
};

class FakeScript
{
public:
    using Hook = std::function<void(const QVariantList &args)>;

    void reset(); // no calls, hooks or services; defaults below

    // --- answers ---
    QMap<PackageIndex, AbstractServiceClass *> services; // a key may map to nullptr
    QList<QWidget *> widgets; // owned by the test or the window's stack
    QString activeName;
    bool sysAlive = true; // false: getSysAlive() emits loginctlUnavailable() first
    bool mainSettingsAvailable = true;
    bool settingsOpened = false;
    bool serviceConflicting = true; // true = no conflict
    QString startResult;
    QStringList notInstalledNames;
    QMap<QString, QStringList> conflicts;
    bool installResult = true;
    bool uninstallResult = true;
    QMap<QString, QString> packageNames; // default: the service's own name
    QStringList servers;
    // applyConfig() then emits confWrited(), confWriteError() or nothing.
    enum class ApplyAnswer { Written, Failed, Silent };
    ApplyAnswer applyAnswer = ApplyAnswer::Written;

    // --- calls ---
    std::vector<FakeCall> calls;
    QStringList callNames(const QStringList &only = {}) const; // all when `only` is empty
    int count(const QString &name) const;
    QVariantList lastArgs(const QString &name) const; // empty when never called
    void clearCalls()
    {
        calls.clear();
    }
    void onCall(const QString &name, Hook hook)
    {
        hooks.insert(name, std::move(hook));
    }

    FakeService *addService(PackageIndex key, const QByteArray &name, int state, int enabling);
    FakeService *service(const QByteArray &name) const;

    QPointer<LogicController> controller; // the latest one
    bool hasEmptyMac = false; // its constructor's arguments
    QObject *parent = nullptr;
    int selectedRow = -1; // the last setCurrentSelectedService()

    void record(const QString &name, const QVariantList &args = {});
    FakeService *selectedService() const;

private:
    QHash<QString, Hook> hooks;
    std::vector<std::unique_ptr<FakeService>> ownedServices;
};

FakeScript &fakeScript();
