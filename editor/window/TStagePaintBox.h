#pragma once
// The stage surface inside ScrollBox1: forwards paint and mouse events to the
// window's stage handlers and lets them set its cursor.

#include <QWidget>

class TMainForm;

class TStagePaintBox final : public QWidget {
public:
    explicit TStagePaintBox(TMainForm& form, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    TMainForm& m_form;
};
