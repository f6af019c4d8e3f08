#include "demodata.h"

#include <QCryptographicHash>
#include <QRandomGenerator64>

#include <cmath>

using namespace Qt::StringLiterals;

namespace devserver {

namespace {

constexpr qint64 dayMs = 86'400'000;
// Each tick stands for this share of a day's activity, so that a running
// demo moves visibly every few ticks.
constexpr double tickShare = 1.0 / 96.0;

quint64 mix(quint64 z)
{
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

quint64 textHash(const QString &s)
{
    static QHash<QString, quint64> memo;
    if (const auto it = memo.constFind(s); it != memo.cend())
        return *it;
    const QByteArray d = QCryptographicHash::hash(s.toUtf8(), QCryptographicHash::Sha1);
    quint64 h = 0;
    for (int i = 0; i < 8; ++i)
        h = (h << 8) | quint8(d.at(i));
    memo.insert(s, h);
    return h;
}

// Uniform in [0, 1), a pure function of its inputs.
double unit(quint64 seed, const QString &entity, qint64 day, int salt)
{
    const quint64 h = mix(seed ^ mix(textHash(entity) ^ mix(quint64(day) * 31 + quint64(salt))));
    return double(h >> 11) / double(1ULL << 53);
}

qint64 scaleCount(qint64 v, double f)
{
    return qint64(std::llround(double(v) * f));
}

// Adds a random amount with the given expectation, as whole units.
qint64 draw(QRandomGenerator64 &rng, double expected)
{
    const double x = expected * (0.4 + 1.2 * rng.generateDouble());
    const double whole = std::floor(x);
    return qint64(whole) + (rng.generateDouble() < x - whole ? 1 : 0);
}

struct Rates {
    double spendMin, spendMax; // dollars per day
    double cpcMin, cpcMax; // dollars per click
    double leadMin, leadMax; // leads per click
    double apptMin, apptMax; // appointments per lead
    double saleMin, saleMax; // sales per click
    double orderMin, orderMax; // dollars per sale
};

Metrics baseFor(QRandomGenerator64 &rng, const Rates &r, bool paid)
{
    auto between = [&rng](double a, double b) { return a + (b - a) * rng.generateDouble(); };
    Metrics m;
    double clicks;
    if (paid) {
        const double spend = between(r.spendMin, r.spendMax);
        m.spendCents = qint64(spend * 100);
        clicks = spend / between(r.cpcMin, r.cpcMax);
    } else {
        clicks = between(15, 700);
    }
    m.clicks = qint64(clicks);
    m.leads = qint64(std::round(clicks * between(r.leadMin, r.leadMax)));
    m.appts = qint64(std::round(double(m.leads) * between(r.apptMin, r.apptMax)));
    const double sales = clicks * between(r.saleMin, r.saleMax);
    m.sales = qint64(std::round(sales));
    m.revenueCents = qint64(sales * between(r.orderMin, r.orderMax) * 100);
    m.feRevenueCents = qint64(double(m.revenueCents) * between(0.5, 0.8));
    return m;
}

const Rates shopRates {60, 420, 0.6, 2.2, 0.03, 0.09, 0.1, 0.3, 0.015, 0.04, 80, 220};
const Rates clinicRates {50, 300, 1.5, 4.5, 0.06, 0.14, 0.2, 0.4, 0.004, 0.012, 400, 1200};

} // namespace

const QList<Period> &periods()
{
    static const QList<Period> list {
        {u"today"_s, u"Today"_s},
        {u"yesterday"_s, u"Yesterday"_s},
        {u"last_7"_s, u"Last 7 days"_s},
        {u"last_14"_s, u"Last 14 days"_s},
        {u"last_30"_s, u"Last 30 days"_s},
        {u"this_month"_s, u"This month"_s},
        {u"last_month"_s, u"Last month"_s},
    };
    return list;
}

std::optional<Period> periodFor(const QString &key)
{
    for (const Period &p : periods())
        if (p.key == key)
            return p;
    return std::nullopt;
}

DemoData::DemoData(quint64 seed, const Clock *clock, qint64 tickMs)
    : m_seed(seed), m_clock(clock), m_tickMs(tickMs), m_startMs(clock->nowMs())
{
    build();
    m_day = m_clock->now().date();
    // Today starts with the share of the day that has already passed.
    const double passed = double(m_startMs % dayMs) / double(dayMs);
    for (auto it = m_campaignBase.cbegin(); it != m_campaignBase.cend(); ++it) {
        Metrics d = dayFigures(it.key(), it.value(), m_day);
        m_today.insert(it.key(),
            Metrics {scaleCount(d.spendCents, passed), scaleCount(d.revenueCents, passed),
                scaleCount(d.feRevenueCents, passed), scaleCount(d.clicks, passed), scaleCount(d.leads, passed),
                scaleCount(d.appts, passed), scaleCount(d.sales, passed)});
    }
    for (auto it = m_leafBase.cbegin(); it != m_leafBase.cend(); ++it) {
        Metrics d = dayFigures(it.key(), it.value(), m_day);
        m_today.insert(it.key(),
            Metrics {0, scaleCount(d.revenueCents, passed), scaleCount(d.feRevenueCents, passed),
                scaleCount(d.clicks, passed), scaleCount(d.leads, passed), scaleCount(d.appts, passed),
                scaleCount(d.sales, passed)});
    }
}

const UserInfo *DemoData::user(const QString &id) const
{
    for (const UserInfo &u : m_users)
        if (u.id == id)
            return &u;
    return nullptr;
}

const WorkspaceInfo *DemoData::workspace(const QString &id) const
{
    for (const WorkspaceInfo &w : m_workspaces)
        if (w.id == id)
            return &w;
    return nullptr;
}

const EmbedLinkInfo *DemoData::embedLink(const QString &key) const
{
    for (const EmbedLinkInfo &l : m_links)
        if (l.key == key)
            return &l;
    return nullptr;
}

QDate DemoData::today() const
{
    return m_day;
}

void DemoData::sync()
{
    const qint64 elapsed = m_clock->nowMs() - m_startMs;
    const qint64 target = (m_tickMs > 0 && elapsed > 0 ? elapsed / m_tickMs : 0) + m_manualTicks;
    while (m_generation < target)
        step();
    const QDate day = m_clock->now().date();
    if (day != m_day) {
        m_day = day;
        startDay();
    }
}

void DemoData::advance(int ticks)
{
    m_manualTicks += qMax(0, ticks);
    sync();
}

void DemoData::startDay()
{
    for (auto it = m_today.begin(); it != m_today.end(); ++it)
        it.value() = Metrics {};
}

void DemoData::step()
{
    ++m_generation;
    QRandomGenerator64 rng(mix(m_seed ^ mix(quint64(m_generation))));
    // Campaigns are visited in a fixed order so the walk is reproducible.
    for (const WorkspaceInfo &w : m_workspaces) {
        for (const CampaignInfo &c : w.campaigns) {
            const double roll = rng.generateDouble();
            if (!m_active.value(c.id) || roll > 0.45)
                continue;
            const Metrics &b = m_campaignBase[c.id];
            Metrics add;
            add.spendCents = draw(rng, double(b.spendCents) * tickShare);
            add.clicks = draw(rng, double(b.clicks) * tickShare);
            add.leads = draw(rng, double(b.leads) * tickShare);
            add.appts = draw(rng, double(b.appts) * tickShare);
            add.sales = draw(rng, double(b.sales) * tickShare);
            if (add.sales > 0 && b.sales > 0) {
                const double order = double(b.revenueCents) / double(b.sales) * (0.7 + 0.6 * rng.generateDouble());
                add.revenueCents = qint64(order * double(add.sales));
                add.feRevenueCents = qint64(
                    double(add.revenueCents) * double(b.feRevenueCents) / double(qMax<qint64>(1, b.revenueCents)));
            }
            m_today[c.id] += add;
        }
        // Now and then a campaign is paused or resumed.
        if (!w.campaigns.isEmpty() && rng.generateDouble() < 0.03) {
            const CampaignInfo &c = w.campaigns.at(int(rng.bounded(quint64(w.campaigns.size()))));
            m_active[c.id] = !m_active.value(c.id);
        }
    }
    QStringList leaves = m_leafBase.keys();
    leaves.sort();
    for (const QString &leaf : std::as_const(leaves)) {
        if (rng.generateDouble() > 0.3)
            continue;
        const Metrics &b = m_leafBase[leaf];
        Metrics add;
        add.clicks = draw(rng, double(b.clicks) * tickShare);
        add.leads = draw(rng, double(b.leads) * tickShare);
        add.sales = draw(rng, double(b.sales) * tickShare);
        if (add.sales > 0 && b.sales > 0) {
            add.revenueCents = qint64(double(b.revenueCents) / double(b.sales) * double(add.sales));
            add.feRevenueCents = add.revenueCents * 7 / 10;
        }
        m_today[leaf] += add;
    }
}

Metrics DemoData::dayFigures(const QString &entity, const Metrics &base, QDate day) const
{
    const qint64 d = day.toJulianDay();
    const QString memoKey = entity + u'@' + QString::number(d);
    if (const auto it = m_dayMemo.constFind(memoKey); it != m_dayMemo.cend())
        return *it;
    auto f = [&](int salt) { return 0.55 + 0.9 * unit(m_seed, entity, d, salt); };
    Metrics m;
    const double volume = f(1);
    m.spendCents = scaleCount(base.spendCents, volume);
    m.clicks = scaleCount(base.clicks, volume * f(2) / 1.0);
    m.leads = scaleCount(base.leads, volume * f(3));
    m.appts = scaleCount(base.appts, volume * f(4));
    const double sales = volume * f(5);
    m.sales = scaleCount(base.sales, sales);
    m.revenueCents = scaleCount(base.revenueCents, sales * f(6));
    m.feRevenueCents = base.revenueCents > 0
        ? scaleCount(m.revenueCents, double(base.feRevenueCents) / double(base.revenueCents))
        : 0;
    return m;
}

DemoData::DayRange DemoData::rangeFor(const QString &key) const
{
    const QDate t = m_day;
    if (key == "yesterday"_L1)
        return {t.addDays(-1), t.addDays(-1), false};
    if (key == "last_7"_L1)
        return {t.addDays(-6), t.addDays(-1), true};
    if (key == "last_14"_L1)
        return {t.addDays(-13), t.addDays(-1), true};
    if (key == "last_30"_L1)
        return {t.addDays(-29), t.addDays(-1), true};
    if (key == "this_month"_L1)
        return t.day() > 1 ? DayRange {QDate(t.year(), t.month(), 1), t.addDays(-1), true} : DayRange {{}, {}, true};
    if (key == "last_month"_L1) {
        const QDate first = QDate(t.year(), t.month(), 1).addMonths(-1);
        return {first, first.addMonths(1).addDays(-1), false};
    }
    return {{}, {}, true}; // today
}

Metrics DemoData::entityFigures(const QString &entity, const Metrics &base, const QString &periodKey) const
{
    const DayRange r = rangeFor(periodKey);
    Metrics sum;
    if (r.from.isValid())
        for (QDate d = r.from; d <= r.to; d = d.addDays(1))
            sum += dayFigures(entity, base, d);
    if (r.withToday)
        sum += m_today.value(entity);
    return sum;
}

bool DemoData::campaignActive(const QString &campaignId) const
{
    return m_active.value(campaignId);
}

Metrics DemoData::campaignFigures(const QString &campaignId, const QString &periodKey) const
{
    return entityFigures(campaignId, m_campaignBase.value(campaignId), periodKey);
}

Metrics DemoData::adGroupFigures(const CampaignInfo &c, int group, const QString &periodKey) const
{
    // Ad groups split their campaign by fixed weights; the last takes the rest
    // so the groups always add up to the campaign.
    const Metrics whole = campaignFigures(c.id, periodKey);
    const int n = int(c.adGroups.size());
    double before = 0;
    for (int i = 0; i < group; ++i)
        before += 0.15 + 0.7 * unit(m_seed, c.id, i, 99);
    double total = 0;
    for (int i = 0; i < n; ++i)
        total += 0.15 + 0.7 * unit(m_seed, c.id, i, 99);
    const double from = before / total;
    const double to = group == n - 1 ? 1.0 : (before + 0.15 + 0.7 * unit(m_seed, c.id, group, 99)) / total;
    auto part = [&](qint64 v) { return scaleCount(v, to) - scaleCount(v, from); };
    return Metrics {part(whole.spendCents), part(whole.revenueCents), part(whole.feRevenueCents), part(whole.clicks),
        part(whole.leads), part(whole.appts), part(whole.sales)};
}

Metrics DemoData::leafFigures(const QString &leafId, const QString &periodKey) const
{
    return entityFigures(leafId, m_leafBase.value(leafId), periodKey);
}

void DemoData::build()
{
    QRandomGenerator64 rng(mix(m_seed ^ 0x51ab));

    m_users = {
        UserInfo {u"usr_ada"_s, u"ada@demo.quillmere.test"_s, u"Ada Lindqvist"_s, u"admin"_s,
            {u"ws_northwind"_s, u"ws_harbor"_s}, u"ws_northwind"_s,
            {{u"ws_northwind"_s, u"owner"_s}, {u"ws_harbor"_s, u"analyst"_s}}},
        UserInfo {u"usr_ben"_s, u"ben@demo.quillmere.test"_s, u"Ben Okafor"_s, u"member"_s, {u"ws_lumen"_s},
            u"ws_lumen"_s, {{u"ws_lumen"_s, u"owner"_s}}},
    };

    struct Plat {
        const char16_t *key;
        const char16_t *label;
    };
    const Plat meta {u"facebook", u"Meta Ads"}, google {u"google_ads", u"Google Ads"},
        tiktok {u"tiktok_ads", u"TikTok Ads"}, reddit {u"reddit_ads", u"Reddit Ads"},
        microsoft {u"microsoft_ads", u"Microsoft Ads"}, pinterest {u"pinterest_ads", u"Pinterest Ads"};
    auto account = [](const char16_t *id, const char16_t *name, const Plat &p, bool synced = true) {
        return AccountInfo {QString::fromUtf16(id), QString::fromUtf16(name), QString::fromUtf16(p.key),
            QString::fromUtf16(p.label), synced};
    };

    WorkspaceInfo northwind {u"ws_northwind"_s, u"Northwind Outfitters"_s, u"Campaigns"_s,
        u"{spend} ({cac}/{sales}) {roas.1}x"_s, false, true, {}, {}, {}};
    northwind.accounts = {account(u"act_104211", u"Northwind \u2013 Meta", meta),
        account(u"gads_559-201-3380", u"Northwind Search", google), account(u"tt_7712", u"Northwind TikTok", tiktok),
        account(u"rd_t2_9xk1", u"Northwind Reddit", reddit)};
    WorkspaceInfo harbor {u"ws_harbor"_s, u"Harbor Dental Group"_s, u"Ad accounts"_s,
        u"{spend} ({cpl.0}/{leads}\u2022{cpa}/{appts}) {roas.1}x"_s, true, false, {}, {}, {}};
    harbor.accounts = {account(u"gads_318-774-0921", u"Harbor Dental \u2013 Search", google),
        account(u"act_208877", u"Harbor Dental \u2013 Meta", meta),
        account(u"msads_44120", u"Harbor Dental \u2013 Bing", microsoft)};
    WorkspaceInfo lumen {u"ws_lumen"_s, u"Lumen Coffee Co."_s, u"Campaigns"_s,
        u"{revenue} rev \u00b7 {profit} profit"_s, false, true, {}, {}, {}};
    lumen.accounts = {account(u"act_309115", u"Lumen Coffee \u2013 Meta", meta),
        account(u"gads_902-113-4471", u"Lumen Coffee \u2013 Shopping", google),
        account(u"pin_5521", u"Lumen Coffee \u2013 Pinterest", pinterest, false)};

    const QStringList campaignNames {u"Prospecting \u2013 Broad"_s, u"Retargeting \u2013 30d"_s, u"Brand search"_s,
        u"Spring launch"_s, u"Lookalike 2%"_s, u"Evergreen UGC"_s, u"Competitor terms"_s, u"Catalog sales"_s,
        u"Holiday gifting"_s};
    const QStringList groupNames {u"Core audience"_s, u"Interests"_s, u"Exact match"_s, u"Video 15s"_s, u"Carousel"_s};
    int campaignNo = 1000;
    for (WorkspaceInfo *w : {&northwind, &harbor, &lumen}) {
        const Rates &rates = w == &harbor ? clinicRates : shopRates;
        for (const AccountInfo &a : std::as_const(w->accounts)) {
            const int n = 2 + int(rng.bounded(2));
            for (int i = 0; i < n; ++i) {
                CampaignInfo c;
                c.id = u"cmp_"_s + QString::number(++campaignNo);
                c.name = campaignNames.at(int(rng.bounded(quint64(campaignNames.size()))));
                c.accountId = a.id;
                const int groups = 2 + int(rng.bounded(2));
                for (int g = 0; g < groups; ++g)
                    c.adGroups.append(groupNames.at((g + i) % groupNames.size()));
                m_campaignBase.insert(c.id, baseFor(rng, rates, true));
                m_active.insert(c.id, rng.generateDouble() < 0.8);
                w->campaigns.append(c);
            }
        }
    }

    // The non-paid part of the sources tree: channel, then a second level,
    // then leaves, with remainder rows at each level.
    auto leaf = [this, &rng](const QString &id, const QString &name, const QString &kind, bool rest = false) {
        m_leafBase.insert(id, baseFor(rng, shopRates, false));
        return SourceNode {id, name, kind, {}, rest, {}};
    };
    auto organicTree = [&](const QString &ws) {
        const QString p = ws + u'/';
        QList<SourceNode> top;
        auto group = [&](const QString &id, const QString &name, const QString &kind, const QStringList &pages,
                         const QString &restName) {
            SourceNode n {id, name, kind, {}, false, {}};
            int i = 0;
            for (const QString &page : pages)
                n.children.append(leaf(id + u"/p"_s + QString::number(++i), page, u"Landing page"_s));
            if (!restName.isEmpty())
                n.children.append(leaf(id + u"/rest"_s, restName, u"Landing page"_s, true));
            return n;
        };
        SourceNode search {p + u"organic_search"_s, u"Organic search"_s, u"Search"_s, u"organic_search"_s, false, {}};
        search.children = {group(search.id + u"/google"_s, u"Google"_s, u"Search engine"_s,
                               {u"/"_s, u"/collections/new"_s, u"/blog/buying-guide"_s}, u"Other pages"_s),
            group(search.id + u"/bing"_s, u"Bing"_s, u"Search engine"_s, {u"/"_s, u"/about"_s}, u"Other pages"_s),
            leaf(search.id + u"/rest"_s, u"Other search engines"_s, u"Search engine"_s, true)};
        SourceNode social {p + u"organic_social"_s, u"Organic social"_s, u"Social"_s, u"organic_social"_s, false, {}};
        social.children = {group(social.id + u"/instagram"_s, u"Instagram"_s, u"Social network"_s,
                               {u"Spring drop reel"_s, u"Behind the scenes"_s}, u"Other posts"_s),
            group(social.id + u"/tiktok"_s, u"TikTok"_s, u"Social network"_s, {u"How it's made"_s}, QString())};
        SourceNode email {p + u"email"_s, u"Email"_s, u"Email"_s, u"email"_s, false, {}};
        email.children = {group(email.id + u"/newsletter"_s, u"Newsletter"_s, u"Email campaign"_s,
                              {u"Issue #41"_s, u"Issue #42"_s}, QString()),
            group(email.id + u"/cart"_s, u"Abandoned cart flow"_s, u"Email flow"_s, {u"Reminder 1"_s, u"Reminder 2"_s},
                QString())};
        SourceNode referral {p + u"referral"_s, u"Referral"_s, u"Referral"_s, u"referral"_s, false, {}};
        referral.children = {group(referral.id + u"/gearlab"_s, u"gearlab.example"_s, u"Website"_s,
                                 {u"/reviews/best-of"_s}, u"Other pages"_s),
            leaf(referral.id + u"/rest"_s, u"Other referrers"_s, u"Website"_s, true)};
        SourceNode ai {p + u"ai"_s, u"AI assistants"_s, u"AI"_s, u"ai"_s, false, {}};
        ai.children = {group(ai.id + u"/chatgpt"_s, u"ChatGPT"_s, u"Assistant"_s, {u"/"_s, u"/faq"_s}, QString()),
            group(ai.id + u"/perplexity"_s, u"Perplexity"_s, u"Assistant"_s, {u"/"_s}, QString())};
        SourceNode direct {p + u"direct"_s, u"Direct"_s, u"Direct"_s, u"direct"_s, false, {}};
        direct.children = {leaf(direct.id + u"/home"_s, u"/"_s, u"Landing page"_s),
            leaf(direct.id + u"/rest"_s, u"Other pages"_s, u"Landing page"_s, true)};
        SourceNode rest = leaf(p + u"rest"_s, u"Other sources"_s, u"Unattributed"_s, true);
        rest.channel = u"untracked"_s;
        top = {search, social, email, referral, ai, direct, rest};
        return top;
    };
    northwind.organic = organicTree(northwind.id);
    lumen.organic = organicTree(lumen.id);

    m_workspaces = {northwind, harbor, lumen};

    m_links = {
        EmbedLinkInfo {u"nw-7Hq2XbLk"_s, u"ws_northwind"_s, QString(), u"Northwind Outfitters"_s},
        EmbedLinkInfo {u"hb-Rm4pT9sQ"_s, u"ws_harbor"_s, u"harbor-smile"_s, u"Harbor Dental Group"_s},
        EmbedLinkInfo {u"lc-Zx81VvQe"_s, u"ws_lumen"_s, u"lumen-espresso"_s, u"Lumen Coffee Co."_s},
    };
}

} // namespace devserver
