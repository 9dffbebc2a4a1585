#pragma once
// The project's stage settings, kept apart from any window so that the project
// file and the compiler can read them headless. The window binds its controls
// to this object. Out-of-range values move to the nearer limit, as the spin
// edits of the window do.

#include <cstdint>

class StageSettings {
public:
    static constexpr int32_t MinSize = 1, MaxSize = 2880;
    static constexpr int32_t MinFps = 1, MaxFps = 120;

    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    int32_t framesPerSecond() const { return m_fps; }
    int32_t backgroundColor() const { return m_background; } // COLORREF
    bool repeat() const { return m_repeat; }
    bool createHtml() const { return m_createHtml; }
    bool showAfterSaving() const { return m_showAfterSaving; }

    void setWidth(int64_t v) { m_width = clamp(v, MinSize, MaxSize); }
    void setHeight(int64_t v) { m_height = clamp(v, MinSize, MaxSize); }
    void setFramesPerSecond(int64_t v) { m_fps = clamp(v, MinFps, MaxFps); }
    void setBackgroundColor(int32_t c) { m_background = c; }
    void setRepeat(bool on) { m_repeat = on; }
    void setCreateHtml(bool on) { m_createHtml = on; }
    void setShowAfterSaving(bool on) { m_showAfterSaving = on; }

private:
    static int32_t clamp(int64_t v, int32_t lo, int32_t hi) {
        return static_cast<int32_t>(v < lo ? lo : (v > hi ? hi : v));
    }

    int32_t m_width = 550;
    int32_t m_height = 400;
    int32_t m_fps = 12;
    int32_t m_background = 0x00FFFFFF;
    bool m_repeat = true;
    bool m_createHtml = true;
    bool m_showAfterSaving = true;
};
