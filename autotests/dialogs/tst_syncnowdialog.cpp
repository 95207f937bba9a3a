// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncnowdialog.h"
#include "widgettest.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QValidator>

namespace
{
struct Form {
    explicit Form(SyncNowDialog *d)
        : combo(d->findChild<QComboBox *>(QStringLiteral("serverSyncNowCombo")))
        , syncButton(d->findChild<QPushButton *>(QStringLiteral("syncButton")))
        , buttonBox(d->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox")))
    {
    }

    QStringList items() const
    {
        QStringList names;
        for (int i = 0; i < combo->count(); ++i) {
            names << combo->itemText(i);
        }
        return names;
    }

    // What a user typing into the emptied field ends up with.
    QString typed(const QString &keys) const
    {
        combo->lineEdit()->clear();
        QTest::keyClicks(combo->lineEdit(), keys);
        return combo->lineEdit()->text();
    }

    QComboBox *combo;
    QPushButton *syncButton;
    QDialogButtonBox *buttonBox;
};
}

class SyncNowDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        setUpDesktopLook();
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
        QTest::newRow("two characters") << QStringLiteral("ab") << ok;
        QTest::newRow("host name") << QStringLiteral("0.debian.pool.ntp.org") << ok;
        QTest::newRow("underscore first") << QStringLiteral("_ntp-server") << ok;
        QTest::newRow("blank") << QStringLiteral(" ") << refused;
        QTest::newRow("colon") << QStringLiteral(":") << refused;
        QTest::newRow("port") << QStringLiteral("ntp.example:123") << refused;
        QTest::newRow("slash") << QStringLiteral("/") << refused;
        QTest::newRow("hyphen first") << QStringLiteral("-ntp") << refused;
        QTest::newRow("non-ASCII letter") << QStringLiteral("zeit.b\u00fcro") << refused;
    }

    void validator()
    {
        QFETCH(QString, input);
        QFETCH(int, state);
        SyncNowDialog dialog(nullptr);
        const QValidator *validator = Form(&dialog).combo->validator();
        QVERIFY(validator);
        int pos = input.size();
        QCOMPARE(int(validator->validate(input, pos)), state);
    }

    void typing_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("field");
        QTest::newRow("blank dropped") << QStringLiteral("ntp server") << QStringLiteral("ntpserver");
        QTest::newRow("port colon dropped") << QStringLiteral("ntp.example:123") << QStringLiteral("ntp.example123");
        QTest::newRow("only refused") << QStringLiteral(" :/") << QString();
        QTest::newRow("one character") << QStringLiteral("x") << QStringLiteral("x");
    }

    void typing()
    {
        QFETCH(QString, keys);
        QFETCH(QString, field);
        SyncNowDialog dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        Form f(&dialog);
        QCOMPARE(f.typed(keys), field);
        QCOMPARE(dialog.getSelectedServer(), field);
    }

    // Unfinished input still goes out as it stands.
    void unfinishedInputPassedOn_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::newRow("empty") << QString();
        QTest::newRow("one character") << QStringLiteral("x");
    }

    void unfinishedInputPassedOn()
    {
        QFETCH(QString, keys);
        SyncNowDialog dialog(nullptr);
        Form f(&dialog);
        dialog.addServers({QStringLiteral("ntp.example")});
        const int result = execAnswering(&dialog, [&](QDialog *) {
            f.typed(keys);
            f.syncButton->click();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dialog.getSelectedServer(), keys);
    }

    void listEntriesNotValidated()
    {
        SyncNowDialog dialog(nullptr);
        Form f(&dialog);
        const QStringList servers{QStringLiteral("ntp server:123"), QStringLiteral("/x"), QStringLiteral("a")};
        dialog.addServers(servers);
        QCOMPARE(f.items(), servers);
        for (int i = 0; i < servers.size(); ++i) {
            f.combo->setCurrentIndex(i);
            QCOMPARE(dialog.getSelectedServer(), servers.at(i));
        }
    }

    void firstOpeningWithoutServers()
    {
        SyncNowDialog dialog(nullptr);
        Form f(&dialog);
        dialog.addServers({});
        QCOMPARE(f.combo->count(), 0);
        QVERIFY(!f.syncButton->isEnabled());

        // Typing a good address and pressing Return do not accept: only
        // Cancel ends it.
        const int result = execAnswering(&dialog, [&](QDialog *d) {
            QCOMPARE(f.typed(QStringLiteral("pool.ntp.org")), QStringLiteral("pool.ntp.org"));
            QVERIFY(!f.syncButton->isEnabled());
            QTest::keyClick(f.combo->lineEdit(), Qt::Key_Return);
            QTest::keyClick(d, Qt::Key_Return);
            QVERIFY(d->isVisible());
            f.buttonBox->button(QDialogButtonBox::Cancel)->click();
        });
        QCOMPARE(result, int(QDialog::Rejected));
    }

    void laterLists()
    {
        SyncNowDialog dialog(nullptr);
        Form f(&dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.addServers({QStringLiteral("a.example"), QStringLiteral("b.example")});
        QVERIFY(f.syncButton->isEnabled());
        QCOMPARE(dialog.getSelectedServer(), QStringLiteral("a.example"));
        f.combo->setCurrentIndex(1);

        // An empty list keeps entries, choice and button.
        dialog.addServers({});
        QCOMPARE(f.items(), QStringList({QStringLiteral("a.example"), QStringLiteral("b.example")}));
        QCOMPARE(dialog.getSelectedServer(), QStringLiteral("b.example"));
        QVERIFY(f.syncButton->isEnabled());

        // ... and typed text.
        f.typed(QStringLiteral("typed.example"));
        dialog.addServers({});
        QCOMPARE(dialog.getSelectedServer(), QStringLiteral("typed.example"));
        QCOMPARE(f.combo->count(), 2);

        // A new list replaces entries and typed text alike.
        dialog.addServers({QStringLiteral("c.example")});
        QCOMPARE(f.items(), QStringList({QStringLiteral("c.example")}));
        QCOMPARE(dialog.getSelectedServer(), QStringLiteral("c.example"));
        QVERIFY(f.syncButton->isEnabled());
    }

    void endings_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("cancel") << QStringLiteral("cancel") << int(QDialog::Rejected);
        QTest::newRow("escape") << QStringLiteral("escape") << int(QDialog::Rejected);
        QTest::newRow("close") << QStringLiteral("close") << int(QDialog::Rejected);
        QTest::newRow("synchronize") << QStringLiteral("sync") << int(QDialog::Accepted);
        QTest::newRow("return") << QStringLiteral("return") << int(QDialog::Accepted);
    }

    void endings()
    {
        QFETCH(QString, how);
        QFETCH(int, result);
        SyncNowDialog dialog(nullptr);
        Form f(&dialog);
        dialog.addServers({QStringLiteral("ntp.example")});
        const int got = execAnswering(&dialog, [&](QDialog *d) {
            if (how == QLatin1String("cancel")) {
                f.buttonBox->button(QDialogButtonBox::Cancel)->click();
            } else if (how == QLatin1String("escape")) {
                QTest::keyClick(d, Qt::Key_Escape);
            } else if (how == QLatin1String("close")) {
                d->close();
            } else if (how == QLatin1String("sync")) {
                f.syncButton->click();
            } else {
                QTest::keyClick(d, Qt::Key_Return);
            }
        });
        QCOMPARE(got, result);
    }
};

QTEST_MAIN(SyncNowDialogTest)
#include "tst_syncnowdialog.moc"
