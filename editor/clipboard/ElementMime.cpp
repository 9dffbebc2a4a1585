#include "editor/clipboard/ElementMime.h"

#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "platform/TextCodec.h"

#include <QByteArray>
#include <QString>

const char* const ElementMimeType = "application/x-moviloomster-elements";

std::unique_ptr<QMimeData> ElementsToMime(const std::vector<const Objekt*>& elements) {
    ProjectSnapshot copy;
    copy.settings = Stage;
    QString plain;
    for (const Objekt* o : elements) {
        copy.elements.push_back(CopyObjekt(*o));
        if (o->Kind == okText && o->Text) {
            if (const auto utf8 = platform::cp932ToUtf8(o->Text)) {
                if (!plain.isEmpty()) plain += u'\n';
                plain += QString::fromStdString(*utf8);
            }
        }
    }
    const std::vector<uint8_t> bytes = EncodeProjectBytes(copy);
    auto mime = std::make_unique<QMimeData>();
    mime->setData(QString::fromLatin1(ElementMimeType),
                  QByteArray(reinterpret_cast<const char*>(bytes.data()),
                             static_cast<qsizetype>(bytes.size())));
    if (!plain.isEmpty()) mime->setText(plain);
    return mime;
}

bool CanPasteElements(const QMimeData& mime) {
    return mime.hasFormat(QString::fromLatin1(ElementMimeType)) ||
           (mime.hasText() && !mime.text().isEmpty());
}

std::vector<Objekt> ElementsFromMime(const QMimeData& mime) {
    std::vector<Objekt> out;
    const QString type = QString::fromLatin1(ElementMimeType);
    if (mime.hasFormat(type)) {
        const QByteArray bytes = mime.data(type);
        ProjectSnapshot decoded;
        if (DecodeProjectBytes(reinterpret_cast<const unsigned char*>(bytes.constData()),
                               static_cast<size_t>(bytes.size()), decoded))
            out.swap(decoded.elements);
        return out;
    }
    if (!mime.hasText() || mime.text().isEmpty()) return out;
    const auto text = platform::utf8ToCp932(mime.text().toStdString());
    if (!text) return out;
    // The defaults of an element appended to the list, then taken out again.
    AddObjekt(okText);
    Objekt o = TakeObjekt(ObjektList.Count - 1);
    ReplaceString(o.Text, *text);
    out.push_back(o);
    return out;
}
