// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "synchro/syncservers.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class SyncServersTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_config;

    static QStringList stored()
    {
        return QSettings(QStringLiteral("kcm_zel_admin_time"), QStringLiteral("synchro")).value(QStringLiteral("recentServers")).toStringList();
    }

    static void store(const QStringList &servers)
    {
        QSettings settings(QStringLiteral("kcm_zel_admin_time"), QStringLiteral("synchro"));
        settings.setValue(QStringLiteral("recentServers"), servers);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The history is the user's own settings file: keep the tests' apart.
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }

    void init()
    {
        store({});
    }

    void mergedOrderAndDuplicates()
    {
        const QStringList configured{QStringLiteral("ntp.example.org"), QStringLiteral("2.debian.pool.ntp.org"), QStringLiteral("192.0.2.1")};
        const QStringList history{QStringLiteral("NTP.Example.org."), QStringLiteral("2001:db8::1"), QStringLiteral("time.example.net")};
        QCOMPARE(SyncServers::merged(configured, history),
                 QStringList({QStringLiteral("ntp.example.org"),
                              QStringLiteral("2.debian.pool.ntp.org"),
                              QStringLiteral("192.0.2.1"),
                              QStringLiteral("2001:db8::1"),
                              QStringLiteral("time.example.net"),
                              QStringLiteral("0.debian.pool.ntp.org"),
                              QStringLiteral("1.debian.pool.ntp.org"),
                              QStringLiteral("3.debian.pool.ntp.org")}));
        // With nothing configured or used, the Debian pool alone.
        QCOMPARE(SyncServers::merged({}, {}), SyncServers::debianPool());
    }

    void rememberPutsMostRecentFirst()
    {
        SyncServers::remember(QStringLiteral("a.example.org"));
        SyncServers::remember(QStringLiteral("192.0.2.7"));
        SyncServers::remember(QStringLiteral("A.EXAMPLE.ORG"));
        QCOMPARE(SyncServers::history(), QStringList({QStringLiteral("A.EXAMPLE.ORG"), QStringLiteral("192.0.2.7")}));
        QCOMPARE(stored(), SyncServers::history());
    }

    void historyIsBounded()
    {
        for (int i = 0; i < SyncServers::HistorySize + 5; ++i) {
            SyncServers::remember(QStringLiteral("s%1.example.org").arg(i));
        }
        const QStringList history = SyncServers::history();
        QCOMPARE(history.size(), SyncServers::HistorySize);
        QCOMPARE(history.first(), QStringLiteral("s%1.example.org").arg(SyncServers::HistorySize + 4));
        QCOMPARE(history.last(), QStringLiteral("s5.example.org"));
    }

    // Nothing malformed reaches the list: not from the files, not from a
    // caller, not from a settings file edited by hand.
    void malformedDropped()
    {
        const QStringList junk{QString(),
                               QStringLiteral(" "),
                               QStringLiteral("a b"),
                               QStringLiteral("x;rm"),
                               QStringLiteral("-S"),
                               QStringLiteral("::1::2"),
                               QStringLiteral("256.1.1.1"),
                               QStringLiteral("host/name")};
        QCOMPARE(SyncServers::merged(junk, junk), SyncServers::debianPool());
        SyncServers::remember(QStringLiteral("ok.example.org"));
        for (const QString &bad : junk) {
            SyncServers::remember(bad);
        }
        QCOMPARE(SyncServers::history(), QStringList{QStringLiteral("ok.example.org")});
        store(junk + QStringList{QStringLiteral("good.example.org"), QStringLiteral("GOOD.example.org")});
        QCOMPARE(SyncServers::history(), QStringList{QStringLiteral("good.example.org")});
    }
};

QTEST_GUILESS_MAIN(SyncServersTest)
#include "tst_syncservers.moc"
