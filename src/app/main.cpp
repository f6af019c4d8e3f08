#include "appservices.h"
#include "commandline.h"
#include "guimodule.h"
#include "instance.h"
#include "remote.h"
#include "serve.h"
#include "state/store.h"
#include "statusline.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// The password for --connect: standard input as given, without the one line
// break that ends it.
QString readPassword()
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = input.readAll();
    if (bytes.endsWith("\r\n"))
        bytes.chop(2);
    else if (bytes.endsWith('\n'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

// Runs body once the event loop runs, and ends the loop with its exit code.
template<class Body> void runThenExit(Body body)
{
    QTimer::singleShot(0, QCoreApplication::instance(), [body]() mutable {
        [](Body body) -> QCoro::Task<> {
            const int code = co_await body();
            QCoreApplication::exit(code);
        }(std::move(body));
    });
}

// --line with no running instance: restore here, print, and end.
int printLineInProcess(const Command &command, QCoreApplication &app)
{
    Store &store = sharedStore(command, false);
    QObject::connect(&store, &Store::changed, &app, [&store, json = command.json] {
        if (store.restoring())
            return;
        const StatusLine line = StatusLine::of(store);
        printLine(json ? line.json() : line.plain().toUtf8());
        QCoreApplication::exit(0);
    });
    return app.exec();
}

// The window side lives in a module of its own, loaded only here, so that
// one-shot commands never load Qt Quick. It is found beside the program (a
// build tree) or in the installed library folder.
using GuiRun = int (*)(int, char **);
GuiRun loadWindowSide(std::string &failure)
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        failure = "cannot find the program's own folder";
        return nullptr;
    }
    self[length] = '\0';
    std::string folder(self);
    folder.erase(folder.rfind('/') + 1);
    const char *override = std::getenv("QUILLMERE_GUI_MODULE");
    const std::string candidates[] = {
        override ? std::string(override) : std::string(),
        folder + "quillmere-gui.so",
        folder + QUILLMERE_GUI_MODULE_FROM_BIN,
    };
    for (const std::string &path : candidates) {
        if (path.empty() || ::access(path.c_str(), R_OK) != 0)
            continue;
        void *module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            failure = ::dlerror();
            return nullptr;
        }
        if (auto run = reinterpret_cast<GuiRun>(::dlsym(module, quillmereGuiEntry)))
            return run;
        failure = path + ": no entry point";
        return nullptr;
    }
    failure = "quillmere-gui.so not found";
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    const Command::Parsed parsed = Command::parse(argumentsOf(argc, argv));
    // The running instance has windows: hand over to the window side before
    // any application object exists. Without it the instance still serves
    // the line, windowless.
    std::string windowSideFailure;
    if (parsed.error.isEmpty() && parsed.command.kind == Command::Kind::Run
        && !qEnvironmentVariableIsSet("QUILLMERE_NO_WINDOWS")) {
        if (GuiRun run = loadWindowSide(windowSideFailure)) {
            const int code = run(argc, argv);
            if (code != quillmereGuiNoDisplay)
                return code;
            windowSideFailure = "no display";
        }
    }
    // Everything from here on stays windowless.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quillmere-menubar"_s);
    QCoreApplication::setOrganizationDomain(u"velmorcraft.com"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION));

    if (!parsed.error.isEmpty()) {
        printError(parsed.error);
        std::fputs("Try 'quillmere-menubar --help'.\n", stderr);
        return 2;
    }
    const Command &command = parsed.command;
    using Kind = Command::Kind;
    switch (command.kind) {
    case Kind::Help:
        printLine(Command::helpText().trimmed().toUtf8());
        return 0;
    case Kind::Version:
        printLine("quillmere-menubar " QUILLMERE_VERSION);
        return 0;
    case Kind::Run:
        if (!windowSideFailure.empty())
            printError(u"running without windows (%1)."_s.arg(QString::fromStdString(windowSideFailure)));
        return serveInstance(command);
    default:
        break;
    }

    const QString password = command.passwordFromStdin ? readPassword() : QString();
    RemoteInstance remote(QDBusConnection::sessionBus());
    if (command.kind == Kind::Line) {
        bool instanceRuns = false;
        runThenExit([&]() -> QCoro::Task<int> {
            const std::optional<int> code = co_await remote.lineIfRunning(command.json);
            instanceRuns = code.has_value();
            co_return code.value_or(0);
        });
        const int code = app.exec();
        if (instanceRuns)
            return code;
        return printLineInProcess(command, app);
    }
    runThenExit([&]() { return remote.run(command, password); });
    return app.exec();
}
