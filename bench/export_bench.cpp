// WebM export at 550 x 400 on one core: the CPU time our VP9 encoder and
// container take for the frames of the shipped example (12 fps) and of a
// generated 200-element movie (30 fps, 1,800 frames), against ffmpeg's
// libvpx-vp9 fed the same frames through a pipe. Counters: speed as a multiple
// of real time, file size, and agreement of the decoded video with the
// renderer's frames (share of pixels within 24 levels, and PSNR).
// Rendering is not counted on either side. Run on one core:
//     taskset -c 0 build/bench/bin/export_bench
#include "BenchSupport.h"
#include "export/webm/WebmExporter.h"
#include "player/MoviePlayer.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace movibench;

// The 200-element project of BenchSupport's MovingProject: each text shown
// for ten seconds, each picture for twenty.
const std::string& largeMovie() {
    static const std::string path = [] {
        buildMovingProject();
        return compileToScratch("large.swf");
    }();
    return path;
}

// Draws the frames of a movie one at a time.
class Frames {
public:
    explicit Frames(const std::string& path) {
        std::string error;
        if (!m_movie.load(path, &error)) die(error);
        m_image = QImage(m_movie.info().width, m_movie.info().height, QImage::Format_RGB32);
    }
    const player::MovieInfo& info() const { return m_movie.info(); }
    const QImage& draw(int frame) {
        QPainter painter(&m_image);
        m_movie.renderFrame(frame, painter, 1);
        return m_image;
    }

private:
    player::MoviePlayer m_movie;
    QImage m_image;
};

// A child process with one end of a pipe: its stdin (we write) or stdout (we read).
struct Child {
    pid_t pid = -1;
    int fd = -1;
};

