#include "editor/stage/MoviePreview.h"

#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "player/MoviePlayer.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

struct MoviePreview::Result {
    uint64_t generation = 0;
    int fps = 12;
    std::unique_ptr<player::MoviePlayer> movie; // null when it could not be made
};

MoviePreview::MoviePreview(QObject* parent) : QObject(parent) {}

MoviePreview::~MoviePreview() {
    ++m_generation; // cancels the compilation at its next frame
    if (m_worker.joinable()) m_worker.join();
}

void MoviePreview::invalidate() {
    ++m_generation;
    m_movie.reset();
    m_image = QImage();
    m_imageFrame = -1;
    m_wanted = false;
}

void MoviePreview::prepare() {
    if (m_movie || m_failedGeneration == m_generation) return;
    if (m_running) {
        // A stale compilation stops at its next frame; the new one follows.
        if (m_runningGeneration != m_generation) m_wanted = true;
        return;
    }
    start();
}

void MoviePreview::start() {
    std::shared_ptr<const ProjectSnapshot> snapshot = TakeProjectSnapshot();
    const uint64_t generation = m_generation;
    if (m_worker.joinable()) m_worker.join(); // a finished, collected compilation
    m_running = true;
    m_runningGeneration = generation;
    m_worker = std::thread([this, snapshot = std::move(snapshot), generation]() mutable {
        auto result = std::make_unique<Result>();
        result->generation = generation;
        result->fps = snapshot->settings.framesPerSecond();
        CompileOptions options;
        options.inMemory = true;
        options.project = snapshot.get();
        options.cancelRequested = [this, generation] { return m_generation != generation; };
        CompileResult compiled = CompileMovie(options);
        snapshot.reset();
        if (compiled.written) {
            auto movie = std::make_unique<player::MoviePlayer>();
            std::string error;
            if (movie->loadBytes(std::move(compiled.movie), &error))
                result->movie = std::move(movie);
        }
        {
            const std::lock_guard lock(m_mutex);
            m_finished = std::move(result);
        }
        QMetaObject::invokeMethod(
            this, [this] { collect(); }, Qt::QueuedConnection);
    });
}

void MoviePreview::collect() {
    std::unique_ptr<Result> result;
    {
        const std::lock_guard lock(m_mutex);
        result = std::move(m_finished);
    }
    if (!result) return; // already collected by waitForCompilation
    if (m_worker.joinable()) m_worker.join();
    m_running = false;
    if (result->generation == m_generation) {
        if (!result->movie) {
            m_failedGeneration = result->generation;
            return;
        }
        m_movie = std::move(result->movie);
        m_fps = result->fps;
        m_imageFrame = -1;
        emit movieReady();
    } else if (m_wanted) {
        m_wanted = false;
        start();
    }
}

void MoviePreview::waitForCompilation() {
    while (m_running) {
        if (m_worker.joinable()) m_worker.join();
        collect();
    }
}

int MoviePreview::frameAt(int64_t timeMs, int fps, int frameCount) {
    if (timeMs < 0 || fps <= 0) return 0;
    const int64_t frame = ((timeMs + 1) * fps - 1) / 1000;
    return static_cast<int>(std::clamp<int64_t>(frame, 0, std::max(frameCount - 1, 0)));
}

QImage MoviePreview::frameImage(int64_t timeMs) {
    if (!m_movie) return {};
    const player::MovieInfo& info = m_movie->info();
    const int frame = frameAt(timeMs, m_fps, info.frameCount);
    if (frame == m_imageFrame && !m_image.isNull()) return m_image;
    QImage image(std::max(info.width, 1), std::max(info.height, 1),
                 QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return {};
    {
        QPainter painter(&image);
        m_movie->renderFrame(frame, painter, 1.0);
    }
    m_image = image;
    m_imageFrame = frame;
    return m_image;
}

namespace {

// 64-bit FNV-1a.
struct Digest {
    uint64_t value = 14695981039346656037u;
    void add(const void* data, size_t size) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i)
            value = (value ^ p[i]) * 1099511628211u;
    }
    template <class T> void add(const T& v) { add(&v, sizeof v); }
    void add(const char* text) {
        if (text)
            add(text, std::strlen(text) + 1);
        else
            add(uint8_t(0xFF));
    }
};

} // namespace

uint64_t MoviePreview::ProjectFingerprint() {
    Digest d;
    d.add(ObjektList.Count);
    for (int32_t i = 0; i < ObjektList.Count; ++i) {
        const Objekt& o = ObjektAt(i);
        d.add(o.Start);
        d.add(o.End);
        d.add(o.Kind);
        d.add(o.DrawKind);
        d.add(o.DeleteAtEnd);
        d.add(o.Text);
        d.add(o.FontName);
        // Pictures never change in place: their pixel block stands for them.
        d.add(o.Picture.Bits);
    }
    d.add(Stage.width());
    d.add(Stage.height());
    d.add(Stage.framesPerSecond());
    d.add(Stage.backgroundColor());
    return d.value;
}
