#pragma once

#include <QFont>

class QLabel;
class QString;

namespace ostrel::platform {

// The display face of the windows' boxes and captions, with the nearest free Charter cuts after it.
QFont DisplayFont(qreal pointSize, int weight, bool italic = false);

// The windows are laid out for an 8-point sans serif of Arial's widths: a desktop's own, often larger,
// default would clip their captions. Liberation Sans has those widths; Nimbus Sans nearly so.
QFont DialogFont();

// Shows text in the label at the label's design font, or, where the locale's text would not fit the
// box (a long date format, say), at the largest size below it that does.
void SetFittedText(QLabel *label, const QFont &designFont, const QString &text);

} // namespace ostrel::platform
