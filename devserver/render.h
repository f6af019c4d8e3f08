#pragma once

#include "metrics.h"

#include <QString>

#include <optional>

namespace devserver {

// Display text of the figures, the way the menu-bar line and the dashboard
// show them. decimals < 0 picks the default for the size of the value.
namespace format {
// "$310", "$2.4k", "$1.2M", "-$85"; ".N" forces N decimals on the scaled value.
QString money(double dollars, int decimals = -1);
// "8", "1234": plain digits below 10000, then "12.3k", "1.2M".
QString count(qint64 n, int decimals = -1);
// "3.2" (two decimals by default).
QString ratio(double r, int decimals = -1);
// Shown where a figure cannot be computed (division by zero).
QString unavailable();
} // namespace format

// Renders a line template. Placeholders have the form {name}, {name.N} and
// {name@variant.N}: spend, revenue, profit, cac, cpl, cpa, cpc (money), sales,
// leads, appts, clicks (counts), roas (ratio); the variant "fe" uses front-end
// revenue (revenue, profit, roas). Unknown placeholders stay as written.
QString renderTemplate(const QString &tpl, const Metrics &m);

// One placeholder without braces, e.g. "roas@fe.1"; nullopt when unknown.
std::optional<QString> renderPlaceholder(QStringView spec, const Metrics &m);

} // namespace devserver
