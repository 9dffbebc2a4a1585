#include "uninstall/TProgressWindow.h"

#include "uninstall/Controls.h"

#include <QPushButton>

namespace uninstall {

TProgressWindow::TProgressWindow(QSize screen, QWidget* owner) : QWidget(owner) {
    SetUpWindow(this, false);
    move(WindowPosition(screen, WindowWidth));
    const int w = ClientSize.width();

    m_header = CreateWhiteText(this, QRect(-1, -1, w + 1, 49),
                               QStringLiteral("ソワトをアンインストールします......"), Edge::None,
                               TextPlace::Header);
    m_header->setObjectName(QStringLiteral("header"));
    m_message =
        CreateWhiteText(this, QRect(10, 70, w - 20, 200), QStringLiteral("アンインストールする..."),
                        Edge::Client, TextPlace::Body);
    m_message->setObjectName(QStringLiteral("message"));
    CreateSeparator(this, 279, w);
    CreateSeparator(this, 49, w);
    auto* next =
        CreateChild<QPushButton>(this, QRect(w - 194, 290, 89, 25), QStringLiteral("次へ >"));
    next->setEnabled(false);
    auto* cancel =
        CreateChild<QPushButton>(this, QRect(w - 97, 290, 89, 25), QStringLiteral("取り消す"));
    cancel->setEnabled(false);
}

void TProgressWindow::ShowSkipped(int entries, bool groupRefused, bool keyRefused) {
    QString text = m_message->text();
    if (entries > 0)
        text +=
            QStringLiteral("\n\n%1 件の項目はフォルダの外を指していたため、削除しませんでした。")
                .arg(entries);
    if (groupRefused)
        text += QStringLiteral(
            "\n\nプログラム グループの名前がプログラム フォルダの外を指していたため、"
            "グループのフォルダには手を付けませんでした。");
    if (keyRefused)
        text += QStringLiteral(
            "\n\nレジストリのキー名が正しくないため、登録情報は削除しませんでした。");
    m_message->setText(text);
}

} // namespace uninstall
