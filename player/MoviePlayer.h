#pragma once
// The built-in player's facade: reads an uncompressed SWF movie and draws any
// of its frames into a QPainter. The window and the headless render command
// both use it; it needs Qt Gui only.

#include "player/MovieInfo.h"
#include "player/RenderLimits.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPainter;

namespace player {

struct Movie;
class Timeline;
class FrameRenderer;

class MoviePlayer {
public:
    MoviePlayer();
    ~MoviePlayer();
    MoviePlayer(const MoviePlayer&) = delete;
    MoviePlayer& operator=(const MoviePlayer&) = delete;

    // false with a one-line reason in *error that names the tag and its byte
    // offset where the file is damaged. A failed load leaves no movie loaded.
    bool load(const std::string& path, std::string* error);
    bool loadBytes(std::vector<uint8_t> bytes, std::string* error);
    const MovieInfo& info() const;
    // Draws frame `frame` (0-based, clamped into range) on its background at
    // `scale` (1 = one stage pixel per device pixel) at the painter's origin.
    // A frame costs at most some 1.5 s of processor time: one that would
    // cost more, or that `stop` (asked as it goes) ends, is drawn in part
    // and false is returned.
    bool renderFrame(int frame, QPainter& painter, double scale,
                     const std::function<bool()>& stop = {});
    bool renderFrame(int frame, QPainter& painter, double scale, const RenderLimits& limits);
    const std::vector<std::string>& warnings() const; // e.g. skipped gradient fills

private:
    std::unique_ptr<Movie> m_movie;
    std::unique_ptr<Timeline> m_timeline;
    std::unique_ptr<FrameRenderer> m_renderer;
    MovieInfo m_info;
    std::vector<std::string> m_warnings;
};

} // namespace player
