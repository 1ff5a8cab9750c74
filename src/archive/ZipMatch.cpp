// Left-to-right wildcard matcher. A "*" hands the rest of the pattern to the
// after-star matcher, which tries the rest at each later text position whose
// character can start it.
#include "archive/ZipMatch.h"

namespace zorbel {

namespace {

QString LowerAscii(const QString &s)
{
    QString r = s;
    for (QChar &c : r)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    return r;
}

struct Matcher {
    const QString &p;
    const QString &t;

    // Tests text character ch against the set whose "<" is at pattern index
    // pi. On return end is the index just after the closing ">".
    int MatchSet(qsizetype pi, QChar ch, qsizetype &end) const
    {
        qsizetype i = pi + 1;
        bool negate = false;
        if (i < p.size() && (p[i] == u'!' || p[i] == u'^')) {
            negate = true;
            ++i;
        }
        if (i >= p.size() || p[i] == u'>')
            return MatchPattern;
        bool member = false;
        while (i < p.size() && p[i] != u'>') {
            QChar low = p[i++];
            QChar high = low;
            if (i < p.size() && p[i] == u'-') {
                ++i;
                if (i >= p.size())
                    return MatchPattern;
                high = p[i++];
            }
            if (ch >= low && ch <= high)
                member = true;
        }
        if (i >= p.size())
            return MatchPattern;
        end = i + 1;
        return member != negate ? MatchValid : MatchRange;
    }

    int From(qsizetype pi, qsizetype ti) const
    {
        while (pi < p.size()) {
            QChar c = p[pi];
            if (c == u'*')
                return AfterStar(pi, ti);
            if (ti >= t.size())
                return MatchAbort;
            if (c == u'?') {
                ++pi;
            } else if (c == u'<') {
                qsizetype end = 0;
                int r = MatchSet(pi, t[ti], end);
                if (r != MatchValid)
                    return r;
                pi = end;
            } else {
                if (c != t[ti])
                    return MatchLiteral;
                ++pi;
            }
            ++ti;
        }
        return ti >= t.size() ? MatchValid : MatchEnd;
    }

    int AfterStar(qsizetype pi, qsizetype ti) const
    {
        while (pi < p.size() && (p[pi] == u'*' || p[pi] == u'?')) {
            if (p[pi] == u'?') {
                if (ti >= t.size())
                    return MatchAbort;
                ++ti;
            }
            ++pi;
        }
        if (pi >= p.size())
            return MatchValid;
        QChar next = p[pi];
        for (; ti < t.size(); ++ti) {
            if (next == u'<') {
                qsizetype end = 0;
                int r = MatchSet(pi, t[ti], end);
                if (r == MatchPattern)
                    return r;
                if (r != MatchValid)
                    continue;
            } else if (t[ti] != next) {
                continue;
            }
            if (From(pi, ti) == MatchValid)
                return MatchValid;
        }
        return MatchAbort;
    }
};

} // namespace

int Match(const QString &Pattern, const QString &Text)
{
    if (Pattern == u"*")
        return MatchValid;
    const QString p = LowerAscii(Pattern);
    const QString t = LowerAscii(Text);
    return Matcher{p, t}.From(0, 0);
}

bool IsMatch(const QString &Pattern, const QString &Text)
{
    return Match(Pattern, Text) == MatchValid;
}

} // namespace zorbel
