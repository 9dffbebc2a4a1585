#pragma once

namespace uninstall {

// The whole program: reads Install.log, shows the start window and runs the
// message loop. The optional first argument is the installation folder.
int UninstallerMain(int argc, char** argv);

} // namespace uninstall
