// Export into GIF, WebP, APNG and WebM at 550 x 400 against ffmpeg, which is
// what a user would reach for instead (used here only as the referee): the
// renderer's frames piped into it as raw pixels, with palettegen/paletteuse
// for GIF, libwebp_anim (lossless, as ours), apng, and libvpx-vp9 at the same
// constant-quality level on one thread.
//
// Movies: the shipped example (12 fps, 43 frames), the generated 200-element
// minute (30 fps, 1,801 frames) and the same 200 elements squeezed into ten
// seconds (301 frames), so that the peak memory of the two lengths compares.
//
// Counters of ours: cpu_s, the export's CPU time with the rendering; kbytes;
// x_real_time, the movie's length over cpu_s, and encode_x_real_time over
// cpu_s less render_cpu_s (the drawing timed again); peak_mb, the resident
// memory the export added beyond the loaded movie (its pictures among it); on
// the long movie, peak_growth_mb against the short one (flat: near 0). Of
// ffmpeg: cpu_s, its encoding alone (the frames are drawn for it;
// render_cpu_s is that); its kbytes and peak_mb. Of both: pct_within_24 and
// psnr_db, the agreement of the file, decoded by a decoder we did not write
// (libwebp's for WebP, ffmpeg's for the rest), with the renderer's frames,
// every frame of the movie.
// The machine may be busy: the times are CPU times. Run on one core:
//     taskset -c 0 build/bench/bin/export_bench [--benchmark_filter=webm]
#include "BenchSupport.h"
#include "editor/model/MainUnit.h"
#include "export/MovieExporter.h"
#include "export/webm/WebmExporter.h"
#include "player/MoviePlayer.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>
#include <webp/demux.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace movibench;
using movie_export::ExportFormat;

enum class Movie { Example, Short, Long };

const char* nameOf(Movie movie) {
    return movie == Movie::Example ? "example"
           : movie == Movie::Short ? "200el_301f"
                                   : "200el_1801f";
}

// The 200-element project of BenchSupport's MovingProject; shortened, every
// time is divided by six, so that the same pictures play for ten seconds.
const std::string& moviePath(Movie movie) {
    static std::map<Movie, std::string> paths;
    std::string& path = paths[movie];
    if (!path.empty()) return path;
    if (movie == Movie::Example) return path = exampleMovie();
    buildMovingProject();
    if (movie == Movie::Short)
        for (int32_t i = 0; i < ObjektList.Count; ++i) {
            Objekt& o = ObjektAt(i);
            o.Start.Time /= 6;
            o.End.Time /= 6;
        }
    return path = compileToScratch(std::string(nameOf(movie)) + ".swf");
}

const char* extensionOf(ExportFormat format) {
    return format == ExportFormat::Gif    ? "gif"
           : format == ExportFormat::WebP ? "webp"
           : format == ExportFormat::Apng ? "png"
                                          : "webm";
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
    player::MoviePlayer& player() { return m_movie; }
    const QImage& draw(int frame) {
        QPainter painter(&m_image);
        m_movie.renderFrame(frame, painter, 1);
        return m_image;
    }

private:
    player::MoviePlayer m_movie;
    QImage m_image;
};

// ---- ffmpeg through a pipe

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

struct Reaped {
    double cpuSeconds = 0; // user + system
    double peakMB = 0;
};

