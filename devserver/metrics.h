#pragma once

#include <QtGlobal>

namespace devserver {

// Raw figures of one thing (campaign, ad group, source) over some time.
// Money is kept in cents so sums stay exact.
struct Metrics {
    qint64 spendCents = 0;
    qint64 revenueCents = 0;
    qint64 feRevenueCents = 0; // front-end (first purchase) revenue
    qint64 clicks = 0; // clicks for paid traffic, visits for the rest
    qint64 leads = 0;
    qint64 appts = 0;
    qint64 sales = 0;

    Metrics &operator+=(const Metrics &o)
    {
        spendCents += o.spendCents;
        revenueCents += o.revenueCents;
        feRevenueCents += o.feRevenueCents;
        clicks += o.clicks;
        leads += o.leads;
        appts += o.appts;
        sales += o.sales;
        return *this;
    }
    friend Metrics operator+(Metrics a, const Metrics &b) { return a += b; }
    friend bool operator==(const Metrics &, const Metrics &) = default;
};

} // namespace devserver
