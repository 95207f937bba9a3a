// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The translation catalog: a template extracted afresh from the sources
// holds every text the module shows, and the Russian translation covers the
// template entry for entry, keeping what the program relies on (placeholders,
// line breaks, trailing blanks, accelerators).

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace
{

struct Entry {
    QString context; // null: no context
    QString id;
    QString plural;
    QStringList translations;
    bool fuzzy = false;
};

QString key(const QString &context, const QString &id)
{
    return context.isNull() ? id : context + QChar(0x4) + id;
}

// One C/PO string literal, quotes included.
QString unquote(const QString &literal, bool *ok)
{
    *ok = literal.size() >= 2 && literal.startsWith(QLatin1Char('"')) && literal.endsWith(QLatin1Char('"'));
    QString out;
    for (int i = 1; *ok && i < literal.size() - 1; ++i) {
        QChar c = literal.at(i);
        if (c == QLatin1Char('\\') && i + 1 < literal.size() - 1) {
            const QChar n = literal.at(++i);
            c = n == QLatin1Char('n') ? QChar(QLatin1Char('\n')) : n == QLatin1Char('t') ? QChar(QLatin1Char('\t')) : n;
        }
        out += c;
    }
    return out;
}

// A small PO reader: enough for what xgettext and msgfmt write.
QList<Entry> readPo(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return {};
    }
    QList<Entry> entries;
    Entry current;
    bool open = false;
    QString *target = nullptr;
    auto finish = [&] {
        if (open && !(current.id.isEmpty() && current.context.isNull())) {
            entries.append(current);
        }
        current = Entry();
        open = false;
        target = nullptr;
    };
    static const QRegularExpression keyword(QStringLiteral("^(msgctxt|msgid_plural|msgid|msgstr(?:\\[(\\d+)\\])?)\\s+(\".*\")$"));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty()) {
            finish();
            continue;
        }
        if (line.startsWith(QLatin1String("#,"))) {
            current.fuzzy = current.fuzzy || line.contains(QLatin1String("fuzzy"));
            open = true;
            continue;
        }
        if (line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        bool ok = false;
        const auto m = keyword.match(line);
        if (m.hasMatch()) {
            const QString word = m.captured(1);
            const QString text = unquote(m.captured(3), &ok);
            if (word == QLatin1String("msgctxt")) {
                if (open && !current.id.isNull()) {
                    finish();
                }
                current.context = text;
                target = &current.context;
            } else if (word == QLatin1String("msgid")) {
                if (open && !current.id.isNull()) {
                    finish();
                }
                current.id = text;
                target = &current.id;
            } else if (word == QLatin1String("msgid_plural")) {
                current.plural = text;
                target = &current.plural;
            } else {
                current.translations.append(text);
                target = &current.translations.last();
            }
            open = true;
        } else if (line.startsWith(QLatin1Char('"')) && target) {
            *target += unquote(line, &ok);
        }
        if (!ok) {
            *error = QStringLiteral("%1: cannot read the line %2").arg(path, line);
            return {};
        }
    }
    finish();
    return entries;
}

QSet<QString> placeholders(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("%\\d+"));
    QSet<QString> found;
    for (auto it = re.globalMatch(text); it.hasNext();) {
        found.insert(it.next().captured());
    }
    return found;
}

bool hasAccelerator(const QString &text)
{
    return QString(text).remove(QLatin1String("&&")).contains(QLatin1Char('&'));
}

}

class CatalogTest : public QObject
{
    Q_OBJECT

private:
    QList<Entry> m_template;
    QList<Entry> m_russian;

private Q_SLOTS:
    void initTestCase()
    {
        // The template as the sources give it now, extracted into the build folder.
        const QString podir = QDir(QStringLiteral(ZEL_TEST_BUILD_DIR)).filePath(QStringLiteral("template"));
        QDir().mkpath(podir);
        QFile::remove(podir + QStringLiteral("/kcm_zel_admin_time.pot"));
        QProcess messages;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("podir"), podir);
        messages.setProcessEnvironment(env);
        messages.setProcessChannelMode(QProcess::ForwardedChannels);
        messages.start(QStringLiteral("bash"), {QStringLiteral(ZEL_SOURCE_DIR "/po/Messages.sh")});
        QVERIFY(messages.waitForFinished(120000));
        QCOMPARE(messages.exitStatus(), QProcess::NormalExit);
        QCOMPARE(messages.exitCode(), 0);

