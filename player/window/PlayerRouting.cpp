#include "player/window/PlayerRouting.h"

#include "app/widgets/Modals.h"
#include "player/MoviePage.h"
#include "player/window/PlayerWindow.h"

#include <QScreen>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace player {
namespace {

namespace fs = std::filesystem;

// A page larger than this was not written by the save command.
constexpr std::uintmax_t kMaxPageBytes = 1 << 20;

std::string lowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

OpenRoute refuse(std::string message) {
    OpenRoute route;
    route.kind = OpenRoute::Refused;
    route.message = std::move(message);
    return route;
}

bool readPage(const std::string& path, std::string& text) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxPageBytes) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

OpenRoute RouteOpen(const std::string& target) {
    std::string path = target;
    if (path.rfind("file:", 0) == 0) {
        const QUrl url(QString::fromStdString(path));
        if (!url.isLocalFile()) return {};
        path = url.toLocalFile().toStdString();
    }
    const std::string ext = lowerExtension(path);
    if (path.find("://") != std::string::npos) return {}; // a web address

    if (ext == ".swf") {
        if (!isRegularFile(path)) return refuse("ムービーが見つかりません：\n" + path);
        OpenRoute route;
        route.kind = OpenRoute::Player;
        route.moviePath = path;
        route.browsePath = path;
        return route;
    }
    if (ext != ".htm" && ext != ".html") return {};

    std::error_code ec;
    if (isRegularFile(path) && fs::file_size(path, ec) > kMaxPageBytes && !ec) return {};
    std::string text;
    if (!readPage(path, text)) return refuse("ページを読み込めません：\n" + path);
    const std::optional<MoviePage> page = ParseMoviePage(text);
    if (!page) return refuse("このページには再生するムービーがありません：\n" + path);
    const std::string movie = MoviePathForPage(path, page->movie);
    if (!isRegularFile(movie))
        return refuse("ページのムービーが見つかりません：\n" + movie + "\n（ページ：" + path +
                      "）");
    OpenRoute route;
    route.kind = OpenRoute::Player;
    route.moviePath = movie;
    route.loop = page->loop;
    route.browsePath = path;
    return route;
}

bool PlayerRouting::show(const std::string& path) {
    const OpenRoute route = RouteOpen(path);
    switch (route.kind) {
    case OpenRoute::Desktop:
        OpenOnDesktop(m_owner, path);
        return true;
    case OpenRoute::Refused:
        ShowPlayerMessage(m_window && m_window->isVisible() ? static_cast<QWidget*>(m_window.data())
                                                            : m_owner,
                          QString::fromStdString(route.message));
        return false;
    case OpenRoute::Player:
        break;
    }
    const bool created = !m_window;
    if (created) {
        m_window = new PlayerWindow(m_owner);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (!m_window->openMovie(route.moviePath, route.loop, route.browsePath)) {
        if (created) delete m_window.data();
        return false;
    }
    if (created) {
        // A new window comes up centred over the window it belongs to.
        const QRect screen = m_window->screen()->availableGeometry();
        const QRect over = m_owner ? m_owner->window()->frameGeometry() : screen;
        QRect placed(QPoint(), m_window->size());
        placed.moveCenter(over.center());
        placed.moveTopLeft(
            QPoint(std::max(placed.left(), screen.left()), std::max(placed.top(), screen.top())));
        m_window->move(placed.topLeft());
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_window->play();
    return true;
}

} // namespace player
