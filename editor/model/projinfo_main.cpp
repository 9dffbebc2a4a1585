// moviloomster-projinfo PROJECT.fmo [--resave COPY.fmo]
// Loads a project, prints its stage settings and elements, and optionally saves
// it again to COPY.fmo. Exit codes: 0 success, 1 the project (or the image
// library) cannot be read, 2 the copy cannot be written, 3 usage error.
#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "platform/CommandLine.h"
#include "platform/TextCodec.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

class ConsoleView final : public ProjectView {
public:
    void showError(std::string_view text) override { std::cerr << text << "\n"; }
};

const char* kindName(int32_t kind) {
    switch (kind) {
    case okText:
        return "text";
    case okDrawing:
        return "drawing";
    case okPicture:
        return "picture";
    case okButton:
        return "button";
    default:
        return "unknown";
    }
}

std::string shown(const char* cp932) {
    auto utf8 = platform::cp932ToUtf8(cp932 ? cp932 : "");
    return utf8 ? *utf8 : std::string("<not valid Shift-JIS>");
}

const char* const Help =
    "usage: moviloomster-projinfo PROJECT.fmo [--resave COPY.fmo]\n"
    "Prints a Movi-Loomster project's stage settings and elements.\n"
    "\n"
    "  --resave COPY.fmo  save the loaded project again as COPY.fmo\n"
    "  -h, --help         show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "Exit status: 0 success, 1 the project or the image library cannot be read,\n"
    "2 the copy cannot be written, 3 a usage error.\n";

void printState(const char* name, const ObjektState& s) {
    std::printf("    %s: (%d,%d)-(%d,%d) size %d rot %.1f time %d ms transp %d%% colour 0x%08X\n",
                name, s.Left, s.Top, s.Right, s.Bottom, s.FontSize, s.Rotation / 10.0, s.Time,
                s.Transparency, static_cast<unsigned>(s.Color));
}

} // namespace

int main(int argc, char** argv) {
    // Under a file-size limit a save fails with EFBIG like any write error.
    std::signal(SIGXFSZ, SIG_IGN);
    if (platform::AnswerHelpOrVersion(argc, argv, "moviloomster-projinfo", Help) == 0) return 0;
    // A name that starts with "-" is an option this program does not know;
    // such a project is still reached as ./-NAME.
    if ((argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--resave") == 0)) || argv[1][0] == '-') {
        std::cerr << "usage: moviloomster-projinfo PROJECT.fmo [--resave COPY.fmo]\n";
        return 3;
    }
    ConsoleBindingReporter reporter;
    ProgramDir = ProgramFolder();
    if (!BindPixmill(ProgramDir, reporter)) return 1;
    ConsoleView view;
    SetProjectView(&view);
    ProjectLoadProblem problem;
    if (!LoadProject(argv[1], &problem)) {
        // The window's message, then why.
        std::cerr << "moviloomster-projinfo: " << argv[1] << ": " << problem.reason << "\n";
        return 1;
    }
    std::printf("%s\n", argv[1]);
    std::printf("  stage %d x %d, %d fps, background 0x%06X, repeat %s\n", Stage.width(),
                Stage.height(), Stage.framesPerSecond(),
                static_cast<unsigned>(Stage.backgroundColor()), Stage.repeat() ? "on" : "off");
    std::printf("  %d elements\n", ObjektList.Count);
    for (int32_t i = 0; i < ObjektList.Count; ++i) {
        ObjektList.Select(i);
        const Objekt& o = *CurObjekt;
        std::printf("  [%d] %s%s \"%s\" font \"%s\" delete-at-end %s", i, kindName(o.Kind),
                    o.Kind == okDrawing ? (o.DrawKind == dkEllipse ? " (ellipse)" : " (rectangle)")
                                        : "",
                    shown(o.Text).c_str(), shown(o.FontName).c_str(), o.DeleteAtEnd ? "on" : "off");
        if (o.Kind == okPicture && o.Picture.Info)
            std::printf(" picture %d x %d", o.Picture.Info->biWidth, o.Picture.Info->biHeight);
        std::printf("\n");
        printState("start", o.Start);
        printState("end  ", o.End);
    }
    if (argc == 4 && !SaveProject(argv[3])) return 2;
    ClearObjekts();
    return 0;
}
