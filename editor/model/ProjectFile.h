#pragma once
// The .fmo project file: identification text, stage settings, every element
// with both key states and the raw pixels of its picture, and the repeat flag;
// all integers 32-bit little-endian, strings stored with their zero byte.

#include "editor/model/Objekt.h"
#include "editor/model/StageSettings.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

extern const char* const ProjectSignature; // "Tarvelo Movi-Loomster 1.0"
extern const char* const ProjectOpenErrorText; // "ファイルを開くことができませんでした."
extern const char* const ProjectCreateErrorText; // "エラー: ファイルを作成できません"

struct ProjectLoadProblem;

// How the project file code talks to the window: message boxes (stop icon, OK
// button) and the updates after the project's file or contents changed.
class ProjectView {
public:
    virtual ~ProjectView() = default;
    virtual void showError(std::string_view utf8Text) = 0;
    // A project file that was refused (`path` as given to the loader): by
    // default only ProjectOpenErrorText; a window adds the file and the reason.
    virtual void showLoadError(const std::string& path, const ProjectLoadProblem& problem) {
        (void)path;
        (void)problem;
        showError(ProjectOpenErrorText);
    }
    virtual void projectFileNameChanged() {} // update the caption
    virtual void projectLoaded() {}          // rebuild the element list, repaint the stage
};
// The view in use; null shows nothing.
void SetProjectView(ProjectView* view);

// Where SaveProject writes its bytes. Tests replace it to inject failures.
class ProjectSink {
public:
    virtual ~ProjectSink() = default;
    virtual bool write(const void* data, size_t size) = 0;
};
using ProjectSinkFactory = std::function<std::unique_ptr<ProjectSink>(std::FILE* file)>;
void SetProjectSinkFactory(ProjectSinkFactory factory); // empty restores plain file writes

// Writes the project to `path` through a temporary file in the same folder
// that replaces the old file only when every byte was written. On failure
// shows ProjectCreateErrorText and leaves the old file and ProjectFileName as
// they were. Returns whether the file was saved.
bool SaveProject(const std::string& path);

// Why a project file was refused: an English sentence for the command-line
// programs and logs, with the byte offset where the reader found the damage
// (-1 when the file could not be opened or is not a regular file). The window
// shows it under ProjectOpenErrorText.
struct ProjectLoadProblem {
    std::string reason;
    int64_t offset = -1;
};

// Replaces the project by the file's contents. Anything but a regular file is
// refused before a byte is read (a named pipe never blocks). The whole file
// is checked first; a file that cannot be read, lacks the identification or
// is damaged anywhere (also one that shrinks while it is read) is shown to
// the view (showLoadError), leaves the open project untouched and, when
// `problem` is given, says why there.
bool LoadProject(const std::string& path, ProjectLoadProblem* problem = nullptr);

// LoadProject on the file's bytes in memory; `path` becomes ProjectFileName.
bool LoadProjectBytes(const unsigned char* data, size_t size, const std::string& path,
                      ProjectLoadProblem* problem = nullptr);

// The checks of LoadProject on bytes in memory, without touching the project
// or creating pictures.
bool ValidateProjectBytes(const unsigned char* data, size_t size,
                          ProjectLoadProblem* problem = nullptr);

// Test seam: called by LoadProject once the file is open and its size taken,
// before its bytes are read (a test changes the file there). Empty: none.
void SetProjectLoadHook(std::function<void()> hook);

// A copy of the project that outlives changes to it: for another thread to
// write, or for the clipboard. Its elements own their strings and share their
// pictures with the project (released with the snapshot).
struct ProjectSnapshot {
    ProjectSnapshot() = default;
    ProjectSnapshot(const ProjectSnapshot&) = delete;
    ProjectSnapshot& operator=(const ProjectSnapshot&) = delete;
    ~ProjectSnapshot();

    StageSettings settings;
    std::vector<Objekt> elements;
};

// The open project as it is now; cheap, pictures are shared, not copied.
std::unique_ptr<ProjectSnapshot> TakeProjectSnapshot();

// Writes a snapshot in the project format through a temporary file that
// replaces `path` only when complete. Shows nothing and changes neither the
// project nor ProjectFileName; safe on any thread. Returns whether it was written.
bool WriteProjectSnapshot(const ProjectSnapshot& snapshot, const std::string& path);

// The project-format bytes of a snapshot (the clipboard holds elements so).
std::vector<uint8_t> EncodeProjectBytes(const ProjectSnapshot& snapshot);

// Reads project-format bytes into `out` (appending its elements) with the
// checks of LoadProject, without touching the open project.
bool DecodeProjectBytes(const unsigned char* data, size_t size, ProjectSnapshot& out,
                        ProjectLoadProblem* problem = nullptr);
