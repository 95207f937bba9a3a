// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "config/directiveconfig.h"

#include "common/serveraddress.h"

#include <QRegularExpression>
#include <QSet>

using Config::DirectiveEntry;
using Config::NoValue;
using Config::ServerEntry;

namespace
{
struct Syntax {
    TokenSyntax tokens;
    QList<QByteArray> sourceDirectives;
    bool caseInsensitive; // chrony matches keywords without regard to case
    QList<QByteArray> flags; // options without an argument the page edits
    QList<QByteArray> valueOptions; // options that take one argument
    QList<QByteArray> hostPrefixes; // words allowed before the address
};

const Syntax &syntaxOf(DirectiveFormat format)
{
    static const Syntax chrony{
        {QByteArrayLiteral("#%;!"), false, false},
        {QByteArrayLiteral("server"), QByteArrayLiteral("pool")},
        true,
        {QByteArrayLiteral("iburst"), QByteArrayLiteral("prefer"), QByteArrayLiteral("nts")},
        {"minpoll", "maxpoll", "key",     "maxdelay", "maxdelayratio", "maxdelaydevratio", "mindelay",   "asymmetry", "offset",     "minsamples", "maxsamples",
         "filter",  "port",    "ntsport", "certset",  "polltarget",    "presend",          "minstratum", "version",   "maxsources", "extfield"},
        {},
    };
    static const Syntax ntpsec{
        {QByteArrayLiteral("#"), true, true},
        {QByteArrayLiteral("server"), QByteArrayLiteral("pool")},
        false,
        {QByteArrayLiteral("iburst"), QByteArrayLiteral("prefer"), QByteArrayLiteral("nts")},
        {"minpoll",
         "maxpoll",
         "key",
         "mode",
         "version",
         "bias",
         "ttl",
         "ca",
         "aead",
         "subtype",
         "unit",
         "refid",
         "stratum",
         "path",
         "ppspath",
         "baud",
         "holdover",
         "time1",
         "time2"},
        {QByteArrayLiteral("-4"), QByteArrayLiteral("-6")},
    };
    static const Syntax openntpd{
        {QByteArrayLiteral("#"), true, true},
        {QByteArrayLiteral("server"), QByteArrayLiteral("servers")},
        false,
        {QByteArrayLiteral("trusted")},
        {QByteArrayLiteral("weight")},
        {},
    };
    switch (format) {
    case DirectiveFormat::Ntpsec:
        return ntpsec;
    case DirectiveFormat::Openntpd:
        return openntpd;
    case DirectiveFormat::Chrony:
        break;
    }
    return chrony;
}

bool sameKeyword(const Syntax &syntax, const QByteArray &a, const QByteArray &b)
{
    return syntax.caseInsensitive ? a.compare(b, Qt::CaseInsensitive) == 0 : a == b;
}

bool isOneOf(const Syntax &syntax, const QByteArray &word, const QList<QByteArray> &list)
{
    for (const QByteArray &item : list) {
        if (sameKeyword(syntax, word, item)) {
            return true;
        }
    }
    return false;
}

bool *flagOf(ServerEntry &entry, const QByteArray &flag)
{
    if (flag == "iburst") {
        return &entry.iburst;
    }
    if (flag == "prefer") {
        return &entry.prefer;
    }
    if (flag == "nts") {
        return &entry.nts;
    }
    if (flag == "trusted") {
        return &entry.trusted;
    }
    return nullptr;
}

int *valueOf(ServerEntry &entry, const QByteArray &option)
{
    if (option == "minpoll") {
        return &entry.minpoll;
    }
    if (option == "maxpoll") {
        return &entry.maxpoll;
    }
    if (option == "weight") {
        return &entry.weight;
    }
    return nullptr;
}

int toInt(const QByteArray &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value != NoValue ? value : NoValue;
}

QByteArray numberText(double value)
{
    return QByteArray::number(value, 'g', 12);
}
}

