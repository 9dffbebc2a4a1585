#pragma once
// The .fmo project file: identification text, stage settings, every element
// with both key states and the raw pixels of its picture, and the repeat flag;
// all integers 32-bit little-endian, strings stored with their zero byte.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

extern const char* const ProjectSignature; // "Tarvelo Movi-Loomster 1.0"
extern const char* const ProjectOpenErrorText; // "ファイルを開くことができませんでした."
extern const char* const ProjectCreateErrorText; // "エラー: ファイルを作成できません"

// How the project file code talks to the window: message boxes (stop icon, OK
// button) and the updates after the project's file or contents changed.
class ProjectView {
public:
    virtual ~ProjectView() = default;
    virtual void showError(std::string_view utf8Text) = 0;
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

// Replaces the project by the file's contents. The whole file is checked
// first; a file that cannot be read, lacks the identification or is damaged
// anywhere shows ProjectOpenErrorText and leaves the open project untouched.
bool LoadProject(const std::string& path);

// LoadProject on the file's bytes in memory; `path` becomes ProjectFileName.
bool LoadProjectBytes(const unsigned char* data, size_t size, const std::string& path);

// The checks of LoadProject on bytes in memory, without touching the project.
bool ValidateProjectBytes(const unsigned char* data, size_t size);
