#include "viewhost.h"

#include "appcontext.h"
#include "memorytrim.h"
#include "placement.h"
#include "state/store.h"

#include <QCursor>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQmlExtensionPlugin>
#include <QQuickWindow>
#include <QScreen>

#include <malloc.h>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(Quillmere_UiPlugin)

namespace {

bool placesItself()
{
    // On Wayland the compositor places windows; elsewhere we do.
    return !QGuiApplication::platformName().startsWith(u"wayland"_s);
}

placement::Screen screenOf(const QScreen *screen)
{
    return {screen->geometry(), screen->availableGeometry(), screen->devicePixelRatio()};
}

} // namespace

ViewHost::ViewHost(Store *store, QObject *parent)
    : QObject(parent), m_store(store), m_context(std::make_unique<AppContext>(store))
{
    AppContext::setCurrent(m_context.get());
    m_releaseTimer.setSingleShot(true);
    m_releaseTimer.setTimerType(Qt::VeryCoarseTimer);
    m_releaseTimer.setInterval(defaultReleaseDelay);
    QObject::connect(&m_releaseTimer, &QTimer::timeout, this, &ViewHost::release);
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(settleDelay);
    QObject::connect(&m_settleTimer, &QTimer::timeout, this, &ViewHost::settle);
    // A refresh while a window shows rebuilds parts of the views.
    QObject::connect(m_store, &Store::changed, this, [this] {
        if (m_engine && (popoverVisible() || (m_settings && m_settings->isVisible())))
            m_settleTimer.start();
    });
}

ViewHost::~ViewHost()
{
    destroyWindows();
    delete m_engine;
}

void ViewHost::destroyWindows()
{
    // A window being destroyed still announces that it hides: nothing here
    // may hear it then.
    for (QQuickWindow *window : {m_popover.data(), m_settings.data()}) {
        if (window) {
            QObject::disconnect(window, nullptr, this, nullptr);
            delete window;
        }
    }
}

void ViewHost::setReleaseDelay(std::chrono::milliseconds delay)
{
    m_releaseTimer.setInterval(delay);
}

QQmlEngine &ViewHost::engine()
{
    if (!m_engine) {
        m_engine = new QQmlEngine(this);
        ui::setupEngine(*m_engine);
    }
    return *m_engine;
}

QQuickWindow *ViewHost::createWindow(const QString &file)
{
    QQmlComponent component(&engine(), QUrl(u"qrc:/qt/qml/Quillmere/Ui/"_s + file));
    QObject *object = component.create();
    auto *window = qobject_cast<QQuickWindow *>(object);
    if (!window) {
        qWarning("%s", qPrintable(component.errorString()));
        delete object;
        return nullptr;
    }
    QObject::connect(window, &QWindow::visibleChanged, this, &ViewHost::windowsChanged);
    return window;
}

QQuickWindow *ViewHost::ensurePopover()
{
    if (m_popover)
        return m_popover;
    m_popover = createWindow(u"Popover.qml"_s);
    if (!m_popover)
        return nullptr;
    QObject::connect(m_popover, &QWindow::activeChanged, this, &ViewHost::popoverActiveChanged);
    QObject::connect(m_popover, SIGNAL(dismissRequested()), this, SLOT(dismiss()));
    // Opened above a bottom panel, the popover grows upwards.
    QObject::connect(m_popover, &QWindow::heightChanged, this, [this] {
        if (m_popover && m_popover->isVisible())
            place();
    });
    return m_popover;
}

QQuickWindow *ViewHost::ensureSettingsWindow()
{
    if (!m_settings)
        m_settings = createWindow(u"SettingsWindow.qml"_s);
    return m_settings;
}

bool ViewHost::closedByThisClick()
{
    if (m_closedOnDeactivation.isValid() && m_closedOnDeactivation.elapsed() < closingClickWindow.count()) {
        m_closedOnDeactivation.invalidate();
        return true;
    }
    return false;
}

void ViewHost::togglePopoverAt(QRect anchor, placement::Edge edge)
{
    if (popoverVisible()) {
        closePopover();
        return;
    }
    if (closedByThisClick())
        return;
    m_anchor = anchor.center();
    m_button = std::make_pair(anchor, edge);
    showPopover();
}

void ViewHost::activateAt(QPoint devicePoint)
{
    if (popoverVisible()) {
        closePopover();
        return;
    }
    if (closedByThisClick())
        return;
    QPoint point;
    if (devicePoint.isNull()) {
        point = QCursor::pos();
    } else {
        QList<placement::Screen> screens;
        for (const QScreen *screen : QGuiApplication::screens())
            screens << screenOf(screen);
        point = placement::toLogical(devicePoint, screens);
    }
    openPopover(point);
}

void ViewHost::openPopover(std::optional<QPoint> point)
{
    m_anchor = point;
    m_button.reset();
    showPopover();
}

void ViewHost::showPopover()
{
    QQuickWindow *window = ensurePopover();
    if (!window)
        return;
    const bool wasVisible = window->isVisible();
    if (placesItself())
        place();
    window->show();
    window->raise();
    window->requestActivate();
    if (!wasVisible) {
        m_closedOnDeactivation.invalidate();
        m_store->startRefreshIfStale();
        m_settleTimer.start();
        Q_EMIT popoverOpened();
    }
}

void ViewHost::place()
{
    if (!m_popover || !placesItself())
        return;
    const QScreen *screen = m_anchor ? QGuiApplication::screenAt(*m_anchor) : nullptr;
    if (!screen)
        screen = m_anchor ? QGuiApplication::primaryScreen() : m_popover->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    if (m_popover->screen() != screen)
        m_popover->setScreen(const_cast<QScreen *>(screen));
    m_popover->setPosition(m_button
            ? placement::anchoredPosition(m_button->first, m_button->second, m_popover->size(), screenOf(screen))
            : placement::popoverPosition(m_anchor, m_popover->size(), screenOf(screen)));
}

void ViewHost::closePopover()
{
    if (m_popover && m_popover->isVisible()) {
        m_popover->hide();
        Q_EMIT popoverClosed();
    }
}

bool ViewHost::popoverVisible() const
{
    return m_popover && m_popover->isVisible();
}

void ViewHost::popoverActiveChanged()
{
    // A click anywhere else closes the popover. If that click was on the
    // status item, its Activate follows at once and must not reopen it.
    if (m_popover && !m_popover->isActive() && m_popover->isVisible()) {
        closePopover();
        m_closedOnDeactivation.start();
    }
}

void ViewHost::showSettingsWindow()
{
    QQuickWindow *window = ensureSettingsWindow();
    if (!window)
        return;
    window->show();
    window->raise();
    window->requestActivate();
}

void ViewHost::windowsChanged()
{
    const bool anyShown = (m_popover && m_popover->isVisible()) || (m_settings && m_settings->isVisible());
    if (anyShown)
        m_releaseTimer.stop();
    else if (m_engine)
        m_releaseTimer.start();
}

void ViewHost::settle()
{
    // Building and rebuilding views leaves script garbage and freed heap the
    // allocator keeps; a window that stays open should not hold on to them
    // until it closes.
    if (!m_engine)
        return;
    m_engine->collectGarbage();
    ::malloc_trim(0);
}

void ViewHost::release()
{
    if (popoverVisible() || (m_settings && m_settings->isVisible()))
        return;
    destroyWindows();
    delete m_engine;
    m_engine = nullptr;
    // The engine's and the scene graph's memory goes back to the system, not
    // only to the allocator, and so do the pages of code and fonts the
    // windows had read.
    memorytrim::giveBack();
    Q_EMIT released();
}