ServerOptions DirectiveConfig::serverOptions(DirectiveFormat format)
{
    ServerOptions options;
    switch (format) {
    case DirectiveFormat::Chrony:
        options.directives = QStringList{QStringLiteral("server"), QStringLiteral("pool")};
        options.iburst = options.prefer = options.nts = true;
        options.pollRange = true;
        options.pollMinimum = -6;
        options.pollMaximum = 24;
        break;
    case DirectiveFormat::Ntpsec:
        options.directives = QStringList{QStringLiteral("server"), QStringLiteral("pool")};
        options.iburst = options.prefer = options.nts = true;
        options.pollRange = true;
        options.pollMinimum = 3;
        options.pollMaximum = 17;
        break;
    case DirectiveFormat::Openntpd:
        options.directives = QStringList{QStringLiteral("server"), QStringLiteral("servers")};
        options.trusted = true;
        options.weight = true;
        options.weightMinimum = 1;
        options.weightMaximum = 10;
        break;
    }
    return options;
}

DirectiveConfig DirectiveConfig::parse(DirectiveFormat format, const QByteArray &bytes)
{
    const Syntax &syntax = syntaxOf(format);
    DirectiveConfig config;
    config.m_format = format;
    config.m_document = ConfigDocument::fromBytes(bytes);
    const auto &lines = config.m_document.lines;
    config.m_tokens.reserve(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        config.m_tokens.append(tokenize(lines.at(i).text, syntax.tokens));
        const QVector<Token> &tokens = config.m_tokens.last().tokens;
        if (tokens.isEmpty()) {
            continue;
        }
        const QByteArray &keyword = tokens.first().value;
        if (isOneOf(syntax, keyword, syntax.sourceDirectives)) {
            SourceLine source{i, -1, {}};
            ServerEntry &entry = source.entry;
            entry.directive = textOf(keyword);
            entry.origin = i;
            int t = 1;
            while (t < tokens.size() && syntax.hostPrefixes.contains(tokens.at(t).value)) {
                ++t;
            }
            if (t < tokens.size()) {
                source.hostToken = t;
                entry.host = textOf(tokens.at(t).value);
                ++t;
            }
            for (; t < tokens.size(); ++t) {
                const QByteArray &word = tokens.at(t).value;
                if (bool *flag = syntax.flags.contains(word) ? flagOf(entry, word) : nullptr) {
                    *flag = true;
                } else if (syntax.valueOptions.contains(word)) {
                    if (t + 1 < tokens.size()) {
                        if (int *value = valueOf(entry, word)) {
                            *value = toInt(tokens.at(t + 1).value);
                        }
                        ++t;
                    }
                }
            }
            config.m_sources.append(source);
            config.m_settings.servers.append(entry);
        } else if (format == DirectiveFormat::Chrony && sameKeyword(syntax, keyword, "makestep")) {
            config.m_makestepLines.append(i);
            DirectiveSettings &s = config.m_settings;
            s.makestep = true;
            bool thresholdOk = false;
            bool limitOk = false;
            const double threshold = tokens.value(1).value.toDouble(&thresholdOk);
            const int limit = tokens.value(2).value.toInt(&limitOk);
            s.makestepThreshold = thresholdOk ? threshold : 1.0;
            s.makestepLimit = limitOk ? limit : 3;
        } else if (format == DirectiveFormat::Chrony && sameKeyword(syntax, keyword, "rtcsync")) {
            config.m_rtcsyncLines.append(i);
            config.m_settings.rtcsync = true;
        } else {
            const QByteArray &text = lines.at(i).text;
            const int valueBegin = tokens.size() > 1 ? tokens.at(1).begin : tokens.first().end;
            const QByteArray value = text.mid(valueBegin, tokens.last().end - valueBegin);
            config.m_otherLines.append(i);
            config.m_settings.others.append({textOf(keyword), textOf(value), i});
        }
    }
    return config;
}

QStringList DirectiveConfig::serverNames(const DirectiveSettings &settings)
{
    QStringList names;
    for (const ServerEntry &entry : settings.servers) {
        names.append(entry.host);
    }
    return names;
}

