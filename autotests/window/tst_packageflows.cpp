// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Installing a service package through the choose-package dialog, and
// removing the selected service's package.

#include "choosepackdialog.h"
#include "fakelogiccontroller.h"
#include "mainwindow.h"
#include "mainwindowprobe.h"
#include "widgettest.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace
{
const QString reloadReminder = QStringLiteral("Don't forget to reload the configuration after changing the list of services.");
const QString timesyncdReminder = QStringLiteral("Don't forget to reload the system after install systemd-timesyncd.");

const QStringList packageCalls{QStringLiteral("tryToInstallService"),
                               QStringLiteral("tryToUninstallCurrentService"),
                               QStringLiteral("getPackageNameByServiceName")};

QComboBox *combo(QDialog *d)
{
    return d->findChild<QComboBox *>(QStringLiteral("comboBox"));
}

QPushButton *okButton(QDialog *d)
{
    return d->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok);
}

QStringList items(QDialog *d)
{
    QStringList names;
    for (int i = 0; i < combo(d)->count(); ++i) {
        names << combo(d)->itemText(i);
    }
    return names;
}

// Chooses `service`, agrees to its conflicts if it has any, and presses OK.
DialogAnswerer::Answer choose(const QString &service)
{
    return [service](QDialog *d) {
        combo(d)->setCurrentText(service);
        if (!d->findChild<QGroupBox *>(QStringLiteral("conflictGB"))->isHidden()) {
            d->findChild<QCheckBox *>(QStringLiteral("agreeChB"))->setChecked(true);
        }
        okButton(d)->click();
    };
}

void end(QDialog *d, const QString &how)
{
    if (how == QLatin1String("cancel")) {
        d->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Cancel)->click();
    } else if (how == QLatin1String("escape")) {
        QTest::keyClick(d, Qt::Key_Escape);
    } else {
        d->close();
    }
}
}

class PackageFlowsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;

    QAction *action(const char *name) const
    {
        return window->findChild<QAction *>(QLatin1String(name));
    }
    QListView *list() const
    {
        return window->findChild<QListView *>(QStringLiteral("servicesListView"));
    }
    void makeWindow()
    {
        window = std::make_unique<MainWindow>(true);
        fakeScript().clearCalls();
    }
    QStandardItemModel *services() const
    {
        return MainWindowProbe(window.get()).servicesModel();
    }

