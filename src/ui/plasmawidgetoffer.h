#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QtQml/qqml.h>

#include <functional>

class QJSEngine;
class QQmlEngine;

// The settings window's offer to put the Plasma panel widget into a panel,
// as the QML singleton PlasmaWidget. The window module tells it how to find
// out whether to offer and how to add; without that (view tests, other
// hosts) nothing is offered.
class PlasmaWidgetOffer : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(PlasmaWidget)
    QML_SINGLETON
    // Plasma runs, the widget is installed and no panel holds it.
    Q_PROPERTY(bool offered READ offered NOTIFY changed)
    // Adding is under way.
    Q_PROPERTY(bool busy READ busy NOTIFY changed)
    // What the last attempt came to, for the user; empty before one.
    Q_PROPERTY(QString message READ message NOTIFY changed)

public:
    struct Outcome {
        bool inPanel = false;
        QString message;
    };
    using Check = std::function<QCoro::Task<bool>()>;
    using Add = std::function<QCoro::Task<Outcome>()>;

    static PlasmaWidgetOffer *instance();
    static PlasmaWidgetOffer *create(QQmlEngine *engine, QJSEngine *js);

    void setHost(Check check, Add add);

    bool offered() const { return m_offered; }
    bool busy() const { return m_busy; }
    QString message() const { return m_message; }

    // Finds out again whether to offer (the settings window does each time
    // it shows).
    Q_INVOKABLE void recheck();
    Q_INVOKABLE void add();

Q_SIGNALS:
    void changed();

private:
    // The one instance is instance(); QML gets it through create().
    PlasmaWidgetOffer() = default;

    QCoro::Task<> runCheck();
    QCoro::Task<> runAdd();

    Check m_check;
    Add m_add;
    bool m_offered = false;
    bool m_busy = false;
    QString m_message;
};
