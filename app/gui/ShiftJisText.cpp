#include "app/gui/ShiftJisText.h"

#include "platform/TextCodec.h"

QString FromCp932(const char* cp932) {
    if (!cp932) return {};
    if (auto utf8 = platform::cp932ToUtf8(cp932)) return QString::fromStdString(*utf8);
    QString shown;
    for (const char* p = cp932; *p; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        shown += b < 0x80 ? QChar(b) : QChar(QChar::ReplacementCharacter);
    }
    return shown;
}

std::optional<std::string> ToCp932(const QString& text) {
    return platform::utf8ToCp932(text.toStdString());
}

QString FirstUnstorableCharacter(const QString& text) {
    for (int i = 0; i < text.size();) {
        const int len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString ch = text.mid(i, len);
        if (!ToCp932(ch)) return ch;
        i += len;
    }
    return {};
}
