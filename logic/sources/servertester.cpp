// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "sources/servertester.h"

#include "common/programs.h"
#include "common/serveraddress.h"
#include "zeladmintime_debug.h"

#include <KLocalizedString>

#include <QProcess>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

ServerTester::ServerTester(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        const QString late = ki18nd("kcm_zel_admin_time", "No answer within %1 seconds.").subs(m_timeLimit / 1000).toString();
        if (m_socket) {
            m_check.nts = ServerCheck::NtsFails;
            m_check.ntsError = late;
        } else {
            m_check.error = late;
        }
        finish();
    });
}

ServerTester::~ServerTester()
{
    stop();
}

bool ServerTester::isRunning() const
{
    return m_running;
}

void ServerTester::setTimeLimit(int milliseconds)
{
    m_timeLimit = qMax(1000, milliseconds);
}

void ServerTester::start(const QString &address, bool nts)
{
    stop();
    m_running = true;
    m_address = address.trimmed();
    m_nts = nts;
    m_check = ServerCheck();
    // The same check as saving: anything else would land on a command line.
    if (!ServerAddress::isValid(m_address)) {
        m_check.error = ki18nd("kcm_zel_admin_time", "Not a valid host name, IPv4 or IPv6 address.").toString();
        QTimer::singleShot(0, this, &ServerTester::finish);
        return;
    }
    m_timer->start(m_timeLimit);
    auto *process = new QProcess(this);
    m_process = process;
    process->setProgram(Programs::ntpdig());
    // No -s or -S: it only asks. -d adds the packet times the round trip
    // comes from; "--" keeps the address an operand.
    process->setArguments({QStringLiteral("-j"), QStringLiteral("-d"), QStringLiteral("-t"), QStringLiteral("3"), QStringLiteral("--"), m_address});
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, [this, process] {
        queried(SourceParsers::ntpdig(process->readAll()));
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            ServerCheck check;
            check.error =
                ki18nd("kcm_zel_admin_time", "The program %1 could not be started: %2").subs(process->program()).subs(process->errorString()).toString();
            queried(check);
        }
    });
    process->start();
}

void ServerTester::queried(const ServerCheck &check)
{
    m_check = check;
    if (!check.reachable && check.error.isEmpty()) {
        m_check.error = ki18nd("kcm_zel_admin_time", "No answer.").toString();
    }
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
    if (!check.reachable) {
        qCWarning(ZELADMINTIME_LOG) << "server test of" << m_address << "failed:" << check.error;
    }
    if (m_nts && check.reachable) {
        checkNts();
    } else {
        finish();
    }
}

// NTS key exchange (RFC 8915): TLS 1.3 on port 4460 with ALPN "ntske/1", then
// records of type, length and body. Asking for NTPv4 with AES-SIV-CMAC-256
// must bring back the protocol and at least one cookie.
void ServerTester::checkNts()
{
    auto *socket = new QSslSocket(this);
    m_socket = socket;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_3OrLater);
    configuration.setAllowedNextProtocols({QByteArrayLiteral("ntske/1")});
    socket->setSslConfiguration(configuration);
    auto records = std::make_shared<QByteArray>();
    connect(socket, &QSslSocket::encrypted, this, [socket] {
        // Next protocol: NTPv4; AEAD: 15; end of message. Critical bit on 1 and 0.
        socket->write(QByteArray::fromHex("80010002000000040002000f80000000"));
    });
    connect(socket, &QSslSocket::readyRead, this, [this, socket, records] {
        records->append(socket->readAll());
        // Complete once an end-of-message record has arrived.
        for (int at = 0; at + 4 <= records->size();) {
            const int type = (quint8(records->at(at)) << 8 | quint8(records->at(at + 1))) & 0x7fff;
            const int length = quint8(records->at(at + 2)) << 8 | quint8(records->at(at + 3));
            if (type == 0) {
                ntsAnswered(*records);
                return;
            }
            at += 4 + length;
        }
    });
    auto fail = [this](const QString &why) {
        if (m_check.nts == ServerCheck::NtsNotChecked) {
            m_check.nts = ServerCheck::NtsFails;
            m_check.ntsError = why;
            finish();
        }
    };
    connect(socket, qOverload<const QList<QSslError> &>(&QSslSocket::sslErrors), this, [socket, fail](const QList<QSslError> &errors) {
        fail(errors.value(0).errorString());
        socket->abort();
    });
    connect(socket, &QAbstractSocket::errorOccurred, this, [socket, fail] {
        fail(socket->errorString());
    });
    socket->connectToHostEncrypted(m_address, 4460);
}

void ServerTester::ntsAnswered(const QByteArray &records)
{
    bool protocol = false;
    bool cookie = false;
    QString error;
    for (int at = 0; at + 4 <= records.size();) {
        const int type = (quint8(records.at(at)) << 8 | quint8(records.at(at + 1))) & 0x7fff;
        const int length = quint8(records.at(at + 2)) << 8 | quint8(records.at(at + 3));
        const QByteArray body = records.mid(at + 4, length);
        if (type == 1 && body == QByteArray::fromHex("0000")) {
            protocol = true;
        } else if (type == 5 && !body.isEmpty()) {
            cookie = true;
        } else if (type == 2) {
            error = ki18nd("kcm_zel_admin_time", "The server refused the key exchange (error %1).").subs(QString::fromLatin1(body.toHex())).toString();
        }
        at += 4 + length;
    }
    m_check.nts = protocol && cookie && error.isEmpty() ? ServerCheck::NtsWorks : ServerCheck::NtsFails;
    if (m_check.nts == ServerCheck::NtsFails) {
        m_check.ntsError = !error.isEmpty() ? error : ki18nd("kcm_zel_admin_time", "The server gave no usable keys.").toString();
    }
    finish();
}

void ServerTester::stop()
{
    m_timer->stop();
    if (m_process) {
        m_process->disconnect(this);
        // Killed and reaped without waiting here.
        if (m_process->state() == QProcess::NotRunning) {
            m_process->deleteLater();
        } else {
            m_process->kill();
            connect(m_process.data(), qOverload<int, QProcess::ExitStatus>(&QProcess::finished), m_process.data(), &QObject::deleteLater);
        }
        m_process = nullptr;
    }
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}

void ServerTester::finish()
{
    if (!m_running) {
        return;
    }
    stop();
    m_running = false;
    Q_EMIT finished(m_check);
}
