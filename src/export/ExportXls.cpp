#include "export/ExportXls.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "report/RepReport.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace zorbel {

namespace {

const QString GlobRow = QStringLiteral("___XLGlobRow");

void PutU16(QByteArray &to, int v)
{
    const quint16 le = qToLittleEndian(quint16(v));
    to.append(reinterpret_cast<const char *>(&le), 2);
}

void CheckU16(int v)
{
    if (v < 0 || v > 65535)
        throw ERangeError(QStringLiteral("Range check error"));
}

} // namespace

void TRepXLSFilter::WriteRecordHead(QByteArray &to, int number, int length)
{
    CheckU16(number);
    CheckU16(length);
    PutU16(to, number);
    PutU16(to, length);
}

void TRepXLSFilter::BeginDocument(int paperWidth, int paperHeight, const QFont &font)
{
    if (ContinueSheet && DocumentsDone > 0)
        return;
    TRepAbstractExportFilter::BeginDocument(paperWidth, paperHeight, font);
    HighestRow = -1;
}

bool TRepXLSFilter::ReadFigure(const QString &text, double &value, QString &format)
{
    // sign, blank after it, integer digits in groups of three or plain,
    // decimals after a comma.
    static const QRegularExpression figure(
        QStringLiteral("^[ \\x{00A0}]*(-)?([ \\x{00A0}])?(\\d{1,3}(?:[ \\x{00A0}]\\d{3})+|\\d+)(?:,(\\d+))?[ \\x{00A0}]*$"));
    const QRegularExpressionMatch m = figure.match(text);
    if (!m.hasMatch())
        return false;
    const QString digits = m.captured(3).remove(QLatin1Char(' ')).remove(QChar(0x00A0));
    const QString decimals = m.captured(4);
    bool ok = false;
    value = (digits + QLatin1Char('.') + (decimals.isEmpty() ? QStringLiteral("0") : decimals)).toDouble(&ok);
    if (!ok)
        return false;
    if (m.hasCaptured(1))
        value = -value;
    QString shown = m.captured(3).size() > digits.size() ? QStringLiteral("#,##0") : QStringLiteral("0");
    if (!decimals.isEmpty())
        shown += QLatin1Char('.') + QString(decimals.size(), QLatin1Char('0'));
    format = m.hasCaptured(1) && m.hasCaptured(2) ? shown + QStringLiteral(";- ") + shown : shown;
    return true;
}

int TRepXLSFilter::FormatIndex(const QString &format)
{
    qsizetype i = formats_.indexOf(format);
    if (i < 0) {
        if (formats_.size() >= 64)
            return 0;
        formats_ << format;
        i = formats_.size() - 1;
    }
    return int(i);
}

void TRepXLSFilter::OpenOutput(const QString &fileName)
{
    TRepAbstractExportFilter::OpenOutput(fileName);
    cells_.clear();
    usedRows_ = usedColumns_ = 0;
    formats_ = QStringList{QStringLiteral("General")};
    if (Report) {
        TRepEvEnvironment &env = Report->Functions;
        if (env.IndexOf(GlobRow) < 0)
            env.DefineVariable(GlobRow, QStringLiteral("0"));
        TRepEvEnvironment::SetIntegerConstant(env.GetVariableElement(GlobRow), 0);
    }
}

void TRepXLSFilter::CloseOutput()
{
    // The head goes in front of the cells now that their range is known.
    QByteArray head;
    WriteRecordHead(head, 0x0809, 6);
    PutU16(head, 0);
    PutU16(head, 0x0010);
    PutU16(head, 0);
    WriteRecordHead(head, 0x0042, 2);
    PutU16(head, 1251);
    for (const QString &format : formats_) {
        const QByteArray bytes = format.toLatin1();
        WriteRecordHead(head, 0x001E, 1 + int(bytes.size()));
        head.append(char(bytes.size()));
        head.append(bytes);
    }
    WriteRecordHead(head, 0x0200, 10);
    PutU16(head, 0);
    PutU16(head, usedRows_);
    PutU16(head, 0);
    PutU16(head, usedColumns_);
    PutU16(head, 0);
    WriteBytes(head);
    WriteBytes(cells_);
    QByteArray tail;
    WriteRecordHead(tail, 0x000A, 0);
    WriteBytes(tail);
    cells_.clear();
    TRepAbstractExportFilter::CloseOutput();
}

