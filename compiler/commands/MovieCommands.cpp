#include "compiler/commands/MovieCommands.h"

#include "compiler/CompileMovie.h"
#include "compiler/HtmlPage.h"
#include "editor/model/MainUnit.h"
#include "export/ProjectExport.h"
#include "platform/PreviewFolder.h"
#include "platform/ReplacingFile.h"
#include "svg/SvgMovie.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

const char* const MovieDefaultSuffix = "swf";
const char* const MovieNotWrittenMessage = "Ｆｌａｓｈファイルを保存することができませんでした.";
const char* const PageNotWrittenMessage = "ＨＴＭＬファイルを保存することができませんでした.";
const char* const MovieWarningsMessage =
    "Ｆｌａｓｈファイルを保存しましたが、次の点が省かれました：";
const char* const ExportNotWrittenMessage = "ファイルを保存することができませんでした.";
const char* const ExportWarningsMessage = "ファイルを保存しましたが、次の点が省かれました：";

std::string PreviewFileName() {
    return platform::ProcessOwnName("playtemp", ".swf");
}

const std::string& MovieFileFilter() {
    static const std::string filter = [] {
        std::string out;
        for (const movie_export::FormatInfo& f : movie_export::ExportFormats()) {
            if (!out.empty()) out += "|";
            out += std::string(f.filter) + "|*." + f.extension;
        }
        return out;
    }();
    return filter;
}

namespace {

bool g_running = false;

// The progress dialog: a label, a bar and a cancel button. It is created only
// when the compilation outlasts the delay; from then on events are let through
// every few frames so that it paints and its button can be pressed, while its
// application modality keeps every window of the program from taking input.
class QtCompileProgress final : public CompileProgress {
public:
    QtCompileProgress(QWidget* owner, const ProgressLook& look, int delayMs)
        : m_owner(owner), m_look(look), m_delayMs(delayMs) {
        m_clock.start();
        QApplication::setOverrideCursor(Qt::BusyCursor);
    }
    ~QtCompileProgress() override {
        if (m_dialog) m_dialog->hide();
        QApplication::restoreOverrideCursor();
    }

    void frameDone(int32_t frame, int32_t lastFrame) override {
        if (!m_dialog) {
            if (m_clock.elapsed() < m_delayMs) return;
            create();
        } else if (m_pumped.elapsed() < 30 && frame != lastFrame) {
            return;
        }
        m_bar->setRange(0, lastFrame + 1);
        m_bar->setValue(frame + 1);
        m_frames->setText(frame == lastFrame ? QStringLiteral("ファイルを書き込んでいます。。。")
                                             : frameText(frame, lastFrame));
        QCoreApplication::processEvents();
        m_pumped.start();
    }

    bool cancelRequested() override { return m_cancelled; }

private:
    // "フレーム k / N" of the movie's N frames; with two passes, which one.
    QString frameText(int32_t frame, int32_t lastFrame) const {
        const int32_t passes = std::max(1, m_look.passes);
        const int32_t frames = std::max<int32_t>(1, (lastFrame + 1) / passes);
        const int32_t pass = std::min(frame / frames, passes - 1);
        const QString text =
            QStringLiteral("フレーム %1 / %2").arg(frame - pass * frames + 1).arg(frames);
        if (passes == 1) return text;
        return text + (pass == 0 ? QStringLiteral("（組み立て）") : QStringLiteral("（書き出し）"));
    }

    void create() {
        m_dialog = std::make_unique<QDialog>(m_owner);
        m_dialog->setObjectName(QStringLiteral("CompileProgressDialog"));
        m_dialog->setWindowTitle(QApplication::applicationDisplayName());
        m_dialog->setWindowModality(Qt::ApplicationModal);
        auto* layout = new QVBoxLayout(m_dialog.get());
        auto* caption = new QLabel(QString::fromStdString(m_look.caption));
        caption->setObjectName(QStringLiteral("CaptionLabel"));
        layout->addWidget(caption);
        m_bar = new QProgressBar;
        m_bar->setTextVisible(false);
        layout->addWidget(m_bar);
        m_frames = new QLabel;
        m_frames->setObjectName(QStringLiteral("FramesLabel"));
        layout->addWidget(m_frames);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        auto* cancel = new QPushButton(QStringLiteral("キャンセル"));
        cancel->setObjectName(QStringLiteral("CancelBtn"));
        buttons->addWidget(cancel);
        layout->addLayout(buttons);
        // The button, Escape and the title bar's close all reject the dialog.
        QObject::connect(cancel, &QPushButton::clicked, m_dialog.get(), &QDialog::reject);
        QObject::connect(m_dialog.get(), &QDialog::rejected, [this] {
            m_cancelled = true;
            m_frames->setText(QStringLiteral("キャンセルしています。。。"));
        });
        m_dialog->setMinimumWidth(360);
        m_dialog->show();
        m_pumped.start();
    }

