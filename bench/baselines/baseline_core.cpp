// The start-up baseline of a one-shot command: a bare QCoreApplication that
// starts its event loop and ends.

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