QStringList DirectiveConfig::problems(DirectiveFormat format, const QByteArray &bytes)
{
    QStringList problems;
    if (hasForbiddenBytes(bytes)) {
        problems.append(QStringLiteral("the file holds a NUL byte"));
    }
    const DirectiveConfig config = parse(format, bytes);
    for (const SourceLine &source : config.m_sources) {
        if (source.hostToken < 0) {
            problems.append(QStringLiteral("line %1: a server without an address").arg(source.line + 1));
        } else if (!ServerAddress::isValid(source.entry.host)) {
            problems.append(QStringLiteral("line %1: \"%2\" is not a valid server name").arg(source.line + 1).arg(source.entry.host));
        }
    }
    return problems;
}

bool DirectiveConfig::isManagedKey(DirectiveFormat format, const QString &key)
{
    const Syntax &syntax = syntaxOf(format);
    const QByteArray word = key.toUtf8();
    if (isOneOf(syntax, word, syntax.sourceDirectives)) {
        return true;
    }
    return format == DirectiveFormat::Chrony && (sameKeyword(syntax, word, "makestep") || sameKeyword(syntax, word, "rtcsync"));
}

bool DirectiveConfig::isValidKey(const QString &key)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z][A-Za-z0-9_-]{0,63}")));
    return re.match(key).hasMatch();
}

