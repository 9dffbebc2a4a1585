#pragma once
// Fonts for the windows. The face names the program uses by default (such
// as "ＭＳ 明朝") map to the installed faces through the same table as the
// compiler's outlines, so Japanese captions render in a real Japanese face.

#include <QFont>
#include <QString>
#include <QStringList>

// The installed family for a face name: its substitute when the table has
// one, otherwise the name itself.
QString SubstituteFaceFamily(const QString& faceName);

// A font of the substituted family at the given pixel size, falling back to
// a Japanese face for characters the family lacks.
QFont UiFont(const QString& faceName, int pixelSize);

// The installed families as a font list shows them: one entry per family,
// a family that several foundries supply ("Name [Foundry]") only once, by
// its plain name, which is what the font layer looks it up by.
QStringList FamiliesWithoutFoundries(const QStringList& families);
