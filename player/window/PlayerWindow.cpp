#include "player/window/PlayerWindow.h"

#include "app/gui/UiFonts.h"
#include "app/widgets/Modals.h"
#include "player/MoviePlayer.h"
#include "player/window/FrameDrawer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

namespace player {
namespace {

const QString kTitle = QStringLiteral("Movi-Loomster");

// A movie whose header gives no frame rate is played at this rate.
constexpr double kFallbackFrameRate = 12.0;

// A click on a slider's groove puts the handle at the point clicked (and
// goes on as a drag) instead of moving it by a page.
class JumpClickStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void ShowPlayerMessage(QWidget* parent, const QString& text) {
    ShowStopMessage(parent, kTitle, text);
}

// The stage: the movie's frame drawn 1:1 at its top left corner, or fitted
// into the widget and centred on a dark surround. Frames are drawn by a
// FrameDrawer away from the user-interface thread; the view shows the last
// one finished and asks for the one it should show.
class MovieView : public QWidget {
public:
    explicit MovieView(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("movieView"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    MoviePlayer* player = nullptr;
    std::unique_ptr<FrameDrawer> drawer;
    int frame = 0;
    bool fit = false;
    QImage shown; // the last frame drawn
    std::optional<DrawRequest> shownRequest;
    bool shownWhole = true;

    // The movie's rectangle within the widget and its scale.
    QRectF movieRect(double* scale) const {
        if (!player || player->info().width <= 0 || player->info().height <= 0) {
            *scale = 1;
            return {};
        }
        const double w = player->info().width, h = player->info().height;
        *scale = fit ? std::min(width() / w, height() / h) : 1.0;
        const QSizeF size(w * *scale, h * *scale);
        return QRectF(QPointF(std::round((width() - size.width()) / 2),
                              std::round((height() - size.height()) / 2)),
                      size);
    }

    // The frame the view should show now; none while there is nothing to draw.
    std::optional<DrawRequest> wanted() const {
        double scale = 1;
        const QRectF area = movieRect(&scale);
        if (area.isEmpty()) return std::nullopt;
        return DrawRequest{frame, scale,
                           QSize(std::max(1, static_cast<int>(std::ceil(area.width() - 1e-9))),
                                 std::max(1, static_cast<int>(std::ceil(area.height() - 1e-9))))};
    }
    bool isShown() const { return !wanted() || wanted() == shownRequest; }

    void ask(bool cancelCurrent) {
        if (const auto request = wanted(); request && drawer && request != shownRequest)
            drawer->request(*request, cancelCurrent);
    }

    void take(const QImage& image, const DrawRequest& request, bool whole) {
        shown = image;
        shownRequest = request;
        shownWhole = whole;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Dark));
        double scale = 1;
        const QRectF area = movieRect(&scale);
        if (area.isEmpty()) return;
        if (!shown.isNull()) {
            // A frame drawn for another size is stretched until its
            // successor arrives.
            if (shown.size() == wanted()->size)
                painter.drawImage(area.topLeft(), shown);
            else
                painter.drawImage(area, shown);
        }
        if (!shownWhole) {
            const QString notice =
                QStringLiteral("描画に時間がかかりすぎるため、このコマは一部だけ表示しています");
            QRectF strip = area;
            strip.setTop(area.bottom() - fontMetrics().height() - 6);
            painter.fillRect(strip, QColor(0, 0, 0, 160));
            painter.setPen(Qt::white);
            painter.drawText(strip.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, notice);
        }
        ask(false);
    }
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        ask(true);
    }
};

PlayerWindow::PlayerWindow(QWidget* parent) : QWidget(parent) {
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("PlayerWindow"));
    setWindowTitle(QStringLiteral("プレーヤー - Movi-Loomster"));
    setFont(UiFont(QStringLiteral("ＭＳ 明朝"), 15));

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("playTimer"));
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &PlayerWindow::tick);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("movieScroll"));
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_view = new MovieView(m_scroll);
    m_scroll->setWidget(m_view);

    auto makeAction = [this](const QString& text, QStyle::StandardPixmap icon, QKeySequence key,
                             auto slot) {
        auto* action = new QAction(style()->standardIcon(icon), text, this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
        return action;
    };
    m_playAction = makeAction(QStringLiteral("再生"), QStyle::SP_MediaPlay, Qt::Key_Space,
                              &PlayerWindow::togglePlay);
    m_backAction = makeAction(QStringLiteral("コマ戻し"), QStyle::SP_MediaSeekBackward,
                              Qt::Key_Left, [this] { step(-1); });
    m_forwardAction = makeAction(QStringLiteral("コマ送り"), QStyle::SP_MediaSeekForward,
                                 Qt::Key_Right, [this] { step(1); });
    auto* closeAction = new QAction(QStringLiteral("閉じる"), this);
    closeAction->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)});
    closeAction->setShortcutContext(Qt::WindowShortcut);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    addAction(closeAction);

    auto makeButton = [this](QAction* action, const char* name) {
        auto* button = new QToolButton(this);
        button->setObjectName(QLatin1String(name));
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        // Space and the arrow keys belong to the window's commands.
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    m_backBtn = makeButton(m_backAction, "stepBackBtn");
    m_playBtn = makeButton(m_playAction, "playBtn");
    m_forwardBtn = makeButton(m_forwardAction, "stepForwardBtn");

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("frameSlider"));
    m_slider->setPageStep(10);
    m_slider->setFocusPolicy(Qt::NoFocus);
    auto* jumpStyle = new JumpClickStyle; // on the application's style
    jumpStyle->setParent(m_slider);
    m_slider->setStyle(jumpStyle);
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) { setFrame(value); });
    // Dragging the slider holds the playback and resumes it on release.
    connect(m_slider, &QSlider::sliderPressed, this, [this] {
        m_resumeAfterDrag = isPlaying();
        m_timer->stop();
    });
    connect(m_slider, &QSlider::sliderReleased, this, [this] {
        if (m_resumeAfterDrag) play();
        m_resumeAfterDrag = false;
    });

    m_frameLabel = new QLabel(this);
    m_frameLabel->setObjectName(QStringLiteral("frameLabel"));
    m_frameLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_timeLabel = new QLabel(this);
    m_timeLabel->setObjectName(QStringLiteral("timeLabel"));
    m_timeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_loopCheck = new QCheckBox(QStringLiteral("繰り返し再生"), this);
    m_loopCheck->setObjectName(QStringLiteral("loopCheck"));
    m_loopCheck->setChecked(true);
    m_loopCheck->setFocusPolicy(Qt::NoFocus);
    m_fitCheck = new QCheckBox(QStringLiteral("ウィンドウに合わせる"), this);
    m_fitCheck->setObjectName(QStringLiteral("fitCheck"));
    m_fitCheck->setFocusPolicy(Qt::NoFocus);
    connect(m_fitCheck, &QCheckBox::toggled, this, &PlayerWindow::setFit);
    m_browserBtn = new QPushButton(QStringLiteral("ブラウザで開く"), this);
    m_browserBtn->setObjectName(QStringLiteral("browserBtn"));
    m_browserBtn->setFocusPolicy(Qt::NoFocus);
    connect(m_browserBtn, &QPushButton::clicked, this, &PlayerWindow::openInBrowser);

    // The slider over the whole width; under it the transport buttons with
    // the frame and the time, then the options and the browser button.
    auto* transport = new QHBoxLayout;
    transport->addWidget(m_backBtn);
    transport->addWidget(m_playBtn);
    transport->addWidget(m_forwardBtn);
    transport->addStretch(1);
    transport->addWidget(m_frameLabel);
    transport->addSpacing(16);
    transport->addWidget(m_timeLabel);
    auto* options = new QHBoxLayout;
    options->addWidget(m_loopCheck);
    options->addSpacing(8);
    options->addWidget(m_fitCheck);
    options->addStretch(1);
    options->addWidget(m_browserBtn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(m_slider);
    layout->addLayout(transport);
    layout->addLayout(options);

    setFit(false);
    updateControls();
}

