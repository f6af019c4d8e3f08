#include "panelline.h"

#include "statusline.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

QJsonObject contentOf(const PanelLine &line)
{
    return {
        {u"text"_s, line.text},
        {u"tooltip"_s, line.tooltip},
        {u"icon"_s, line.icon},
        {u"class"_s, line.cssClass},
        {u"running"_s, line.running},
    };
}

} // namespace

PanelLine PanelLine::notRunning()
{
    return {u"Quillmere"_s, u"Quillmere is not running. Click to start it."_s, true, u"stopped"_s, false};
}

PanelLine PanelLine::fromProperties(const QVariantMap &properties)
{
    const QJsonObject status = QJsonDocument::fromJson(properties.value(u"Status"_s).toString().toUtf8()).object();
    PanelLine line;
    line.text = StatusLine::oneLine(properties.value(u"Title"_s).toString());
    line.tooltip = properties.contains(u"ToolTip"_s) ? properties.value(u"ToolTip"_s).toString()
                                                     : status.value(u"tooltip"_s).toString();
    line.icon = properties.value(u"IconShown"_s, true).toBool();
    line.cssClass = status.value(u"class"_s).toString();
    line.running = true;
    return line;
}

QString PanelLine::state() const
{
    const QByteArray content = QJsonDocument(contentOf(*this)).toJson(QJsonDocument::Compact);
    return QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex().left(16));
}

QByteArray PanelLine::json() const
{
    QJsonObject object = contentOf(*this);
    object.insert(u"state"_s, state());
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
