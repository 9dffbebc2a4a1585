#include "player/MoviePlayer.h"

#include "player/FrameRenderer.h"
#include "player/SwfReader.h"
#include "player/Timeline.h"

#include <QPainter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace player {

MoviePlayer::MoviePlayer() = default;
MoviePlayer::~MoviePlayer() = default;

bool MoviePlayer::load(const std::string& path, std::string* error) {
    const auto fail = [&](const std::string& why) {
        if (error) *error = "cannot open " + path + ": " + why;
        return false;
    };
    // Opened without blocking, so that a named pipe without a writer cannot
    // hang the caller; anything but a regular file is refused before a byte
    // is read (a device would otherwise be read without end).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(std::strerror(errno));
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const int saved = errno;
        ::close(fd);
        return fail(std::strerror(saved));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(S_ISDIR(st.st_mode)    ? "it is a folder, not a file"
                    : S_ISFIFO(st.st_mode) ? "it is a named pipe, not a regular file"
                    : S_ISSOCK(st.st_mode) ? "it is a socket, not a regular file"
                                           : "it is a device, not a regular file");
    }
    // At most the size the file had when it was opened.
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got < 0) {
            ::close(fd);
            if (error) *error = "cannot read " + path;
            return false;
        }
        if (got == 0) break;
        have += static_cast<size_t>(got);
    }
    ::close(fd);
    bytes.resize(have);
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

bool MoviePlayer::renderFrame(int frame, QPainter& painter, double scale,
                              const std::function<bool()>& stop) {
    RenderLimits limits;
    limits.stop = stop;
    return renderFrame(frame, painter, scale, limits);
}

bool MoviePlayer::renderFrame(int frame, QPainter& painter, double scale,
                              const RenderLimits& limits) {
    if (!m_movie) return true;
    return m_renderer->render(m_timeline->goTo(frame), painter, scale, limits);
}

const std::vector<std::string>& MoviePlayer::warnings() const {
    return m_warnings;
}

} // namespace player
