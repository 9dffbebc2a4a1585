#include "app/gui/UiFonts.h"

#include "platform/GlyphOutline.h"

#include <QStringList>

namespace {
// Lends the characters that a chosen family lacks.
const char* const kJapaneseFallback = "IPAGothic";
} // namespace

QString SubstituteFaceFamily(const QString& faceName) {
    const QByteArray utf8 = faceName.toUtf8();
    const std::string family =
        platform::SubstituteFamily(std::string_view(utf8.constData(), utf8.size()));
    return family.empty() ? faceName : QString::fromStdString(family);
}

QFont UiFont(const QString& faceName, int pixelSize) {
    QFont font;
    const QString family = SubstituteFaceFamily(faceName);
    QStringList families{family};
    if (family != QLatin1String(kJapaneseFallback)) families << QLatin1String(kJapaneseFallback);
    font.setFamilies(families);
    font.setPixelSize(pixelSize);
    return font;
}

QStringList FamiliesWithoutFoundries(const QStringList& families) {
    QStringList plain;
    for (const QString& family : families) {
        QString name = family;
        const qsizetype open = name.lastIndexOf(QStringLiteral(" ["));
        if (open > 0 && name.endsWith(u']')) name.truncate(open);
        if (!plain.contains(name)) plain << name;
    }
    return plain;
}
