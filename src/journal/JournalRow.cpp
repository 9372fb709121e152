// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalRow.h"

#include <QStringList>
#include <cmath>
#include <utility>

namespace kestrova {

namespace {

constexpr std::pair<JournalEvent, const char*> EventNames[] = {
    {JournalEvent::SequenceStart, "sequence-start"},
    {JournalEvent::Open, "open"},
    {JournalEvent::Close, "close"},
    {JournalEvent::ManualOpen, "manual-open"},
    {JournalEvent::ManualClose, "manual-close"},
    {JournalEvent::ConfigChange, "config-change"},
    {JournalEvent::SequenceEnd, "sequence-end"},
    {JournalEvent::Dither, "dither"},
    {JournalEvent::DitherReply, "dither-reply"},
    {JournalEvent::Settle, "settle"},
    {JournalEvent::StarLost, "star-lost"},
    {JournalEvent::Guider, "guider"},
};
constexpr std::pair<JournalInterface, const char*> InterfaceNames[] = {
    {JournalInterface::Parallel, "parallel"},
    {JournalInterface::Serial, "serial"},
};
constexpr std::pair<JournalOutcome, const char*> OutcomeNames[] = {
    {JournalOutcome::Completed, "completed"},
    {JournalOutcome::Cancelled, "cancelled"},
    {JournalOutcome::Failed, "failed"},
    {JournalOutcome::Accepted, "accepted"},
    {JournalOutcome::Refused, "refused"},
    {JournalOutcome::Settled, "settled"},
    {JournalOutcome::SettleFailed, "settle failed"},
    {JournalOutcome::TimedOut, "timed out"},
    {JournalOutcome::ConnectionLost, "connection lost"},
    {JournalOutcome::ConnectionBack, "connection back"},
};
constexpr std::pair<JournalAwake, const char*> AwakeNames[] = {
    {JournalAwake::Portal, "portal"},
    {JournalAwake::Logind, "logind"},
    {JournalAwake::ScreenSaver, "screen saver"},
    {JournalAwake::No, "no"},
};

template <typename Enum, std::size_t Count>
QString nameOf(const std::pair<Enum, const char*> (&names)[Count], Enum value)
{
    for (const auto& [candidate, name] : names)
        if (candidate == value)
            return QString::fromLatin1(name);
    return {};
}

// The enum value a text names; empty text is no value. False for a text that names none.
template <typename Enum, std::size_t Count>
bool readName(const std::pair<Enum, const char*> (&names)[Count], const QString& text,
              std::optional<Enum>& value)
{
    value.reset();
    if (text.isEmpty())
        return true;
    for (const auto& [candidate, name] : names)
        if (text == QLatin1String(name)) {
            value = candidate;
            return true;
        }
    return false;
}

template <typename Number> QString numberText(const std::optional<Number>& value)
{
    return value ? QString::number(*value) : QString();
}

QString decimalText(const std::optional<double>& value)
{
    return value ? csvDecimal(*value, 3) : QString();
}

// One CSV record: its fields, and whether a line end closed it.
struct Record {
    QList<QByteArray> fields;
    bool terminated = false;
};

// Splits the text into records. A quoted field may hold anything, line ends included.
QList<Record> splitRecords(const QByteArray& text)
{
    QList<Record> records;
    Record record;
    QByteArray field;
    bool inQuotes = false;
    bool recordHasContent = false;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c == '"') {
                if (i + 1 < size && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == '"') {
            inQuotes = true;
            recordHasContent = true;
        } else if (c == ',') {
            record.fields << field;
            field.clear();
            recordHasContent = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < size && text[i + 1] == '\n')
                ++i;
            if (recordHasContent || !field.isEmpty()) {
                record.fields << field;
                record.terminated = true;
                records << record;
            }
            record = Record{};
            field.clear();
            recordHasContent = false;
        } else {
            field += c;
            recordHasContent = true;
        }
    }
    if (recordHasContent || !field.isEmpty()) {
        record.fields << field;
        records << record; // not terminated: cut off
    }
    return records;
}

bool readInt(const QString& text, std::optional<int>& value)
{
    value.reset();
    if (text.isEmpty())
        return true;
    bool ok = false;
    const int number = text.toInt(&ok);
    if (ok)
        value = number;
    return ok;
}

bool readInt64(const QString& text, std::optional<qint64>& value)
{
    value.reset();
    if (text.isEmpty())
        return true;
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (ok)
        value = number;
    return ok;
}

bool readDouble(const QString& text, std::optional<double>& value)
{
    value.reset();
    if (text.isEmpty())
        return true;
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (ok && std::isfinite(number))
        value = number;
    return value.has_value();
}