// The drawer stops before the player and the view it draws for go.
PlayerWindow::~PlayerWindow() {
    m_view->drawer.reset();
}

const MovieInfo& PlayerWindow::info() const {
    static const MovieInfo none;
    return m_player ? m_player->info() : none;
}

bool PlayerWindow::isPlaying() const {
    return m_timer->isActive();
}

bool PlayerWindow::loops() const {
    return m_loopCheck->isChecked();
}

bool PlayerWindow::fitsWindow() const {
    return m_fitCheck->isChecked();
}

bool PlayerWindow::openMovie(const std::string& moviePath, bool loop,
                             const std::string& browsePath) {
    auto player = std::make_unique<MoviePlayer>();
    std::string error;
    if (!player->load(moviePath, &error)) {
        ShowPlayerMessage(
            this, QStringLiteral("ムービーを読み込めません：\n%1\n\n%2")
                      .arg(QString::fromStdString(moviePath), QString::fromStdString(error)));
        return false;
    }
    m_timer->stop();
    const QSize oldSize(info().width, info().height);
    m_view->drawer.reset();
    m_view->shown = QImage();
    m_view->shownRequest.reset();
    m_view->shownWhole = true;
    m_player = std::move(player);
    m_view->player = m_player.get();
    m_view->drawer = std::make_unique<FrameDrawer>(
        *m_player, m_view, [view = m_view](const QImage& image, const DrawRequest& r, bool whole) {
            view->take(image, r, whole);
        });
    m_moviePath = moviePath;
    m_browsePath = browsePath.empty() ? moviePath : browsePath;
    m_loopCheck->setChecked(loop);
    setWindowTitle(
        QStringLiteral("%1 - Movi-Loomster")
            .arg(QString::fromStdString(std::filesystem::path(moviePath).filename().string())));

    const MovieInfo& movie = info();
    const int last = std::max(movie.frameCount - 1, 0);
    {
        // The window sets the slider; only the user's moves seek.
        const QSignalBlocker quiet(m_slider);
        m_slider->setRange(0, last);
    }
    // Room for the widest numbers, so that the labels do not jump while playing.
    const QFontMetrics metrics(m_frameLabel->font());
    m_frameLabel->setMinimumWidth(
        metrics.horizontalAdvance(QStringLiteral("フレーム %1 / %1").arg(movie.frameCount)));
    const double rate = movie.frameRate > 0 ? movie.frameRate : kFallbackFrameRate;
    m_timeLabel->setMinimumWidth(metrics.horizontalAdvance(
        QStringLiteral("%1 / %1 秒").arg(movie.frameCount / rate, 0, 'f', 2)));
    m_timer->setInterval(std::max(1, static_cast<int>(std::lround(1000.0 / rate))));

    setFit(fitsWindow());
    if (!isVisible() || oldSize != QSize(movie.width, movie.height)) resizeToMovie();
    m_frame = -1;
    setFrame(0);
    return true;
}

