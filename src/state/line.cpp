#include "state/store.h"

#include <QTextBoundaryFinder>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Start positions of the user-perceived characters of text, plus its end.
QList<qsizetype> graphemeBoundaries(const QString &text)
{
    QList<qsizetype> bounds;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.toStart();
    bounds.append(0);
    for (qsizetype at = finder.toNextBoundary(); at != -1; at = finder.toNextBoundary())
        bounds.append(at);
    return bounds;
}

} // namespace

int Store::graphemeCount(const QString &text)
{
    if (text.isEmpty())
        return 0;
    return int(graphemeBoundaries(text).size()) - 1;
}

QString Store::titleFor(const LineInputs &in)
{
    if (!in.connected)
        return in.restoring ? QString() : u"Quillmere"_s;

    QString candidate;
    if (in.lineIndex >= 0 && in.lineIndex < in.lines.size())
        candidate = in.lines.at(in.lineIndex);
    else if (!in.lines.isEmpty())
        candidate = in.lines.first();
    else if (in.hasError)
        return u"\u26A0\uFE0E"_s;
    else if (in.loading)
        return u"\u2026"_s;
    else
        return u"\u2013"_s;

    // A length below 1 cannot be chosen in the settings but may be found in an
    // edited file; it acts as 1, leaving just the ellipsis.
    const qint64 limit = std::max<qint64>(in.maxLength, 1);
    const QList<qsizetype> bounds = graphemeBoundaries(candidate);
    const qint64 count = candidate.isEmpty() ? 0 : bounds.size() - 1;
    if (limit >= count)
        return candidate;
    return candidate.left(bounds.at(limit - 1)) + u"\u2026"_s;
}

QString Store::title() const
{
    LineInputs in;
    in.connected = connected();
    in.restoring = m_restoring;
    in.lines = lines();
    in.hasError = m_error.has_value();
    in.loading = m_loading;
    in.lineIndex = lineIndex();
    in.maxLength = maxLength();
    return titleFor(in);
}
