// The stage view's handlers: painting the stage and the mouse on it.

#include "editor/MainUnit.h"
#include "editor/TMainForm.h"

#include <QPainter>

void TMainForm::PaintBox1Paint(QPainter& painter) {
    // The stage is white whatever the background colour setting.
    painter.fillRect(0, 0, Stage.width(), Stage.height(), Qt::white);
}

void TMainForm::PaintBox1MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}

void TMainForm::PaintBox1MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, int, int) {}

void TMainForm::PaintBox1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