void PlayerWindow::play() {
    if (!m_player || info().frameCount <= 0) return;
    // Played to its end without looping: play starts again from the beginning.
    if (m_frame >= info().frameCount - 1 && !loops()) setFrame(0);
    m_timer->start();
    updateControls();
}

void PlayerWindow::pause() {
    m_timer->stop();
    updateControls();
}

void PlayerWindow::togglePlay() {
    if (isPlaying())
        pause();
    else
        play();
}

void PlayerWindow::step(int delta) {
    pause();
    setFrame(m_frame + delta);
}

void PlayerWindow::tick() {
    const int count = info().frameCount;
    // The frames of a playing movie do not cancel each other: a frame that
    // takes longer than the frame rate is finished and shown, and the ones
    // asked for meanwhile are skipped.
    m_ticking = true;
    if (m_frame + 1 < count)
        setFrame(m_frame + 1);
    else if (loops() && count > 1)
        setFrame(0);
    else if (!loops())
        pause(); // stays on the last frame
    m_ticking = false;
}

bool PlayerWindow::isFrameShown() const {
    return m_view->isShown();
}

bool PlayerWindow::frameDrawnInPart() const {
    return !m_view->shownWhole;
}

void PlayerWindow::setFrame(int frame) {
    frame = std::clamp(frame, 0, std::max(info().frameCount - 1, 0));
    if (frame == m_frame) return;
    m_frame = frame;
    m_view->frame = frame;
    m_view->ask(!m_ticking);
    m_view->update();
    updateControls();
    emit frameChanged(frame);
}

