#include "excreport/SivrelReportText.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelSupport.h"

namespace excreport {

namespace {

const QString CRLF = QStringLiteral("\r\n");

QString FileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// "|" + each cell padded to its width + "|" + CR LF.
QString TableRow(const QStringList& cells, const std::vector<int>& widths)
{
    QString row;
    for (size_t i = 0; i < widths.size(); ++i)
        row += u'|' + PadRight(cells.value(int(i)), widths[i]);
    return row + u'|' + CRLF;
}

QString Table(const QString& caption, const QStringList& captions, const std::vector<QStringList>& rows,
              std::vector<int> widths)
{
    int total = 7;
    for (size_t c = 0; c < widths.size(); ++c) {
        widths[c] = std::max(widths[c], int(captions[int(c)].size()));
        for (const QStringList& row : rows)
            widths[c] = std::max(widths[c], int(row[int(c)].size()));
        total += widths[c];
    }
    const QString dashes(total, u'-');
    QString text = caption + u':' + CRLF + dashes + CRLF + TableRow(captions, widths) + dashes + CRLF;
    for (const QStringList& row : rows)
        text += TableRow(row, widths);
    return text + dashes;
}

} // namespace

void TLogItem::Clear()
{
    m_text.clear();
    m_section = 0;
    m_item = 0;
}

void TLogItem::AddSection(const QString& caption)
{
    ++m_section;
    m_item = 0;
    if (!m_text.isEmpty())
        m_text += CRLF + CRLF;
    m_text += caption + u':' + CRLF + u'-';
}

void TLogItem::AddItem(const QString& caption, const QString& value, bool visible)
{
    ++m_item;
    if (visible)
        m_text += CRLF + QStringLiteral("  %1.%2 ").arg(m_section).arg(m_item) + caption + QStringLiteral(": ") + value;
}

QString TLogItem::GetText() const
{
    QStringList lines = m_text.split(CRLF);
    lines.append(QString());
    int i = 0;
    while (i + 1 < lines.size()) {
        int end = i + 2;
        while (end < lines.size() && !lines[end].isEmpty())
            ++end;
        if (end == i + 2) {
            // A section without visible items goes with its separating empty line.
            lines.remove(i, std::min(3, int(lines.size()) - i));
            continue;
        }
        qsizetype column = 0;
        for (int k = i + 2; k < end; ++k)
            column = std::max(column, lines[k].indexOf(QStringLiteral(": ")));
        qsizetype longest = lines[i].size();
        for (int k = i + 2; k < end; ++k) {
            const qsizetype at = lines[k].indexOf(QStringLiteral(": "));
            if (at >= 0 && at < column)
                lines[k].insert(at, QString(column - at, u' '));
            longest = std::max(longest, lines[k].size());
        }
        lines[i + 1] = QString(longest, u'-');
        i = end + 1;
    }
    if (!lines.isEmpty())
        lines.removeLast();
    QString text;
    for (const QString& line : lines)
        text += line + CRLF;
    return text;
}

QString PadRight(const QString& text, int width)
{
    return text.size() >= width ? text : text + QString(width - text.size(), u' ');
}

QString Blanked(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c.unicode() < 32)
            c = u' ';
    return out;
}

QString DialogBlanked(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c.unicode() < 32 && c != u'\r' && c != u'\n')
            c = u' ';
    return out;
}

QString SivrelHexAddress(uint64_t value, int digits)
{
    return QStringLiteral("%1").arg(qulonglong(value), digits, 16, QLatin1Char('0')).toUpper();
}

QString BuildReportHeader(const TSivrelReportInput& input, const TSivrelModuleOptions& options)
{
    // Sections as (caption text, first item), items with their caption texts 20 .. 46.
    static const int sectionText[5] = {19, 24, 30, 35, 42};
    static const int sectionSize[5] = {4, 5, 4, 6, 4};
    const uint32_t mask = options.LogSections();
    TLogItem log;
    int k = 0;
    for (int s = 0; s < 5; ++s) {
        log.AddSection(options.GetText(sectionText[s]));
        for (int j = 0; j < sectionSize[s]; ++j, ++k) {
            const bool visible = (mask >> k & 1u) && !(s == 2 && input.HideActiveControls);
            log.AddItem(options.GetText(sectionText[s] + 1 + j), Blanked(input.Items[size_t(k)]), visible);
        }
    }
    return QStringLiteral("SivrelLog 4.6.7") + CRLF + CRLF + log.GetText();
}

