#include "clock/time_text.h"

namespace ostrel::clock {

QString LongTimeFormat(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    kept.reserve(format.size());
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        kept.append(c);
    }
    for (const auto *brackets : {u"()", u"[]", u"\uff08\uff09"})
        kept.remove(QString::fromUtf16(brackets));
    return kept.simplified();
}

ClockValue FromQTime(QTime time)
{
    return FromHms(time.hour(), time.minute(), time.second());
}

QTime ToQTime(ClockValue value)
{
    return QTime(HourOf(value), MinuteOf(value), SecondOf(value));
}

QString TimeText(ClockValue value, const QLocale &locale)
{
    return locale.toString(ToQTime(value), LongTimeFormat(locale));
}

QString FormatLongTime(ClockValue value, const QLocale &locale)
{
    return TimeText(value, locale);
}

std::optional<ClockValue> ParseTime(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    QTime time = locale.toTime(trimmed, LongTimeFormat(locale));
    for (const auto *format : {u"H:mm", u"H:mm:ss"}) {
        if (time.isValid())
            break;
        time = QTime::fromString(trimmed, QString::fromUtf16(format));
    }
    if (!time.isValid())
        return std::nullopt;
    return FromQTime(time);
}

QString DateText(QDate date, const QLocale &locale)
{
    return locale.toString(date, QLocale::ShortFormat);
}

} // namespace ostrel::clock