void PlayerWindow::updateControls() {
    const MovieInfo& movie = info();
    const bool loaded = m_player && movie.frameCount > 0;
    const int frame = std::max(m_frame, 0);
    {
        const QSignalBlocker quiet(m_slider);
        m_slider->setValue(frame);
    }
    const double rate = movie.frameRate > 0 ? movie.frameRate : kFallbackFrameRate;
    m_frameLabel->setText(
        loaded ? QStringLiteral("フレーム %1 / %2").arg(frame + 1).arg(movie.frameCount)
               : QString());
    // A frame is shown from its start time on; once the last one is shown
    // the movie has played its whole length.
    const int elapsedFrames = frame + 1 >= movie.frameCount ? movie.frameCount : frame;
    m_timeLabel->setText(loaded ? QStringLiteral("%1 / %2 秒")
                                      .arg(elapsedFrames / rate, 0, 'f', 2)
                                      .arg(movie.frameCount / rate, 0, 'f', 2)
                                : QString());
    const bool playing = isPlaying();
    m_playAction->setText(playing ? QStringLiteral("一時停止") : QStringLiteral("再生"));
    m_playAction->setIcon(
        style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    for (QWidget* w : {static_cast<QWidget*>(m_slider), static_cast<QWidget*>(m_browserBtn)})
        w->setEnabled(loaded);
    for (QAction* a : {m_playAction, m_backAction, m_forwardAction})
        a->setEnabled(loaded);
}

void PlayerWindow::setFit(bool fit) {
    m_view->fit = fit;
    const MovieInfo& movie = info();
    if (fit) {
        m_view->setMinimumSize(1, 1);
        m_view->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        m_scroll->setWidgetResizable(true);
    } else {
        m_scroll->setWidgetResizable(false);
        m_view->setFixedSize(std::max(movie.width, 1), std::max(movie.height, 1));
    }
    m_view->update();
}

void PlayerWindow::resizeToMovie() {
    // The window as large as the movie at 1:1 and the controls need, within
    // the screen.
    const int frame = 2 * m_scroll->frameWidth();
    const QSize oldMinimum = m_scroll->minimumSize();
    m_scroll->setMinimumSize(info().width + frame, info().height + frame);
    layout()->invalidate();
    QSize wanted = layout()->sizeHint();
    m_scroll->setMinimumSize(oldMinimum);
    layout()->invalidate();
    if (const QScreen* s = screen()) {
        const QSize room = s->availableGeometry().size() * 9 / 10;
        wanted = wanted.boundedTo(room);
    }
    resize(wanted);
}

void PlayerWindow::hideEvent(QHideEvent* event) {
    // A hidden or minimised window stops playing rather than drawing unseen.
    pause();
    QWidget::hideEvent(event);
}

void PlayerWindow::openInBrowser() {
    if (m_browsePath.empty()) return;
    // The desktop's answer comes later; the window may be gone by then.
    const QString text =
        QStringLiteral("ブラウザで開けません：\n%1").arg(QString::fromStdString(m_browsePath));
    CurrentModals().desktopOpen(m_browsePath, [self = QPointer<PlayerWindow>(this), text] {
        ShowPlayerMessage(self, text);
    });
}

} // namespace player