QString BuildCallStackTable(const std::vector<TSivrelDebugInfo>& stack, const TSivrelModuleOptions& options)
{
    QStringList captions;
    for (int t = 47; t <= 52; ++t)
        captions << options.GetText(t);
    std::vector<QStringList> rows;
    for (const TSivrelDebugInfo& e : stack) {
        if (e.Kind < 2 || e.Kind > 4)
            continue;
        rows.push_back({SivrelHexAddress(e.Address), e.Module ? FileNameOf(e.Module->FileName) : QString(), e.UnitName,
                        e.ClassName, e.ProcedureName, e.Line ? QString::number(e.Line) : QString()});
    }
    return Table(options.GetText(7), captions, rows, {16, 0, 0, 0, 0, 0});
}

QString ModuleFolder(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString BuildModulesTable(const std::vector<TSivrelModuleRef>& modules, const TSivrelModuleOptions& options)
{
    QStringList captions;
    for (int t = 62; t <= 67; ++t)
        captions << options.GetText(t);
    const int handleWidth = std::max(16, int(captions[0].size()));
    std::vector<QStringList> rows;
    for (const TSivrelModuleRef& m : modules) {
        if (!m)
            continue;
        rows.push_back({SivrelHexAddress(m->Handle, handleWidth), FileNameOf(m->FileName), m->Description, m->Version,
                        QString::number(m->FileSize), ModuleFolder(m->FileName)});
    }
    return Table(options.GetText(9), captions, rows, {handleWidth, 0, 0, 0, 0, 0});
}

QString BuildCPUText(const TSivrelReportInput& input, const TSivrelModuleOptions& options)
{
    static const char* const names[8] = {"RAX", "RDI", "RBX", "RSI", "RCX", "RSP", "RDX", "RIP"};
    QString text = options.GetText(68) + u':' + CRLF + QString(45, u'-') + CRLF;
    for (int line = 0; line < 4; ++line) {
        QString pair[2];
        for (int j = 0; j < 2; ++j) {
            const int r = line * 2 + j;
            pair[j] = QString::fromLatin1(names[r]) + QStringLiteral(": ")
                      + (input.Registers ? SivrelHexAddress((*input.Registers)[size_t(r)])
                                         : QStringLiteral("????") + QString(12, u' '));
        }
        text += pair[0] + QStringLiteral("   ") + pair[1] + CRLF;
    }
    text += CRLF + PadRight(options.GetText(69) + u':', 37) + options.GetText(70) + u':' + CRLF;
    text += QString(34, u'-') + QStringLiteral("   ") + QString(83, u'-') + CRLF;
    const auto read = input.ReadMemory ? input.ReadMemory : [](uintptr_t a, void* d, size_t n) { return ReadMemory(a, d, n); };
    uint64_t stack[16];
    uint8_t memory[256];
    if (input.StackPointer && input.ExceptionAddress && read(input.StackPointer, stack, sizeof stack)
        && read(input.ExceptionAddress, memory, sizeof memory)) {
        for (int n = 0; n < 16; ++n) {
            QString hex, chars;
            for (int b = 0; b < 16; ++b) {
                const uint8_t c = memory[n * 16 + b];
                hex += SivrelHexAddress(c, 2) + u' ';
                chars += (c < 32 || c > 126) ? QChar(u'.') : QChar(char16_t(c));
            }
            text += SivrelHexAddress(input.StackPointer + 8u * unsigned(n)) + QStringLiteral(": ")
                    + SivrelHexAddress(stack[n]) + QStringLiteral("   ")
                    + SivrelHexAddress(input.ExceptionAddress + 16u * unsigned(n)) + QStringLiteral(": ") + hex
                    + u' ' + chars + CRLF;
        }
    }
    return text;
}

QString BuildStackReport(const TSivrelReportInput& input, const TSivrelModuleOptions& options, TSivrelReportTexts& texts)
{
    texts.IntroText = options.GetText(3) + CRLF + CRLF;
    texts.HeaderText = BuildReportHeader(input, options);
    texts.CPUText = BuildCPUText(input, options);
    texts.DupAddress = Blanked(input.Items[5]);
    texts.DupModule = Blanked(input.Items[6]);
    texts.DupType = Blanked(input.Items[7]);
    texts.DupMessage = Blanked(input.Items[8]);
    texts.ReportText = texts.HeaderText + CRLF + BuildCallStackTable(input.CallStack, options) + CRLF + CRLF
                       + BuildModulesTable(input.Modules, options) + CRLF + CRLF + texts.CPUText;
    texts.MailText = texts.ReportText;
    return texts.ReportText;
}

void AppendRequestSection(TSivrelReportTexts& texts, const TSivrelModuleOptions& options, bool duplicate)
{
    if (duplicate || !(options.LogFlags() & 2) || texts.RequestText.isEmpty())
        return;
    texts.ReportText += CRLF + options.GetText(59) + u':' + CRLF + QString(40, u'-') + CRLF + texts.RequestText;
    texts.MailText = texts.ReportText;
}

} // namespace excreport
