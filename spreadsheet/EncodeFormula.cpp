#include "spreadsheet/EncodeFormula.h"
#include "spreadsheet/ExcelFunc.h"
#include "spreadsheet/XLSUtils.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace xls {

namespace {

// An error handed to the error event ends the compilation without an exception to the caller.
struct Aborted {};

const char* errorText(int code)
{
    switch (code) {
    case 1: return "Invalid constant %s";
    case 2: return "Invalid symbol %s";
    case 3: return "Closing paranthese missing in function";
    case 4: return "Invalid function name %s";
    case 5: return "Missing quote characther in string %s";
    case 6: return "Strings can have max 255 characthers";
    case 7: return "Unknown name %s";
    case 8: return "Enclosing characther %s missing";
    case 9: return "Invalid filename %s";
    case 10: return "To many unary operators";
    case 11: return "Missmatching parantheses";
    case 12: return "Illegal number";
    case 13: return "Illegal character in string %s";
    case 14: return "Bad filename %s";
    case 15: return "Invalid 3D name %s";
    case 16: return "Invalid name %s";
    case 17: return "Wrong number of arguments for function %s";
    case 18: return "Empty formula";
    default: return "Unknown error in formula";
    }
}

// A1-style cell reference of BIFF8's grid (columns A to IV, rows 1 to 65536).
bool cellRef(const QString& s, int& col, int& row, bool& colAbs, bool& rowAbs)
{
    int i = 0;
    colAbs = rowAbs = false;
    if (i < s.size() && s[i] == '$') { colAbs = true; ++i; }
    int c = 0, letters = 0;
    while (i < s.size() && letters < 3 && s[i].toUpper() >= 'A' && s[i].toUpper() <= 'Z') {
        c = c * 26 + (s[i].toUpper().unicode() - 'A' + 1);
        ++i;
        ++letters;
    }
    if (letters == 0 || letters > 2 || c > 256) return false;
    if (i < s.size() && s[i] == '$') { rowAbs = true; ++i; }
    if (i >= s.size() || s.size() - i > 5) return false;
    int r = 0;
    for (; i < s.size(); ++i) {
        if (!s[i].isDigit() || s[i].unicode() > 127) return false;
        r = r * 10 + s[i].digitValue();
    }
    if (r < 1 || r > 65536) return false;
    col = c - 1;
    row = r - 1;
    return true;
}

bool isCell(const QString& s)
{
    int c, r;
    bool a, b;
    return cellRef(s, c, r, a, b);
}

bool wordChar(QChar c) { return c.isLetterOrNumber() || c == '_' || c == '.' || c == '$' || c == '\\'; }

bool operandEnd(uint8_t kind)
{
    switch (kind) {
    case TXLSToken::Close: case TXLSToken::Percent: case TXLSToken::CellRef: case TXLSToken::AreaRef:
    case TXLSToken::SheetCellRef: case TXLSToken::SheetAreaRef: case TXLSToken::SheetName: case TXLSToken::String:
    case TXLSToken::Word: case TXLSToken::Number: case TXLSToken::BraceClose:
        return true;
    default:
        return false;
    }
}

int binaryPtg(uint8_t kind)
{
    switch (kind) {
    case TXLSToken::Plus: return 0x03;
    case TXLSToken::Minus: return 0x04;
    case TXLSToken::Mul: return 0x05;
    case TXLSToken::Div: return 0x06;
    case TXLSToken::Power: return 0x07;
    case TXLSToken::Concat: return 0x08;
    case TXLSToken::Less: return 0x09;
    case TXLSToken::LessEqual: return 0x0A;
    case TXLSToken::Equal: return 0x0B;
    case TXLSToken::GreaterEqual: return 0x0C;
    case TXLSToken::Greater: return 0x0D;
    case TXLSToken::NotEqual: return 0x0E;
    case TXLSToken::Separator: return 0x10;
    default: return -1;
    }
}

}   // namespace

// ---- tokenizer