    QWidget* m_owner;
    ProgressLook m_look;
    int m_delayMs;
    QElapsedTimer m_clock, m_pumped;
    std::unique_ptr<QDialog> m_dialog;
    QProgressBar* m_bar = nullptr;
    QLabel* m_frames = nullptr;
    bool m_cancelled = false;
};

} // namespace

std::unique_ptr<CompileProgress> MakeCompileProgressDialog(QWidget* owner, const ProgressLook& look,
                                                           int delayMs) {
    return std::make_unique<QtCompileProgress>(owner, look, delayMs);
}

bool MovieCommands::running() {
    return g_running;
}

namespace {

// The format of a chosen path: its extension's when it names one, else the
// chosen filter's, whose extension is then added (an SWF keeps the name as
// typed, as it always has).
const movie_export::FormatInfo& formatOfChoice(std::string* path, const std::string& filter) {
    if (const movie_export::FormatInfo* byPath = movie_export::FormatForPath(*path)) return *byPath;
    for (const movie_export::FormatInfo& f : movie_export::ExportFormats())
        if (filter == f.filter) {
            if (f.kind != movie_export::FormatKind::Movie) *path += std::string(".") + f.extension;
            return f;
        }
    return movie_export::Format(movie_export::ExportFormat::Swf);
}

} // namespace

MovieCommandResult MovieCommands::saveMovie(const MovieCommandOptions& options) {
    if (g_running) return {MovieCommandStatus::Busy, {}, {}, {}};
    // The dialog starts with the format saved last.
    const movie_export::FormatInfo* last = movie_export::FormatForPath(m_lastSaved);
    std::string filter = last ? last->filter : "";
    std::string path = m_dialogs.askMoviePath(m_lastSaved, &filter);
    if (path.empty()) return {MovieCommandStatus::DialogCancelled, {}, {}, {}};
    const movie_export::FormatInfo& format = formatOfChoice(&path, filter);
    m_lastSaved = path;
    if (format.kind != movie_export::FormatKind::Movie)
        return exportAndShow(path, format.format, options);
    return compileAndShow(path, options);
}

MovieCommandResult MovieCommands::exportAndShow(const std::string& path,
                                                movie_export::ExportFormat format,
                                                const MovieCommandOptions& options) {
    MovieCommandResult result;
    result.moviePath = path;
    movie_export::ProjectExportResult exported;
    {
        struct RunningFlag {
            RunningFlag() { g_running = true; }
            ~RunningFlag() { g_running = false; }
        } running;
        // "GIF アニメーション (*.gif)": the caption names "GIF アニメーション".
        const std::string filter = movie_export::Format(format).filter;
        ProgressLook look;
        look.caption = filter.substr(0, filter.find(" (")) + "を作成しています。。。";
        look.passes = format == movie_export::ExportFormat::Svg ? 1 : 2;
        const std::unique_ptr<CompileProgress> progress = m_dialogs.startProgress(look);
        movie_export::ExportOptions exporting;
        exporting.outputPath = path;
        exporting.format = format;
        exporting.progress = [&](int done, int total) { progress->frameDone(done, total - 1); };
        exporting.cancelRequested = [&] { return progress->cancelRequested(); };
        if (format == movie_export::ExportFormat::Svg) {
            // Written from the compiler's decisions, not from frames.
            svg::SvgOptions writing;
            writing.outputPath = path;
            writing.progress = [&](int32_t frame, int32_t last) {
                progress->frameDone(frame, last);
            };
            writing.cancelRequested = exporting.cancelRequested;
            const svg::SvgResult written = svg::WriteSvgMovie(writing);
            if (afterCompile) afterCompile();
            exported.written = written.written;
            exported.cancelled = written.cancelled;
            exported.warnings = written.warnings;
        } else {
            exported = movie_export::ExportProject(exporting, afterCompile);
        }
    }
    if (exported.cancelled) {
        result.status = MovieCommandStatus::CompileCancelled;
        return result;
    }
    if (!exported.written) {
        result.status = MovieCommandStatus::MovieNotWritten;
        m_dialogs.showError(std::string(ExportNotWrittenMessage) + "\n" + path);
        return result;
    }
    reportWarnings(ExportWarningsMessage, exported.warnings);
    if (options.showAfterSaving) {
        result.opened = path;
        if (showMovie) showMovie(path);
    }
    return result;
}

