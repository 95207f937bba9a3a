// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "choosepackdialog.h"
#include "widgettest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

using ConflictMap = QMap<QString, QStringList>;

namespace
{
struct Form {
    explicit Form(ChoosePackDialog *d)
        : dialog(d)
        , combo(d->findChild<QComboBox *>(QStringLiteral("comboBox")))
        , area(d->findChild<QGroupBox *>(QStringLiteral("conflictGB")))
        , conflictLabel(d->findChild<QLabel *>(QStringLiteral("conflictLabel")))
        , agree(d->findChild<QCheckBox *>(QStringLiteral("agreeChB")))
        , ok(d->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok))
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

    ChoosePackDialog *dialog;
    QComboBox *combo;
    QGroupBox *area;
    QLabel *conflictLabel;
    QCheckBox *agree;
    QPushButton *ok;
};
}

// Size and minimum height in one go, so that a failure names both.
#define QCOMPARE_HEIGHTS(dialog, w, h)                                                                                                                         \
    do {                                                                                                                                                       \
        QCOMPARE((dialog)->size(), QSize(w, h));                                                                                                               \
        QCOMPARE((dialog)->minimumHeight(), h);                                                                                                                \
    } while (false)

class ChoosePackDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        setUpDesktopLook();
    }

    // One service free of conflicts, one with two: every transition of the
    // conflict area, before and after the dialog is on screen.
    void conflictAreaTransitions()
    {
        ChoosePackDialog dialog({{QStringLiteral("b"), {QStringLiteral("x"), QStringLiteral("y")}}, {QStringLiteral("a"), {}}}, nullptr);
        Form f(&dialog);
        QCOMPARE(f.items(), QStringList({QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(dialog.getSelectedService(), QStringLiteral("a"));
        QVERIFY(f.area->isHidden());
        QVERIFY(f.ok->isEnabled());
        QCOMPARE_HEIGHTS(&dialog, 346, 91);
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("iconLabel"))->pixmap(Qt::ReturnByValue).size(), QSize(32, 32));

        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE_HEIGHTS(&dialog, 346, 91);

        f.combo->setCurrentIndex(1);
        QCOMPARE(dialog.getSelectedService(), QStringLiteral("b"));
        QVERIFY(!f.area->isHidden());
        QCOMPARE(f.conflictLabel->text(), QStringLiteral("x, y"));
        QVERIFY(!f.agree->isChecked());
        QVERIFY(!f.ok->isEnabled());
        QCOMPARE_HEIGHTS(&dialog, 346, 182);
        QCoreApplication::processEvents(); // let the layout settle
        QCOMPARE_HEIGHTS(&dialog, 346, 182);

        f.agree->click();
        QVERIFY(f.ok->isEnabled());
        f.agree->click();
        QVERIFY(!f.ok->isEnabled());
        f.agree->click();

        f.combo->setCurrentIndex(0);
        QVERIFY(f.area->isHidden());
        QVERIFY(f.ok->isEnabled());
        QCOMPARE_HEIGHTS(&dialog, 346, 91);
        QCoreApplication::processEvents();
        QCOMPARE_HEIGHTS(&dialog, 346, 91);

        // Back again: "I agree" was left ticked but is asked for afresh, and
        // the rule still works after the area was hidden once.
        f.combo->setCurrentIndex(1);
        QVERIFY(!f.agree->isChecked());
        QVERIFY(!f.ok->isEnabled());
        QCOMPARE_HEIGHTS(&dialog, 346, 182);
        f.agree->click();
        QVERIFY(f.ok->isEnabled());
    }

    void sizeChosenByUserCarriesOver()
    {
        ChoosePackDialog dialog({{QStringLiteral("a"), {}}, {QStringLiteral("b"), {QStringLiteral("x")}}}, nullptr);
        Form f(&dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.resize(400, 120);
        f.combo->setCurrentIndex(1);
        QCOMPARE_HEIGHTS(&dialog, 400, 240);
        f.combo->setCurrentIndex(0);
        QCOMPARE_HEIGHTS(&dialog, 400, 120);
    }

    void conflictText_data()
    {
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one") << QStringList{QStringLiteral("systemd-timesyncd")} << QStringLiteral("systemd-timesyncd");
        QTest::newRow("several") << QStringList{QStringLiteral("chrony"), QStringLiteral("ntpsec"), QStringLiteral("openntpd")}
                                 << QStringLiteral("chrony, ntpsec, openntpd");
        QTest::newRow("library order kept") << QStringList{QStringLiteral("zz"), QStringLiteral("aa")} << QStringLiteral("zz, aa");
        QTest::newRow("empty element") << QStringList{QStringLiteral("x"), QString(), QStringLiteral("y")} << QStringLiteral("x, , y");
    }

    void conflictText()
    {
        QFETCH(QStringList, removed);
        QFETCH(QString, shown);
        // Every service with conflicts: the area stays, consent is asked anew.
        ChoosePackDialog dialog({{QStringLiteral("a"), removed}, {QStringLiteral("b"), {QStringLiteral("y")}}}, nullptr);
        Form f(&dialog);
        QVERIFY(!f.area->isHidden());
        QCOMPARE(f.conflictLabel->text(), shown);
        QVERIFY(!f.ok->isEnabled());
        QCOMPARE_HEIGHTS(&dialog, 346, 182);
        f.agree->click();
        QVERIFY(f.ok->isEnabled());
        f.combo->setCurrentIndex(1);
        QCOMPARE(f.conflictLabel->text(), QStringLiteral("y"));
        QVERIFY(!f.agree->isChecked());
        QVERIFY(!f.ok->isEnabled());
        QCOMPARE_HEIGHTS(&dialog, 346, 182);
    }

    void keysInStringOrder()
    {
        const ConflictMap map{{QStringLiteral("beta"), {}}, {QStringLiteral("Zeta"), {}}, {QStringLiteral("alpha"), {}}, {QStringLiteral("_x"), {}}};
        ChoosePackDialog dialog(map, nullptr);
        Form f(&dialog);
        QCOMPARE(f.items(), QStringList({QStringLiteral("Zeta"), QStringLiteral("_x"), QStringLiteral("alpha"), QStringLiteral("beta")}));
        QCOMPARE(dialog.getSelectedService(), QStringLiteral("Zeta"));
    }

    // Nothing to install: OK must not hand an empty name on.
    void emptyListHoldsOk()
    {
        ChoosePackDialog dialog({}, nullptr);
        Form f(&dialog);
        QCOMPARE(f.combo->count(), 0);
        QVERIFY(f.area->isHidden());
        QVERIFY(!f.ok->isEnabled());
        QCOMPARE(dialog.getSelectedService(), QString());
        QCOMPARE_HEIGHTS(&dialog, 346, 91);

        // Return does not accept either.
        const int result = execAnswering(&dialog, [](QDialog *d) {
            QTest::keyClick(d, Qt::Key_Return);
            QTimer::singleShot(100, d, &QDialog::reject);
        });
        QCOMPARE(result, int(QDialog::Rejected));

        dialog.setItems({{QStringLiteral("chrony"), {}}});
        QVERIFY(f.ok->isEnabled());
        dialog.setItems({});
        QVERIFY(!f.ok->isEnabled());
    }

    void reuseWithSetItems()
    {
        ChoosePackDialog dialog({{QStringLiteral("a"), {QStringLiteral("x")}}}, nullptr);
        Form f(&dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        f.agree->click();
        QVERIFY(f.ok->isEnabled());

        // First key free of conflicts.
        dialog.setItems({{QStringLiteral("c"), {}}, {QStringLiteral("d"), {QStringLiteral("y")}}});
        QCOMPARE(f.items(), QStringList({QStringLiteral("c"), QStringLiteral("d")}));
        QCOMPARE(dialog.getSelectedService(), QStringLiteral("c"));
        QVERIFY(f.area->isHidden());
        QVERIFY(f.ok->isEnabled());
        QCOMPARE_HEIGHTS(&dialog, 346, 91);
        f.combo->setCurrentIndex(1);
        f.agree->click();
        QVERIFY(f.ok->isEnabled());

        // First key with conflicts, coming from a shown and agreed area.
        dialog.setItems({{QStringLiteral("e"), {QStringLiteral("z")}}});
        QVERIFY(!f.area->isHidden());
        QCOMPARE(f.conflictLabel->text(), QStringLiteral("z"));
        QVERIFY(!f.agree->isChecked());
        QVERIFY(!f.ok->isEnabled());
        QCOMPARE_HEIGHTS(&dialog, 346, 182);
        f.agree->click();
        QVERIFY(f.ok->isEnabled());

        // Emptied while the area is shown.
        dialog.setItems({});
        QVERIFY(f.area->isHidden());
        QVERIFY(!f.ok->isEnabled());
        QCOMPARE_HEIGHTS(&dialog, 346, 91);

        dialog.setItems({{QStringLiteral("e"), {QStringLiteral("z")}}});
        QVERIFY(!f.ok->isEnabled());
        f.agree->click();
        QVERIFY(f.ok->isEnabled());
    }

    void endings_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("agreed");
        QTest::addColumn<int>("result");
        for (bool agreed : {false, true}) {
            const char *tag = agreed ? "agreed" : "not agreed";
            QTest::addRow("cancel, %s", tag) << QStringLiteral("cancel") << agreed << int(QDialog::Rejected);
            QTest::addRow("escape, %s", tag) << QStringLiteral("escape") << agreed << int(QDialog::Rejected);
            QTest::addRow("close, %s", tag) << QStringLiteral("close") << agreed << int(QDialog::Rejected);
        }
        QTest::newRow("ok, agreed") << QStringLiteral("ok") << true << int(QDialog::Accepted);
    }

    void endings()
    {
        QFETCH(QString, how);
        QFETCH(bool, agreed);
        QFETCH(int, result);
        ChoosePackDialog dialog({{QStringLiteral("a"), {QStringLiteral("x")}}}, nullptr);
        Form f(&dialog);
        if (agreed) {
            f.agree->click();
        }
        const int got = execAnswering(&dialog, [&](QDialog *d) {
            if (how == QLatin1String("cancel")) {
                d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
            } else if (how == QLatin1String("escape")) {
                QTest::keyClick(d, Qt::Key_Escape);
            } else if (how == QLatin1String("close")) {
                d->close();
            } else {
                f.ok->click();
            }
        });
        QCOMPARE(got, result);
        QCOMPARE(dialog.getSelectedService(), QStringLiteral("a"));
    }
};

QTEST_MAIN(ChoosePackDialogTest)
#include "tst_choosepackdialog.moc"