Reaped reap(Child& child) {
    if (child.fd >= 0) close(child.fd);
    child.fd = -1;
    int status = 0;
    rusage usage{};
    if (wait4(child.pid, &status, 0, &usage) != child.pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        die("ffmpeg failed (is it installed?)");
    return {double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6,
            double(usage.ru_maxrss) / 1024.0};
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

// ---- Agreement with the renderer

// The decoded picture at each of the movie's frames, in order.
class Decoded {
public:
    Decoded(const std::string& file, ExportFormat format, const player::MovieInfo& info)
        : m_info(info), m_pixels(std::size_t(info.width) * std::size_t(info.height)) {
        if (format == ExportFormat::WebP) {
            std::ifstream in(file, std::ios::binary);
            m_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            const WebPData data{m_bytes.data(), m_bytes.size()};
            WebPAnimDecoderOptions options;
            WebPAnimDecoderOptionsInit(&options);
            options.color_mode = MODE_BGRA;
            m_webp = WebPAnimDecoderNew(&data, &options);
            if (!m_webp) die("libwebp cannot read " + file);
            return;
        }
        // Frames that last longer than one of the movie's are repeated, so
        // that every frame of the movie gets its picture.
        m_ffmpeg = spawn({"ffmpeg", "-v", "error", "-i", file, "-vf",
                          "fps=" + rateText(info) + ",crop=" + std::to_string(info.width) + ":" +
                              std::to_string(info.height) + ":0:0",
                          "-f", "rawvideo", "-pix_fmt", "bgra", "-"},
                         false);
    }
    ~Decoded() {
        if (m_webp) WebPAnimDecoderDelete(m_webp);
        // ffmpeg may still be writing a frame past the movie's end: it is
        // not read, and how ffmpeg ends does not matter.
        if (m_ffmpeg.pid > 0) {
            close(m_ffmpeg.fd);
            waitpid(m_ffmpeg.pid, nullptr, 0);
        }
    }

    // The picture shown at frame k (k counts up from 0); the last one again
    // when the decoder has run out.
    const uint32_t* at(int k) {
        if (!m_webp) {
            if (!m_short && !readAll(m_ffmpeg.fd, m_pixels.data(), m_pixels.size() * 4)) {
                m_short = true;
                ++m_missing;
            } else if (m_short) {
                ++m_missing;
            }
            return m_pixels.data();
        }
        // A frame that starts within half a millisecond of the movie's frame shows it.
        const double ms = k * 1000.0 / m_info.frameRate + 0.5;
        while ((!m_current || m_end <= ms) && WebPAnimDecoderHasMoreFrames(m_webp)) {
            if (!WebPAnimDecoderGetNext(m_webp, &m_current, &m_end)) die("libwebp failed");
        }
        return reinterpret_cast<const uint32_t*>(m_current);
    }
    int missing() const { return m_missing; }

private:
    const player::MovieInfo& m_info;
    std::vector<uint32_t> m_pixels;
    std::vector<uint8_t> m_bytes;
    WebPAnimDecoder* m_webp = nullptr;
    uint8_t* m_current = nullptr;
    int m_end = 0;
    Child m_ffmpeg;
    bool m_short = false;
    int m_missing = 0;
};

// Shares of pixels within 24 levels in every channel, and the PSNR, over
// every frame of the movie; appended to `values` with the frames the decoder
// did not give (ffmpeg's rate conversion may end one short) and the CPU
// seconds the drawing of the frames took.
void measureAgreement(Frames& frames, const std::string& file, ExportFormat format,
                      std::vector<double>& values) {
    const player::MovieInfo& info = frames.info();
    const int w = info.width, h = info.height;
    Decoded decoded(file, format, info);
    double within = 0, squares = 0, samples = 0, render = 0;
    for (int k = 0; k < info.frameCount; ++k) {
        const uint32_t* got = decoded.at(k);
        const double start = threadCpuSeconds();
        const QImage& source = frames.draw(k);
        render += threadCpuSeconds() - start;
        for (int y = 0; y < h; ++y) {
            const auto* a = reinterpret_cast<const uint32_t*>(source.constScanLine(y));
            const uint32_t* b = got + std::size_t(y) * std::size_t(w);
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
    const double mse = squares / (3 * samples);
    values.push_back(100 * within / samples);
    values.push_back(mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99);
    values.push_back(decoded.missing());
    values.push_back(render);
}

void reportAgreement(benchmark::State& state, const std::vector<double>& values, size_t at) {
    if (values.size() < at + 3) return;
    state.counters["pct_within_24"] = values[at];
    state.counters["psnr_db"] = values[at + 1];
    state.counters["frames_missing"] = values[at + 2];
}

double movieSeconds(const player::MovieInfo& info) {
    return info.frameCount / info.frameRate;
}

// ---- The two exports

// The peak memory of ours on the short movie, for the long one's growth.
std::map<ExportFormat, double> g_shortPeak;

// Every run draws in a child process: Qt's raster engine fills with a pool
// of threads, which a process forked after it has drawn cannot use.

// Ours: the movie loaded, the peak memory set back, then the export (drawing
// included) at scale 1 with the format's defaults.
void exportOurs(benchmark::State& state, ExportFormat format, Movie movie) {
    const std::string& path = moviePath(movie);
    const std::string out = scratchFile(std::string("ours.") + extensionOf(format));
    ChildRun run;
    for (auto _ : state) {
        // Values: resident MB after loading, CPU seconds, peak MB, the movie's
        // seconds, then the agreement.
        run = runInChild([&](std::vector<double>& values) {
            Frames frames(path);
            resetPeakResident();
            values.push_back(double(residentKB()) / 1024);
            const double start = processCpuSeconds();
            movie_export::ExportOptions options;
            options.outputPath = out;
            options.format = format;
            const movie_export::ExportResult result =
                movie_export::ExportMovie(frames.player(), options);
            values.push_back(processCpuSeconds() - start);
            values.push_back(double(peakResidentKB()) / 1024);
            values.push_back(movieSeconds(frames.info()));
            if (!result.written) std::fprintf(stderr, "export failed: %s\n", result.error.c_str());
            if (result.written && movie != Movie::Short)
                measureAgreement(frames, out, format, values);
            return result.written;
        });
        if (!run.ok) die(std::string("our export into ") + extensionOf(format) + " failed");
        state.SetIterationTime(run.values[1]);
    }
    const double peak = run.values[2] - run.values[0];
    state.counters["cpu_s"] = run.values[1];
    state.counters["x_real_time"] = run.values[3] / run.values[1];
    state.counters["kbytes"] = double(std::filesystem::file_size(out)) / 1000;
    state.counters["peak_mb"] = peak;
    if (movie == Movie::Short) g_shortPeak[format] = peak;
    if (movie == Movie::Long && g_shortPeak.count(format))
        state.counters["peak_growth_mb"] = peak - g_shortPeak[format];
    reportAgreement(state, run.values, 4);
    // The drawing, timed again while comparing: what is left is the encoding.
    if (run.values.size() >= 8) {
        state.counters["render_cpu_s"] = run.values[7];
        state.counters["encode_x_real_time"] =
            run.values[3] / std::max(1e-3, run.values[1] - run.values[7]);
    }
}

std::vector<std::string> ffmpegOutput(ExportFormat format, int quality) {
    switch (format) {
    case ExportFormat::Gif:
        return {"-filter_complex", "[0:v]split[a][b];[a]palettegen[p];[b][p]paletteuse", "-loop",
                "0"};
    case ExportFormat::WebP:
        return {"-c:v", "libwebp_anim", "-lossless", "1", "-loop", "0"};
    case ExportFormat::Apng:
        return {"-c:v", "apng", "-plays", "0", "-f", "apng"};
    default:
        // ffmpeg's defaults for VP9: the good-quality deadline at speed 1.
        return {"-c:v",    "libvpx-vp9", "-pix_fmt",
                "yuv420p", "-crf",       std::to_string(webm::CqLevelForQuality(quality)),
                "-b:v",    "0",          "-threads",
                "1",       "-row-mt",    "0"};
    }
}

// ffmpeg fed the renderer's frames as raw BGRA through a pipe; its CPU time
// and peak memory are its own.
void exportFfmpeg(benchmark::State& state, ExportFormat format, Movie movie) {
    const std::string& path = moviePath(movie);
    const std::string out = scratchFile(std::string("ffmpeg.") + extensionOf(format));
    ChildRun run;
    for (auto _ : state) {
        std::filesystem::remove(out);
        // Values: ffmpeg's CPU seconds and peak MB, the drawing's CPU
        // seconds, the movie's seconds, then the agreement.
        run = runInChild([&](std::vector<double>& values) {
            Frames frames(path);
            const player::MovieInfo& info = frames.info();
            signal(SIGPIPE, SIG_IGN);
            std::vector<std::string> args{
                "ffmpeg",
                "-v",
                "error",
                "-f",
                "rawvideo",
                "-pix_fmt",
                "bgra",
                "-s",
                std::to_string(info.width) + "x" + std::to_string(info.height),
                "-framerate",
                rateText(info),
                "-i",
                "-"};
            for (const std::string& a : ffmpegOutput(format, webm::WebmSettings().quality))
                args.push_back(a);
            args.push_back("-y");
            args.push_back(out);
            Child encoder = spawn(args, true);
            double render = 0;
            for (int k = 0; k < info.frameCount; ++k) {
                const double start = threadCpuSeconds();
                const QImage& image = frames.draw(k);
                render += threadCpuSeconds() - start;
                if (!writeAll(encoder.fd, image.constBits(), std::size_t(image.sizeInBytes())))
                    die("ffmpeg stopped reading");
            }
            const Reaped reaped = reap(encoder);
            values.push_back(reaped.cpuSeconds);
            values.push_back(reaped.peakMB);
            values.push_back(render);
            values.push_back(movieSeconds(info));
            measureAgreement(frames, out, format, values);
            return true;
        });
        if (!run.ok) die(std::string("ffmpeg's export into ") + extensionOf(format) + " failed");
        state.SetIterationTime(run.values[0]);
    }
    state.counters["cpu_s"] = run.values[0];
    state.counters["peak_mb"] = run.values[1];
    state.counters["render_cpu_s"] = run.values[2];
    state.counters["x_real_time"] = run.values[3] / run.values[0];
    state.counters["encode_x_real_time"] = run.values[3] / run.values[0];
    state.counters["kbytes"] = double(std::filesystem::file_size(out)) / 1000;
    reportAgreement(state, run.values, 4);
}

} // namespace

int main(int argc, char** argv) {
    const ExportFormat formats[] = {ExportFormat::Gif, ExportFormat::WebP, ExportFormat::Apng,
                                    ExportFormat::WebM};
    for (const ExportFormat format : formats) {
        const std::string name = movie_export::Format(format).name;
        for (const Movie movie : {Movie::Example, Movie::Short, Movie::Long}) {
            benchmark::RegisterBenchmark(
                ("Ours/" + name + "/" + nameOf(movie)).c_str(),
                [=](benchmark::State& state) { exportOurs(state, format, movie); })
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
            if (movie == Movie::Short) continue;
            benchmark::RegisterBenchmark(
                ("Ffmpeg/" + name + "/" + nameOf(movie)).c_str(),
                [=](benchmark::State& state) { exportFfmpeg(state, format, movie); })
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