void TXLSTokenizer::Tokenize(const QString& text)
{
    Tokens.clear();
    Error = false;
    const QChar listSep = ListSeparator();
    const QChar decSep = DecimalSeparator();
    const int n = int(text.size());
    auto add = [&](uint8_t kind, const QString& t) {
        TXLSToken tok;
        tok.Kind = kind;
        tok.Text = t;
        Tokens.push_back(tok);
    };
    auto fail = [&](int code, const QString& arg) {
        Error = true;
        m_owner->Fail(code, arg);
    };
    int i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (c == ' ') {
            int j = i;
            while (j < n && text[j] == ' ') ++j;
            add(TXLSToken::Blank, text.mid(i, j - i));
            i = j;
        } else if (c == '"') {
            QString s;
            int j = i + 1;
            bool closed = false;
            while (j < n) {
                if (text[j] == '"') {
                    if (j + 1 < n && text[j + 1] == '"') {
                        s += '"';
                        j += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                s += text[j++];
            }
            if (!closed) fail(5, text.mid(i));
            add(TXLSToken::String, s);
            i = j + 1;
        } else if (c == '\'') {
            // 'prefix'!reference: a sheet, a range of sheets or another workbook's sheet
            QString inner;
            int j = i + 1;
            bool closed = false;
            while (j < n) {
                if (text[j] == '\'') {
                    if (j + 1 < n && text[j + 1] == '\'') {
                        inner += '\'';
                        j += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                inner += text[j++];
            }
            if (!closed) fail(8, QStringLiteral("'"));
            if (j + 1 >= n || text[j + 1] != '!') fail(15, inner);
            TXLSToken t;
            const int open = int(inner.indexOf('[')), close = int(inner.indexOf(']'));
            QString sheets = inner;
            if (open >= 0) {
                if (close < open) fail(8, QStringLiteral("]"));
                t.Path = inner.left(open);
                t.File = inner.mid(open + 1, close - open - 1);
                if (t.File.isEmpty()) fail(9, inner);
                sheets = inner.mid(close + 1);
            } else if (inner.contains('\\')) {
                // 'C:\dir\b.xls'!name: a name of another workbook
                const int slash = int(inner.lastIndexOf('\\'));
                t.Path = inner.left(slash + 1);
                t.File = inner.mid(slash + 1);
                sheets.clear();
            }
            const int colon = int(sheets.indexOf(':'));
            t.Sheet = colon >= 0 ? sheets.left(colon) : sheets;
            if (colon >= 0) t.Sheet2 = sheets.mid(colon + 1);
            i = j + 2;
            reference(text, i, t);
        } else if (c == '[') {
            const int close = int(text.indexOf(']', i));
            if (close < 0) fail(8, QStringLiteral("]"));
            TXLSToken t;
            t.File = text.mid(i + 1, close - i - 1);
            if (t.File.isEmpty()) fail(9, text.mid(i));
            int j = close + 1;
            while (j < n && wordChar(text[j])) ++j;
            if (j >= n || text[j] != '!') fail(14, text.mid(i, j - i));
            t.Sheet = text.mid(close + 1, j - close - 1);
            i = j + 1;
            reference(text, i, t);
        } else if (c == '{') {
            add(TXLSToken::BraceOpen, c);
            ++i;
        } else if (c == '}') {
            add(TXLSToken::BraceClose, c);
            ++i;
        } else if (c == '(') {
            add(TXLSToken::Open, c);
            ++i;
        } else if (c == ')') {
            add(TXLSToken::Close, c);
            ++i;
        } else if (c == listSep) {
            add(TXLSToken::Separator, c);
            ++i;
        } else if (c == '<' && i + 1 < n && (text[i + 1] == '=' || text[i + 1] == '>')) {
            add(text[i + 1] == '=' ? TXLSToken::LessEqual : TXLSToken::NotEqual, text.mid(i, 2));
            i += 2;
        } else if (c == '>' && i + 1 < n && text[i + 1] == '=') {
            add(TXLSToken::GreaterEqual, text.mid(i, 2));
            i += 2;
        } else if (QStringLiteral("+-*/^&%=<>").contains(c)) {
            static const uint8_t kinds[] = {TXLSToken::Plus, TXLSToken::Minus, TXLSToken::Mul, TXLSToken::Div,
                                            TXLSToken::Power, TXLSToken::Concat, TXLSToken::Percent, TXLSToken::Equal,
                                            TXLSToken::Less, TXLSToken::Greater};
            add(kinds[QStringLiteral("+-*/^&%=<>").indexOf(c)], c);
            ++i;
        } else if (c.isDigit() || (c == decSep && i + 1 < n && text[i + 1].isDigit())) {
            int j = i;
            while (j < n && (text[j].isDigit() || text[j] == decSep)) ++j;
            if (j < n && (text[j] == 'E' || text[j] == 'e')) {
                int k = j + 1;
                if (k < n && (text[k] == '+' || text[k] == '-')) ++k;
                if (k < n && text[k].isDigit()) {
                    while (k < n && text[k].isDigit()) ++k;
                    j = k;
                }
            }
            // a number run into letters ("12abc") is no constant
            if (j < n && (text[j].isLetter() || text[j] == '_')) {
                int k = j;
                while (k < n && wordChar(text[k])) ++k;
                fail(1, text.mid(i, k - i));
            }
            add(TXLSToken::Number, text.mid(i, j - i));
            i = j;
        } else if (wordChar(c)) {
            int j = i;
            while (j < n && wordChar(text[j])) ++j;
            const QString word = text.mid(i, j - i);
            if (j < n && text[j] == '!') {
                TXLSToken t;
                t.Sheet = word;
                i = j + 1;
                reference(text, i, t);
                continue;
            }
            if (j < n && text[j] == ':') {
                int k = j + 1;
                while (k < n && wordChar(text[k])) ++k;
                const QString second = text.mid(j + 1, k - j - 1);
                if (k < n && text[k] == '!' && !second.isEmpty()) {
                    TXLSToken t;
                    t.Sheet = word;
                    t.Sheet2 = second;
                    i = k + 1;
                    reference(text, i, t);
                    continue;
                }
                if (isCell(word) && isCell(second)) {
                    add(TXLSToken::AreaRef, text.mid(i, k - i));
                    i = k;
                    continue;
                }
            }
            if (j < n && text[j] == '(') add(TXLSToken::Function, word);
            else add(isCell(word) ? TXLSToken::CellRef : TXLSToken::Word, word);
            i = j;
        } else {
            fail(2, QString(c));
        }
    }
}

// The reference, area or name after a sheet prefix.
void TXLSTokenizer::reference(const QString& text, int& i, TXLSToken t)
{
    const int n = int(text.size());
    int j = i;
    while (j < n && wordChar(text[j])) ++j;
    QString first = text.mid(i, j - i);
    if (first.isEmpty()) {
        Error = true;
        m_owner->Fail(15, text.left(i));
    }
    if (isCell(first)) {
        if (j < n && text[j] == ':') {
            int k = j + 1;
            while (k < n && wordChar(text[k])) ++k;
            const QString second = text.mid(j + 1, k - j - 1);
            if (isCell(second)) {
                t.Kind = TXLSToken::SheetAreaRef;
                t.Text = first + ':' + second;
                Tokens.push_back(t);
                i = k;
                return;
            }
        }
        t.Kind = TXLSToken::SheetCellRef;
    } else {
        t.Kind = TXLSToken::SheetName;
    }
    t.Text = first;
    Tokens.push_back(t);
    i = j;
}

// ---- encoder

TEncodeFormula::TEncodeFormula() : m_tokenizer(this) { NameLookup2 = [](const QString&) { return -1; }; }

void TEncodeFormula::Fail(int code, const QString& arg)
{
    QString text = QString::fromLatin1(errorText(code));
    text.replace(QLatin1String("%s"), arg);
    const QString message = QStringLiteral("Error in formula ") + m_text + '\r' + text;
    if (OnError) {
        OnError(message);
        throw Aborted();
    }
    throw EXLSError(message);
}

void TEncodeFormula::put(const QByteArray& bytes)
{
    if (m_out->size() + bytes.size() > m_capacity) throw EXLSError(QStringLiteral("Formula buffer overflow."));
    m_out->append(bytes);
}

void TEncodeFormula::put8(int v) { put(QByteArray(1, char(v))); }

void TEncodeFormula::put16(int v)
{
    QByteArray b(2, '\0');
    PutWord(reinterpret_cast<uint8_t*>(b.data()), uint16_t(v));
    put(b);
}

int TEncodeFormula::Encode(const QString& text, int argClass, int capacity, QByteArray& out)
{
    m_text = text.trimmed();
    m_out = &out;
    m_capacity = capacity;
    out.clear();
    LastSheetIndex = -1;
    LastOperand = -1;
    try {
        if (m_text.startsWith('=')) m_text = m_text.mid(1).trimmed();
        if (m_text.isEmpty()) Fail(18);
        m_tokenizer.Tokenize(m_text);
        // parentheses must pair up
        int depth = 0;
        bool inFunction = false;
        for (const TXLSToken& t : tk()) {
            if (t.Kind == TXLSToken::Function) inFunction = true;
            if (t.Kind == TXLSToken::Open) ++depth;
            if (t.Kind == TXLSToken::Close && --depth < 0) Fail(11);
        }
        if (depth > 0) Fail(inFunction ? 3 : 11);
        compile(0, int(tk().size()), argClass == 0 ? 0x20 : argClass);
    } catch (const Aborted&) {
        out.clear();
        return 0;
    }
    return int(out.size());
}

int TEncodeFormula::matching(int open, int end) const
{
    int depth = 0;
    for (int i = open; i < end; ++i) {
        if (tk()[size_t(i)].Kind == TXLSToken::Open) ++depth;
        else if (tk()[size_t(i)].Kind == TXLSToken::Close && --depth == 0) return i;
    }
    return -1;
}

// An operator is binary when an operand ends before it ("-" after "(" or another operator is a sign).
bool TEncodeFormula::isBinary(int i, int a) const
{
    for (int j = i - 1; j >= a; --j) {
        const uint8_t k = tk()[size_t(j)].Kind;
        if (k == TXLSToken::Blank) continue;
        return operandEnd(k);
    }
    return false;
}

void TEncodeFormula::compile(int a, int b, int cls)
{
    while (a < b && tk()[size_t(a)].Kind == TXLSToken::Blank) ++a;
    while (b > a && tk()[size_t(b - 1)].Kind == TXLSToken::Blank) --b;
    if (a >= b) Fail(2, a < int(tk().size()) ? tk()[size_t(a)].Text : m_text.right(1));

    // (whole range)
    if (tk()[size_t(a)].Kind == TXLSToken::Open && matching(a, b) == b - 1) {
        compile(a + 1, b - 1, cls);
        put8(0x15);
        return;
    }

    // the weakest binary operator at depth 0, the last of its group
    static const std::vector<std::vector<uint8_t>> groups = {
        {TXLSToken::Equal, TXLSToken::Less, TXLSToken::Greater, TXLSToken::LessEqual, TXLSToken::GreaterEqual, TXLSToken::NotEqual},
        {TXLSToken::Concat},
        {TXLSToken::Plus, TXLSToken::Minus},
        {TXLSToken::Mul, TXLSToken::Div},
        {TXLSToken::Power},
        {TXLSToken::Separator},
    };
    for (const auto& group : groups) {
        int depth = 0, split = -1;
        for (int i = a; i < b; ++i) {
            const uint8_t k = tk()[size_t(i)].Kind;
            if (k == TXLSToken::Open) ++depth;
            else if (k == TXLSToken::Close) --depth;
            else if (depth == 0 && std::find(group.begin(), group.end(), k) != group.end() && isBinary(i, a)) split = i;
        }
        if (split < 0) continue;
        const uint8_t k = tk()[size_t(split)].Kind;
        const int operandClass = k == TXLSToken::Separator ? cls : 0x40;
        compile(a, split, operandClass);
        // blanks after the operator are kept as a space attribute
        int r = split + 1;
        if (r < b && tk()[size_t(r)].Kind == TXLSToken::Blank) {
            put8(0x19);
            put8(0x40);
            put8(0);
            put8(qMin(int(tk()[size_t(r)].Text.size()), 255));
        }
        compile(r, b, operandClass);
        put8(binaryPtg(k));
        return;
    }

    // postfix percent
    if (tk()[size_t(b - 1)].Kind == TXLSToken::Percent) {
        compile(a, b - 1, 0x40);
        put8(0x14);
        return;
    }

    // a run of signs binds to the operand after it
    if (tk()[size_t(a)].Kind == TXLSToken::Plus || tk()[size_t(a)].Kind == TXLSToken::Minus) {
        std::vector<uint8_t> signs;
        int i = a;
        while (i < b && (tk()[size_t(i)].Kind == TXLSToken::Plus || tk()[size_t(i)].Kind == TXLSToken::Minus ||
                         tk()[size_t(i)].Kind == TXLSToken::Blank)) {
            if (tk()[size_t(i)].Kind != TXLSToken::Blank) signs.push_back(tk()[size_t(i)].Kind);
            ++i;
        }
        if (signs.size() > 64) Fail(10);
        compile(i, b, 0x40);
        for (auto it = signs.rbegin(); it != signs.rend(); ++it) put8(*it == TXLSToken::Plus ? 0x12 : 0x13);
        return;
    }
    operand(a, b, cls);
}

// The reference words of a cell or an area, after the token id when one is given.
void TEncodeFormula::writeRef(int id, const TXLSToken& t, bool area)
{
    auto colWord = [](int col, bool colAbs, bool rowAbs) {
        return (col & 0xFF) | (colAbs ? 0 : 0x4000) | (rowAbs ? 0 : 0x8000);
    };
    if (id >= 0) put8(id);
    const QString text = t.Text;
    if (!area) {
        int col, row;
        bool ca, ra;
        cellRef(text, col, row, ca, ra);
        put16(row);
        put16(colWord(col, ca, ra));
    } else {
        const int colon = int(text.indexOf(':'));
        int c1, r1, c2, r2;
        bool ca1, ra1, ca2, ra2;
        cellRef(text.left(colon), c1, r1, ca1, ra1);
        cellRef(text.mid(colon + 1), c2, r2, ca2, ra2);
        put16(r1);
        put16(r2);
        put16(colWord(c1, ca1, ra1));
        put16(colWord(c2, ca2, ra2));
    }
}

void TEncodeFormula::operand(int a, int b, int cls)
{
    const TXLSToken& t = tk()[size_t(a)];
    if (t.Kind == TXLSToken::BraceOpen) throw EXLSError(QStringLiteral("Vector constants not supported."));
    if (t.Kind == TXLSToken::Function) {
        if (a + 1 >= b || tk()[size_t(a + 1)].Kind != TXLSToken::Open) Fail(4, t.Text);
        const int close = matching(a + 1, b);
        if (close < 0) Fail(3);
        if (close != b - 1) Fail(2, tk()[size_t(close + 1)].Text);
        function(a, close, cls);
        return;
    }
    if (a + 1 != b) {
        // two operands without an operator between them
        int j = a + 1;
        while (j < b && tk()[size_t(j)].Kind == TXLSToken::Blank) ++j;
        Fail(2, tk()[size_t(qMin(j, b - 1))].Text);
    }
    LastOperand = int(m_out->size());
    switch (t.Kind) {
    case TXLSToken::String: {
        if (t.Text.size() > 255) Fail(6);
        put8(0x17);
        put8(int(t.Text.size()));
        put8(1);
        QByteArray chars(2 * t.Text.size(), '\0');
        for (int i = 0; i < t.Text.size(); ++i) PutWord(reinterpret_cast<uint8_t*>(chars.data()) + 2 * i, t.Text[i].unicode());
        put(chars);
        return;
    }
    case TXLSToken::Number: {
        QString s = t.Text;
        s.replace(DecimalSeparator(), '.');
        bool ok = false;
        const double v = s.toDouble(&ok);
        if (!ok || !std::isfinite(v)) Fail(12);
        if (v == std::floor(v) && v >= 0 && v <= 65535) {
            put8(0x1E);
            put16(int(v));
        } else {
            put8(0x1F);
            QByteArray d(8, '\0');
            PutDouble(reinterpret_cast<uint8_t*>(d.data()), v);
            put(d);
        }
        return;
    }
    case TXLSToken::Word: {
        const QString upper = t.Text.toUpper();
        if (upper == m_true || upper == m_false) {
            put8(0x1D);
            put8(upper == m_true ? 1 : 0);
            return;
        }
        const int index = NameIndexCallback ? NameIndexCallback(t.Text) : -1;
        if (index < 0) Fail(7, t.Text);
        put8(0x03 | cls);
        put16(index + 1);
        put16(0);
        return;
    }
    case TXLSToken::CellRef: writeRef(0x04 | cls, t, false); return;
    case TXLSToken::AreaRef: writeRef(0x05 | cls, t, true); return;
    case TXLSToken::SheetCellRef: case TXLSToken::SheetAreaRef: case TXLSToken::SheetName: {
        int nameIndex = -1;
        const bool isName = t.Kind == TXLSToken::SheetName;
        const int ixti = ExtRefCallback ? ExtRefCallback(t.Path, t.File, t.Sheet, t.Sheet2, isName ? t.Text : QString(), nameIndex) : -1;
        if (ixti < 0) {
            if (isName) Fail(7, t.Text);
            Fail(15, t.Sheet2.isEmpty() ? t.Sheet : t.Sheet + ':' + t.Sheet2);
        }
        if (isName) {
            put8(0x19 | cls);
            put16(ixti);
            put16(nameIndex + 1);
            put16(0);
            return;
        }
        put8((t.Kind == TXLSToken::SheetCellRef ? 0x1A : 0x1B) | cls);
        put16(ixti);
        writeRef(-1, t, t.Kind == TXLSToken::SheetAreaRef);
        return;
    }
    default:
        Fail(2, t.Text);
    }
}

void TEncodeFormula::function(int a, int close, int cls)
{
    const QString name = tk()[size_t(a)].Text;
    int index = -1;
    for (int i = 0; i < ExcelFunctionCount; ++i) {
        if (name.compare(QLatin1String(ExcelFunctions[i].name), Qt::CaseInsensitive) == 0) {
            index = i;
            break;
        }
    }
    if (index < 0 || ExcelFunctions[index].minArgs == 255 || name[0].isDigit()) Fail(4, name);
    const TExcelFunction& f = ExcelFunctions[index];

    // the arguments: ranges between separators at depth 0
    std::vector<std::pair<int, int>> args;
    int depth = 0, start = a + 2;
    bool any = false;
    for (int i = a + 2; i < close; ++i) {
        const uint8_t k = tk()[size_t(i)].Kind;
        if (k == TXLSToken::Open) ++depth;
        else if (k == TXLSToken::Close) --depth;
        else if (k == TXLSToken::Separator && depth == 0) {
            args.push_back({start, i});
            start = i + 1;
            any = true;
            continue;
        }
        if (k != TXLSToken::Blank) any = true;
    }
    if (any) args.push_back({start, close});
    const int argc = int(args.size());
    const bool fixed = f.minArgs == f.maxArgs;
    if (fixed ? argc != f.minArgs : (argc < f.minArgs || (f.maxArgs != 99 && argc > f.maxArgs))) Fail(17, name);

    int lastClass = 0x40;
    for (int i = 0; i < argc; ++i) {
        int argClass = i < 6 ? f.argClass[i] : 0;
        if (argClass == 0) argClass = lastClass;
        lastClass = argClass;
        int s = args[size_t(i)].first, e = args[size_t(i)].second;
        bool blank = true;
        for (int j = s; j < e; ++j)
            if (tk()[size_t(j)].Kind != TXLSToken::Blank) blank = false;
        if (blank) put8(0x16);   // a missing argument
        else compile(s, e, argClass);
    }
    if (fixed) {
        put8(0x01 | cls);
        put16(index);
    } else {
        put8(0x02 | cls);
        put8(argc);
        put16(index);
    }
}

}
