#pragma once
// Building blocks shared by the start and the progress window: both are
// fixed-size windows whose children sit at absolute positions.

#include <QFrame>
#include <QLabel>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace uninstall {

inline const QString WindowTitle = QStringLiteral("Tarvelo アンインストール");

// Both windows are 520 x 360 pixels from frame edge to frame edge. Their
// children are laid out for the client area that leaves on a window with a
// three-pixel fixed frame and a 19-pixel caption.
inline constexpr int WindowWidth = 520;
inline constexpr int WindowHeight = 360;
inline constexpr QSize ClientSize(WindowWidth - 2 * 3, WindowHeight - 2 * 3 - 19);

// Creates a child of `parent` at `geometry` and shows it.
template <typename Control, typename... Args>
Control* CreateChild(QWidget* parent, const QRect& geometry, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setGeometry(geometry);
    control->show();
    return control;
}

// The edge styles of the statics: a one-pixel sunken edge and the deeper
// two-pixel edge of an input field.
enum class Edge { None, Static, Client };

// A static text on a white ground, centred across and wrapped. A header is
// also centred in its height; other texts start at the top with a margin.
enum class TextPlace { Header, Body };
QLabel* CreateWhiteText(QWidget* parent, const QRect& geometry, const QString& text, Edge edge,
                        TextPlace place);

// A two-pixel sunken separator line.
QFrame* CreateSeparator(QWidget* parent, int y, int width);

// Sets up a window of the uninstaller: title, fixed client size, a caption
// with a system menu, and the button-face colour as its background.
void SetUpWindow(QWidget* window, bool maximizeButton);

// The window's top-left corner for a screen of the given size: the window
// centred horizontally on a width of `centreWidth`, vertically on its height.
QPoint WindowPosition(QSize screen, int centreWidth);

} // namespace uninstall
