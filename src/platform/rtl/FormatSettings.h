// The format settings of the runtime. The program forces the Russian locale
// (1049) whatever the machine's locale is, so these are fixed values, set once
// and never read from the process environment. They stay assignable because
// a few routines swap a format for the duration of one conversion.
#pragma once

#include <QChar>
#include <QString>

namespace zorbel {

struct TFormatSettings {
    QChar DecimalSeparator = u',';
    QChar ThousandSeparator = QChar(0x00A0); // no-break space
    QChar DateSeparator = u'.';
    QChar TimeSeparator = u':';
    QString ShortDateFormat = QStringLiteral("dd.mm.yyyy");
    // Russian long date: day, month name, year, "г.".
    QString LongDateFormat = QStringLiteral("d mmmm yyyy 'г.'");
    QString ShortTimeFormat = QStringLiteral("h:mm");
    QString LongTimeFormat = QStringLiteral("h:mm:ss");
    QString CurrencyString = QStringLiteral("р.");
    // Short month names, January first.
    QString ShortMonthNames[12] = {
        QStringLiteral("янв"), QStringLiteral("фев"), QStringLiteral("мар"), QStringLiteral("апр"),
        QStringLiteral("май"), QStringLiteral("июн"), QStringLiteral("июл"), QStringLiteral("авг"),
        QStringLiteral("сен"), QStringLiteral("окт"), QStringLiteral("ноя"), QStringLiteral("дек")};
    // Long month names, in the nominative ("Март 2024").
    QString LongMonthNames[12] = {
        QStringLiteral("Январь"), QStringLiteral("Февраль"), QStringLiteral("Март"), QStringLiteral("Апрель"),
        QStringLiteral("Май"), QStringLiteral("Июнь"), QStringLiteral("Июль"), QStringLiteral("Август"),
        QStringLiteral("Сентябрь"), QStringLiteral("Октябрь"), QStringLiteral("Ноябрь"), QStringLiteral("Декабрь")};
    // The long names in the genitive, written after a day number ("5 марта").
    QString GenitiveMonthNames[12] = {
        QStringLiteral("января"), QStringLiteral("февраля"), QStringLiteral("марта"), QStringLiteral("апреля"),
        QStringLiteral("мая"), QStringLiteral("июня"), QStringLiteral("июля"), QStringLiteral("августа"),
        QStringLiteral("сентября"), QStringLiteral("октября"), QStringLiteral("ноября"), QStringLiteral("декабря")};
    // Day names, Sunday first (index DayOfWeek - 1).
    QString ShortDayNames[7] = {QStringLiteral("Вс"), QStringLiteral("Пн"), QStringLiteral("Вт"), QStringLiteral("Ср"),
                                QStringLiteral("Чт"), QStringLiteral("Пт"), QStringLiteral("Сб")};
    QString LongDayNames[7] = {QStringLiteral("воскресенье"), QStringLiteral("понедельник"),
                               QStringLiteral("вторник"), QStringLiteral("среда"),
                               QStringLiteral("четверг"), QStringLiteral("пятница"),
                               QStringLiteral("суббота")};
    // Two-digit years are read within the 100 years starting this many years
    // before the current one.
    int TwoDigitYearCenturyWindow = 50;
};

// The process-wide settings, initialised to the Russian values above.
TFormatSettings &FormatSettings();

} // namespace zorbel
