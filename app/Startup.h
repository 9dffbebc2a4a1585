#pragma once
// The editor program: start-up in its fixed order, the message loop and the
// end. Returns the process exit code.

int RunMoviLoomster(int argc, char** argv);
