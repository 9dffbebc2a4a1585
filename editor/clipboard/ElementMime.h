#pragma once
// Elements on the system clipboard and in drops: under a MIME type of our
// own, the elements as a whole project file (pictures included), so that
// they paste between two running editors; a text element also goes as plain
// text. Pasting plain text from elsewhere makes a text element of it.

#include "editor/model/Objekt.h"

#include <QMimeData>

#include <memory>
#include <vector>

// "application/x-moviloomster-elements": the bytes of a project file that
// holds just the copied elements.
extern const char* const ElementMimeType;

// The mime data for a copy of `elements` (the project keeps its own).
std::unique_ptr<QMimeData> ElementsToMime(const std::vector<const Objekt*>& elements);

// Whether `mime` holds something ElementsFromMime can paste.
bool CanPasteElements(const QMimeData& mime);

// New elements (owned by the caller) from the clipboard: our own type first;
// otherwise plain text that Shift-JIS can hold becomes a text element with
// the defaults of an element added at the end of the list. Empty when there
// is nothing to paste or the data is damaged.
std::vector<Objekt> ElementsFromMime(const QMimeData& mime);
