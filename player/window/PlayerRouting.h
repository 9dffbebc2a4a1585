#pragma once
// The program's "open" of movies and of the pages that embed them: they play
// in the built-in player window; everything else (web addresses, other
// files) still goes to the desktop's handler.

#include <string>

class QWidget;

namespace player {

class PlayerWindow;

// What the routed "open" does with a path.
struct OpenRoute {
    enum Kind { Desktop, Player, Refused };
    Kind kind = Desktop;
    std::string moviePath;  // Player: the movie to play
    bool loop = true;       // Player: false when the page asks not to loop
    std::string browsePath; // Player: what "ブラウザで開く" hands on
    std::string message;    // Refused: why nothing can be played (UTF-8)
};

// Decides, for a path or address given to the shell's "open": .swf files
// play; an .htm/.html page plays the movie it embeds (a name relative to the
// page's folder), with its loop parameter; anything else goes to the desktop.
// A page that names no movie, or a movie that is not there, is refused with
// a message. A file: URL counts as its local path.
OpenRoute RouteOpen(const std::string& path);

// Puts the routed "open" in front of the opener installed now, which keeps
// receiving what the player does not take and what "ブラウザで開く" hands on.
// The player window belongs to `owner` (closed with it); one window is reused
// for every movie. Called once at start-up.
void InstallPlayerRouting(QWidget* owner);

// The player window that the routed "open" shows, when there is one.
PlayerWindow* RoutedPlayerWindow();

} // namespace player