void MovieCommands::reportWarnings(const char* heading, const std::vector<std::string>& warnings) {
    if (warnings.empty()) return;
    // A box of a thousand lines would not fit the screen (its OK button
    // beyond the bottom): the first lines, the count of the rest, and the
    // whole list behind the box's details button.
    std::string text = heading, details;
    const size_t shown = std::min(warnings.size(), kWarningLinesShown);
    for (size_t i = 0; i < shown; ++i)
        text += "\n" + warnings[i];
    if (shown < warnings.size()) {
        text += "\n…ほか " + std::to_string(warnings.size() - shown) + " 件";
        for (const std::string& w : warnings)
            details += (details.empty() ? "" : "\n") + w;
    }
    m_dialogs.showWarning(text, details);
}

MovieCommandResult MovieCommands::preview(const MovieCommandOptions& options) {
    if (g_running) return {MovieCommandStatus::Busy, {}, {}, {}};
    const std::string folder = platform::PreviewFolder(ProgramDir);
    platform::RemoveNamesOfEndedProcesses(folder, "playtemp");
    return compileAndShow(folder + PreviewFileName(), options);
}

MovieCommandResult MovieCommands::compileAndShow(const std::string& moviePath,
                                                 const MovieCommandOptions& options) {
    MovieCommandResult result;
    result.moviePath = moviePath;
    const std::vector<std::string> lines =
        BuildHtmlPage(Stage.width(), Stage.height(), FileNamePart(moviePath), options.repeat);
    if (options.createHtml) result.pagePath = HtmlPagePath(moviePath);

    CompileResult compiled;
    bool pageFailed = false;
    {
        struct RunningFlag {
            RunningFlag() { g_running = true; }
            ~RunningFlag() { g_running = false; }
        } running;
        const std::unique_ptr<CompileProgress> progress =
            m_dialogs.startProgress({"Ｆｌａｓｈを作成しています。。。", 1});
        CompileOptions compile;
        compile.outputPath = moviePath;
        compile.progress = [&](int32_t frame, int32_t last) { progress->frameDone(frame, last); };
        compile.cancelRequested = [&] { return progress->cancelRequested(); };
        compile.afterCompile = afterCompile;
        // The movie and its page replace the old pair together or not at
        // all; either way nothing is left beside them once CompileMovie
        // returns, before any message is shown.
        if (options.createHtml)
            compile.replaceMovie = [&](platform::ReplacingFile& movie) {
                platform::ReplacingFile page(result.pagePath);
                WriteHtmlLines(page, lines);
                if (platform::ReplacingFile::CommitTogether(movie, page)) return true;
                pageFailed = movie.error() == 0;
                return false;
            };
        compiled = CompileMovie(compile);
    }
    if (compiled.cancelled) {
        result.status = MovieCommandStatus::CompileCancelled;
        return result;
    }
    if (setPageSource) setPageSource(lines);

    if (pageFailed) {
        result.status = MovieCommandStatus::PageNotWritten;
        m_dialogs.showError(std::string(PageNotWrittenMessage) + "\n" + result.pagePath);
        return result;
    }
    if (!compiled.written) {
        result.status = MovieCommandStatus::MovieNotWritten;
        m_dialogs.showError(std::string(MovieNotWrittenMessage) + "\n" + moviePath);
        return result;
    }
    const std::string shown = options.createHtml ? result.pagePath : moviePath;
    // The movie was written, but the user has to learn what it left out
    // (an over-long text, a movie cut at its frame limit); the movie is still
    // shown afterwards.
    reportWarnings(MovieWarningsMessage, compiled.warnings);
    if (options.showAfterSaving) {
        result.opened = shown;
        if (showMovie) showMovie(shown);
    }
    return result;
}
