#include "BenchSupport.h"

#include "app/imaging/PixmillBinding.h"
#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "platform/TextCodec.h"

#include "common/TempDir.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace movibench {

void die(const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, why.c_str());
    std::exit(1);
}

const std::string& scratchFolder() {
    static const movitest::TempDir dir("movi-bench");
    static const std::string path = dir.path().string();
    return path;
}

std::string scratchFile(const std::string& name) {
    return scratchFolder() + "/" + name;
}

void bindImageLibrary() {
    static const bool bound = [] {
        ConsoleBindingReporter reporter(true);
        return BindPixmill(ProgramFolder(), reporter);
    }();
    if (!bound) die("the image library cannot be loaded");
}

DibRecord patternPicture(int32_t width, int32_t height, int seed) {
    bindImageLibrary();
    DibRecord pic{};
    Pixmill.newdib(&pic, width, height, 24, nullptr, 0);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            Pixmill.setpixel(&pic, x, y,
                             (x * 3 + seed) | ((y * 2) & 255) << 8 | ((x ^ y) & 255) << 16);
    return pic;
}

DibRecord rampPicture(int32_t width, int32_t height, int seed) {
    bindImageLibrary();
    DibRecord pic{};
    Pixmill.newdib(&pic, width, height, 24, nullptr, 0);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width * 3; ++x)
            pic.Bits[int64_t(y) * pic.BytesPerRow + x] = static_cast<uint8_t>(x * 7 + y + seed);
    return pic;
}

DibRecord blankPicture(int32_t width, int32_t height) {
    bindImageLibrary();
    DibRecord pic{};
    Pixmill.newdib(&pic, width, height, 24, nullptr, 0);
    return pic;
}

std::string exampleProjectPath() {
    return MOVI_SOURCE_DIR "/examples/demo.fmo";
}

void loadExampleProject() {
    bindImageLibrary();
    if (!LoadProject(exampleProjectPath())) die("cannot read examples/demo.fmo");
}

void buildMovingProject(const MovingProject& project) {
    bindImageLibrary();
    ClearObjekts();
    Stage = StageSettings();
    Stage.setWidth(project.stageWidth);
    Stage.setHeight(project.stageHeight);
    Stage.setFramesPerSecond(project.framesPerSecond);
    const char* phrases[] = {"動く文字と図形の試験", "ようこそムービルーム", "日本語の文章を表示中",
                             "春夏秋冬の色と形です"};
    for (int i = 0; i < project.texts; ++i) {
        Objekt* t = AddObjekt(okText);
        ReplaceString(t->Text, *platform::utf8ToCp932(phrases[i % 4]));
        t->Start.Time = project.allOnStage ? 0 : (i * 500) % 50000;
        t->End.Time = project.allOnStage ? 60000 : t->Start.Time + 10000;
        if (project.scatterTexts) {
            t->Start.Left = (i * 37) % 400;
            t->Start.Top = (i * 53) % 360;
        }
        t->End.FontSize = project.textEndSize;
        t->End.Rotation = 300;
    }
    for (int i = 0; i < project.drawings; ++i) {
        Objekt* d = AddObjekt(okDrawing);
        d->DrawKind = i % 2;
        d->Start.Time = 0;
        d->End.Time = 60000;
        d->End.Rotation = 900;
        d->End.Transparency = 50;
        d->DeleteAtEnd = 0;
    }
    for (int i = 0; i < project.pictures; ++i) {
        const DibRecord pic = patternPicture(project.pictureWidth, project.pictureHeight, i);
        Objekt* p = AddObjekt(okPicture, &pic);
        const int32_t start = project.allOnStage ? 0 : i * project.pictureStep;
        const int32_t end = project.allOnStage ? 60000 : start + 20000;
        p->Start = {
            10 * i, 10 * i, 10 * i + project.boxWidth, 10 * i + project.boxHeight, 24, 0, start,
            0,      0};
        p->End = {300, 200, 300 + project.boxWidth, 200 + project.boxHeight, 24, 450, end, 0, 0};
    }
}

void addSmallElements(int count, int32_t firstKind) {
    const int32_t otherKind = firstKind == okText ? okDrawing : okText;
    for (int i = 0; i < count; ++i) {
        if (i % 10 == 9) {
            const DibRecord pic = blankPicture(64, 64);
            AddObjekt(okPicture, &pic);
        } else {
            AddObjekt(i % 2 ? otherKind : firstKind);
        }
    }
}

std::string compileToScratch(const std::string& name) {
    bindImageLibrary();
    CompileOptions options;
    options.outputPath = scratchFile(name);
    if (!CompileMovie(options).written) die("cannot compile " + name);
    ClearObjekts();
    return options.outputPath;
}

const std::string& exampleMovie() {
    static const std::string path = [] {
        loadExampleProject();
        return compileToScratch("demo.swf");
    }();
    return path;
}

namespace {

double seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A line of /proc/self/status in kB ("VmRSS:", "VmHWM:").
long statusKB(const char* key) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long value = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, std::strlen(key)) == 0)
            value = std::strtol(line + std::strlen(key), nullptr, 10);
    std::fclose(f);
    return value;
}

} // namespace

double processCpuSeconds() {
    return seconds(CLOCK_PROCESS_CPUTIME_ID);
}

double threadCpuSeconds() {
    return seconds(CLOCK_THREAD_CPUTIME_ID);
}

double peakResidentMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

long residentKB() {
    return statusKB("VmRSS:");
}

long peakResidentKB() {
    return statusKB("VmHWM:");
}

void resetPeakResident() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

ChildRun runInChild(const std::function<bool(std::vector<double>& values)>& work) {
    // The child hands back: ok, start kB, peak kB, the count of values, the values.
    constexpr std::size_t kMaxValues = 16;
    struct Report {
        double ok, startKB, peakKB, count, values[kMaxValues];
    };
    scratchFolder(); // made here: the child ends without removing what it made
    int ends[2];
    if (pipe(ends) != 0) die("no pipe");
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) die("cannot fork");
    if (pid == 0) {
        close(ends[0]);
        resetPeakResident();
        Report report{};
        report.startKB = double(residentKB());
        std::vector<double> values;
        report.ok = work(values) ? 1 : 0;
        report.peakKB = double(peakResidentKB());
        report.count = double(std::min(values.size(), kMaxValues));
        std::copy_n(values.begin(), std::size_t(report.count), report.values);
        const bool sent = write(ends[1], &report, sizeof report) == ssize_t(sizeof report);
        _exit(sent ? 0 : 1);
    }
    close(ends[1]);
    Report report{};
    std::size_t got = 0;
    while (got < sizeof report) {
        const ssize_t n =
            read(ends[0], reinterpret_cast<char*>(&report) + got, sizeof report - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += std::size_t(n);
    }
    close(ends[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ChildRun run;
    run.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (got != sizeof report || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return run;
    run.ok = report.ok != 0;
    run.startMB = report.startKB / 1024.0;
    run.peakMB = report.peakKB / 1024.0;
    run.values.assign(report.values, report.values + std::size_t(report.count));
    return run;
}

} // namespace movibench