private Q_SLOTS:
    void init()
    {
        FakeScript &s = fakeScript();
        s.reset();
        clearSettings();
        s.addService(ChronyPackage, "chrony", ServiceSynchronized, 1);
        s.addService(NtpsecPackage, "ntpsec", ServiceNotActive, 0);
        s.activeName = QStringLiteral("chrony");
    }

    void cleanup()
    {
        window.reset();
    }

    // Names the library reports that are not installed themselves are
    // dropped from each conflict list, once per name.
    void conflictMapFromLibrary()
    {
        FakeScript &s = fakeScript();
        s.notInstalledNames = QStringList{QStringLiteral("systemd-timesyncd"), QStringLiteral("openntpd"), QStringLiteral("Zoned")};
        s.conflicts = {
            {QStringLiteral("openntpd"),
             {QStringLiteral("systemd-timesyncd"),
              QStringLiteral("chrony"),
              QStringLiteral("openntpd"),
              QStringLiteral("ntpsec"),
              QStringLiteral("systemd-timesyncd")}},
            {QStringLiteral("systemd-timesyncd"), {QStringLiteral("openntpd")}},
            {QStringLiteral("Zoned"), {}},
        };
        makeWindow();

        DialogAnswerer dialogs;
        QStringList seenItems;
        QString openntpdText;
        bool timesyncdArea = true;
        dialogs.expect([&](QDialog *d) {
            seenItems = items(d);
            combo(d)->setCurrentText(QStringLiteral("systemd-timesyncd"));
            timesyncdArea = !d->findChild<QGroupBox *>(QStringLiteral("conflictGB"))->isHidden();
            combo(d)->setCurrentText(QStringLiteral("openntpd"));
            openntpdText = d->findChild<QLabel *>(QStringLiteral("conflictLabel"))->text();
            end(d, QStringLiteral("cancel"));
        });
        action("addNewServiceAction")->trigger();

        QCOMPARE(dialogs.opened, 1);
        QCOMPARE(seenItems, QStringList({QStringLiteral("Zoned"), QStringLiteral("openntpd"), QStringLiteral("systemd-timesyncd")}));
        // Its one conflict is not installed: no consent asked.
        QVERIFY(!timesyncdArea);
        // The second systemd-timesyncd stays, in the library's order.
        QCOMPARE(openntpdText, QStringLiteral("chrony, ntpsec, systemd-timesyncd"));

        // Queried in the library's order; nothing else was asked.
        QCOMPARE(s.callNames(),
                 QStringList({QStringLiteral("getNotInstalledServicesNames"),
                              QStringLiteral("getConflictedServices"),
                              QStringLiteral("getConflictedServices"),
                              QStringLiteral("getConflictedServices")}));
        QStringList queried;
        for (const FakeCall &call : s.calls) {
            if (call.name == QLatin1String("getConflictedServices")) {
                queried << call.args.value(0).toString();
            }
        }
        QCOMPARE(queried, s.notInstalledNames);

        auto *dialog = qobject_cast<ChoosePackDialog *>(dialogs.dialogs.value(0));
        QVERIFY(dialog);
        QCOMPARE(dialog->parentWidget(), window.get());
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);
    }

    void cancellingInstallsNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("agreed");
        QTest::newRow("cancel") << QStringLiteral("cancel") << false;
        QTest::newRow("escape") << QStringLiteral("escape") << false;
        QTest::newRow("close") << QStringLiteral("close") << false;
        QTest::newRow("cancel after agreeing") << QStringLiteral("cancel") << true;
        QTest::newRow("escape after agreeing") << QStringLiteral("escape") << true;
    }

    void cancellingInstallsNothing()
    {
        QFETCH(QString, how);
        QFETCH(bool, agreed);
        FakeScript &s = fakeScript();
        s.notInstalledNames = QStringList{QStringLiteral("openntpd")};
        s.conflicts = {{QStringLiteral("openntpd"), {QStringLiteral("chrony")}}};
        makeWindow();

        DialogAnswerer dialogs;
        BoxAnswerer boxes(window.get());
        dialogs.expect([&](QDialog *d) {
            d->findChild<QCheckBox *>(QStringLiteral("agreeChB"))->setChecked(agreed);
            end(d, how);
        });
        action("addNewServiceAction")->trigger();
        QCOMPARE(dialogs.opened, 1);
        QCOMPARE(s.callNames(packageCalls), QStringList());
        QVERIFY(boxes.seen.isEmpty());
    }

    // The outcome the library reports, as the user sees it.
    void installOutcome_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<bool>("started");
        QTest::addColumn<QString>("text");
        QTest::newRow("systemd-timesyncd") << QStringLiteral("systemd-timesyncd") << true << timesyncdReminder;
        QTest::newRow("with conflicts") << QStringLiteral("openntpd") << true << reloadReminder;
        QTest::newRow("other case") << QStringLiteral("Systemd-timesyncd") << true << reloadReminder;
        QTest::newRow("synaptic failed") << QStringLiteral("openntpd") << false
                                         << QStringLiteral("Synaptic failed to start. Try to install openntpd-pkg package manually.");
    }

    void installOutcome()
    {
        QFETCH(QString, service);
        QFETCH(bool, started);
        QFETCH(QString, text);
        FakeScript &s = fakeScript();
        s.notInstalledNames = QStringList{QStringLiteral("systemd-timesyncd"), QStringLiteral("openntpd"), QStringLiteral("Systemd-timesyncd")};
        s.conflicts = {{QStringLiteral("openntpd"), {QStringLiteral("chrony"), QStringLiteral("ntpsec")}}};
        s.packageNames = {{QStringLiteral("openntpd"), QStringLiteral("openntpd-pkg")}};
        s.installResult = started;
        makeWindow();
        QVERIFY(services());
        const int rows = services()->rowCount();

        DialogAnswerer dialogs;
        dialogs.expect(choose(service));
        BoxAnswerer boxes(window.get());
        boxes.expect(started ? QMessageBox::Yes : QMessageBox::Ok);
        window->findChild<QPushButton *>(QStringLiteral("plusBtn"))->click();

        // The package is asked for only after a failed attempt.
        QStringList expectedCalls{QStringLiteral("tryToInstallService")};
        if (!started) {
            expectedCalls << QStringLiteral("getPackageNameByServiceName");
        }
        QCOMPARE(s.callNames(packageCalls), expectedCalls);
        QCOMPARE(s.lastArgs(QStringLiteral("tryToInstallService")), QVariantList({service}));
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0],
                 box(started ? QStringLiteral("Warning!") : QStringLiteral("Error!"),
                     text,
                     started ? QMessageBox::Yes : QMessageBox::Ok,
                     started ? QMessageBox::Warning : QMessageBox::Critical));
        // The list waits for a reload; the conflicting services are the
        // library's business.
        QCOMPARE(services()->rowCount(), rows);
        QCOMPARE(s.count(QStringLiteral("stopServiceByDbus")), 0);
        QCOMPARE(s.count(QStringLiteral("reloadSystemState")), 0);
    }

    // The second run reuses the dialog with the library's fresh answers.
    void secondRunReusesTheDialog()
    {
        FakeScript &s = fakeScript();
        s.notInstalledNames = QStringList{QStringLiteral("ntpsec"), QStringLiteral("openntpd")};
        s.conflicts = {{QStringLiteral("openntpd"), {QStringLiteral("chrony")}}};
        makeWindow();

        DialogAnswerer dialogs;
        dialogs.expect([](QDialog *d) {
            combo(d)->setCurrentText(QStringLiteral("openntpd"));
            d->findChild<QCheckBox *>(QStringLiteral("agreeChB"))->setChecked(true);
            end(d, QStringLiteral("cancel"));
        });
        action("addNewServiceAction")->trigger();

        s.notInstalledNames = QStringList{QStringLiteral("openntpd"), QStringLiteral("systemd-timesyncd")};
        s.conflicts = {{QStringLiteral("openntpd"), {QStringLiteral("chrony"), QStringLiteral("ntpsec")}}};
        QStringList secondItems;
        QString secondText;
        bool agreed = true;
        bool okEnabled = true;
        dialogs.expect([&](QDialog *d) {
            secondItems = items(d);
            secondText = d->findChild<QLabel *>(QStringLiteral("conflictLabel"))->text();
            agreed = d->findChild<QCheckBox *>(QStringLiteral("agreeChB"))->isChecked();
            okEnabled = okButton(d)->isEnabled();
            end(d, QStringLiteral("escape"));
        });
        window->findChild<QPushButton *>(QStringLiteral("plusBtn"))->click();

        QCOMPARE(dialogs.opened, 2);
        QCOMPARE(dialogs.dialogs[0], dialogs.dialogs[1]);
        QCOMPARE(window->findChildren<ChoosePackDialog *>().size(), 1);
        QCOMPARE(secondItems, QStringList({QStringLiteral("openntpd"), QStringLiteral("systemd-timesyncd")}));
        QCOMPARE(secondText, QStringLiteral("chrony, ntpsec"));
        QVERIFY(!agreed);
        QVERIFY(!okEnabled);
        QCOMPARE(s.count(QStringLiteral("getNotInstalledServicesNames")), 2);
        QCOMPARE(s.callNames(packageCalls), QStringList());
    }

    // Nothing to install: the dialog cannot hand an empty name on.
    void nothingToInstall()
    {
        FakeScript &s = fakeScript();
        s.notInstalledNames.clear();
        makeWindow();

        DialogAnswerer dialogs;
        int count = -1;
        bool okEnabled = true;
        dialogs.expect([&](QDialog *d) {
            count = combo(d)->count();
            okEnabled = okButton(d)->isEnabled();
            QTest::keyClick(d, Qt::Key_Return);
            QTimer::singleShot(50, d, [d] {
                end(d, QStringLiteral("cancel"));
            });
        });
        action("addNewServiceAction")->trigger();
        QCOMPARE(count, 0);
        QVERIFY(!okEnabled);
        QCOMPARE(s.callNames(), QStringList({QStringLiteral("getNotInstalledServicesNames")}));
    }

    void removalWithoutCurrentRow()
    {
        makeWindow();
        list()->setCurrentIndex(QModelIndex());
        QVERIFY(!list()->currentIndex().isValid());
        FakeScript &s = fakeScript();
        s.clearCalls();

        BoxAnswerer boxes(window.get());
        boxes.expect(QMessageBox::Ok);
        action("deleteServiceAction")->trigger();

        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0], box(QStringLiteral("Warning!"), QStringLiteral("No one service has been selected"), QMessageBox::Ok, QMessageBox::Information));
        QCOMPARE(s.callNames(packageCalls), QStringList());
    }

    void removal_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<int>("answer"); // NoButton: Escape; declined through the button
        QTest::addColumn<bool>("started");
        QTest::addColumn<QString>("text");
        QTest::newRow("cancel") << QStringLiteral("ntpsec") << int(QMessageBox::Cancel) << true << QString();
        QTest::newRow("escape") << QStringLiteral("ntpsec") << int(QMessageBox::NoButton) << true << QString();
        QTest::newRow("chrony") << QStringLiteral("chrony") << int(QMessageBox::Yes) << true << reloadReminder;
        QTest::newRow("systemd-timesyncd") << QStringLiteral("systemd-timesyncd") << int(QMessageBox::Yes) << true << reloadReminder;
        QTest::newRow("synaptic failed") << QStringLiteral("ntpsec") << int(QMessageBox::Yes) << false
                                         << QStringLiteral("Synaptic failed to start. Try to uninstall ntpsec-pkg package manually.");
    }

    void removal()
    {
        QFETCH(QString, service);
        QFETCH(int, answer);
        QFETCH(bool, started);
        QFETCH(QString, text);
        FakeScript &s = fakeScript();
        s.addService(TimesyncdPackage, "systemd-timesyncd", ServiceNotActive, 0);
        s.uninstallResult = started;
        s.packageNames = {{QStringLiteral("ntpsec"), QStringLiteral("ntpsec-pkg")}};
        makeWindow();
        QStandardItemModel *model = services();
        QVERIFY(model);
        const QModelIndexList found = model->match(model->index(0, 0), Qt::DisplayRole, service, 1, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        list()->setCurrentIndex(found[0]);
        const int rows = model->rowCount();
        s.clearCalls();

        BoxAnswerer boxes(window.get());
        if (answer == QMessageBox::NoButton) {
            boxes.expectEscape();
        } else {
            boxes.expect(QMessageBox::StandardButton(answer));
        }
        boxes.expect(started ? QMessageBox::Yes : QMessageBox::Ok);
        if (answer == QMessageBox::Yes) {
            action("deleteServiceAction")->trigger();
        } else {
            window->findChild<QPushButton *>(QStringLiteral("minusBtn"))->click();
        }

        QCOMPARE(boxes.seen.value(0),
                 box(QStringLiteral("Warning!"),
                     QStringLiteral("Do you really want to uninstall %1 service?").arg(service),
                     QMessageBox::Yes | QMessageBox::Cancel,
                     QMessageBox::Question));
        QStringList expectedCalls;
        if (answer == QMessageBox::Yes) {
            expectedCalls << QStringLiteral("tryToUninstallCurrentService");
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen[1],
                     box(started ? QStringLiteral("Warning!") : QStringLiteral("Error!"),
                         text,
                         started ? QMessageBox::Yes : QMessageBox::Ok,
                         started ? QMessageBox::Warning : QMessageBox::Critical));
        } else {
            QCOMPARE(boxes.seen.size(), 1);
        }
        if (!started) {
            expectedCalls << QStringLiteral("getPackageNameByServiceName");
            QCOMPARE(s.lastArgs(QStringLiteral("getPackageNameByServiceName")), QVariantList({service}));
        }
        QCOMPARE(s.callNames(packageCalls), expectedCalls);
        // Still listed until the configuration is reloaded.
        QCOMPARE(model->rowCount(), rows);
    }

    // A tick rebuilds the list during the question: the named service goes, or nothing.
    void tickDuringRemovalQuestion()
    {
        for (const bool listed : {true, false}) {
            init();
            FakeScript &s = fakeScript();
            s.addService(TimesyncdPackage, "systemd-timesyncd", ServiceNotActive, 0);
            makeWindow();
            list()->setCurrentIndex(services()->index(2, 0)); // ntpsec
            QByteArray removed;
            s.onCall(QStringLiteral("tryToUninstallCurrentService"), [&removed](const QVariantList &) {
                removed = fakeScript().selectedService()->name;
            });
            BoxAnswerer boxes(window.get());
            boxes.expect(QMessageBox::Yes, [this, listed] {
                fakeScript().services.remove(TimesyncdPackage);
                fakeScript().services.remove(listed ? TimesyncdPackage : NtpsecPackage);
                MainWindowProbe(window.get()).tick();
            });
            action("deleteServiceAction")->trigger(); // the box after it is closed
            QCOMPARE(s.count(QStringLiteral("reloadSystemState")), 1);
            QCOMPARE(removed, listed ? QByteArray("ntpsec") : QByteArray());
            QCOMPARE(boxes.seen.value(1).text,
                     listed ? reloadReminder : QStringLiteral("The service ntpsec is no longer in the list of installed services. Nothing was removed."));
        }
    }

    // The failure names the package by the list's entry; with none left
    // there is nothing to name.
    void removalFailureWithoutCurrentRow()
    {
        FakeScript &s = fakeScript();
        s.uninstallResult = false;
        makeWindow();
        QVERIFY(list()->currentIndex().isValid());
        s.onCall(QStringLiteral("tryToUninstallCurrentService"), [this](const QVariantList &) {
            list()->setCurrentIndex(QModelIndex());
        });

        BoxAnswerer boxes(window.get());
        boxes.expect(QMessageBox::Yes);
        action("deleteServiceAction")->trigger();

        QCOMPARE(s.callNames(packageCalls), QStringList({QStringLiteral("tryToUninstallCurrentService")}));
        QCOMPARE(boxes.seen.size(), 1);
    }
};

ZEL_WIDGET_TEST_MAIN(PackageFlowsTest)
#include "tst_packageflows.moc"
