#include "viewhost.h"

#include "appcontext.h"
#include "compositorplacement.h"
#include "memorytrim.h"
#include "nextframe.h"
#include "opentrace.h"
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
    m_compositorSettle.setSingleShot(true);
    m_compositorSettle.setInterval(120);
    QObject::connect(&m_compositorSettle, &QTimer::timeout, this, &ViewHost::placeThroughCompositor);
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
    for (QQuickWindow *window : {m_popover.data(), m_settings.data(), m_menu.data()}) {
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
        opentrace::mark("engine");
    }
    return *m_engine;
}

QQuickWindow *ViewHost::createWindow(const QString &file)
{
    QQmlComponent component(&engine(), QUrl(u"qrc:/qt/qml/Quillmere/Ui/"_s + file));
    opentrace::mark("types");
    QObject *object = component.create();
    opentrace::mark("created");
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
        // Wayland tells a client nothing of a pointer outside its windows.
        if (!placesItself()) {
            openPopover();
            return;
        }
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
    // Opened from the item's menu, a desktop action or a second launch: a
    // pointer near a panel is where the item was clicked.
    if (!point && placesItself()) {
        const QPoint pointer = QCursor::pos();
        const QScreen *screen = QGuiApplication::screenAt(pointer);
        if (const auto strip = screen ? placement::pointerAnchor(pointer, screenOf(screen)) : std::nullopt) {
            m_anchor = strip->anchor.center();
            m_button = std::make_pair(strip->anchor, strip->edge);
        }
    }
    showPopover();
}

void ViewHost::showPopover()
{
    if (!popoverVisible())
        opentrace::mark("open");
    QQuickWindow *window = ensurePopover();
    if (!window)
        return;
    const bool wasVisible = window->isVisible();
    if (placesItself())
        place();
    if (!wasVisible)
        opentrace::markFirstFrame(window);
    window->show();
    if (!placesItself())
        placeThroughCompositor();
    opentrace::mark("shown");
    window->raise();
    requestActivation(window);
    if (!wasVisible) {
        m_closedOnDeactivation.invalidate();
        // The refresh does not hold up the first frame, which shows what
        // there is.
        afterNextFrame(window, [store = m_store] { store->startRefreshIfStale(); });
        m_settleTimer.start();
        Q_EMIT popoverOpened();
    }
}

void ViewHost::place()
{
    if (!m_popover)
        return;
    if (!placesItself()) {
        m_compositorSettle.start();
        return;
    }
    const QScreen *screen = m_anchor ? QGuiApplication::screenAt(*m_anchor) : nullptr;
    if (!screen)
        screen = m_anchor ? QGuiApplication::primaryScreen() : m_popover->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    if (m_popover->screen() != screen)
        m_popover->setScreen(const_cast<QScreen *>(screen));
    m_popover->setPosition(positionOn(screen));
}

QPoint ViewHost::positionOn(const QScreen *screen) const
{
    return m_button
        ? placement::anchoredPosition(m_button->first, m_button->second, m_popover->size(), screenOf(screen))
        : placement::popoverPosition(m_anchor, m_popover->size(), screenOf(screen));
}

void ViewHost::placeThroughCompositor()
{
    // Without a click point the compositor's own placement stays.
    if (!m_popover || !m_anchor)
        return;
    if (!m_compositorLooked) {
        m_compositorLooked = true;
        m_compositor = CompositorPlacement::forSession();
        if (m_compositor)
            QObject::connect(m_compositor.get(), &CompositorPlacement::failed, this, [](const QString &reason) {
                qInfo("The compositor did not move the popover: %s", qPrintable(reason));
            });
    }
    const QScreen *screen = QGuiApplication::screenAt(*m_anchor);
    if (!m_compositor || !screen)
        return;
    // The compositor knows where its bars are and keeps the popover off them.
    // Asked again once the popover has changed its height: some compositors
    // (KWin) place a window anew when it grows.
    m_compositor->place(m_popover, positionOn(screen));
}

void ViewHost::setActivationToken(const QString &token)
{
    m_activationToken = token;
    m_tokenAge.start();
}

