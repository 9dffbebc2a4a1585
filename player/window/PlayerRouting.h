#pragma once
// The program's "open" of movies and of the pages that embed them: they play
// in the built-in player window; everything else (web addresses, other
// files) goes to the desktop's handler.

#include "player/window/PlayerWindow.h"

#include <QPointer>

#include <string>

class QWidget;

namespace player {

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

// Shows what the movie commands made, as the window's "open": movies and
// the pages that embed them play in one player window that belongs to
// `owner` (reused for every movie, closed with it); anything else, such as an
// animation in another format, goes to the desktop's handler (Modals). A path
// that cannot be played is reported in a message box.
class PlayerRouting {
public:
    explicit PlayerRouting(QWidget* owner) : m_owner(owner) {}

    // Shows `path` as above; returns whether it plays or was handed on.
    bool show(const std::string& path);
    // The player window, once a movie played in it (null after it closed).
    PlayerWindow* window() const { return m_window.data(); }

private:
    QWidget* m_owner;
    QPointer<PlayerWindow> m_window;
};

} // namespace player
