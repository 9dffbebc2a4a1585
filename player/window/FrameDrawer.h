#pragma once
// Draws a movie's frames on a thread of its own, so that the window answers
// while a costly frame is drawn. The newest request wins: a request replaces
// one still waiting, and one that cancels stops the frame being drawn
// between two of its objects.

#include <QImage>
#include <QObject>
#include <QSize>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace player {

class MoviePlayer;

struct DrawRequest {
    int frame = 0;
    double scale = 1;
    QSize size; // device pixels
    bool operator==(const DrawRequest& o) const {
        return frame == o.frame && scale == o.scale && size == o.size;
    }
};

class FrameDrawer {
public:
    // `deliver` is called on `receiver`'s thread with each finished frame
    // (`whole` false when it was drawn in part, see MoviePlayer::renderFrame).
    using Deliver =
        std::function<void(const QImage& image, const DrawRequest& request, bool whole)>;
    FrameDrawer(MoviePlayer& player, QObject* receiver, Deliver deliver);
    // Stops the frame being drawn (at its next object) and waits for the thread.
    ~FrameDrawer();
    FrameDrawer(const FrameDrawer&) = delete;
    FrameDrawer& operator=(const FrameDrawer&) = delete;

    // Asks for a frame. Playing asks without cancelling, so that a frame
    // slower than the frame rate is still finished and shown; a jump cancels.
    void request(const DrawRequest& request, bool cancelCurrent);

private:
    void run();

    MoviePlayer& m_player;
    QObject* m_receiver; // outlives the drawer
    Deliver m_deliver;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<DrawRequest> m_pending, m_busy;
    std::atomic<unsigned> m_generation{0};
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace player
