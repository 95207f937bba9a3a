// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// What the choose-package dialog lets through: nothing from an empty list,
// and a service with conflicts only once they were agreed to.

#include "choosepackdialog.h"
#include "widgettest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

class ChoosePackDialogTest : public QObject
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
};

ZEL_WIDGET_TEST_MAIN(ChoosePackDialogTest)

#include "tst_choosepackdialog.moc"
