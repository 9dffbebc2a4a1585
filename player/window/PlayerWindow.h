#pragma once
// The built-in player: a window that plays one movie at its frame rate, 1:1
// or fitted to the window, with play/pause, single steps, a frame slider with
// the frame number and time, and a button that hands the page or the movie to
// the desktop's own handler.

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QLabel;
class QScrollArea;
class QSlider;
class QTimer;
class QToolButton;
class QPushButton;

namespace player {

class MoviePlayer;
struct MovieInfo;
class MovieView;

// Shows a message to the user: a stop-icon message box with an OK button,
// captioned with the player's title.
void ShowPlayerMessage(QWidget* parent, const QString& text);

class PlayerWindow : public QWidget {
    Q_OBJECT
public:
    // "ブラウザで開く" hands the page or the movie to the desktop through
    // the modal seam (Modals).
    explicit PlayerWindow(QWidget* parent = nullptr);
    ~PlayerWindow() override;

    // Reads the movie and shows its first frame, paused. `browsePath` is what
    // "ブラウザで開く" hands on (the page that named the movie, or the movie).
    // A movie that cannot be read is reported in a message box that says
    // why; the window then keeps what it showed before and false is returned.
    bool openMovie(const std::string& moviePath, bool loop, const std::string& browsePath);

    const MovieInfo& info() const;
    const std::string& moviePath() const { return m_moviePath; }
    const std::string& browsePath() const { return m_browsePath; }
    int currentFrame() const { return m_frame; } // from 0
    bool isPlaying() const;
    bool loops() const;
    bool fitsWindow() const;

    void play();
    void pause();
    void setFrame(int frame); // clamped to the movie

    // Whether the view shows the current frame at its current size (frames
    // are drawn on a thread of their own and arrive a little later).
    bool isFrameShown() const;
    // Whether the frame shown was too costly to draw in full (a notice on
    // the stage says so).
    bool frameDrawnInPart() const;

signals:
    void frameChanged(int frame);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void togglePlay();
    void step(int delta);
    void tick();
    void updateControls();
    void setFit(bool fit);
    void openInBrowser();
    void resizeToMovie();

    std::unique_ptr<MoviePlayer> m_player;
    std::string m_moviePath, m_browsePath;
    int m_frame = 0;
    bool m_ticking = false;
    bool m_resumeAfterDrag = false;

    QTimer* m_timer;
    QScrollArea* m_scroll;
    MovieView* m_view;
    QAction* m_playAction;
    QAction* m_backAction;
    QAction* m_forwardAction;
    QToolButton* m_playBtn;
    QToolButton* m_backBtn;
    QToolButton* m_forwardBtn;
    QSlider* m_slider;
    QLabel* m_frameLabel;
    QLabel* m_timeLabel;
    QCheckBox* m_loopCheck;
    QCheckBox* m_fitCheck;
    QPushButton* m_browserBtn;
};

} // namespace player
