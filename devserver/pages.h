#pragma once

#include "demodata.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

namespace devserver::pages {

// The sign-in page: one button per demo account; the form posts back to
// "native-auth" with the client's redirect address, challenge and state.
QByteArray signIn(const DemoData &data, const QString &redirectUri, const QString &challenge, const QString &state);
// A page that explains a refused request.
QByteArray problem(const QString &title, const QString &text);
// A dashboard payload as a web page.
QByteArray dashboard(const QString &heading, const QJsonObject &payload, const QString &note);
// The embed link's password form.
QByteArray embedPassword(const QString &title, bool wrong);
// The start page: demo accounts and links.
QByteArray index(const DemoData &data, const QUrl &base, bool faults);

} // namespace devserver::pages
