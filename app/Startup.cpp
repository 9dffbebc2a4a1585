#include "app/Startup.h"

#include "app/imaging/MessageBoxBindingReporter.h"
#include "app/widgets/Modals.h"
#include "app/widgets/ProgramIcon.h"
#include "app/widgets/TAboutBox.h"
#include "editor/model/MainUnit.h"
#include "editor/window/TMainForm.h"
#include "platform/CommandLine.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <exception>
#include <memory>

namespace {

const char* const ApplicationTitle = "Movi-Loomster";

const char* const Usage = "usage: moviloomster [--] [PROJECT.fmo]\n";
const char* const Help =
    "usage: moviloomster [--] [PROJECT.fmo]\n"
    "The Movi-Loomster editor: opens PROJECT.fmo, or starts with a new project.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "  --             what follows is a project name, even when it starts with '-'\n"
    "\n"
    "Qt's own options (such as -platform NAME) are accepted too.\n"
    "Exit status: 0 when the window is closed, 1 when the image library cannot be\n"
    "loaded, 3 a usage error.\n";

// The project named on the command line, after Qt has taken its own options
// out. An unknown option or a second name is a usage error.
bool parseArguments(const QStringList& arguments, QString* project) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addPositionalArgument(QStringLiteral("project"), QString());
    if (!parser.parse(arguments) || parser.positionalArguments().size() > 1) {
        const QString why = parser.errorText().isEmpty() ? QStringLiteral("too many arguments")
                                                         : parser.errorText();
        std::fprintf(stderr, "moviloomster: %s\n%s", why.toLocal8Bit().constData(), Usage);
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) *project = parser.positionalArguments().first();
    return true;
}

void showErrorBox(const QString& text) {
    ShowStopMessage(nullptr, QString::fromUtf8(ApplicationTitle), text);
}

// Errors that escape an event handler are shown, and the program goes on.
class MoviApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            showErrorBox(QString::fromUtf8(e.what()));
        } catch (...) {
            showErrorBox(QStringLiteral("Unknown error"));
        }
        return false;
    }
};

} // namespace

int RunMoviLoomster(int argc, char** argv) {
    // The element list, the point list and the program folder text were set
    // up with the program's static data, before any window.
    // Answered before the application exists, so that they work without a display.
    if (platform::AnswerHelpOrVersion(argc, argv, "moviloomster", Help) == 0) return 0;
    MoviApplication app(argc, argv);
    QString project;
    if (!parseArguments(QCoreApplication::arguments(), &project)) return 3;
    try {
        // The name only: a display name would be appended to every window's
        // title bar (" — Movi-Loomster"), and the captions are exact texts.
        // Message boxes without a title still show this name.
        QApplication::setApplicationName(QString::fromUtf8(ApplicationTitle));
        QApplication::setWindowIcon(ProgramIcon());
        // The interface is Japanese whatever the desktop's language, so Qt's
        // own dialogs (files, colours, questions) speak Japanese too, when
        // the toolkit's translations are installed.
        QTranslator qtTexts;
        if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(&qtTexts);

        // The main window: its layout and caption, then its creation handler
        // (program folder, image library).
        TMainForm form;
        MessageBoxBindingReporter reporter([](const QString& caption, const QString& text) {
            ShowStopMessage(nullptr, caption, text);
        });
        const bool bound = form.FormCreate(reporter);
        // The about box, hidden until asked for.
        TAboutBox about(&form);
        form.SetAboutBox(&about);
        // Without the image library the program ends once its messages are read.
        if (!bound || reporter.terminateRequested()) return 1;

        form.show();
        // A project named on the command line opens as the open command opens it.
        const QString path = project.isEmpty() ? QString() : QFileInfo(project).absoluteFilePath();
        if (!path.isEmpty()) form.OpenProjectFile(path);
        // Unsaved work that an ended editor left for this project (or for an
        // unnamed one) is offered back.
        form.OfferRecovery(path);
        const int code = QApplication::exec();
        ClearObjekts();
        return code;
    } catch (const std::exception& e) {
        showErrorBox(QString::fromUtf8(e.what()));
    } catch (...) {
        showErrorBox(QStringLiteral("Unknown error"));
    }
    return 1;
}
