// The save-movie and preview commands: the window's side of MovieCommands.

#include "editor/window/TMainForm.h"

#include "compiler/commands/MovieCommands.h"
#include "editor/model/MainUnit.h"
#include "player/window/PlayerRouting.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QStringList>

#include <filesystem>

namespace {

// The save dialog and the messages go through the window's seams; the
// progress dialog stands over the window.
class WindowMovieDialogs final : public MovieCommandDialogs {
public:
    explicit WindowMovieDialogs(TMainForm& form) : m_form(form) {}

    std::string askMoviePath(const std::string& current, std::string* filter) override {
        FileDialogRequest request;
        request.mode = FileDialogRequest::Save;
        request.name = QStringLiteral("SaveDialog1");
        request.filter = QString::fromStdString(MovieFileFilter());
        request.defaultSuffix = QString::fromUtf8(MovieDefaultSuffix);
        // The movie takes the project's name unless one was chosen for it.
        std::string proposed = current;
        if (proposed.empty() && !ProjectFileName.empty())
            proposed = std::filesystem::path(ProjectFileName)
                           .replace_extension(std::string(".") + MovieDefaultSuffix)
                           .string();
        request.fileName = QString::fromStdString(proposed);
        request.selectedFilter = QString::fromStdString(*filter);
        QString chosen;
        request.chosenFilter = &chosen;
        const std::string path = ChooseFile(&m_form, request).toStdString();
        *filter = chosen.toStdString();
        return path;
    }
    void showError(const std::string& text) override {
        m_form.ShowStopMessage(QString::fromStdString(text));
    }
    void showWarning(const std::string& text, const std::string& details) override {
        MessageRequest request;
        request.icon = QMessageBox::Warning;
        request.title = QGuiApplication::applicationDisplayName();
        request.text = QString::fromStdString(text);
        request.detailedText = QString::fromStdString(details);
        CurrentModals().message(&m_form, request);
    }
    std::unique_ptr<CompileProgress> startProgress(const ProgressLook& look) override {
        return MakeCompileProgressDialog(&m_form, look);
    }

private:
    TMainForm& m_form;
};

} // namespace

void TMainForm::runMovieCommand(bool preview) {
    WindowMovieDialogs dialogs(*this);
    MovieCommands commands(dialogs);
    // The last movie's name belongs to the project it was saved for; another
    // project (new, opened or saved under another name) starts from its own.
    if (m_movieProjectName != ProjectFileName) SaveDialog1FileName.clear();
    commands.setLastSavedPath(SaveDialog1FileName.toStdString());
    commands.setPageSource = [this](const std::vector<std::string>& lines) {
        QStringList text;
        for (const std::string& line : lines)
            text << QString::fromStdString(line);
        Memo1->setPlainText(text.join(u'\n'));
    };
    // The compiler has moved CurObjekt over every element; the selected row's
    // element is loaded again (with any start and end times it exchanged).
    commands.afterCompile = [this] { ListView1Click(); };
    commands.showMovie = [this](const std::string& path) { showMovie(path); };
    const MovieCommandOptions options{AutoLoadFlashCheck->isChecked(), CreateHTMLCheck->isChecked(),
                                      RepeatCheck->isChecked()};
    if (preview)
        commands.preview(options);
    else
        commands.saveMovie(options);
    SaveDialog1FileName = QString::fromStdString(commands.lastSavedPath());
    m_movieProjectName = ProjectFileName;
}

void TMainForm::showMovie(const std::string& path) {
    if (!m_playerRouting) m_playerRouting = std::make_unique<player::PlayerRouting>(this);
    m_playerRouting->show(path);
}

void TMainForm::CreateFlashBtnClick() {
    runMovieCommand(false);
}

void TMainForm::PlayBtnClick() {
    runMovieCommand(true);
}