void ViewHost::requestActivation(QWindow *window)
{
    // Qt's Wayland client hands XDG_ACTIVATION_TOKEN to the compositor with
    // the next activation request and drops it from the environment; where it
    // does not, no child process may inherit it.
    const bool fresh = m_tokenAge.isValid() && m_tokenAge.elapsed() < tokenLifetime.count();
    const bool useToken = fresh && !m_activationToken.isEmpty() && !placesItself();
    if (useToken)
        qputenv("XDG_ACTIVATION_TOKEN", m_activationToken.toUtf8());
    m_activationToken.clear();
    m_tokenAge.invalidate();
    window->requestActivate();
    if (useToken)
        qunsetenv("XDG_ACTIVATION_TOKEN");
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
    requestActivation(window);
}

void ViewHost::windowsChanged()
{
    const bool anyShown
        = (m_popover && m_popover->isVisible()) || (m_settings && m_settings->isVisible()) || menuVisible();
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

void ViewHost::prepare()
{
    if (m_engine)
        return;
    // Types only: a window made here, even one never shown, would leave
    // the instance waking up while idle.
    for (const QString &file : {u"Popover.qml"_s, u"DashboardView.qml"_s, u"ConnectView.qml"_s})
        QQmlComponent component(&engine(), QUrl(u"qrc:/qt/qml/Quillmere/Ui/"_s + file));
    release();
}

void ViewHost::release()
{
    if (popoverVisible() || (m_settings && m_settings->isVisible()) || menuVisible())
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

QQuickWindow *ViewHost::ensureMenu()
{
    if (m_menu)
        return m_menu;
    m_menu = createWindow(u"PanelMenu.qml"_s);
    if (!m_menu)
        return nullptr;
    QObject::connect(m_menu, SIGNAL(chosen(int)), this, SIGNAL(menuChosen(int)));
    QObject::connect(m_menu, SIGNAL(dismissRequested()), this, SLOT(dismissMenu()));
    // A click anywhere else closes it, as it does the popover, and a click
    // on the panel button that closed it does not open it again.
    QObject::connect(m_menu, &QWindow::activeChanged, this, [this] {
        if (m_menu && !m_menu->isActive() && m_menu->isVisible()) {
            closeMenu();
            m_closedOnDeactivation.start();
        }
    });
    QObject::connect(m_menu, &QWindow::visibleChanged, this, &ViewHost::menuVisibleChanged);
    // Its items are built as it opens, and it grows to fit them.
    for (auto signal : {&QWindow::widthChanged, &QWindow::heightChanged})
        QObject::connect(m_menu, signal, this, &ViewHost::placeMenu);
    return m_menu;
}

void ViewHost::toggleMenuAt(QRect anchor, placement::Edge edge, const QList<MenuEntry> &entries)
{
    if (menuVisible()) {
        closeMenu();
        return;
    }
    if (closedByThisClick())
        return;
    QQuickWindow *window = ensureMenu();
    if (!window)
        return;
    QVariantList rows;
    for (const MenuEntry &entry : entries) {
        rows << QVariantMap {{u"id"_s, entry.id}, {u"text"_s, entry.label}, {u"enabled"_s, entry.enabled},
            {u"separator"_s, entry.separator}};
    }
    window->setProperty("entries", rows);
    m_menuButton = {anchor, edge};
    placeMenu();
    window->show();
    window->raise();
    window->requestActivate();
}

void ViewHost::placeMenu()
{
    if (!m_menu || !placesItself())
        return;
    const QRect &anchor = m_menuButton.first;
    const QScreen *screen = QGuiApplication::screenAt(anchor.topLeft());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    if (m_menu->screen() != screen)
        m_menu->setScreen(const_cast<QScreen *>(screen));
    m_menu->setPosition(placement::anchoredPosition(anchor, m_menuButton.second, m_menu->size(), screenOf(screen)));
}

void ViewHost::closeMenu()
{
    if (m_menu && m_menu->isVisible())
        m_menu->hide();
}

bool ViewHost::menuVisible() const
{
    return m_menu && m_menu->isVisible();
}
