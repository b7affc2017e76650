#include "platform/fonts.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QStringList>

namespace ostrel::platform {

namespace {

// The faces of the list that are installed, in order. Asking for a face that is missing sends the
// font matcher through every installed font before it falls back, for each font of each widget.
// (QFontDatabase::hasFamily would ask fontconfig for aliases of each missing face, which costs as much.)
QStringList Installed(std::initializer_list<const char *> faces)
{
    const QStringList installed = QFontDatabase::families();
    QStringList found;
    for (const char *face : faces) {
        const QString family = QLatin1String(face);
        if (installed.contains(family, Qt::CaseInsensitive))
            found << family;
    }
    return found;
}

} // namespace

QFont DisplayFont(qreal pointSize, int weight, bool italic)
{
    QFont font;
    static const QStringList faces = Installed({"Charter BT", "Bitstream Charter", "Charis SIL"});
    font.setFamilies(faces);
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(pointSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(italic);
    return font;
}

QFont DialogFont()
{
    QFont font;
    static const QStringList faces = Installed({"Liberation Sans", "Arimo", "Nimbus Sans", "DejaVu Sans Condensed"});
    font.setFamilies(faces);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

void SetFittedText(QLabel *label, const QFont &designFont, const QString &text)
{
    if (text == label->text())
        return;
    const int room = label->contentsRect().width() - 2;
    QFont font = designFont;
    while (font.pointSizeF() > 6 && QFontMetrics(font).horizontalAdvance(text) > room)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
    label->setText(text);
}

} // namespace ostrel::platform
