#include "platform/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace ostrel::platform {

namespace {

// The options QGuiApplication and QApplication take for themselves, so the parser accepts them and
// leaves them to Qt. They are left out of --help, as Qt's own documentation describes them.
constexpr const char *QtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry",
    "qwindowtitle", "title", "qwindowicon", "icon", "session", "display", "name", "visual",
    "style", "stylesheet", "qmljsdebugger",
};
constexpr const char *QtFlags[] = {"reverse", "widgetcount", "testability", "sync", "nograb", "dograb"};

} // namespace

std::optional<int> ReadCommandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    // Qt's options are single words after one dash (-platform xcb); --platform works as well.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("A stopwatch, a clock and a one-shot alarm."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    for (const char *name : QtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : QtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const auto usageError = [](const QString &what) {
        std::fprintf(stderr, "ostrel: %s See 'ostrel --help'.\n", qPrintable(what));
        return 2;
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help)) {
        // The help text names the program from the application object's arguments.
        QCoreApplication core(argc, argv);
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("ostrel %s\n", OSTREL_VERSION);
        return 0;
    }
    // The window system is chosen and probed before the application object reads these.
    if (parser.isSet(QStringLiteral("platform")))
        qputenv("QT_QPA_PLATFORM", parser.value(QStringLiteral("platform")).toLocal8Bit());
    if (parser.isSet(QStringLiteral("display")))
        qputenv("DISPLAY", parser.value(QStringLiteral("display")).toLocal8Bit());
    return std::nullopt;
}

} // namespace ostrel::platform
