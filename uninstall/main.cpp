#include "uninstall/UninstallerMain.h"

int main(int argc, char** argv) {
    return uninstall::UninstallerMain(argc, argv);
}
