// The translation works on a masked copy of the text: every quoted token is
// replaced by a placeholder "\x01<n>\x02", so the rewrites below never look
// inside literals; the placeholders are restored (or turned into identifiers)
// at the end.
#include "platform/sqltable/SqlDialect.h"

#include "platform/sqltable/SqlSchema.h"

#include <QRegularExpression>

namespace zorbel {
namespace {

constexpr QChar kOpen = QChar(0x01);
constexpr QChar kClose = QChar(0x02);

struct TLiteral {
    QChar Quote;  // '\'' or '"'
    QString Body; // text between the quotes, doubled quotes made single
};

struct TMasked {
    QString Code;
    std::vector<TLiteral> Literals;
};

TMasked Mask(const QString &text)
{
    TMasked m;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c != u'\'' && c != u'"') {
            m.Code.append(c);
            ++i;
            continue;
        }
        TLiteral lit{c, {}};
        ++i;
        while (i < text.size()) {
            if (text.at(i) == c) {
                if (i + 1 < text.size() && text.at(i + 1) == c) {
                    lit.Body.append(c);
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            lit.Body.append(text.at(i++));
        }
        m.Code += kOpen + QString::number(m.Literals.size()) + kClose;
        m.Literals.push_back(lit);
    }
    return m;
}

QString SingleQuoted(const QString &body)
{
    QString s = body;
    s.replace(u'\'', QStringLiteral("''"));
    return u'\'' + s + u'\'';
}

bool IsTableFile(const QString &body)
{
    return body.endsWith(QStringLiteral(".db"), Qt::CaseInsensitive);
}

QString TableOfFile(const QString &body)
{
    return IsTableFile(body) ? body.left(body.size() - 3) : body;
}

// Puts the literals back: table files as bare names, double-quoted tokens as
// string literals, single-quoted ones as they were.
QString Unmask(const QString &code, const std::vector<TLiteral> &literals)
{
    static const QRegularExpression placeholder(QStringLiteral("\\x01(\\d+)\\x02"));
    QString out;
    qsizetype last = 0;
    auto it = placeholder.globalMatch(code);
    while (it.hasNext()) {
        const auto match = it.next();
        out += code.mid(last, match.capturedStart() - last);
        const TLiteral &lit = literals.at(match.captured(1).toInt());
        if (lit.Quote == u'"' && IsTableFile(lit.Body))
            out += TableOfFile(lit.Body);
        else
            out += SingleQuoted(lit.Body);
        last = match.capturedEnd();
    }
    out += code.mid(last);
    return out;
}

const QRegularExpression &ParamPattern()
{
    static const QRegularExpression re(QStringLiteral("(?<![\\w:]):([^\\W\\d]\\w*)"),
                                       QRegularExpression::UseUnicodePropertiesOption);
    return re;
}

QString RewriteParams(const QString &code, QStringList &names)
{
    QString out;
    qsizetype last = 0;
    auto it = ParamPattern().globalMatch(code);
    while (it.hasNext()) {
        const auto match = it.next();
        const QString name = match.captured(1);
        qsizetype index = -1;
        for (qsizetype i = 0; i < names.size(); ++i)
            if (names[i].compare(name, Qt::CaseInsensitive) == 0)
                index = i;
        if (index < 0) {
            names.append(name);
            index = names.size() - 1;
        }
        out += code.mid(last, match.capturedStart() - last) + u'?' + QString::number(index + 1);
        last = match.capturedEnd();
    }
    out += code.mid(last);
    return out;
}

QString RewriteExtract(const QString &code)
{
    static const QRegularExpression re(QStringLiteral("\\bEXTRACT\\s*\\(\\s*(YEAR|MONTH|DAY)\\s+FROM\\s+"),
                                       QRegularExpression::CaseInsensitiveOption);
    QString out = code;
    qsizetype from = 0;
    QRegularExpressionMatch m;
    while ((m = re.match(out, from)).hasMatch()) {
        const QString replacement = QStringLiteral("zb_") + m.captured(1).toLower() + u'(';
        out.replace(m.capturedStart(), m.capturedLength(), replacement);
        from = m.capturedStart() + replacement.size();
    }
    return out;
}

int DepthAt(const QString &code, qsizetype pos)
{
    int depth = 0;
    for (qsizetype i = 0; i < pos; ++i) {
        if (code.at(i) == u'(')
            ++depth;
        else if (code.at(i) == u')')
            --depth;
    }
    return depth;
}

QString AddGroupOrder(const QString &code)
{
    static const QRegularExpression groupBy(QStringLiteral("\\bgroup\\s+by\\b"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression orderBy(QStringLiteral("\\border\\s+by\\b"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression having(QStringLiteral("\\bhaving\\b"), QRegularExpression::CaseInsensitiveOption);
    const auto g = groupBy.match(code);
    if (!g.hasMatch() || DepthAt(code, g.capturedStart()) != 0)
        return code;
    auto o = orderBy.globalMatch(code);
    while (o.hasNext())
        if (DepthAt(code, o.next().capturedStart()) == 0)
            return code;
    QString list = code.mid(g.capturedEnd());
    const auto h = having.match(list);
    if (h.hasMatch())
        list = list.left(h.capturedStart());
    list = list.trimmed();
    while (list.endsWith(u';'))
        list.chop(1);
    QString out = code.trimmed();
    while (out.endsWith(u';'))
        out.chop(1);
    return out + QStringLiteral("\norder by ") + list.trimmed();
}

// Splits on commas at parenthesis depth 0.
QStringList SplitTopLevel(const QString &text)
{
    QStringList parts;
    int depth = 0;
    QString cur;
    for (QChar c : text) {
        if (c == u'(')
            ++depth;
        else if (c == u')')
            --depth;
        if (c == u',' && depth == 0) {
            parts.append(cur);
            cur.clear();
        } else {
            cur.append(c);
        }
    }
    parts.append(cur);
    return parts;
}

// "ALTER TABLE <table> ADD <field> <type>, ADD ..." with quoted or bare names.
bool TranslateAlter(const TMasked &m, TTranslatedSql &result)
{
    static const QRegularExpression head(QStringLiteral("^\\s*ALTER\\s+TABLE\\s+(\\S+)\\s+"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression add(QStringLiteral("^\\s*ADD\\s+(?:\\S+?\\.)?(\\x01\\d+\\x02|[\\w]+)\\s+(.+?)\\s*$"),
                                        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto h = head.match(m.Code);
    if (!h.hasMatch())
        return false;
    auto name = [&](const QString &token) {
        if (token.startsWith(kOpen))
            return TableOfFile(m.Literals.at(token.mid(1, token.size() - 2).toInt()).Body);
        return TableOfFile(token);
    };
    const QString table = name(h.captured(1));
    for (const QString &clause : SplitTopLevel(m.Code.mid(h.capturedEnd()))) {
        const auto a = add.match(clause);
        if (!a.hasMatch())
            return false;
        result.Statements.push_back(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                        .arg(table, name(a.captured(1)), SqlColumnType(a.captured(2))));
    }
    return true;
}

} // namespace

QString SqlColumnType(const QString &typeName)
{
    int size = 0;
    const TColumnKind kind = KindOfType(typeName, size);
    return kind == TColumnKind::Unknown ? typeName.trimmed() : DeclaredType(kind, size);
}

QStringList SqlParamNames(const QString &text)
{
    QStringList names;
    RewriteParams(Mask(text).Code, names);
    return names;
}

TTranslatedSql TranslateSql(const QString &text)
{
    TTranslatedSql result;
    const TMasked m = Mask(text);
    if (TranslateAlter(m, result))
        return result;
    QString code = RewriteParams(m.Code, result.ParamNames);
    code = RewriteExtract(code);
    code = AddGroupOrder(code);
    result.Statements.push_back(Unmask(code, m.Literals));
    return result;
}

} // namespace zorbel