namespace
{
// A number as the daemons read one.
#define NUMBER "-?[0-9]+(\\.[0-9]+)?([eE][-+]?[0-9]+)?"

// The options a server line may keep: none takes a path.
struct ServerLineRule {
    QList<QByteArray> flags;
    QList<QByteArray> valueOptions;
};

// A directive the page or the dialog writes, and the form of its value
// (a pattern; a blank stands for any run of blanks; "" for none).
struct LineRule {
    const char *key;
    const char *value;
    bool dialog; // offered in the settings dialog
};

const ServerLineRule &serverLineRule(DirectiveFormat format)
{
    static const ServerLineRule chrony{
        {"iburst", "prefer", "nts", "burst", "offline", "auto_offline", "noselect", "trust", "require", "xleave", "copy"},
        {"minpoll",    "maxpoll",    "key",        "maxdelay", "maxdelayratio", "maxdelaydevratio", "maxdelayquant", "mindelay",   "asymmetry",
         "offset",     "minsamples", "maxsamples", "filter",   "port",          "ntsport",          "certset",       "polltarget", "presend",
         "minstratum", "version",    "maxsources", "extfield"},
    };
    static const ServerLineRule ntpsec{
        {"iburst", "burst", "prefer", "noselect", "true", "xleave", "nts", "noval"},
        {"minpoll", "maxpoll", "key", "mode", "version", "bias", "ttl", "aead"},
    };
    static const ServerLineRule openntpd{{"trusted"}, {"weight"}};
    return format == DirectiveFormat::Ntpsec ? ntpsec : format == DirectiveFormat::Openntpd ? openntpd : chrony;
}

const QVector<LineRule> &lineRules(DirectiveFormat format)
{
    static const QVector<LineRule> chrony{
        {"makestep", NUMBER " -?[0-9]+", false},
        {"rtcsync", "", false},
        {"maxdistance", NUMBER, true},
        {"maxjitter", NUMBER, true},
        {"maxupdateskew", NUMBER, true},
        {"maxslewrate", NUMBER, true},
        {"maxdrift", NUMBER, true},
        {"maxclockerror", NUMBER, true},
        {"corrtimeratio", NUMBER, true},
        {"reselectdist", NUMBER, true},
        {"stratumweight", NUMBER, true},
        {"combinelimit", NUMBER, true},
        {"clockprecision", NUMBER, true},
        {"minsources", NUMBER, true},
        {"logchange", NUMBER, true},
        {"rtcautotrim", NUMBER, true},
        {"fallbackdrift", NUMBER " " NUMBER, true},
        {"maxchange", NUMBER " " NUMBER " " NUMBER, true},
        {"smoothtime", NUMBER " " NUMBER "( leaponly)?", true},
        {"leapsecmode", "(system|step|slew|ignore)", true},
        {"authselectmode", "(require|prefer|mix|ignore)", true},
        {"rtconutc", "", true},
    };
    static const QVector<LineRule> ntpsec{
        {"tos",
         "(minclock|maxclock|minsane|floor|ceiling|cohort|mindist|maxdist|orphan|orphanwait|bcpollbstep) " NUMBER
         "( (minclock|maxclock|minsane|floor|ceiling|cohort|mindist|maxdist|orphan|orphanwait|bcpollbstep) " NUMBER ")*",
         true},
        {"tinker",
         "(step|panic|dispersion|stepout|allan|huffpuff|freq|stepback|stepfwd) " NUMBER
         "( (step|panic|dispersion|stepout|allan|huffpuff|freq|stepback|stepfwd) " NUMBER ")*",
         true},
    };
    // A constraint is fetched over HTTPS; only its address is given.
    static const QVector<LineRule> openntpd{
        {"constraint", "from \"https://[A-Za-z0-9.-]+(:[0-9]+)?(/[A-Za-z0-9._~/-]*)?\"", true},
        {"constraints", "from \"https://[A-Za-z0-9.-]+(:[0-9]+)?(/[A-Za-z0-9._~/-]*)?\"", true},
    };
    return format == DirectiveFormat::Ntpsec ? ntpsec : format == DirectiveFormat::Openntpd ? openntpd : chrony;
}
#undef NUMBER

const LineRule *lineRule(DirectiveFormat format, const QByteArray &key)
{
    const Syntax &syntax = syntaxOf(format);
    for (const LineRule &rule : lineRules(format)) {
        if (sameKeyword(syntax, key, rule.key)) {
            return &rule;
        }
    }
    return nullptr;
}

bool matchesValue(const LineRule &rule, const QByteArray &value)
{
    static QHash<const LineRule *, QRegularExpression> patterns;
    auto it = patterns.find(&rule);
    if (it == patterns.end()) {
        const QString pattern = QString::fromLatin1(rule.value).replace(QLatin1Char(' '), QLatin1String("[ \\t]+"));
        it = patterns.insert(&rule, QRegularExpression(QRegularExpression::anchoredPattern(pattern)));
    }
    return it->match(QString::fromLatin1(value)).hasMatch();
}

bool isServerLine(const Syntax &syntax, const ServerLineRule &rule, const QVector<Token> &tokens, const QByteArray &text)
{
    static const QRegularExpression word(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9._+-]{1,64}")));
    int t = 1;
    while (t < tokens.size() && syntax.hostPrefixes.contains(tokens.at(t).value) && !tokens.at(t).quoted) {
        ++t;
    }
    if (t >= tokens.size()) {
        return false;
    }
    const Token &host = tokens.at(t);
    if (host.quoted && (host.end - host.begin < 2 || text.at(host.end - 1) != '"')) {
        return false;
    }
    if (!ServerAddress::isValid(textOf(host.value))) {
        return false;
    }
    for (++t; t < tokens.size(); ++t) {
        const Token &option = tokens.at(t);
        if (option.quoted) {
            return false;
        }
        if (rule.flags.contains(option.value)) {
            continue;
        }
        if (!rule.valueOptions.contains(option.value) || t + 1 >= tokens.size() || tokens.at(t + 1).quoted
            || !word.match(QString::fromLatin1(tokens.at(t + 1).value)).hasMatch()) {
            return false;
        }
        ++t;
    }
    return true;
}
}

bool DirectiveConfig::isDialogKey(DirectiveFormat format, const QString &key)
{
    const LineRule *rule = lineRule(format, key.toUtf8());
    return rule && rule->dialog;
}

bool DirectiveConfig::isEditableLine(DirectiveFormat format, const QByteArray &text)
{
    // Tabs and spaces alone separate words; any other control byte is read
    // differently by each daemon, or splits the line.
    for (const uchar c : text) {
        if ((c < 0x20 && c != '\t') || c == 0x7f) {
            return false;
        }
    }
    const Syntax &syntax = syntaxOf(format);
    const TokenizedLine line = tokenize(text, syntax.tokens);
    if (line.tokens.isEmpty()) {
        return !line.isComment;
    }
    const Token &key = line.tokens.constFirst();
    if (key.quoted) {
        return false;
    }
    if (isOneOf(syntax, key.value, syntax.sourceDirectives)) {
        return isServerLine(syntax, serverLineRule(format), line.tokens, text);
    }
    const LineRule *rule = lineRule(format, key.value);
    if (!rule) {
        return false;
    }
    const int valueBegin = line.tokens.size() > 1 ? line.tokens.at(1).begin : key.end;
    return matchesValue(*rule, text.mid(valueBegin, line.tokens.constLast().end - valueBegin));
}

