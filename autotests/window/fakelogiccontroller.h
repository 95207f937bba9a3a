// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

// Scripted stand-in for the service-logic library. A test links the target
// zeladmintime_fake instead of zeladmintime and gets a LogicController (same
// header, logic/logiccontroller.h) that does no system work: every member
// records its call in fakeScript() and answers from the values the test put
// there.
//
//   FakeScript &s = fakeScript();
//   s.reset();                                  // fresh values, no calls
//   auto *chrony = s.addService(ChronyPackage, "chrony", ServiceSynchronized, 1);
//   s.activeName = QStringLiteral("chrony");
//   s.onCall(QStringLiteral("applyConfig"), [](const QVariantList &) {
//       Q_EMIT fakeScript().controller->confWriteError();   // answer inside the call
//   });
//   MainWindow window(true);                    // its controller is s.controller
//   QCOMPARE(s.callNames().first(), QStringLiteral("LogicController"));
//
// Calls are recorded as the member's name and its arguments in a
// QVariantList (QString, int, bool, qulonglong), in the order they happen.
// A hook set with onCall() runs inside the named call after it was recorded
// and before the call returns its scripted value; it may emit the
// controller's signals, spin an event loop, or change the script (for
// example the services returned by the next getInstalledServicesMap()).
// Signals are emitted by the test through fakeScript().controller.

#include "abstractserviceclass.h"
#include "logiccontroller.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

// One installed service; the controller hands out pointers to these.
class FakeService : public AbstractServiceClass
{
public:
    FakeService(const QByteArray &name, int state, int enabling);

    QLatin1String getServiceName() const override;
    ServiceState getServiceState() const override;
    int getServiceEnabling() const override;
    void setModelIndex(int index) override;

    QByteArray name;
    // Returned by getServiceState(), and by the controller's
    // getCurrentServiceState() while this service is the selected one.
    int state;
    // Likewise for getServiceEnabling() / getCurrentServiceEnabling().
    int enabling;
    // The last row given with setModelIndex(), -1 before any.
    int modelIndex = -1;
    int setModelIndexCalls = 0;
};

struct FakeCall {
    QString name;
    QVariantList args;
};

class FakeScript
{
public:
    using Hook = std::function<void(const QVariantList &args)>;

    // Forgets calls, hooks and services, and sets every value below to its default.
    void reset();

    // --- what the controller answers ---------------------------------------
    // getInstalledServicesMap(); a key may map to nullptr.
    QMap<PackageIndex, AbstractServiceClass *> services;
    // getInstalledServiceWidgets(); the test owns the widgets (or hands them
    // to the window's stack, which then deletes them with the window).
    QList<QWidget *> widgets;
    QString activeName;
    bool sysAlive = true; // false: getSysAlive() emits loginctlUnavailable() first
    bool mainSettingsAvailable = true;
    bool settingsOpened = false;
    bool serviceConflicting = true; // true = no conflict (false blocks a start)
    QString startResult;
    // What getCurrentServiceState()/getCurrentServiceEnabling() answer when the
    // selected row belongs to no service of `services`.
    int noServiceState = 0;
    int noServiceEnabling = 0;
    QStringList notInstalledNames;
    QMap<QString, QStringList> conflicts; // getConflictedServices()
    bool installResult = true;
    bool uninstallResult = true;
    QMap<QString, QString> packageNames; // getPackageNameByServiceName(); default: the name itself
    QStringList servers;
    // applyConfig() emits confWrited() (Written), confWriteError() (Failed) or
    // nothing (Silent), after its hook ran.
    enum class ApplyAnswer { Written, Failed, Silent };
    ApplyAnswer applyAnswer = ApplyAnswer::Written;

    // --- what the controller was asked -------------------------------------
    std::vector<FakeCall> calls;
    // Names of the recorded calls in order, optionally only those in `only`.
    QStringList callNames(const QStringList &only = {}) const;
    int count(const QString &name) const;
    // Arguments of the last call of that name (empty when there was none).
    QVariantList lastArgs(const QString &name) const;
    void clearCalls();

    // --- reactions ----------------------------------------------------------
    void onCall(const QString &name, Hook hook);
    void clearHooks();

    // Creates a service owned by the script and puts it into `services`.
    FakeService *addService(PackageIndex key, const QByteArray &name, int state, int enabling);
    FakeService *service(const QByteArray &name) const;

    // The most recently created controller, null once it was deleted.
    QPointer<LogicController> controller;
    // Constructor arguments of that controller.
    bool hasEmptyMac = false;
    QObject *parent = nullptr;
    // Row last passed to setCurrentSelectedService(), -1 before any.
    int selectedRow = -1;

    // Used by the double itself.
    void record(const QString &name, const QVariantList &args = {});
    FakeService *selectedService() const;

private:
    QHash<QString, Hook> hooks;
    std::vector<std::unique_ptr<FakeService>> ownedServices;
};

FakeScript &fakeScript();
