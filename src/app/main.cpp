#include "commandline.h"
#include "guimodule.h"
#include "plasmapanel.h"
#include "remote.h"

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

// The rest of the program lives in a module, loaded only when needed, so
// that one-shot commands load nothing but Qt Core and D-Bus. It is found
// beside the program (a build tree) or in the installed library folder.
using ModuleEntry = int (*)(int, char **);
ModuleEntry loadModule(const char *entry, std::string &failure)
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
        if (auto function = reinterpret_cast<ModuleEntry>(::dlsym(module, entry)))
            return function;
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
    std::string failure;
    // The running instance: the module takes over before any application
    // object exists.
    if (parsed.error.isEmpty() && parsed.command.kind == Command::Kind::Run) {
        if (ModuleEntry run = loadModule(quillmereGuiRunEntry, failure))
            return run(argc, argv);
        std::fprintf(stderr, "quillmere-menubar: cannot load the program's module: %s\n", failure.c_str());
        return 1;
    }
    // Everything from here on is a one-shot command, windowless.
    QCoreApplication app(argc, argv);
    setApplicationNames();

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
        // No instance: work the line out here.
        ModuleEntry local = loadModule(quillmereLineLocalEntry, failure);
        if (!local) {
            printError(u"cannot load the program's module: %1"_s.arg(QString::fromStdString(failure)));
            return 1;
        }
        return local(argc, argv);
    }
    if (command.kind == Kind::AddToPanel) {
        runThenExit([]() -> QCoro::Task<int> {
            QString error;
            const plasmapanel::AddResult result = co_await plasmapanel::add(QDBusConnection::sessionBus(), &error);
            const bool done = result == plasmapanel::AddResult::Added || result == plasmapanel::AddResult::Present;
            if (done)
                printLine(plasmapanel::describe(result).toUtf8());
            else
                printError(error.isEmpty() ? plasmapanel::describe(result) : error);
            co_return done ? 0 : 1;
        });
        return app.exec();
    }
    runThenExit([&]() { return remote.run(command, password); });
    return app.exec();
}