QByteArray DirectiveConfig::newServerLine(const ServerEntry &entry) const
{
    const ServerOptions options = serverOptions(m_format);
    QByteArray text = entry.directive.toUtf8() + ' ' + entry.host.toUtf8();
    auto addFlag = [&](bool supported, bool on, const char *name) {
        if (supported && on) {
            text += ' ';
            text += name;
        }
    };
    auto addValue = [&](bool supported, int value, const char *name) {
        if (supported && value != NoValue) {
            text += ' ';
            text += name;
            text += ' ';
            text += QByteArray::number(value);
        }
    };
    addFlag(options.iburst, entry.iburst, "iburst");
    addFlag(options.prefer, entry.prefer, "prefer");
    addFlag(options.nts, entry.nts, "nts");
    addValue(options.pollRange, entry.minpoll, "minpoll");
    addValue(options.pollRange, entry.maxpoll, "maxpoll");
    addValue(options.weight, entry.weight, "weight");
    addFlag(options.trusted, entry.trusted, "trusted");
    return text;
}

namespace
{
// Edits one server line where it stands, one named step a change: a changed
// word is replaced in place, a removed one goes with the blanks before it,
// and added words are gathered and written at once at the end of the line.
// An unclosed quote runs to the end of the line: unless its word is replaced
// or removed, it is closed before the added words, or they would become part
// of it.
class ServerLineEditor
{
public:
    // `hostToken`: the address's index among `tokens`, -1 when it has none.
    ServerLineEditor(const Syntax &syntax, const QByteArray &text, const QVector<Token> &tokens, int hostToken)
        : m_syntax(syntax)
        , m_tokens(tokens)
        , m_hostToken(hostToken)
        , m_firstOption(hostToken >= 0 ? hostToken + 1 : int(tokens.size()))
        , m_edit(text)
    {
        const Token &last = tokens.last();
        m_lastUnclosed = last.quoted && (last.end - last.begin < 2 || text.at(last.end - 1) != '"');
    }

    void setDirective(const QByteArray &directive)
    {
        replaceToken(0, directive);
    }

    void setHost(const QByteArray &host)
    {
        if (m_hostToken >= 0) {
            const Token &token = m_tokens.at(m_hostToken);
            replaceToken(m_hostToken, token.quoted ? '"' + host + '"' : host);
            return;
        }
        // No address yet: it goes right after the keyword and its prefixes.
        int after = 0;
        while (after + 1 < m_tokens.size() && m_syntax.hostPrefixes.contains(m_tokens.at(after + 1).value)) {
            ++after;
        }
        m_edit.replace(m_tokens.at(after).end, m_tokens.at(after).end, ' ' + host);
    }

    // Added at the end, or every occurrence removed.
    void setFlag(const QByteArray &name, bool on)
    {
        if (on) {
            m_appended += ' ' + name;
            return;
        }
        for (int t = m_firstOption; t < m_tokens.size(); ++t) {
            if (m_tokens.at(t).value == name) {
                removeTokens(t, t);
            } else if (takesValue(t)) {
                ++t;
            }
        }
    }

    // The last occurrence's number replaced, or the option with its number
    // removed (NoValue), or added at the end.
    void setValue(const QByteArray &name, int value)
    {
        const int t = lastOption(name);
        const QByteArray number = QByteArray::number(value);
        if (value == NoValue) {
            if (t >= 0) {
                removeTokens(t, qMin(t + 1, int(m_tokens.size()) - 1));
            }
        } else if (t >= 0 && t + 1 < m_tokens.size()) {
            replaceToken(t + 1, number);
        } else if (t >= 0) {
            m_appended += ' ' + number; // t is the last word
        } else {
            m_appended += ' ' + name + ' ' + number;
        }
    }

