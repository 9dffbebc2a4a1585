#include "platform/CommandLine.h"
#include "uninstall/UninstallerMain.h"

namespace {

const char* const Help =
    "usage: uninstall [FOLDER]\n"
    "Undoes an installation from the Install.log in FOLDER (default: the folder\n"
    "this program is in), after asking.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n";

} // namespace

int main(int argc, char** argv) {
    if (platform::AnswerHelpOrVersion(argc, argv, "uninstall", Help) == 0) return 0;
    return uninstall::UninstallerMain(argc, argv);
}
