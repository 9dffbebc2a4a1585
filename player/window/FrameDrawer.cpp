#include "player/window/FrameDrawer.h"

#include "player/MoviePlayer.h"

#include <QMetaObject>
#include <QPainter>

namespace player {

FrameDrawer::FrameDrawer(MoviePlayer& player, QObject* receiver, Deliver deliver)
    : m_player(player), m_receiver(receiver), m_deliver(std::move(deliver)),
      m_thread([this] { run(); }) {}

FrameDrawer::~FrameDrawer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        ++m_generation;
    }
    m_wake.notify_all();
    m_thread.join();
}

void FrameDrawer::request(const DrawRequest& request, bool cancelCurrent) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pending == request || (!m_pending && m_busy == request)) return;
        m_pending = request;
        if (cancelCurrent && m_busy) ++m_generation;
    }
    m_wake.notify_all();
}

void FrameDrawer::run() {
    for (;;) {
        DrawRequest request;
        unsigned generation = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_busy.reset();
            m_wake.wait(lock, [this] { return m_quit || m_pending; });
            if (m_quit) return;
            request = *m_pending;
            m_pending.reset();
            m_busy = request;
            generation = m_generation;
        }
        QImage image(request.size, QImage::Format_ARGB32_Premultiplied);
        bool whole = true;
        if (!image.isNull()) {
            QPainter painter(&image);
            whole = m_player.renderFrame(request.frame, painter, request.scale,
                                         [&] { return m_generation.load() != generation; });
        }
        if (m_generation.load() != generation) continue; // cancelled: a newer one waits
        std::lock_guard<std::mutex> lock(m_mutex);
        QMetaObject::invokeMethod(
            m_receiver,
            [deliver = m_deliver, image, request, whole] { deliver(image, request, whole); },
            Qt::QueuedConnection);
    }
}

} // namespace player
