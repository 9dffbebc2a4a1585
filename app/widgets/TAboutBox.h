#pragma once
// The about box: product name, version, copyright, a comment and the release
// date on a bevelled panel, and an OK button. Its controls sit at fixed
// pixel positions; each control's objectName is its name.

#include <QDialog>

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
};
