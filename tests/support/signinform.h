#pragma once

// The browser's half of the sign-in, shared by the tests and the soak driver:
// what a browser sends when the development server's sign-in page is
// submitted with the button of one account. Header-only, on Qt Core alone.

#include <QByteArrayList>
#include <QRegularExpression>
#include <QString>
#include <QUrl>

namespace signinform {

inline QString unescapeHtml(QString s)
{
    using namespace Qt::StringLiterals;
    return s.replace(u"&lt;"_s, u"<"_s)
        .replace(u"&gt;"_s, u">"_s)
        .replace(u"&quot;"_s, u"\""_s)
        .replace(u"&#39;"_s, u"'"_s)
        .replace(u"&amp;"_s, u"&"_s);
}

inline QString attribute(const QString &tag, const QString &name)
{
    using namespace Qt::StringLiterals;
    const auto m = QRegularExpression(u"\\b"_s + name + u"=\"([^\"]*)\""_s).match(tag);
    return m.hasMatch() ? unescapeHtml(m.captured(1)) : QString();
}

inline QByteArray formItem(const QString &name, const QString &value)
{
    return QUrl::toPercentEncoding(name, " ").replace(' ', '+') + '='
        + QUrl::toPercentEncoding(value, " ").replace(' ', '+');
}

// The form post (to action, form-encoded body) of the sign-in page at page
// whose HTML is html, pressing the button of the account with this email.
// On failure, error says why and the rest is empty.
struct Submission {
    QUrl action;
    QByteArray body;
    QString error;
};

inline Submission submit(const QUrl &page, const QString &html, const QString &email)
{
    using namespace Qt::StringLiterals;
    const auto form
        = QRegularExpression(u"<form\\b[^>]*>(.*?)</form>"_s, QRegularExpression::DotMatchesEverythingOption)
              .match(html);
    if (!form.hasMatch())
        return {{}, {}, u"no form on the sign-in page"_s};
    const QString formTag = form.captured(0).section(u'>', 0, 0);
    if (attribute(formTag, u"method"_s).compare(u"post"_s, Qt::CaseInsensitive) != 0)
        return {{}, {}, u"the form is not posted"_s};
    QByteArrayList items;
    for (const auto &input : QRegularExpression(u"<input\\b[^>]*>"_s).globalMatch(form.captured(1))) {
        const QString tag = input.captured(0);
        if (attribute(tag, u"type"_s) == "hidden"_L1)
            items << formItem(attribute(tag, u"name"_s), attribute(tag, u"value"_s));
    }
    const QRegularExpression button(
        u"<button\\b([^>]*)>(.*?)</button>"_s, QRegularExpression::DotMatchesEverythingOption);
    for (const auto &b : button.globalMatch(form.captured(1))) {
        if (unescapeHtml(b.captured(2)).contains(u'<' + email + u'>')) {
            items << formItem(attribute(b.captured(1), u"name"_s), attribute(b.captured(1), u"value"_s));
            return {page.resolved(QUrl(attribute(formTag, u"action"_s))), items.join('&'), {}};
        }
    }
    return {{}, {}, u"no button for "_s + email};
}

} // namespace signinform
