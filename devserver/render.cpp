#include "render.h"

#include <QRegularExpression>

#include <cmath>

using namespace Qt::StringLiterals;

namespace devserver {
namespace format {

namespace {

QString fixed(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

// Rounds v to the given decimals the way QString::number does, so the choice of
// unit can look at the value that will actually be printed.
double rounded(double v, int decimals)
{
    const double f = std::pow(10.0, decimals);
    return std::round(v * f) / f;
}

// Scales a non-negative value into unit, k or M and prints it.
QString scaled(double a, int decimals, int smallDefault)
{
    int d = decimals >= 0 ? decimals : smallDefault;
    if (rounded(a, d) < 1000.0)
        return fixed(a, d);
    double k = a / 1000.0;
    d = decimals >= 0 ? decimals : (rounded(k, 1) < 100.0 ? 1 : 0);
    if (rounded(k, d) < 1000.0)
        return fixed(k, d) + u'k';
    const double m = a / 1'000'000.0;
    d = decimals >= 0 ? decimals : (rounded(m, 1) < 100.0 ? 1 : 0);
    return fixed(m, d) + u'M';
}

} // namespace

QString money(double dollars, int decimals)
{
    if (!std::isfinite(dollars))
        return unavailable();
    const double a = std::fabs(dollars);
    // Small amounts (a cost per click) keep their cents unless asked otherwise.
    const int smallDefault = (a > 0.0 && a < 10.0) ? 2 : 0;
    const QString digits = scaled(a, decimals, smallDefault);
    const bool negative = dollars < 0 && digits.contains(QRegularExpression(u"[1-9]"_s));
    return (negative ? u"-$"_s : u"$"_s) + digits;
}

QString count(qint64 n, int decimals)
{
    if (decimals < 0 && std::llabs(n) < 10000)
        return QString::number(n);
    const double a = static_cast<double>(std::llabs(n));
    const QString digits = a < 10000.0 && decimals >= 0 ? fixed(a, decimals) : scaled(a, decimals, 0);
    return (n < 0 ? u"-"_s : QString()) + digits;
}

QString ratio(double r, int decimals)
{
    if (!std::isfinite(r))
        return unavailable();
    return fixed(r, decimals >= 0 ? decimals : 2);
}

QString unavailable()
{
    return u"\u2013"_s;
}

} // namespace format

namespace {

double dollars(qint64 cents)
{
    return static_cast<double>(cents) / 100.0;
}

// Cost per unit; unavailable when there are no units.
QString per(qint64 cents, qint64 units, int decimals)
{
    if (units <= 0)
        return format::unavailable();
    return format::money(dollars(cents) / static_cast<double>(units), decimals);
}

} // namespace

std::optional<QString> renderPlaceholder(QStringView spec, const Metrics &m)
{
    static const QRegularExpression re(u"^([a-z_]+)(?:@([a-z_]+))?(?:\\.(\\d))?$"_s);
    const QRegularExpressionMatch match = re.match(spec.toString());
    if (!match.hasMatch())
        return std::nullopt;
    const QString name = match.captured(1);
    const QString variant = match.captured(2);
    const int decimals = match.hasCaptured(3) ? match.captured(3).toInt() : -1;
    const bool fe = variant == "fe"_L1;
    if (!variant.isEmpty() && !fe)
        return std::nullopt;
    const qint64 revenue = fe ? m.feRevenueCents : m.revenueCents;

    if (name == "revenue"_L1)
        return format::money(dollars(revenue), decimals);
    if (name == "profit"_L1)
        return format::money(dollars(revenue - m.spendCents), decimals);
    if (name == "roas"_L1) {
        if (m.spendCents <= 0)
            return format::unavailable();
        return format::ratio(static_cast<double>(revenue) / static_cast<double>(m.spendCents), decimals);
    }
    if (fe)
        return std::nullopt; // the front-end variant exists only for revenue figures
    if (name == "spend"_L1)
        return format::money(dollars(m.spendCents), decimals);
    if (name == "cac"_L1)
        return per(m.spendCents, m.sales, decimals);
    if (name == "cpl"_L1)
        return per(m.spendCents, m.leads, decimals);
    if (name == "cpa"_L1)
        return per(m.spendCents, m.appts, decimals);
    if (name == "cpc"_L1)
        return per(m.spendCents, m.clicks, decimals);
    if (name == "sales"_L1)
        return format::count(m.sales, decimals);
    if (name == "leads"_L1)
        return format::count(m.leads, decimals);
    if (name == "appts"_L1)
        return format::count(m.appts, decimals);
    if (name == "clicks"_L1)
        return format::count(m.clicks, decimals);
    return std::nullopt;
}

QString renderTemplate(const QString &tpl, const Metrics &m)
{
    QString out;
    out.reserve(tpl.size() + 16);
    qsizetype i = 0;
    while (i < tpl.size()) {
        const QChar c = tpl.at(i);
        if (c == u'{') {
            const qsizetype close = tpl.indexOf(u'}', i + 1);
            if (close > i) {
                const QStringView spec = QStringView(tpl).mid(i + 1, close - i - 1);
                if (const auto text = renderPlaceholder(spec, m)) {
                    out += *text;
                    i = close + 1;
                    continue;
                }
            }
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace devserver
