#include "player/MoviePlayer.h"

#include "player/FrameRenderer.h"
#include "player/SwfReader.h"
#include "player/Timeline.h"

#include <QPainter>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace player {

MoviePlayer::MoviePlayer() = default;
MoviePlayer::~MoviePlayer() = default;

bool MoviePlayer::load(const std::string& path, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    return loadBytes(std::move(bytes), error);
}

bool MoviePlayer::loadBytes(std::vector<uint8_t> bytes, std::string* error) {
    m_renderer.reset();
    m_timeline.reset();
    m_movie.reset();
    m_info = MovieInfo();
    m_warnings.clear();
    auto movie = std::make_unique<Movie>();
    if (!readSwf(bytes, movie.get(), error)) return false;
    m_movie = std::move(movie);
    m_info = m_movie->info;
    m_warnings = m_movie->warnings;
    m_timeline = std::make_unique<Timeline>(*m_movie);
    m_renderer = std::make_unique<FrameRenderer>(*m_movie);
    return true;
}

const MovieInfo& MoviePlayer::info() const {
    return m_info;
}

void MoviePlayer::renderFrame(int frame, QPainter& painter, double scale) {
    if (!m_movie) return;
    m_renderer->render(m_timeline->goTo(frame), painter, scale);
}

const std::vector<std::string>& MoviePlayer::warnings() const {
    return m_warnings;
}

} // namespace player