        QString error;
        m_template = readPo(podir + QStringLiteral("/kcm_zel_admin_time.pot"), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(m_template.size() > 50);
        m_russian = readPo(QStringLiteral(ZEL_SOURCE_DIR "/po/ru/kcm_zel_admin_time.po"), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void templateHoldsEveryShownText()
    {
        QSet<QString> ids;
        for (const Entry &e : qAsConst(m_template)) {
            ids.insert(e.id);
        }
        QFile file(QStringLiteral(ZEL_SOURCE_DIR "/autotests/packaging/quoted-texts.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        int count = 0;
        QStringList missing;
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
                continue;
            }
            bool ok = false;
            const QString text = unquote(line, &ok);
            QVERIFY2(ok, qPrintable(line));
            ++count;
            if (!ids.contains(text)) {
                missing.append(line);
            }
        }
        QVERIFY(count > 60);
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("not in the template:\n") + missing.join(QLatin1Char('\n'))));
    }

    // Every entry of the template is translated, and ru.po keeps no entry
    // the sources no longer have.
    void russianCoversTheTemplate()
    {
        QHash<QString, Entry> russian;
        for (const Entry &e : qAsConst(m_russian)) {
            russian.insert(key(e.context, e.id), e);
        }
        QStringList problems;
        QSet<QString> wanted;
        for (const Entry &e : qAsConst(m_template)) {
            const QString k = key(e.context, e.id);
            wanted.insert(k);
            const auto it = russian.constFind(k);
            if (it == russian.constEnd()) {
                problems.append(QStringLiteral("untranslated: ") + e.id);
                continue;
            }
            const int forms = e.plural.isNull() ? 1 : 3;
            if (it->fuzzy || it->translations.size() != forms || it->translations.contains(QString())) {
                problems.append(QStringLiteral("fuzzy or incomplete: ") + e.id);
            }
            if (it->plural != e.plural) {
                problems.append(QStringLiteral("plural differs: ") + e.id);
            }
        }
        for (const Entry &e : qAsConst(m_russian)) {
            if (!wanted.contains(key(e.context, e.id))) {
                problems.append(QStringLiteral("not in the sources any more: ") + e.id);
            }
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void translationsKeepWhatTheProgramNeeds()
    {
        static const QRegularExpression cyrillic(QStringLiteral("\\p{Cyrillic}"));
        QStringList problems;
        for (const Entry &e : qAsConst(m_russian)) {
            for (int form = 0; form < e.translations.size(); ++form) {
                const QString &source = form == 0 || e.plural.isNull() ? e.id : e.plural;
                const QString &t = e.translations.at(form);
                // Plural forms may leave out %1 only where the number is spelt out; we never do.
                if (placeholders(t) != placeholders(source)) {
                    problems.append(QStringLiteral("placeholders: ") + e.id);
                }
                if (t.count(QLatin1Char('\n')) != source.count(QLatin1Char('\n'))) {
                    problems.append(QStringLiteral("line breaks: ") + e.id);
                }
                if (t.endsWith(QLatin1Char(' ')) != source.endsWith(QLatin1Char(' '))
                    || t.startsWith(QLatin1Char(' ')) != source.startsWith(QLatin1Char(' '))) {
                    problems.append(QStringLiteral("leading or trailing blank: ") + e.id);
                }
                if (hasAccelerator(t) != hasAccelerator(source)) {
                    problems.append(QStringLiteral("accelerator: ") + e.id);
                }
                if (!t.contains(cyrillic)) {
                    problems.append(QStringLiteral("not Russian: ") + e.id);
                }
            }
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // Actions that share a menu need distinct accelerators.
    void menuAcceleratorsAreDistinct()
    {
        QHash<QString, QString> ru;
        for (const Entry &e : qAsConst(m_russian)) {
            if (e.context.isNull() && !e.translations.isEmpty()) {
                ru.insert(e.id, e.translations.first());
            }
        }
        const QList<QStringList> menus = {
            {QStringLiteral("&Reload configuration"), QStringLiteral("&Save changes"), QStringLiteral("Sync &time now")},
            {QStringLiteral("D&isable service"),
             QStringLiteral("St&op service"),
             QStringLiteral("Rest&art service"),
             QStringLiteral("Ser&vice settings"),
             QStringLiteral("&Add service"),
             QStringLiteral("&Delete service")},
            {QStringLiteral("E&nable service"),
             QStringLiteral("S&tart service"),
             QStringLiteral("Rest&art service"),
             QStringLiteral("Ser&vice settings"),
             QStringLiteral("&Add service"),
             QStringLiteral("&Delete service")},
        };
        for (const QStringList &menu : menus) {
            QSet<QChar> used;
            for (const QString &id : menu) {
                QVERIFY2(ru.contains(id), qPrintable(id));
                const QString t = ru.value(id);
                const QChar mark = t.at(t.indexOf(QLatin1Char('&')) + 1).toLower();
                QVERIFY2(!used.contains(mark), qPrintable(t));
                used.insert(mark);
            }
        }
    }
};

QTEST_GUILESS_MAIN(CatalogTest)

#include "tst_catalog.moc"
