#pragma once

#include "state/store.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqml.h>

class QFont;
class QJSEngine;
class QQmlEngine;

// What the views reach of the program, as the QML singleton App: the Store
// and the few host actions a view cannot do by itself (ending the program,
// opening the settings window). The one instance belongs to C++ and outlives
// every engine that shows it: the window module makes it, a view test makes
// its own with a Store on test services.
class AppContext : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(App)
    QML_SINGLETON
    Q_PROPERTY(Store *store READ store CONSTANT)
    Q_PROPERTY(QString defaultServerOrigin READ defaultServerOrigin CONSTANT)
    Q_PROPERTY(QString digitsFamily READ digitsFamily CONSTANT)

public:
    explicit AppContext(Store *store, QObject *parent = nullptr);
    ~AppContext() override;

    Store *store() const { return m_store; }
    static QString defaultServerOrigin();
    // The family figures are set in, so they keep their width from one value
    // to the next: the application font's own when its ten digits have one
    // advance (DejaVu Sans and many interface fonts), else the
    // system's fixed-width font.
    static QString digitsFamily(const QFont &font);
    QString digitsFamily() const;

    // The instance QML sees; set by whoever builds engines, before the first.
    static AppContext *current();
    static void setCurrent(AppContext *context);
    static AppContext *create(QQmlEngine *engine, QJSEngine *js);

    // Ends the program ("Quit").
    Q_INVOKABLE void quit();
    // Opens or raises the settings window.
    Q_INVOKABLE void openSettingsWindow();

Q_SIGNALS:
    void quitRequested();
    void settingsWindowRequested();

private:
    Store *m_store;
};

// Lets the views' code know the Store's properties and operations.
struct StoreForeign {
    Q_GADGET
    QML_FOREIGN(Store)
    QML_NAMED_ELEMENT(Store)
    QML_UNCREATABLE("The store belongs to the program.")
};

namespace ui {
// Prepares an engine for the views: the symbol image provider.
void setupEngine(QQmlEngine &engine);
} // namespace ui