Child spawn(const std::vector<std::string>& args, bool weWrite) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) die("no pipe");
    Child child;
    child.pid = fork();
    if (child.pid < 0) die("cannot fork");
    if (child.pid == 0) {
        dup2(weWrite ? ends[0] : ends[1], weWrite ? 0 : 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(weWrite ? ends[0] : ends[1]);
    child.fd = weWrite ? ends[1] : ends[0];
    return child;
}

// Waits for the child; returns its CPU seconds (user + system).
double reap(Child& child) {
    if (child.fd >= 0) close(child.fd);
    child.fd = -1;
    int status = 0;
    rusage usage{};
    if (wait4(child.pid, &status, 0, &usage) != child.pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        die("ffmpeg failed (is it installed?)");
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

bool readAll(int fd, void* data, std::size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

std::string rateText(const player::MovieInfo& info) {
    int64_t num = 0, den = 1;
    webm::FrameRateFromDouble(info.frameRate, &num, &den);
    return std::to_string(num) + "/" + std::to_string(den);
}

// The decoded video against the renderer's frames, every frame.
struct Agreement {
    double percentWithin24 = 0;
    double psnr = 0;
};

Agreement compare(Frames& frames, const std::string& video) {
    const player::MovieInfo& info = frames.info();
    const int w = info.width, h = info.height;
    Child decoder = spawn({"ffmpeg", "-v", "error", "-i", video, "-vf",
                           "crop=" + std::to_string(w) + ":" + std::to_string(h) + ":0:0", "-f",
                           "rawvideo", "-pix_fmt", "bgra", "-"},
                          false);
    std::vector<uint32_t> decoded(std::size_t(w) * std::size_t(h));
    double within = 0, squares = 0, samples = 0;
    for (int k = 0; k < info.frameCount; ++k) {
        if (!readAll(decoder.fd, decoded.data(), decoded.size() * 4))
            die("the decoded video of " + video + " is short of frames");
        const QImage& source = frames.draw(k);
        for (int y = 0; y < h; ++y) {
            const uint32_t* a = reinterpret_cast<const uint32_t*>(source.constScanLine(y));
            const uint32_t* b = decoded.data() + std::size_t(y) * std::size_t(w);
            for (int x = 0; x < w; ++x) {
                int worst = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    const int d = int((a[x] >> shift) & 0xFF) - int((b[x] >> shift) & 0xFF);
                    squares += d * d;
                    worst = std::max(worst, std::abs(d));
                }
                within += worst <= 24;
                samples += 1;
            }
        }
    }
    reap(decoder);
    Agreement result;
    result.percentWithin24 = 100 * within / samples;
    const double mse = squares / (3 * samples);
    result.psnr = mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
    return result;
}

void report(benchmark::State& state, const player::MovieInfo& info, double cpuSeconds,
            const std::string& video, Frames& frames) {
    const double movieSeconds = info.frameCount / info.frameRate;
    state.counters["x_real_time"] = movieSeconds / cpuSeconds;
    state.counters["frames_per_cpu_s"] = info.frameCount / cpuSeconds;
    state.counters["kbytes"] = double(std::filesystem::file_size(video)) / 1000;
    const Agreement agreement = compare(frames, video);
    state.counters["pct_within_24"] = agreement.percentWithin24;
    state.counters["psnr_db"] = agreement.psnr;
}

// Ours: every frame through WebmExporter; only the exporter's CPU time counts.
void encodeOurs(benchmark::State& state, const std::string& movie) {
    Frames frames(movie);
    const player::MovieInfo& info = frames.info();
    const std::string video = scratchFile("ours.webm");
    double cpu = 0;
    for (auto _ : state) {
        webm::WebmSettings settings;
        settings.width = info.width;
        settings.height = info.height;
        webm::FrameRateFromDouble(info.frameRate, &settings.rateNum, &settings.rateDen);
        settings.quality = int(state.range(0));
        settings.background = info.background.rgb() & 0xFFFFFF;
        cpu = 0;
        double start = threadCpuSeconds();
        webm::WebmExporter out(video);
        if (!out.begin(settings)) die(out.error());
        cpu += threadCpuSeconds() - start;
        for (int k = 0; k < info.frameCount; ++k) {
            const QImage& image = frames.draw(k);
            start = threadCpuSeconds();
            if (!out.addFrame(reinterpret_cast<const uint32_t*>(image.constBits()),
                              image.bytesPerLine() / 4))
                die(out.error());
            cpu += threadCpuSeconds() - start;
        }
        start = threadCpuSeconds();
        if (!out.finish()) die(out.error());
        cpu += threadCpuSeconds() - start;
        state.SetIterationTime(cpu);
    }
    report(state, info, cpu, video, frames);
}

// The referee: ffmpeg's libvpx-vp9 on one thread at the same constant-quality
// level, fed the same frames as raw BGRA through a pipe; its CPU time counts.
// range(1) is libvpx's speed setting and range(2) 1 for the real-time deadline
// (ffmpeg's own defaults: speed 1, good quality).
void encodeFfmpeg(benchmark::State& state, const std::string& movie) {
    Frames frames(movie);
    const player::MovieInfo& info = frames.info();
    const std::string video = scratchFile("ffmpeg.webm");
    const std::string size = std::to_string(info.width) + "x" + std::to_string(info.height);
    double cpu = 0;
    signal(SIGPIPE, SIG_IGN);
    for (auto _ : state) {
        std::filesystem::remove(video);
        // clang-format off
        Child encoder = spawn({"ffmpeg", "-v", "error",
                               "-f", "rawvideo", "-pix_fmt", "bgra", "-s", size,
                               "-framerate", rateText(info), "-i", "-",
                               "-c:v", "libvpx-vp9", "-pix_fmt", "yuv420p",
                               "-crf", std::to_string(webm::CqLevelForQuality(int(state.range(0)))),
                               "-b:v", "0", "-threads", "1", "-row-mt", "0",
                               "-cpu-used", std::to_string(state.range(1)),
                               "-deadline", state.range(2) ? "realtime" : "good",
                               "-y", video},
                              true);
        // clang-format on
        for (int k = 0; k < info.frameCount; ++k) {
            const QImage& image = frames.draw(k);
            if (!writeAll(encoder.fd, image.constBits(), std::size_t(image.sizeInBytes())))
                die("ffmpeg stopped reading");
        }
        cpu = reap(encoder);
        state.SetIterationTime(cpu);
    }
    report(state, info, cpu, video, frames);
}

void BM_WebmOurs_Example(benchmark::State& state) {
    encodeOurs(state, exampleMovie());
}
BENCHMARK(BM_WebmOurs_Example)
    ->Arg(60)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_WebmFfmpeg_Example(benchmark::State& state) {
    encodeFfmpeg(state, exampleMovie());
}
BENCHMARK(BM_WebmFfmpeg_Example)
    ->Args({60, 1, 0})
    ->Args({60, 6, 1})
    ->Args({60, 8, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_WebmOurs_200Elements(benchmark::State& state) {
    encodeOurs(state, largeMovie());
}
BENCHMARK(BM_WebmOurs_200Elements)
    ->Arg(60)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_WebmFfmpeg_200Elements(benchmark::State& state) {
    encodeFfmpeg(state, largeMovie());
}
BENCHMARK(BM_WebmFfmpeg_200Elements)
    ->Args({60, 1, 0})
    ->Args({60, 6, 1})
    ->Args({60, 8, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
