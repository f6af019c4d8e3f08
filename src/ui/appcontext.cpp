#include "appcontext.h"

#include "symbolprovider.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QJSEngine>
#include <QQmlEngine>

namespace {
QPointer<AppContext> currentContext;
}

AppContext::AppContext(Store *store, QObject *parent) : QObject(parent), m_store(store) { }

AppContext::~AppContext()
{
    if (currentContext == this)
        currentContext = nullptr;
}

QString AppContext::defaultServerOrigin()
{
    return Store::defaultServerOrigin().toString(QUrl::StripTrailingSlash);
}

QString AppContext::digitsFamily(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal zero = metrics.horizontalAdvance(u'0');
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (!qFuzzyCompare(metrics.horizontalAdvance(QChar(digit)), zero))
            return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    }
    return QFontInfo(font).family();
}

QString AppContext::digitsFamily() const
{
    static const QString family = digitsFamily(QGuiApplication::font());
    return family;
}

AppContext *AppContext::current()
{
    return currentContext;
}

void AppContext::setCurrent(AppContext *context)
{
    currentContext = context;
}

AppContext *AppContext::create(QQmlEngine *, QJSEngine *)
{
    AppContext *context = currentContext;
    Q_ASSERT_X(context, "AppContext::create", "no context set before the views were loaded");
    // The engine must not delete it when it goes; the store stays too.
    QJSEngine::setObjectOwnership(context, QJSEngine::CppOwnership);
    if (context && context->m_store)
        QJSEngine::setObjectOwnership(context->m_store, QJSEngine::CppOwnership);
    return context;
}

void AppContext::quit()
{
    Q_EMIT quitRequested();
}

void AppContext::openSettingsWindow()
{
    Q_EMIT settingsWindowRequested();
}

namespace ui {
void setupEngine(QQmlEngine &engine)
{
    // Where the module's qmldir lies, so "import Quillmere.Ui" finds its QML
    // types too (Qt 6.4 does not look there by itself).
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine.addImageProvider(QStringLiteral("symbol"), new SymbolProvider);
}
} // namespace ui
