#include "platform/fonts.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStringList>

namespace ostrel::platform {

QFont DisplayFont(qreal pointSize, int weight, bool italic)
{
    QFont font;
    font.setFamilies({QStringLiteral("Charter BT"), QStringLiteral("Bitstream Charter"),
                      QStringLiteral("Charis SIL")});
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(pointSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(italic);
    return font;
}

QFont DialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans Condensed")});
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
