// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// What the two dialogs let through: the choose-package dialog nothing from an
// empty list and a service with conflicts only once they were agreed to; the
// sync-now dialog host names and addresses as typed, and what it hands back.

#include "choosepackdialog.h"
#include "syncnowdialog.h"
#include "widgettest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

class DialogInputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyListHoldsOk()
    {
        ChoosePackDialog dialog({}, nullptr);
        QPushButton *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        QVERIFY(!ok->isEnabled());
        ModalAnswerer modals; // Return does not accept either
        modals.expect([](QDialog *d) {
            QTest::keyClick(d, Qt::Key_Return);
            if (d->isVisible()) {
                d->reject();
            }
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        dialog.setItems({{QStringLiteral("chrony"), {}}});
        QVERIFY(ok->isEnabled());
        dialog.setItems({});
        QVERIFY(!ok->isEnabled());
    }

    // The services removed, in the library's order; each service with
    // conflicts needs its own consent, also in a reused dialog.
    void conflictsNeedConsent()
    {
        const QStringList removed{QStringLiteral("ntpsec"), QStringLiteral("chrony")};
        ChoosePackDialog dialog({{QStringLiteral("a"), {}}, {QStringLiteral("b"), removed}, {QStringLiteral("c"), {QStringLiteral("z")}}}, nullptr);
        auto *combo = dialog.findChild<QComboBox *>();
        auto *agree = dialog.findChild<QCheckBox *>();
        QPushButton *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        QVERIFY(ok->isEnabled());
        combo->setCurrentText(QStringLiteral("b"));
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("conflictLabel"))->text(), QStringLiteral("ntpsec, chrony"));
        QVERIFY(!ok->isEnabled());
        agree->click();
        QVERIFY(ok->isEnabled());
        combo->setCurrentText(QStringLiteral("c"));
        QVERIFY(!ok->isEnabled());
        combo->setCurrentText(QStringLiteral("a"));
        QVERIFY(ok->isEnabled());
        combo->setCurrentText(QStringLiteral("b"));
        QVERIFY(!ok->isEnabled());
        agree->click();
        dialog.setItems({{QStringLiteral("e"), {QStringLiteral("z")}}});
        QCOMPARE(dialog.getSelectedService(), QStringLiteral("e"));
        QVERIFY(!ok->isEnabled());
        agree->click();
        QVERIFY(ok->isEnabled());
    }

    void validator_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("state");
        const int ok = QValidator::Acceptable;
        const int unfinished = QValidator::Intermediate;
        const int refused = QValidator::Invalid;
        QTest::newRow("empty") << QString() << unfinished;
        QTest::newRow("one character") << QStringLiteral("a") << unfinished;
        QTest::newRow("host name") << QStringLiteral("0.debian.pool.ntp.org") << ok;
        QTest::newRow("IPv4") << QStringLiteral("192.168.0.1") << ok;
        QTest::newRow("underscore first") << QStringLiteral("_ntp-server") << ok;
        QTest::newRow("blank") << QStringLiteral("ntp server") << refused;
        QTest::newRow("port") << QStringLiteral("ntp.example:123") << refused;
        QTest::newRow("option") << QStringLiteral("--debug") << refused;
        QTest::newRow("non-ASCII letter") << QStringLiteral("zeit.b\u00fcro") << refused;
    }

    void validator()
    {
        QFETCH(QString, input);
        QFETCH(int, state);
        SyncNowDialog dialog(nullptr);
        const QValidator *validator = dialog.findChild<QComboBox *>()->validator();
        QVERIFY(validator);
        int pos = input.size();
        QCOMPARE(int(validator->validate(input, pos)), state);
    }

    // List entries go out unvalidated, typed text as it stands, finished or not.
    void handedBack_data()
    {
        QTest::addColumn<QString>("typed"); // null: the list's entry
        QTest::addColumn<QString>("server");
        QTest::newRow("list entry") << QString() << QStringLiteral("ntp server:123");
        QTest::newRow("typed") << QStringLiteral("time.example.org") << QStringLiteral("time.example.org");
        QTest::newRow("unfinished") << QStringLiteral("x") << QStringLiteral("x");
        QTest::newRow("refused keys dropped") << QStringLiteral("ntp.example:123") << QStringLiteral("ntp.example123");
    }

    void handedBack()
    {
        QFETCH(QString, typed);
        QFETCH(QString, server);
        SyncNowDialog dialog(nullptr);
        dialog.addServers({QStringLiteral("ntp server:123"), QStringLiteral("b.example")});
        ModalAnswerer modals;
        modals.expect([&](QDialog *d) {
            if (!typed.isNull()) {
                d->findChild<QLineEdit *>()->clear();
                QTest::keyClicks(d->findChild<QLineEdit *>(), typed);
            }
            d->findChild<QPushButton *>(QStringLiteral("syncButton"))->click();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.getSelectedServer(), server);
    }

    // Without any list nothing can be synchronized, Return included; a later
    // empty list keeps what the dialog offered.
    void emptyLists()
    {
        SyncNowDialog dialog(nullptr);
        dialog.addServers({});
        ModalAnswerer modals;
        modals.expect([](QDialog *d) {
            QTest::keyClicks(d->findChild<QLineEdit *>(), QStringLiteral("pool.ntp.org"));
            QTest::keyClick(d, Qt::Key_Return);
            if (d->isVisible()) {
                d->reject();
            }
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        dialog.addServers({QStringLiteral("a.example"), QStringLiteral("b.example")});
        dialog.findChild<QComboBox *>()->setCurrentIndex(1);
        dialog.addServers({});
        QCOMPARE(dialog.getSelectedServer(), QStringLiteral("b.example"));
        QVERIFY(dialog.findChild<QPushButton *>(QStringLiteral("syncButton"))->isEnabled());
    }
};

ZEL_WIDGET_TEST_MAIN(DialogInputTest)

#include "tst_dialoginput.moc"
