#include "clock/time_text.h"

#include <QHash>
#include <QMutex>

#include <algorithm>
#include <array>

namespace ostrel::clock {

namespace {

// A format split into fields (a run of one pattern letter, or an AM/PM marker) and the literal text
// between them, quoted words included.
struct Piece
{
    QString text;
    bool field = false;
};

bool IsAmPm(const Piece &p)
{
    return p.field && (p.text.front() == u'a' || p.text.front() == u'A');
}

QList<Piece> Split(const QString &format)
{
    QList<Piece> pieces;
    const auto literal = [&pieces](QStringView text) {
        if (pieces.isEmpty() || pieces.back().field)
            pieces.append(Piece{});
        pieces.back().text += text;
    };
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        qsizetype j = i + 1;
        if (c == u'\'') {
            while (j < format.size() && format.at(j) != u'\'')
                ++j;
            literal(QStringView(format).mid(i, ++j - i));
        } else if (c.isLetter() && c.unicode() < 0x80) {
            const bool ampm = (c == u'a' || c == u'A') && j < format.size() && (format.at(j) == u'p' || format.at(j) == u'P');
            if (ampm)
                ++j;
            else
                while (j < format.size() && format.at(j) == c)
                    ++j;
            pieces.append(Piece{format.mid(i, j - i), true});
        } else {
            literal(QStringView(format).mid(i, 1));
        }
        i = j;
    }
    return pieces;
}

bool HasLetter(const Piece &p)
{
    return std::any_of(p.text.cbegin(), p.text.cend(), [](QChar c) { return c.isLetter(); });
}

// Drops the fields that drop() picks, with the text that only separated them from the rest: at either
// end of the format the literal next to the field goes too, a word with it only if wholeWord ("AP 'ga'
// h:mm:ss" is Ewe for "PM at 9:05:07"), never a word otherwise ("H:mm:ss 'ч'." keeps its hour word).
template <typename Drop>
QString Without(const QString &format, Drop drop, bool wholeWord)
{
    QList<Piece> pieces = Split(format);
    for (qsizetype i = 0; i < pieces.size();) {
        if (!pieces[i].field || !drop(pieces[i])) {
            ++i;
            continue;
        }
        pieces.removeAt(i);
        if (i == 0 && !pieces.isEmpty() && !pieces[0].field && (wholeWord || !HasLetter(pieces[0])))
            pieces.removeAt(0);
        else if (i == pieces.size() && i > 0 && !pieces[i - 1].field && (wholeWord || !HasLetter(pieces[i - 1])))
            pieces.removeAt(--i);
    }
    QString out;
    for (const Piece &p : pieces)
        out += p.text;
    return out.simplified();
}

// Removes a zone field in brackets ("(t)", "[t]", the full-width "\uff08t\uff09") with the spaces
// inside it and before it. A plain scan: a regular expression here would load and compile PCRE at
// start-up, half a megabyte of memory for one pattern.
QString WithoutBracketedZone(QString format)
{
    constexpr QStringView open = u"([\uff08";
    constexpr QStringView close = u")]\uff09";
    const auto skipSpaces = [&format](qsizetype i) {
        while (i < format.size() && format.at(i).isSpace())
            ++i;
        return i;
    };
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (!open.contains(format.at(i)))
            continue;
        const qsizetype zone = skipSpaces(i + 1);
        qsizetype end = zone;
        while (end < format.size() && format.at(end) == u't')
            ++end;
        end = skipSpaces(end);
        if (end == zone || end == format.size() || !close.contains(format.at(end)))
            continue;
        qsizetype from = i;
        while (from > 0 && format.at(from - 1).isSpace())
            --from;
        format.remove(from, end + 1 - from);
        i = from - 1;
    }
    return format;
}

// Qt's long format names the time zone, which QLocale::toTime cannot read back.
QString WithoutZone(const QString &format)
{
    return Without(WithoutBracketedZone(format), [](const Piece &p) { return p.text.front() == u't'; }, false);
}

// The same format on a 24-hour clock: no AM/PM marker, H for h.
QString TwentyFourHour(const QString &format)
{
    QString out;
    for (const Piece &p : Split(Without(format, IsAmPm, true)))
        out += p.field && p.text.front() == u'h' ? QString(p.text.size(), u'H') : p.text;
    return out;
}

// The AM/PM words as the locale writes them rather than upper-cased.
QString AmPmAsWritten(const QString &format)
{
    QString out;
    for (const Piece &p : Split(format))
        out += IsAmPm(p) ? QStringLiteral("Ap") : p.text;
    return out;
}

bool ReadsBack(const TimeFormat &f)
{
    // The ways a format fails to read back are whole fields, not single seconds: digits that the
    // parser does not know (every time fails), or an AM/PM word that it misreads (half the day fails).
    // So a few times that cover both halves of the day, both hour edges and two-digit fields decide
    // it; trying all 86400 seconds would cost tens of milliseconds at start-up.
    static constexpr std::array<std::array<int, 3>, 7> probes{
        {{0, 0, 0}, {9, 5, 7}, {11, 59, 59}, {12, 0, 0}, {13, 59, 59}, {21, 5, 7}, {23, 59, 59}}};
    // Qt's parser reads past its buffer on an AM/PM word at the start of the text when the two words
    // differ in length (Ewe, Ghana); nor does it read such text back in any locale tried.
    const QList<Piece> pieces = Split(f.format);
    if (!pieces.isEmpty() && IsAmPm(pieces.front()) && f.locale.amText().size() != f.locale.pmText().size())
        return false;
    for (const auto &[h, m, s] : probes) {
        const QTime time(h, m, s);
        const QString text = f.locale.toString(time, f.format);
        // Qt's parser miscounts characters outside the Basic Multilingual Plane (the Chakma and Adlam
        // digits) and reads past its buffer on them: such text is never handed to it.
        if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSurrogate(); }))
            return false;
        if (f.locale.toTime(text, f.format) != time)
            return false;
    }
    return true;
}

TimeFormat Choose(const QLocale &locale)
{
    const QString own = WithoutZone(locale.timeFormat(QLocale::LongFormat));
    const QString asIs = AmPmAsWritten(own);
    const QString h24 = TwentyFourHour(own);
    const QLocale c = QLocale::c();
    for (const TimeFormat &candidate : {TimeFormat{locale, own}, TimeFormat{locale, asIs}, TimeFormat{locale, h24},
                                        TimeFormat{c, h24}}) {
        if (ReadsBack(candidate))
            return candidate;
    }
    return {c, QStringLiteral("HH:mm:ss")};
}

} // namespace

TimeFormat TimeFormatFor(const QLocale &locale)
{
    // Chosen once per locale: the program uses one locale, and a test goes through many.
    static QMutex mutex;
    static QHash<QLocale, TimeFormat> chosen;
    const QMutexLocker lock(&mutex);
    auto it = chosen.constFind(locale);
    if (it == chosen.constEnd())
        it = chosen.insert(locale, Choose(locale));
    return *it;
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
    const TimeFormat f = TimeFormatFor(locale);
    return f.locale.toString(ToQTime(value), f.format);
}

QString FormatLongTime(ClockValue value, const QLocale &locale)
{
    return TimeText(value, locale);
}

std::optional<ClockValue> ParseTime(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    const TimeFormat f = TimeFormatFor(locale);
    QTime time = f.locale.toTime(trimmed, f.format);
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