void TRepXLSFilter::WriteNumber(int row, int column, double value, int format)
{
    if (row > MaxRows - 1)
        throw ERangeError(QStringLiteral("Отчёт не помещается на лист: больше %1 строк.").arg(MaxRows));
    CheckU16(column);
    WriteRecordHead(cells_, 0x0003, 15);
    PutU16(cells_, row);
    PutU16(cells_, column);
    cells_.append('\0');
    cells_.append(char(format & 0x3F));
    cells_.append('\0');
    quint64 bits;
    std::memcpy(&bits, &value, 8);
    bits = qToLittleEndian(bits);
    cells_.append(reinterpret_cast<const char *>(&bits), 8);
    usedRows_ = std::max(usedRows_, row + 1);
    usedColumns_ = std::max(usedColumns_, column + 1);
}

void TRepXLSFilter::WriteCell(int kind, int row, const QString &text, int column, int format)
{
    if (row > MaxRows - 1)
        throw ERangeError(QStringLiteral("Отчёт не помещается на лист: больше %1 строк.").arg(MaxRows));
    CheckU16(column);
    auto cellHead = [&](int number, int length) {
        WriteRecordHead(cells_, number, length);
        PutU16(cells_, row);
        PutU16(cells_, column);
        cells_.append(3, '\0');
    };
    switch (kind) {
    case 1: {
        cellHead(0x0002, 11);
        const qint32 v = qToLittleEndian(qint32(text.trimmed().toInt()));
        cells_.append(reinterpret_cast<const char *>(&v), 4);
        break;
    }
    case 2: {
        double d = 0;
        TryStrToFloat(text, d);
        WriteNumber(row, column, d, format);
        return;
    }
    case 3: {
        const QByteArray bytes = UnicodeToWin1251(text.left(255));
        cellHead(0x0004, 8 + int(bytes.size()));
        cells_.append(char(bytes.size()));
        cells_.append(bytes);
        break;
    }
    default: return;
    }
    usedRows_ = std::max(usedRows_, row + 1);
    usedColumns_ = std::max(usedColumns_, column + 1);
}

void TRepXLSFilter::WritePage()
{
    int r = 0;
    bool continued = false;
    TRepEvEnvironment *env = Report ? &Report->Functions : nullptr;
    if (env && env->IndexOf(GlobRow) >= 0) {
        const TRepEvValue v = env->GetVariableValue(GlobRow);
        if (v.Kind == TRepEvKind::Integer && v.IntValue > 0) {
            r = v.IntValue;
            continued = true;
        }
    }
    if (DocumentsDone > 0)
        r = HighestRow;
    if (r + LineTotal > MaxRows)
        throw ERangeError(QStringLiteral("Отчёт не помещается на лист: больше %1 строк.").arg(MaxRows));
    TRepPrinter *printer = Report ? Report->RepPrinter : nullptr;
    // The progress window tells what is being written. It is the printer's
    // status window, so the writer reaches it without knowing the windows.
    if (!continued && LineTotal > 0 && printer)
        if (TRepMessageTarget *window = printer->StatusWindow)
            window->SetStatusCaption(QStringLiteral("Writing XLS file..."));
    const QChar thousands = FormatSettings().ThousandSeparator;
    int shown = -1;
    for (int line = 1; line <= LineTotal; ++line) {
        if (printer && !continued) {
            const int percent = (line - 1) * 100 / LineTotal;
            if (percent != shown) { // progress once per percent keeps the pump cheap
                shown = percent;
                printer->SetProgress(percent);
                QCoreApplication::processEvents();
            }
        }
        for (int c = 1; c <= ColumnTotal; ++c) {
            const QString text = GetCell(line, c);
            if (text.isEmpty())
                continue;
            double value;
            QString format;
            if (ReadFigure(text, value, format)) {
                WriteNumber(r, c - 1, value, FormatIndex(format));
                continue;
            }
            QString clean = text;
            clean.remove(thousands);
            if (TryStrToFloat(clean, value))
                WriteCell(2, r, clean, c - 1);
            else
                WriteCell(3, r, text, c - 1);
        }
        ++r;
    }
    HighestRow = std::max(HighestRow, r);
    if (env && env->IndexOf(GlobRow) >= 0)
        TRepEvEnvironment::SetIntegerConstant(env->GetVariableElement(GlobRow), r);
}

void TRepXLSFilter::EndDocument()
{
    ++DocumentsDone;
    if (!ContinueSheet)
        TRepAbstractExportFilter::EndDocument();
    else
        PaperHeight *= DocumentsDone;
}

} // namespace zorbel
