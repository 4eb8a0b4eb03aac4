#include "spreadsheet/DecodeFormula.h"
#include "spreadsheet/ExcelFunc.h"
#include "spreadsheet/XLSNames.h"
#include "spreadsheet/XLSUtils.h"

#include <QStringList>

namespace xls {

namespace {

QString hex2(int v) { return QString::number(v & 0xFF, 16).toUpper().rightJustified(2, '0'); }

EXLSError unknownPtg(int id) { return EXLSError(QStringLiteral("Unknown ptg[%1] in Shared Formula").arg(hex2(id))); }

// Size of the token at `pos` including its id byte; -1 when the token is unknown, -2 when it
// runs past the end of the data.
int tokenSize(TExcelVersion v, const uint8_t* p, int len, int pos)
{
    const bool b8 = v == xvExcel97;
    const bool b2 = v <= xvExcel21;
    const int id = p[pos];
    const int base = id >= 0x20 ? ((id & 0x1F) | 0x20) : id;
    auto need = [&](int n) { return pos + n <= len ? n : -2; };
    switch (base) {
    case 0x00: return 1;
    case 0x01: case 0x02: return need(b8 ? 5 : (b2 ? 4 : 5));
    case 0x03: case 0x04: case 0x05: case 0x06: case 0x07: case 0x08: case 0x09: case 0x0A: case 0x0B:
    case 0x0C: case 0x0D: case 0x0E: case 0x0F: case 0x10: case 0x11: case 0x12: case 0x13: case 0x14:
    case 0x15: case 0x16:
        return 1;
    case 0x17:
        if (pos + 2 > len) return -2;
        if (b8) {
            if (pos + 3 > len) return -2;
            return need(3 + p[pos + 1] * ((p[pos + 2] & 1) ? 2 : 1));
        }
        return need(2 + p[pos + 1]);
    case 0x18: return need(6);
    case 0x19: {
        const int dataLen = b2 ? 1 : 2;
        if (pos + 2 + dataLen > len) return -2;
        int opt = p[pos + 1];
        int n = 2 + dataLen;
        if (opt & 0x04) {
            int count = b2 ? p[pos + 2] : GetWord(p + pos + 2);
            n += (count + 1) * (b2 ? 1 : 2);
        }
        return need(n);
    }
    case 0x1A: return need(b2 ? 5 : 11);
    case 0x1B: return need(b2 ? 4 : 5);
    case 0x1C: case 0x1D: return need(2);
    case 0x1E: return need(3);
    case 0x1F: return need(9);
    case 0x20: return need(b2 ? 7 : 8);
    case 0x21: return need(v >= xvExcel40 ? 3 : 2);
    case 0x22: return need(v >= xvExcel40 ? 4 : 3);
    case 0x23: return need(b8 ? 5 : v == xvExcel50 ? 15 : b2 ? 2 : 3);
    case 0x24: case 0x2A: case 0x2C: return need(b8 ? 5 : 4);
    case 0x25: case 0x2B: case 0x2D: return need(b8 ? 9 : 7);
    case 0x26: case 0x27: case 0x28: return need(b8 || v == xvExcel50 ? 7 : b2 ? 4 : 6);
    case 0x29: return need(b2 ? 2 : 3);
    case 0x39: return need(b8 ? 7 : 25);
    case 0x3A: case 0x3C: return need(b8 ? 7 : 18);
    case 0x3B: case 0x3D: return need(b8 ? 11 : 21);
    default: return -1;
    }
}

struct Ref {
    int row, col;
    bool rowAbs, colAbs;
};

// BIFF8: row 16-bit, column field with bit 14 column relative, bit 15 row relative.
// BIFF2-5: row field with the flags in bits 14/15, column 8-bit.
Ref readRef(bool b8, const uint8_t* p, bool relativeToCell, int cellRow, int cellCol)
{
    Ref r;
    bool rowRel, colRel;
    int rowField, colField;
    if (b8) {
        rowField = GetWord(p);
        uint16_t c = GetWord(p + 2);
        colField = c & 0xFF;
        rowRel = c & 0x8000;
        colRel = c & 0x4000;
    } else {
        uint16_t rw = GetWord(p);
        rowField = rw & 0x3FFF;
        if (relativeToCell && (rw & 0x8000) && (rowField & 0x2000)) rowField -= 0x4000;   // 14-bit offset
        colField = p[2];
        rowRel = rw & 0x8000;
        colRel = rw & 0x4000;
    }
    r.row = rowField;
    r.col = colField;
    if (relativeToCell) {
        if (rowRel) r.row = b8 ? ((cellRow + int16_t(rowField)) & 0xFFFF) : ((cellRow + rowField) & 0x3FFF);
        if (colRel) r.col = (cellCol + int8_t(colField)) & 0xFF;
    }
    r.rowAbs = !rowRel;
    r.colAbs = !colRel;
    return r;
}

QString refText(const Ref& r) { return CellRefText(r.col, r.row, r.colAbs, r.rowAbs); }

}   // namespace

QString DecodeFormula(TExcelVersion v, const QByteArray& dataBytes, int tokenLength, const TNameResolver& resolver,
                      int cellCol, int cellRow, int sheetIndex)
{
    const auto* p = reinterpret_cast<const uint8_t*>(dataBytes.constData());
    const int total = int(dataBytes.size());
    const int len = qBound(0, tokenLength, total);
    const bool b8 = v == xvExcel97;
    const QChar listSep = ListSeparator();
    QStringList st;
    int extraPos = len;   // array constants follow the tokens
    bool inSheetMarker = false;
    auto resolve = [&](int kind, int index, int nameNumber, QString& out) {
        return resolver && resolver(kind, index, out, cellCol, cellRow, nameNumber);
    };
    auto pop = [&]() { return st.takeLast(); };
    auto binary = [&](const QString& op) {
        if (st.size() < 2) {
            st.append(QStringLiteral("<Val missing>"));
            return;
        }
        QString r = pop();
        QString l = pop();
        st.append(l + op + r);
    };
    static const char* const ops[] = {"+", "-", "*", "/", "^", "&", "<", "<=", "=", ">=", ">", "<>"};

    int pos = 0;
    while (pos < len) {
        const int id = p[pos];
        const int base = id >= 0x20 ? ((id & 0x1F) | 0x20) : id;
        int size = tokenSize(v, p, len, pos);
        if (size == -2) {
            st.append(QStringLiteral("Unknown ptg[%1]").arg(hex2(id)));
            break;
        }
        if (size < 0 || base == 0x01 || base == 0x02 || base == 0x0F) {
            st.append(QStringLiteral("Unknown ptg[%1]").arg(hex2(id)));
            break;
        }
        const uint8_t* d = p + pos + 1;
        bool stop = false;
        switch (base) {
        case 0x00: stop = true; break;
        case 0x10: binary(QString(listSep)); break;
        case 0x11: binary(QStringLiteral(":")); break;
        case 0x12: case 0x13:
            if (st.isEmpty()) st.append(QStringLiteral("<Val missing>"));
            else st.last().prepend(base == 0x12 ? '+' : '-');
            break;
        case 0x14:
            if (st.isEmpty()) st.append(QStringLiteral("<Val missing>"));
            else st.last().append('%');
            break;
        case 0x15:
            if (!st.isEmpty()) st.last() = '(' + st.last() + ')';
            break;
        case 0x16: st.append(QString()); break;
        case 0x17: {
            QString s;
            if (b8) s = ReadBIFFString(d + 1, size - 2, d[0]);
            else s = AnsiCodec().toUnicode(reinterpret_cast<const char*>(d + 1), d[0]);
            st.append('"' + s + '"');
            break;
        }
        case 0x18: {
            int sub = d[0];
            if (sub == 6 || sub == 7) {
                QString t;
                resolve(4, sheetIndex, -1, t);
                st.append(t);
            } else if (!((sub >= 1 && sub <= 3) || (sub >= 10 && sub <= 16) || sub == 29)) {
                st.append(QStringLiteral("Unknown eptg[%1]").arg(hex2(sub)));
            }
            break;
        }
        case 0x19:
            if ((d[0] & 0x10) && !st.isEmpty()) st.last() = QStringLiteral("SUM(") + st.last() + ')';
            break;
        case 0x1A: inSheetMarker = true; break;
        case 0x1B: inSheetMarker = false; break;
        case 0x1C: st.append(ErrorText(d[0])); break;
        case 0x1D: st.append(d[0] ? QStringLiteral("TRUE") : QStringLiteral("FALSE")); break;
        case 0x1E: st.append(QString::number(GetWord(d))); break;
        case 0x1F: st.append(FloatToStrG(GetDouble(d))); break;
        case 0x20: {
            // Array constant from the extra data: columns - 1, rows - 1, then the elements.
            QString text;
            const int hdr = b8 ? 3 : 3;
            if (extraPos + hdr > total) {
                st.append(QStringLiteral("[ERROR]"));
                break;
            }
            int cols = p[extraPos] + 1;
            int rows = GetWord(p + extraPos + 1) + 1;
            int ep = extraPos + hdr;
            bool bad = false;
            for (int c = 0; c < cols && !bad; ++c) {
                text += '{';
                for (int r = 0; r < rows && !bad; ++r) {
                    if (ep >= total) { bad = true; text = QStringLiteral("[ERROR]"); break; }
                    int type = p[ep++];
                    switch (type) {
                    case 0: ep += 8; break;
                    case 1:
                        if (ep + 8 > total) { bad = true; break; }
                        text += FloatToStrG(GetDouble(p + ep));
                        ep += 8;
                        break;
                    case 2: {
                        qint64 used = 0;
                        if (b8) {
                            if (ep + 3 > total) { bad = true; break; }
                            int n = GetWord(p + ep);
                            text += '"' + ReadBIFFString(p + ep + 2, total - ep - 2, n, &used) + '"';
                            ep += 2 + int(used);
                        } else {
                            if (ep + 1 > total) { bad = true; break; }
                            int n = p[ep];
                            CheckRange(total, ep + 1, n);
                            text += '"' + AnsiCodec().toUnicode(reinterpret_cast<const char*>(p + ep + 1), n) + '"';
                            ep += 1 + n;
                        }
                        break;
                    }
                    case 4:
                        if (ep + 8 > total) { bad = true; break; }
                        text += p[ep] ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
                        ep += 8;
                        break;
                    case 16:
                        if (ep + 8 > total) { bad = true; break; }
                        text += ErrorText(p[ep]);
                        ep += 8;
                        break;
                    default:
                        text = QStringLiteral("Bad element ID#%1 in array").arg(type);
                        bad = true;
                        break;
                    }
                    if (!bad) text += listSep;
                }
                if (!bad) text += '}';
            }
            if (bad && !text.startsWith(QLatin1String("Bad element"))) text = QStringLiteral("[ERROR]");
            extraPos = qMin(ep, total);
            st.append(text);
            break;
        }
        case 0x21: case 0x22: {
            int index, argc;
            QString name;
            if (base == 0x21) {
                index = v >= xvExcel40 ? GetWord(d) : d[0];
                if (index > 380) {
                    if (st.isEmpty()) throw EXLSError(QStringLiteral("Function arguments missing"));
                    QString a = pop();
                    st.append(QStringLiteral("?<%1>?(%2)").arg(index).arg(a));
                    break;
                }
                argc = ExcelFunctions[index].minArgs;
                name = QString::fromLatin1(ExcelFunctions[index].name);
            } else {
                argc = d[0] & 0x7F;
                if (v >= xvExcel50) index = GetWord(d + 1);
                else if (v == xvExcel40) index = d[1];
                else index = d[1];
                name = index > 380 ? QStringLiteral("1") : QString::fromLatin1(ExcelFunctions[index].name);
            }
            if (argc > st.size()) throw EXLSError(QStringLiteral("Function arguments missing"));
            QStringList args = st.mid(st.size() - argc);
            st.resize(st.size() - argc);
            if (!name.isEmpty() && name[0].isDigit() && !args.isEmpty()) name = args.takeFirst();
            st.append(name + '(' + args.join(listSep) + ')');
            break;
        }
        case 0x23:
            if (v >= xvExcel50) {
                int n = GetWord(d);
                QString t;
                if (!resolve(0, n, n, t)) t = QStringLiteral("[NAME]");
                st.append(t);
            } else {
                st.append(inSheetMarker ? QStringLiteral("[EXTERNNAME]") : QStringLiteral("[NAME]"));
            }
            break;
        case 0x24: st.append(refText(readRef(b8, d, false, cellRow, cellCol))); break;
        case 0x25: {
            Ref a, b;
            if (b8) {
                uint8_t t1[4] = {d[0], d[1], d[4], d[5]};
                uint8_t t2[4] = {d[2], d[3], d[6], d[7]};
                a = readRef(true, t1, false, cellRow, cellCol);
                b = readRef(true, t2, false, cellRow, cellCol);
            } else {
                uint8_t t1[3] = {d[0], d[1], d[4]};
                uint8_t t2[3] = {d[2], d[3], d[5]};
                a = readRef(false, t1, false, cellRow, cellCol);
                b = readRef(false, t2, false, cellRow, cellCol);
            }
            st.append(refText(a) + ':' + refText(b));
            break;
        }
        case 0x26: case 0x27: case 0x28: case 0x29: break;
        case 0x2A: case 0x2B: st.append(QStringLiteral("#REF!")); break;
        case 0x2C: st.append(refText(readRef(b8, d, true, cellRow, cellCol))); break;
        case 0x2D: {
            Ref a, b;
            if (b8) {
                uint8_t t1[4] = {d[0], d[1], d[4], d[5]};
                uint8_t t2[4] = {d[2], d[3], d[6], d[7]};
                a = readRef(true, t1, true, cellRow, cellCol);
                b = readRef(true, t2, true, cellRow, cellCol);
            } else {
                uint8_t t1[3] = {d[0], d[1], d[4]};
                uint8_t t2[3] = {d[2], d[3], d[5]};
                a = readRef(false, t1, true, cellRow, cellCol);
                b = readRef(false, t2, true, cellRow, cellCol);
            }
            st.append(refText(a) + ':' + refText(b));
            break;
        }
        case 0x39: {
            QString t;
            if (b8) {
                int ixti = GetWord(d), n = GetWord(d + 2);
                if (!resolve(2, ixti, n, t)) t = QStringLiteral("[EXTERNNAME %1]").arg(n);
            } else {
                int n = GetWord(d + 2);
                if (!resolve(1, n, n, t)) t = QStringLiteral("[EXTERNNAME %1]").arg(n);
            }
            st.append(t);
            break;
        }
        case 0x3A: case 0x3B: case 0x3C: case 0x3D: {
            const bool area = base == 0x3B || base == 0x3D;
            const bool err = base == 0x3C || base == 0x3D;
            QString prefix;
            const uint8_t* r;
            if (b8) {
                if (!resolve(2, GetWord(d), -1, prefix)) prefix = QStringLiteral("[ExternSheet]");
                r = d + 2;
            } else {
                int ext = int16_t(GetWord(d));
                int first = int16_t(GetWord(d + 10)), last = int16_t(GetWord(d + 12));
                if (ext >= 0) prefix = QStringLiteral("[EXTERN ???]:");
                if (first == -1 || last == -1) {
                    prefix += QStringLiteral("[DELETED]");
                } else {
                    QString a, b;
                    resolve(3, first, -1, a);
                    if (first != last) resolve(3, last, -1, b);
                    prefix += QuotedSheetRef(a, first == last ? QString() : b);
                }
                prefix += '!';
                r = d + 14;
            }
            if (err) {
                // the sheet text ends with its "!" already
                st.append(prefix + (prefix.endsWith('!') ? QStringLiteral("#REF!") : QStringLiteral("!#REF!")));
                break;
            }
            if (!area) {
                st.append(prefix + refText(readRef(b8, r, false, cellRow, cellCol)));
            } else if (b8) {
                uint8_t t1[4] = {r[0], r[1], r[4], r[5]};
                uint8_t t2[4] = {r[2], r[3], r[6], r[7]};
                st.append(prefix + refText(readRef(true, t1, false, 0, 0)) + ':' + refText(readRef(true, t2, false, 0, 0)));
            } else {
                uint8_t t1[3] = {r[0], r[1], r[4]};
                uint8_t t2[3] = {r[2], r[3], r[5]};
                st.append(prefix + refText(readRef(false, t1, false, 0, 0)) + ':' + refText(readRef(false, t2, false, 0, 0)));
            }
            break;
        }
        default:
            if (base >= 0x03 && base <= 0x0E) binary(QString::fromLatin1(ops[base - 0x03]));
            else {
                st.append(QStringLiteral("Unknown ptg[%1]").arg(hex2(id)));
                stop = true;
            }
            break;
        }
        if (stop) break;
        pos += size;
    }
    return st.isEmpty() ? QStringLiteral("[ERROR]") : st.last();
}

void ConvertSharedFormula(bool biff8, QByteArray& tokens, int tokenLength, int row, int col)
{
    auto* p = reinterpret_cast<uint8_t*>(tokens.data());
    const int len = qBound(0, tokenLength, int(tokens.size()));
    const TExcelVersion v = biff8 ? xvExcel97 : xvExcel50;
    int pos = 0;
    while (pos < len) {
        int id = p[pos];
        int size = tokenSize(v, p, len, pos);
        if (size < 0) throw unknownPtg(id);
        if (id == 0x2C || id == 0x4C || id == 0x6C || id == 0x2D || id == 0x4D || id == 0x6D) {
            const bool area = (id & 0x1F) == 0x0D;
            p[pos] = uint8_t(id - 0x08);   // relative reference -> reference, area likewise
            uint8_t* d = p + pos + 1;
            auto fix = [&](uint8_t* rowP, uint8_t* colP) {
                if (biff8) {
                    uint16_t c = GetWord(colP);
                    if (c & 0x8000) PutWord(rowP, uint16_t(row + int16_t(GetWord(rowP))));
                    if (c & 0x4000) PutWord(colP, uint16_t((c & 0xFF00) | ((col + int8_t(c & 0xFF)) & 0xFF)));
                } else {
                    uint16_t rw = GetWord(rowP);
                    if (rw & 0x8000) {
                        int off = rw & 0x3FFF;
                        if (off & 0x2000) off -= 0x4000;
                        PutWord(rowP, uint16_t((rw & 0xC000) | ((row + off) & 0x3FFF)));
                    }
                    if (rw & 0x4000) *colP = uint8_t(col + int8_t(*colP));
                }
            };
            if (!area) fix(d, biff8 ? d + 2 : d + 2);
            else if (biff8) { fix(d, d + 4); fix(d + 2, d + 6); }
            else { fix(d, d + 4); fix(d + 2, d + 5); }
        }
        if (id == 0) break;
        pos += size;
    }
}

int ArrayDataSize(const QByteArray& tokens, int tokenLength)
{
    const auto* p = reinterpret_cast<const uint8_t*>(tokens.constData());
    const int total = int(tokens.size());
    const int len = qBound(0, tokenLength, total);
    int pos = 0, extra = 0;
    while (pos < len) {
        int id = p[pos];
        int size = tokenSize(xvExcel97, p, len, pos);
        if (size < 0) throw unknownPtg(id);
        if (((id >= 0x20) ? ((id & 0x1F) | 0x20) : id) == 0x20) {
            int ep = len + extra;
            CheckRange(total, ep, 3);
            int n = (p[ep] + 1) * (GetWord(p + ep + 1) + 1);
            int sz = 3;
            ep += 3;
            for (int i = 0; i < n; ++i) {
                CheckRange(total, ep, 1);
                if (p[ep] == 2) {
                    CheckRange(total, ep, 4);
                    int chars = GetWord(p + ep + 1);
                    int s = 4 + chars * ((p[ep + 3] & 1) ? 2 : 1);
                    sz += s;
                    ep += s;
                } else {
                    sz += 9;
                    ep += 9;
                }
            }
            extra += sz;
        }
        if (id == 0) break;
        pos += size;
    }
    return extra;
}

}
