#pragma once
// The movie as it will play, for the stage's time slider: the project is
// compiled in memory on a worker thread from a snapshot, kept while the
// project does not change, and any of its frames is drawn by the built-in
// player's renderer, exactly as the player and the render command draw it.

#include <QImage>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace player {
class MoviePlayer;
}

class MoviePreview : public QObject {
    Q_OBJECT
public:
    explicit MoviePreview(QObject* parent = nullptr);
    // Abandons a running compilation and waits for its thread.
    ~MoviePreview() override;

    // The project has changed: the compiled movie is dropped and a running
    // compilation abandoned (its result is never shown).
    void invalidate();
    // Starts compiling a snapshot of the project (taken now, on the calling
    // thread) unless the movie of the current project is ready or on its way.
    void prepare();
    bool ready() const { return m_movie != nullptr; }

    // The frame shown at `timeMs` milliseconds: the last one whose time
    // (1000 * frame / fps, truncated) is not later, within the movie.
    static int frameAt(int64_t timeMs, int fps, int frameCount);
    // The frame at `timeMs` of the compiled movie, stage-sized, on its
    // background; a null image while the movie is not ready. The last frame
    // drawn is kept, so asking for the same frame again costs nothing.
    QImage frameImage(int64_t timeMs);

    // A digest of everything a compilation reads (ObjektList without the
    // compiler's working fields, the texts, font names, pictures and Stage):
    // it differs after any change to the project.
    static uint64_t ProjectFingerprint();

    // Blocks until no compilation is running (tests and benchmarks), then
    // delivers its result as the event loop would.
    void waitForCompilation();

signals:
    // A compiled movie of the current project became ready.
    void movieReady();

private:
    struct Result;
    void start();
    void collect();

    std::unique_ptr<player::MoviePlayer> m_movie;
    int m_fps = 12;
    // Counts the project's changes; a compilation of an older count is stale.
    std::atomic<uint64_t> m_generation{0};
    std::thread m_worker;
    bool m_running = false; // m_worker's result has not been collected yet
    uint64_t m_runningGeneration = 0;
    uint64_t m_failedGeneration = UINT64_MAX; // this project could not be compiled
    bool m_wanted = false;                    // compile again once the running (stale) one is in
    std::mutex m_mutex;                       // guards m_finished
    std::unique_ptr<Result> m_finished;       // handed over by the worker
    QImage m_image;
    int m_imageFrame = -1;
};
