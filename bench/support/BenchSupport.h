#pragma once
// What the benchmark programs share: a scratch folder, the image library
// bound once, generated projects, compiling to a file, CPU clocks and peak
// memory. A benchmark links it with `movi_bench(... LIBS bench_support ...)`.
//
// Project builders work on the process-wide project (ObjektList, Stage), as
// the compiler and the project file do: each one that says so replaces it.

#include "pixmill/pixmill.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace movibench {

// ---- The run

// Prints "PROGRAM: why" on stderr and ends the program with status 1.
[[noreturn]] void die(const std::string& why);

// A folder for the run's files, made on first use and removed at exit.
const std::string& scratchFolder();
// scratchFolder() + "/" + name.
std::string scratchFile(const std::string& name);

// Loads the image library from the program's folder on the first call (later
// calls do nothing); dies if it cannot be loaded. Every builder below that
// makes pictures calls it.
void bindImageLibrary();

// ---- Pictures (24 bits a pixel; the project takes them over with AddObjekt)

// A colourful pattern that changes with `seed`, drawn pixel by pixel.
DibRecord patternPicture(int32_t width, int32_t height, int seed);
// A ramp written straight into the rows: quick to make at any size.
DibRecord rampPicture(int32_t width, int32_t height, int seed);
// All black.
DibRecord blankPicture(int32_t width, int32_t height);

// ---- Projects

// The shipped example, examples/demo.fmo.
std::string exampleProjectPath();
// Replaces the project with the shipped example; dies if it cannot be read.
void loadExampleProject();

// A minute of moving elements. The defaults give the 200-element project of
// the player's, the SVG's and the video's benchmarks at 550 x 400, 30 fps
// (1,801 frames): 100 Japanese texts of 10 characters that move, turn and
// grow to `textEndSize`, then 80 drawings (rectangles and ellipses in turn)
// that turn and fade and stay to the end, then 20 pictures of `picture*`
// pixels shown in boxes of `box*` that move and turn.
struct MovingProject {
    int32_t stageWidth = 550;
    int32_t stageHeight = 400;
    int32_t framesPerSecond = 30;
    int texts = 100;
    int32_t textEndSize = 36;
    bool scatterTexts = true; // start positions spread over the stage, else all at (0, 0)
    int drawings = 80;
    int pictures = 20;
    int32_t pictureWidth = 160;
    int32_t pictureHeight = 120;
    int32_t boxWidth = 160;
    int32_t boxHeight = 120;
    // Unless every element stays the whole minute, each text shows for ten
    // seconds (starts every half second over the first 50) and each picture
    // for twenty (starts `pictureStep` ms apart).
    bool allOnStage = false;
    int32_t pictureStep = 2000;
};
// Replaces the project (elements and stage settings) with `project`'s.
void buildMovingProject(const MovingProject& project = {});

// Adds `count` elements that take little room, texts and drawing objects in
// turn starting with `firstKind` (okText or okDrawing), every tenth (the
// 10th, 20th, ...) a blank 64 x 64 picture instead.
void addSmallElements(int count, int32_t firstKind);

// ---- Compiling

// Compiles the project into scratchFile(name), then clears the elements;
// returns the movie's path. Dies if the compile fails.
std::string compileToScratch(const std::string& name);
// The shipped example compiled once per run ("demo.swf"); the elements are
// cleared afterwards.
const std::string& exampleMovie();

// ---- Clocks

double processCpuSeconds();
double threadCpuSeconds();

// ---- Memory

// The process's peak resident size so far, in MB (getrusage).
double peakResidentMB();
// The current and the peak resident size, in kB (/proc/self/status VmRSS, VmHWM).
long residentKB();
long peakResidentKB();
// Sets the process's peak resident size back to the current one (Linux).
void resetPeakResident();

// What runInChild measured.
struct ChildRun {
    bool ok = false;            // the work returned true and the child ended normally
    double wallSeconds = 0;     // fork to reaped, as the parent saw it
    double startMB = 0;         // resident size at the child's start, after the reset
    double peakMB = 0;          // peak resident size at the end of the work
    std::vector<double> values; // what the work reported, in order
};
// Runs `work` in a forked child whose peak resident size is set back at its
// start, so that peakMB - startMB is what the work itself added, whatever the
// parent held before. The work appends figures to `values` to hand them back
// (at most 16) and returns false on failure.
ChildRun runInChild(const std::function<bool(std::vector<double>& values)>& work);

} // namespace movibench
