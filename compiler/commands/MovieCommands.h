#pragma once
// The save-movie and preview commands: compile the project into a movie, put
// the HTML page's source into the window, write the page beside the movie and
// have the window show the page (or the movie). Everything modal
// (the save dialog, the messages, the progress display) goes through
// MovieCommandDialogs, so that tests run the commands without a window.

#include "export/ExportFormat.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

// The save dialog of movies: its filters ("description|patterns|..."), one
// per format with SWF first ("Flash (*.swf)|*.swf|GIF アニメーション
// (*.gif)|*.gif|..."), and the extension it adds when no filter says another.
const std::string& MovieFileFilter();
extern const char* const MovieDefaultSuffix; // "swf"
// The preview movie's file name: one of each running editor's own
// ("playtemp-<process id>.swf"), so that editors side by side never show
// each other's preview.
std::string PreviewFileName();
// The messages of the two write failures; the path follows on a line of its own.
extern const char* const MovieNotWrittenMessage;
extern const char* const PageNotWrittenMessage;
// The message of a failed export into another format (GIF, WebP, ...); the
// path follows on a line of its own.
extern const char* const ExportNotWrittenMessage;
// Heads the compiler's warnings (one per line) after a movie that was written
// with something left out.
extern const char* const MovieWarningsMessage;
extern const char* const ExportWarningsMessage; // the same after an export
// The most warnings a box lists; "…ほか N 件" counts the rest, and the whole
// list is in the box's details.
inline constexpr size_t kWarningLinesShown = 10;

// The progress display of one compilation, fed after every frame.
class CompileProgress {
public:
    virtual ~CompileProgress() = default;
    // Frame `frame` of frames 0 to `lastFrame` has been built.
    virtual void frameDone(int32_t frame, int32_t lastFrame) = 0;
    // Asked after every frame: true stops the compilation.
    virtual bool cancelRequested() = 0;
};

// What a progress display shows: its caption, and how many passes over the
// movie's frames the work makes. An animation is compiled into a movie whose
// frames are then drawn and encoded: two passes, reported as one run of
// frames 0 to 2N - 1, which the bar shows as one run and the label as frames
// of the movie's N.
struct ProgressLook {
    std::string caption; // "Ｆｌａｓｈを作成しています。。。"
    int passes = 1;
};

class MovieCommandDialogs {
public:
    virtual ~MovieCommandDialogs() = default;
    // The movie save dialog, starting with `current` (may be empty) and the
    // filter *filter (a description of MovieFileFilter(), such as
    // "GIF アニメーション (*.gif)"; empty: the first). Returns the chosen path,
    // or an empty text when the user cancelled, and leaves the filter the
    // user chose in *filter.
    virtual std::string askMoviePath(const std::string& current, std::string* filter) = 0;
    // A message with the stop icon and an OK button (UTF-8 text).
    virtual void showError(const std::string& text) = 0;
    // A message with the warning icon and an OK button; `details` (may be
    // empty) is shown when the user asks for the box's details.
    virtual void showWarning(const std::string& text, const std::string& details) = 0;
    // The progress display of a compilation that is about to start; it is
    // closed when the returned object is destroyed.
    virtual std::unique_ptr<CompileProgress> startProgress(const ProgressLook& look) = 0;
};

// The real progress display: a dialog owned by `owner` that appears once the
// compilation has taken `delayMs`, with a bar and a cancel button. It is
// application-modal, so no window takes input while the compilation runs.
std::unique_ptr<CompileProgress> MakeCompileProgressDialog(QWidget* owner, const ProgressLook& look,
                                                           int delayMs = 500);

// The three check boxes of the save page.
struct MovieCommandOptions {
    bool showAfterSaving = true; // open the page (or the movie) afterwards
    bool createHtml = true;      // write the page beside the movie
    bool repeat = true;          // off: the page tells the player not to loop
};

enum class MovieCommandStatus {
    Done,             // the movie (and the page, when asked) written
    DialogCancelled,  // the save dialog was cancelled: nothing happened
    CompileCancelled, // the compilation was cancelled: nothing written or opened
    MovieNotWritten,  // reported to the user; the old files kept, nothing opened
    PageNotWritten,   // reported to the user; the old movie and page kept, nothing opened
    Busy,             // another movie command is still running: ignored
};

struct MovieCommandResult {
    MovieCommandStatus status = MovieCommandStatus::Done;
    std::string moviePath; // empty when the save dialog was cancelled
    std::string pagePath;  // empty when no page was asked for
    std::string opened;    // what was handed to showMovie, if anything
};

// The two commands of one window. They read the element list and the stage
// settings of the project (MainUnit) and compile on the calling thread.
class MovieCommands {
public:
    explicit MovieCommands(MovieCommandDialogs& dialogs) : m_dialogs(dialogs) {}

    // Receives the page source, one line per entry, whenever a compilation
    // ran to its end (the window's memo).
    std::function<void(const std::vector<std::string>& lines)> setPageSource;
    // Shows what a command made when "show after saving" is on: the page, or
    // without one the movie or animation itself. The window decides how (its
    // own player, or the desktop's handler).
    std::function<void(const std::string& path)> showMovie;
    // Called after every compilation, also a cancelled one: the compiler has
    // moved CurObjekt over the elements, and the window selects its element again.
    std::function<void()> afterCompile;

    // Asks for a path, then compiles there. The extension typed, or else the
    // filter chosen, picks the format: an SWF movie with its page as always,
    // or an animation or video of the movie's frames (no page; "show after
    // saving" opens the file itself).
    MovieCommandResult saveMovie(const MovieCommandOptions& options);
    // Compiles to PreviewFileName() in PreviewFolder(ProgramDir) without
    // asking, after removing the previews that ended editors left there.
    MovieCommandResult preview(const MovieCommandOptions& options);

    // The path the save dialog starts with: the last movie the user saved.
    const std::string& lastSavedPath() const { return m_lastSaved; }
    void setLastSavedPath(const std::string& path) { m_lastSaved = path; }

    // Whether a movie command of any window is running (its compilation lets
    // the progress dialog's events through).
    static bool running();

private:
    MovieCommandResult compileAndShow(const std::string& moviePath,
                                      const MovieCommandOptions& options);
    void reportWarnings(const char* heading, const std::vector<std::string>& warnings);
    MovieCommandResult exportAndShow(const std::string& path, movie_export::ExportFormat format,
                                     const MovieCommandOptions& options);

    MovieCommandDialogs& m_dialogs;
    std::string m_lastSaved;
};
