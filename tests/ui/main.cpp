// The runner of the view tests (tests/ui/tst_*.qml): every test file gets the
// views' module, the symbol images, and App on a Store of its own whose
// server is scripted by the QML singleton Rig (viewrig.h).

#include "appcontext.h"
#include "viewrig.h"

#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

Q_IMPORT_QML_PLUGIN(Quillmere_UiPlugin)

class Setup : public QObject {
    Q_OBJECT

public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        ui::setupEngine(*engine);
        if (!m_rig) {
            m_rig = new ViewRig(this);
            m_context = new AppContext(m_rig->store(), this);
            AppContext::setCurrent(m_context);
        }
        qmlRegisterSingletonInstance("Quillmere.Test", 1, 0, "Rig", m_rig);
    }

private:
    ViewRig *m_rig = nullptr;
    AppContext *m_context = nullptr;
};

QUICK_TEST_MAIN_WITH_SETUP(views, Setup)

#include "main.moc"
