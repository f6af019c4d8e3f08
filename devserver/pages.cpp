#include "pages.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace devserver::pages {

namespace {

QString esc(const QString &s)
{
    return s.toHtmlEscaped();
}

QByteArray page(const QString &title, const QString &body)
{
    const QString html = uR"(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><meta name="viewport" content="width=device-width">
<title>)"_s
        + esc(title) + uR"(</title>
<style>
body{font-family:system-ui,sans-serif;max-width:760px;margin:40px auto;padding:0 16px;color:#1d2230}
h1{font-size:22px} table{border-collapse:collapse;width:100%;margin:12px 0}
td,th{padding:4px 8px;border-bottom:1px solid #e3e6ee;text-align:right} td:first-child,th:first-child{text-align:left}
.tiles{display:flex;gap:12px;flex-wrap:wrap} .tile{border:1px solid #e3e6ee;border-radius:10px;padding:10px 14px}
.tile b{display:block;font-size:20px} .accent b{color:#6b4eff} .muted{color:#7a8194} .rest{color:#7a8194;font-style:italic}
button{font-size:15px;padding:8px 14px;margin:4px 0;border-radius:8px;border:1px solid #c9cede;background:#f6f7fb;cursor:pointer}
code{background:#f2f3f7;padding:1px 4px;border-radius:4px}
</style></head><body>
)"_s + body
        + u"\n</body></html>\n"_s;
    return html.toUtf8();
}

void sourceRows(const QJsonArray &rows, int depth, QString &out)
{
    for (const QJsonValue v : rows) {
        const QJsonObject r = v.toObject();
        out += u"<tr"_s + (r.value(u"rest"_s).toBool() ? u" class=\"rest\""_s : QString())
            + u"><td style=\"padding-left:"_s + QString::number(8 + depth * 16) + u"px\">"_s
            + esc(r.value(u"name"_s).toString()) + u"</td>"_s;
        for (const QJsonValue cell : r.value(u"values"_s).toArray())
            out += u"<td>"_s + esc(cell.toString()) + u"</td>"_s;
        out += u"</tr>\n"_s;
        sourceRows(r.value(u"children"_s).toArray(), depth + 1, out);
    }
}

} // namespace

QByteArray signIn(const DemoData &data, const QString &redirectUri, const QString &challenge, const QString &state)
{
    QString body = u"<h1>Sign in to Quillmere</h1>\n<p>Development server: choose a demo account. "
                   u"Your browser then hands a one-time code back to Quillmere Menu Bar.</p>\n"
                   u"<form method=\"post\" action=\"native-auth\">\n"_s;
    body += u"<input type=\"hidden\" name=\"redirect_uri\" value=\""_s + esc(redirectUri) + u"\">\n"_s;
    body += u"<input type=\"hidden\" name=\"challenge\" value=\""_s + esc(challenge) + u"\">\n"_s;
    body += u"<input type=\"hidden\" name=\"state\" value=\""_s + esc(state) + u"\">\n"_s;
    for (const UserInfo &u : data.users()) {
        QStringList names;
        for (const QString &w : u.workspaceIds)
            if (const WorkspaceInfo *info = data.workspace(w))
                names.append(info->name);
        body += u"<div><button type=\"submit\" name=\"user\" value=\""_s + esc(u.id) + u"\">Sign in as "_s + esc(u.name)
            + u" &lt;"_s + esc(u.email) + u"&gt;</button> <span class=\"muted\">"_s + esc(names.join(u", "_s))
            + u"</span></div>\n"_s;
    }
    body += u"</form>\n"_s;
    return page(u"Sign in \u2013 Quillmere"_s, body);
}

QByteArray problem(const QString &title, const QString &text)
{
    return page(title, u"<h1>"_s + esc(title) + u"</h1>\n<p>"_s + esc(text) + u"</p>"_s);
}

QByteArray dashboard(const QString &heading, const QJsonObject &payload, const QString &note)
{
    const QJsonObject d = payload.value(u"dashboard"_s).toObject();
    QString body = u"<h1>"_s + esc(heading) + u"</h1>\n"_s;
    if (!note.isEmpty())
        body += u"<p class=\"muted\">"_s + note + u"</p>\n"_s;
    body += u"<p>"_s + esc(d.value(u"workspaceName"_s).toString()) + u" \u00b7 "_s
        + esc(d.value(u"timeframe"_s).toString()) + u"</p>\n<p class=\"muted\">Menu-bar line: <code>"_s
        + esc(payload.value(u"text"_s).toString()) + u"</code></p>\n"_s;
    if (d.value(u"partial"_s).toBool())
        body += u"<p class=\"muted\">Some ad accounts haven't synced; totals are unavailable.</p>\n"_s;
    body += u"<div class=\"tiles\">"_s;
    for (const QJsonValue v : d.value(u"tiles"_s).toArray()) {
        const QJsonObject t = v.toObject();
        body += u"<div class=\"tile"_s + (t.value(u"accent"_s).toBool() ? u" accent"_s : QString()) + u"\">"_s
            + esc(t.value(u"label"_s).toString()) + u"<b>"_s + esc(t.value(u"value"_s).toString())
            + u"</b><span class=\"muted\">"_s + esc(t.value(u"caption"_s).toString()) + u"</span></div>"_s;
    }
    body += u"</div>\n<table><tr><th>"_s + esc(d.value(u"asset"_s).toString())
        + u"</th><th>Spend</th><th>Revenue</th><th>ROAS</th></tr>\n"_s;
    for (const QJsonValue v : d.value(u"rows"_s).toArray()) {
        const QJsonObject r = v.toObject();
        body += u"<tr><td>"_s + (r.value(u"active"_s).toBool() ? u"\u25cf "_s : u"\u25cb "_s)
            + esc(r.value(u"name"_s).toString()) + u"</td><td>"_s + esc(r.value(u"spend"_s).toString()) + u"</td><td>"_s
            + esc(r.value(u"revenue"_s).toString()) + u"</td><td>"_s + esc(r.value(u"roas"_s).toString())
            + u"</td></tr>\n"_s;
    }
    body += u"</table>\n"_s;
    const QJsonObject sources = d.value(u"sources"_s).toObject();
    if (!sources.isEmpty()) {
        body += u"<h2>Traffic sources</h2>\n<table><tr><th>Source</th>"_s;
        for (const QJsonValue c : sources.value(u"columns"_s).toArray())
            body += u"<th>"_s + esc(c.toObject().value(u"label"_s).toString()) + u"</th>"_s;
        body += u"</tr>\n"_s;
        sourceRows(sources.value(u"rows"_s).toArray(), 0, body);
        body += u"<tr><th>Total</th>"_s;
        for (const QJsonValue t : sources.value(u"totals"_s).toArray())
            body += u"<th>"_s + esc(t.toString()) + u"</th>"_s;
        body += u"</tr></table>\n"_s;
    }
    return page(heading, body);
}

QByteArray embedPassword(const QString &title, bool wrong)
{
    QString body = u"<h1>"_s + esc(title) + u"</h1>\n<p>This dashboard link has a password.</p>\n"_s;
    if (wrong)
        body += u"<p><b>Wrong password.</b></p>\n"_s;
    body += u"<form method=\"get\"><input type=\"password\" name=\"password\" autofocus> "
            u"<button type=\"submit\">Open</button></form>\n"_s;
    return page(title, body);
}

QByteArray index(const DemoData &data, const QUrl &base, bool faults)
{
    const QString root = base.toString(QUrl::StripTrailingSlash);
    QString body = u"<h1>Quillmere development server</h1>\n<h2>Demo accounts</h2>\n<ul>\n"_s;
    for (const UserInfo &u : data.users())
        body += u"<li>"_s + esc(u.name) + u" &lt;"_s + esc(u.email) + u"&gt;</li>\n"_s;
    body += u"</ul>\n<h2>Demo embed links</h2>\n<ul>\n"_s;
    for (const EmbedLinkInfo &l : data.embedLinks()) {
        const QString link = root + u"/embed/"_s + l.key;
        body += u"<li><a href=\""_s + esc(link) + u"\">"_s + esc(link) + u"</a> "_s
            + (l.password.isEmpty() ? u"(no password)"_s : u"password <code>"_s + esc(l.password) + u"</code>"_s)
            + u"</li>\n"_s;
    }
    body += u"</ul>\n<p><a href=\"dashboard\">Dashboard</a></p>\n"_s;
    if (faults)
        body += u"<p class=\"muted\">Fault injection is on: see <code>/_dev/state</code>.</p>\n"_s;
    return page(u"Quillmere development server"_s, body);
}

} // namespace devserver::pages