    QByteArray result()
    {
        if (!m_appended.isEmpty()) {
            const int end = m_tokens.last().end;
            m_edit.replace(end, end, m_lastUnclosed ? '"' + m_appended : m_appended);
            m_appended.clear();
        }
        return m_edit.apply();
    }

private:
    bool takesValue(int t) const
    {
        return m_syntax.valueOptions.contains(m_tokens.at(t).value);
    }

    void replaceToken(int t, const QByteArray &with)
    {
        m_edit.replace(m_tokens.at(t).begin, m_tokens.at(t).end, with);
        m_lastUnclosed = m_lastUnclosed && t != m_tokens.size() - 1;
    }

    // Words first..last and the blanks before them.
    void removeTokens(int first, int last)
    {
        m_edit.replace(m_tokens.at(first - 1).end, m_tokens.at(last).end, QByteArray());
        m_lastUnclosed = m_lastUnclosed && last != m_tokens.size() - 1;
    }

    // The last occurrence of an option, never mistaking another option's
    // argument for it.
    int lastOption(const QByteArray &name) const
    {
        int found = -1;
        for (int t = m_firstOption; t < m_tokens.size(); ++t) {
            if (m_tokens.at(t).value == name) {
                found = t;
            }
            if (takesValue(t)) {
                ++t;
            }
        }
        return found;
    }

    const Syntax &m_syntax;
    const QVector<Token> &m_tokens;
    const int m_hostToken;
    const int m_firstOption;
    LineEdit m_edit;
    QByteArray m_appended;
    bool m_lastUnclosed = false;
};
}

QByteArray DirectiveConfig::editedServerLine(const SourceLine &source, const ServerEntry &wanted) const
{
    const ServerOptions options = serverOptions(m_format);
    const ServerEntry &old = source.entry;
    ServerLineEditor line(syntaxOf(m_format), m_document.lines.at(source.line).text, m_tokens.at(source.line).tokens, source.hostToken);
    if (wanted.directive != old.directive) {
        line.setDirective(wanted.directive.toUtf8());
    }
    if (wanted.host != old.host) {
        line.setHost(wanted.host.toUtf8());
    }
    // In this order, which is the order added words take.
    auto flag = [&](bool supported, bool ServerEntry::*member, const char *name) {
        if (supported && old.*member != wanted.*member) {
            line.setFlag(name, wanted.*member);
        }
    };
    auto value = [&](bool supported, int ServerEntry::*member, const char *name) {
        if (supported && old.*member != wanted.*member) {
            line.setValue(name, wanted.*member);
        }
    };
    flag(options.iburst, &ServerEntry::iburst, "iburst");
    flag(options.prefer, &ServerEntry::prefer, "prefer");
    flag(options.nts, &ServerEntry::nts, "nts");
    value(options.pollRange, &ServerEntry::minpoll, "minpoll");
    value(options.pollRange, &ServerEntry::maxpoll, "maxpoll");
    value(options.weight, &ServerEntry::weight, "weight");
    flag(options.trusted, &ServerEntry::trusted, "trusted");
    return line.result();
}

QByteArray DirectiveConfig::editedDirectiveLine(int line, const QByteArray &value) const
{
    const QVector<Token> &tokens = m_tokens.at(line).tokens;
    LineEdit edit(m_document.lines.at(line).text);
    if (tokens.size() > 1) {
        edit.replace(tokens.at(1).begin, tokens.last().end, value);
    } else if (!value.isEmpty()) {
        edit.replace(tokens.first().end, tokens.first().end, ' ' + value);
    }
    return edit.apply();
}

int DirectiveConfig::commentedAnchor(const QByteArray &key) const
{
    // A commented-out "#makestep 1 3" marks where the directive belongs.
    for (int i = m_tokens.size() - 1; i >= 0; --i) {
        if (!m_tokens.at(i).isComment) {
            continue;
        }
        const QByteArray text = m_document.lines.at(i).text.trimmed();
        const QByteArray rest = text.mid(1).trimmed();
        if (rest.startsWith(key) && (rest.size() == key.size() || rest.at(key.size()) == ' ' || rest.at(key.size()) == '\t')) {
            return i;
        }
    }
    return -2;
}