// The outcomes of the guider's rows are not fixed yet: an unknown text there is left empty.
bool outcomeMayBeUnknown(JournalEvent event)
{
    return event != JournalEvent::Close && event != JournalEvent::SequenceEnd;
}

std::optional<JournalRow> readRow(const QList<QByteArray>& fields)
{
    if (fields.size() < JournalColumnCount)
        return std::nullopt;
    QStringList f;
    for (int i = 0; i < JournalColumnCount; ++i)
        f << QString::fromUtf8(fields[i]);
    JournalRow row;
    row.utc = QDateTime::fromString(f[0], Qt::ISODateWithMs);
    if (!row.utc.isValid() || !f[0].endsWith(QLatin1Char('Z')))
        return std::nullopt;
    row.utc = row.utc.toUTC();
    if (f[1].isEmpty())
        return std::nullopt;
    std::optional<JournalEvent> event;
    readName(EventNames, f[1], event);
    row.event = event.value_or(JournalEvent::Unknown);

    bool ok = readInt(f[2], row.sequence) && readInt(f[3], row.exposure) &&
              readInt64(f[4], row.offsetMs) && readInt(f[5], row.plannedS) &&
              readInt64(f[6], row.measuredMs) && readInt(f[7], row.exposures) &&
              readInt(f[8], row.exposureS) && readInt(f[9], row.delayS) &&
              readName(InterfaceNames, f[10], row.interface) &&
              readName(AwakeNames, f[14], row.awake) && readDouble(f[17], row.dxPx) &&
              readDouble(f[18], row.dyPx);
    if (!readName(OutcomeNames, f[15], row.outcome) && !outcomeMayBeUnknown(row.event))
        ok = false;
    if (f[13] == QLatin1String("1"))
        row.activeLogic = true;
    else if (f[13] == QLatin1String("0"))
        row.activeLogic = false;
    else if (!f[13].isEmpty())
        ok = false;
    if (!ok)
        return std::nullopt;
    row.port = f[11];
    row.line = f[12];
    row.detail = f[16];
    return row;
}

} // namespace

// Spreadsheets need quotes around a field with a separator, a quote or a line break in it.
QByteArray csvField(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const bool quoted =
        bytes.contains(',') || bytes.contains('"') || bytes.contains('\r') || bytes.contains('\n');
    if (!quoted)
        return bytes;
    QByteArray field;
    field.reserve(bytes.size() + 8);
    field += '"';
    for (const char c : bytes) {
        if (c == '"')
            field += '"';
        field += c;
    }
    field += '"';
    return field;
}

QString csvDecimal(double value, int maxDecimals)
{
    if (!std::isfinite(value))
        return {};
    QString text = QString::number(value, 'f', maxDecimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString journalEventName(JournalEvent event)
{
    return nameOf(EventNames, event);
}

QString journalOutcomeName(JournalOutcome outcome)
{
    return nameOf(OutcomeNames, outcome);
}

QByteArray JournalRow::toCsvLine() const
{
    const QString fields[JournalColumnCount] = {
        utc.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QLatin1Char('Z'),
        journalEventName(event),
        numberText(sequence),
        numberText(exposure),
        numberText(offsetMs),
        numberText(plannedS),
        numberText(measuredMs),
        numberText(exposures),
        numberText(exposureS),
        numberText(delayS),
        interface ? nameOf(InterfaceNames, *interface) : QString(),
        port,
        line,
        activeLogic ? QString::number(*activeLogic ? 1 : 0) : QString(),
        awake ? nameOf(AwakeNames, *awake) : QString(),
        outcome ? journalOutcomeName(*outcome) : QString(),
        detail,
        decimalText(dxPx),
        decimalText(dyPx),
    };
    QByteArray csv;
    csv.reserve(128 + detail.size());
    for (int i = 0; i < JournalColumnCount; ++i) {
        if (i > 0)
            csv += ',';
        csv += csvField(fields[i]);
    }
    csv += "\r\n";
    return csv;
}

ParsedJournal parseJournalCsv(const QByteArray& text)
{
    ParsedJournal parsed;
    const QByteArray header(JournalHeader);
    for (const Record& record : splitRecords(text)) {
        if (record.fields.join(',') == header)
            continue;
        const std::optional<JournalRow> row =
            record.terminated ? readRow(record.fields) : std::nullopt;
        if (row)
            parsed.rows << *row;
        else
            ++parsed.malformedLines;
    }
    return parsed;
}

} // namespace kestrova