void DirectiveConfig::renderChrony(LinePlan &plan, const DirectiveSettings &wanted) const
{
    const DirectiveSettings &old = m_settings;
    const bool makestepChanged = wanted.makestep != old.makestep
        || (wanted.makestep && (wanted.makestepThreshold != old.makestepThreshold || wanted.makestepLimit != old.makestepLimit));
    if (makestepChanged) {
        const QByteArray threshold = numberText(wanted.makestepThreshold);
        const QByteArray limit = QByteArray::number(wanted.makestepLimit);
        if (!wanted.makestep) {
            for (int line : m_makestepLines) {
                plan.remove(line);
            }
        } else if (m_makestepLines.isEmpty()) {
            plan.insertAfter(commentedAnchor("makestep"), "makestep " + threshold + ' ' + limit);
        } else {
            // chrony uses the last one.
            const int line = m_makestepLines.last();
            const QVector<Token> &tokens = m_tokens.at(line).tokens;
            LineEdit edit(m_document.lines.at(line).text);
            if (tokens.size() > 2) {
                edit.replace(tokens.at(1).begin, tokens.at(1).end, threshold);
                edit.replace(tokens.at(2).begin, tokens.at(2).end, limit);
            } else if (tokens.size() == 2) {
                edit.replace(tokens.at(1).begin, tokens.at(1).end, threshold + ' ' + limit);
            } else {
                edit.replace(tokens.at(0).end, tokens.at(0).end, ' ' + threshold + ' ' + limit);
            }
            plan.replace(line, edit.apply());
        }
    }
    if (wanted.rtcsync != old.rtcsync) {
        if (wanted.rtcsync) {
            plan.insertAfter(commentedAnchor("rtcsync"), QByteArrayLiteral("rtcsync"));
        } else {
            for (int line : m_rtcsyncLines) {
                plan.remove(line);
            }
        }
    }
}

QByteArray DirectiveConfig::render(const DirectiveSettings &wanted) const
{
    LinePlan plan(m_document);

    // Servers: unchanged ones keep their lines byte for byte.
    {
        QHash<int, const SourceLine *> byLine;
        QVector<int> originals;
        for (const SourceLine &source : m_sources) {
            byLine.insert(source.line, &source);
            originals.append(source.line);
        }
        QVector<PlacedLine> items;
        items.reserve(wanted.servers.size());
        for (const ServerEntry &entry : wanted.servers) {
            const SourceLine *source = byLine.value(entry.origin);
            if (!source) {
                items.append({-1, newServerLine(entry)});
            } else if (source->entry.sameSettings(entry)) {
                items.append({entry.origin, m_document.lines.at(entry.origin).text});
            } else {
                items.append({entry.origin, editedServerLine(*source, entry)});
            }
        }
        placeLines(plan, originals, items, m_document);
    }

    if (m_format == DirectiveFormat::Chrony) {
        renderChrony(plan, wanted);
    }

    if (wanted.others != m_settings.others) {
        const QSet<int> otherLines(m_otherLines.cbegin(), m_otherLines.cend());
        QVector<PlacedLine> items;
        QHash<int, const DirectiveEntry *> read;
        for (const DirectiveEntry &entry : m_settings.others) {
            read.insert(entry.origin, &entry);
        }
        for (const DirectiveEntry &entry : wanted.others) {
            // Compared as read, so that bytes that are not UTF-8 survive
            // on every line the user did not change.
            const DirectiveEntry *old = otherLines.contains(entry.origin) ? read.value(entry.origin) : nullptr;
            if (old && old->key == entry.key && old->value == entry.value) {
                items.append({entry.origin, m_document.lines.at(entry.origin).text});
            } else if (old && old->key == entry.key) {
                items.append({entry.origin, editedDirectiveLine(entry.origin, entry.value.toUtf8())});
            } else {
                const QByteArray key = entry.key.toUtf8();
                const QByteArray value = entry.value.toUtf8();
                items.append({old ? entry.origin : -1, value.isEmpty() ? key : key + ' ' + value});
            }
        }
        placeLines(plan, m_otherLines, items, m_document);
    }
    return plan.apply();
}
