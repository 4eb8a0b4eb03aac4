#include "ExtADODataSet.h"
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cstring>
#include <optional>
#include <sqlite3.h>
#include <utility>

namespace db {

const char* const kUpdateConflictText = "Der Datensatz wurde inzwischen von einem anderen Programm ge\u00e4ndert. "
                                        "Die aktuellen Werte wurden neu geladen.";

namespace {

constexpr int kCacheMax = 4096;
const char* kKeyAlias = "qly__key";

// --- a small SQL tokenizer: enough to find top-level keywords, the FROM table and literals.
struct Tok {
    enum Kind { Word, String, Ident, Punct, Number } kind;
    int start;
    int end;
    int depth;
    QString text; // words upper-cased; identifiers unquoted
};

std::vector<Tok> Tokenize(const QString& s)
{
    std::vector<Tok> out;
    int depth = 0;
    const int n = int(s.size());
    int i = 0;
    while (i < n) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < n && s[i + 1] == QLatin1Char('-')) {
            while (i < n && s[i] != QLatin1Char('\n'))
                ++i;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && s[i + 1] == QLatin1Char('*')) {
            const int e = int(s.indexOf(QLatin1String("*/"), i + 2));
            i = e < 0 ? n : e + 2;
            continue;
        }
        const int start = i;
        if (c == QLatin1Char('\'')) {
            ++i;
            QString text;
            while (i < n) {
                if (s[i] == QLatin1Char('\'')) {
                    if (i + 1 < n && s[i + 1] == QLatin1Char('\'')) {
                        text += QLatin1Char('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += s[i++];
            }
            out.push_back({Tok::String, start, i, depth, text});
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            ++i;
            QString text;
            while (i < n) {
                if (s[i] == close) {
                    if (close != QLatin1Char(']') && i + 1 < n && s[i + 1] == close) {
                        text += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += s[i++];
            }
            out.push_back({Tok::Ident, start, i, depth, text});
            continue;
        }
        if (c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$')) {
            while (i < n && (s[i].isLetterOrNumber() || s[i] == QLatin1Char('_') || s[i] == QLatin1Char('$')))
                ++i;
            const QString w = s.mid(start, i - start);
            out.push_back({c.isDigit() ? Tok::Number : Tok::Word, start, i, depth, w.toUpper()});
            continue;
        }
        if (c == QLatin1Char('('))
            out.push_back({Tok::Punct, start, ++i, depth++, QStringLiteral("(")});
        else if (c == QLatin1Char(')')) {
            depth = std::max(0, depth - 1);
            out.push_back({Tok::Punct, start, ++i, depth, QStringLiteral(")")});
        } else
            out.push_back({Tok::Punct, start, ++i, depth, QString(c)});
    }
    return out;
}

QString Q(const QString& name) { return QuoteName(name); }

bool IsRowidName(const QString& n)
{
    return n.compare(QLatin1String("rowid"), Qt::CaseInsensitive) == 0 ||
           n.compare(QLatin1String("oid"), Qt::CaseInsensitive) == 0 ||
           n.compare(QLatin1String("_rowid_"), Qt::CaseInsensitive) == 0;
}

QString LowerParamName(const QString& n)
{
    QString s = n;
    if (!s.isEmpty() && (s[0] == QLatin1Char(':') || s[0] == QLatin1Char('@') || s[0] == QLatin1Char('$') ||
                         s[0] == QLatin1Char('?')))
        s = s.mid(1);
    return s.toLower();
}

QVariant ColumnValue(sqlite3_stmt* st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(st, i));
    case SQLITE_TEXT: {
        const void* p = sqlite3_column_text16(st, i);
        const int bytes = sqlite3_column_bytes16(st, i);
        if (!p && sqlite3_errcode(sqlite3_db_handle(st)) == SQLITE_NOMEM)
            throw EDatabaseError(QStringLiteral("Out of memory reading a column"), SQLITE_NOMEM);
        return QVariant(QString(reinterpret_cast<const QChar*>(p), bytes / 2));
    }
    case SQLITE_BLOB: {
        const void* p = sqlite3_column_blob(st, i);
        const int bytes = sqlite3_column_bytes(st, i);
        return QVariant(QByteArray(static_cast<const char*>(p), bytes));
    }
    default:
        return QVariant();
    }
}

// Resets a statement when a read leaves early (also on exceptions): a statement left running
// would keep the database's read lock and block every writer.
struct ResetGuard {
    Statement& st;
    ~ResetGuard() { st.Reset(); }
};

} // namespace

// Reads the dataset makes on its own (column probes, snapshots, pages, locate) stay out of the
// connection's statement log; the statement it was given is logged once per open and requery,
// and its writes (INSERT, UPDATE, DELETE) are logged as they run.
struct TExtADODataSet::SilentStatements {
    Connection* conn;
    std::function<void(const QString&)> saved;
    explicit SilentStatements(Connection* c) : conn(c), saved(c ? std::move(c->OnStatement) : nullptr)
    {
        if (conn)
            conn->OnStatement = nullptr;
    }
    ~SilentStatements()
    {
        if (conn)
            conn->OnStatement = std::move(saved);
    }
};

namespace {

bool IsDecimalDecl(const QString& declType, bool enableBCD)
{
    const QString u = declType.toUpper();
    const int paren = int(u.indexOf(QLatin1Char('(')));
    const QString base = (paren >= 0 ? u.left(paren) : u).trimmed();
    if (!base.contains(QLatin1String("DECIMAL")) && !base.contains(QLatin1String("NUMERIC")))
        return false;
    const int precision = paren >= 0 ? u.mid(paren + 1).section(QLatin1Char(','), 0, 0).section(QLatin1Char(')'), 0, 0).trimmed().toInt() : 0;
    return enableBCD || (base.contains(QLatin1String("DECIMAL")) && precision > 15);
}

bool ValuesMatch(const QVariant& a, const QVariant& b, TLocateOptions options)
{
    const bool an = !a.isValid() || a.isNull();
    const bool bn = !b.isValid() || b.isNull();
    if (an || bn)
        return an && bn;
    const auto numeric = [](const QVariant& v) {
        return v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int || v.typeId() == QMetaType::Double;
    };
    if (!options && numeric(a) && numeric(b))
        return a.toDouble() == b.toDouble();
    QString sa = a.toString();
    const QString sb = b.toString();
    const Qt::CaseSensitivity cs = (options & loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    if (options & loPartialKey)
        return sa.startsWith(sb, cs);
    if (numeric(a) && !numeric(b)) {
        bool ok = false;
        const double d = sb.trimmed().toDouble(&ok);
        if (ok)
            return a.toDouble() == d;
    }
    return sa.compare(sb, cs) == 0;
}

} // namespace

// ------------------------------------------------------------------ static helpers

QString TExtADODataSet::RewriteFilterText(const QString& filter)
{
    static const QRegularExpression re(QStringLiteral("(AND|OR)\\("), QRegularExpression::CaseInsensitiveOption);
    QString s = filter;
    s.replace(re, QStringLiteral("\\1 ("));
    return s;
}

QString TExtADODataSet::FilterToSql(const QString& filter)
{
    const std::vector<Tok> toks = Tokenize(filter);
    struct Edit { int start, end; QString text; };
    std::vector<Edit> edits;
    for (size_t i = 0; i < toks.size(); ++i) {
        const Tok& t = toks[i];
        if (t.kind == Tok::String && i > 0 && toks[i - 1].kind == Tok::Word && toks[i - 1].text == QLatin1String("LIKE")) {
            QString lit = t.text;
            lit.replace(QLatin1Char('*'), QLatin1Char('%'));
            lit.replace(QLatin1Char('\''), QLatin1String("''"));
            edits.push_back({t.start, t.end, QLatin1Char('\'') + lit + QLatin1Char('\'')});
        } else if (t.kind == Tok::Word && t.text == QLatin1String("NULL") && i > 0 && toks[i - 1].kind == Tok::Punct) {
            const Tok& p = toks[i - 1];
            if (p.text == QLatin1String("=")) {
                if (i > 1 && toks[i - 2].kind == Tok::Punct && toks[i - 2].end == p.start &&
                    (toks[i - 2].text == QLatin1String("!") || toks[i - 2].text == QLatin1String("<") ||
                     toks[i - 2].text == QLatin1String(">")))
                    continue;
                edits.push_back({p.start, t.end, QStringLiteral("IS NULL")});
            } else if (p.text == QLatin1String(">") && i > 1 && toks[i - 2].text == QLatin1String("<") &&
                       toks[i - 2].end == p.start) {
                edits.push_back({toks[i - 2].start, t.end, QStringLiteral("IS NOT NULL")});
            }
        }
    }
    QString out = filter;
    for (auto it = edits.rbegin(); it != edits.rend(); ++it)
        out.replace(it->start, it->end - it->start, it->text);
    return out;
}

TFieldType TExtADODataSet::FieldTypeFromDecl(const QString& declType, int* size)
{
    int n = 0, m = -1;
    const QString u = declType.trimmed().toUpper();
    QString base = u;
    const int paren = int(u.indexOf(QLatin1Char('(')));
    if (paren >= 0) {
        base = u.left(paren).trimmed();
        const QString args = u.mid(paren + 1).section(QLatin1Char(')'), 0, 0);
        n = args.section(QLatin1Char(','), 0, 0).trimmed().toInt();
        if (args.contains(QLatin1Char(',')))
            m = args.section(QLatin1Char(','), 1, 1).trimmed().toInt();
    }
    int sz = 0;
    TFieldType t;
    const auto has = [&](const char* w) { return base.contains(QLatin1String(w)); };
    if (base.isEmpty())
        t = ftVariant;
    else if (has("DATETIME") || has("TIMESTAMP"))
        t = ftDateTime;
    else if (has("INT")) {
        if (has("SMALLINT") || has("TINYINT"))
            t = ftSmallint;
        else if (has("BIGINT") || has("INT8") || has("BIG INT"))
            t = ftLargeint;
        else
            t = ftInteger;
    } else if (base == QLatin1String("BOOL") || base == QLatin1String("BOOLEAN") || base == QLatin1String("BIT") ||
               base == QLatin1String("YESNO") || base == QLatin1String("LOGICAL"))
        t = ftBoolean;
    else if (has("MEMO") || has("LONGTEXT") || has("NOTE") || has("CLOB"))
        t = ftMemo;
    else if (has("CHAR") || has("TEXT") || base == QLatin1String("STRING")) {
        if (n > 0) {
            const bool fixed = (base == QLatin1String("CHAR") || base == QLatin1String("NCHAR") ||
                                base == QLatin1String("CHARACTER"));
            t = fixed ? ftFixedChar : ftWideString;
            sz = n;
        } else {
            t = ftMemo;
        }
    } else if (has("BLOB") || has("BINARY") || has("IMAGE") || has("OLE")) {
        if (n > 0 && has("VARBINARY")) {
            t = ftVarBytes;
            sz = n;
        } else if (n > 0 && has("BINARY")) {
            t = ftBytes;
            sz = n;
        } else
            t = ftBlob;
    } else if (has("REAL") || has("FLOA") || has("DOUB") || has("SINGLE"))
        t = ftFloat;
    else if (has("CURRENCY") || has("MONEY"))
        t = ftBCD;
    else if (has("DECIMAL") || has("NUMERIC") || has("NUMBER"))
        t = (n > 0 && n < 10 && m <= 0) ? ftInteger : ftFloat;
    else if (base == QLatin1String("DATE"))
        t = ftDate;
    else if (base == QLatin1String("TIME"))
        t = ftTime;
    else if (has("GUID") || has("UNIQUEIDENTIFIER")) {
        t = ftGuid;
        sz = 38;
    } else
        t = ftFloat; // SQLite's NUMERIC affinity
    if (size)
        *size = sz;
    return t;
}

// ------------------------------------------------------------------ set-up

TExtADODataSet::TExtADODataSet(Connection* connection) : m_conn(connection) {}

TExtADODataSet::~TExtADODataSet()
{
    CloseForDestroy();
    m_nested.clear();
    m_selfSource.reset();
    m_masterLink.reset();
}

void TExtADODataSet::SetConnection(Connection* connection)
{
    if (connection == m_conn)
        return;
    CheckInactive();
    m_conn = connection;
}

void TExtADODataSet::SetCommandText(const QString& sql)
{
    if (sql == m_commandText)
        return;
    CheckInactive();
    m_commandText = sql;
}

void TExtADODataSet::SetParamValue(const QString& name, const QVariant& value)
{
    m_params.insert(LowerParamName(name), value);
}

void TExtADODataSet::BindParams(Statement& st) const
{
    const int count = st.ParameterCount();
    for (int i = 1; i <= count; ++i) {
        const QString name = st.ParameterName(i);
        if (name.isEmpty())
            continue;
        const QString lower = LowerParamName(name);
        const auto master = m_masterParams.constFind(lower);
        if (master != m_masterParams.constEnd()) {
            st.Bind(i, master.value());
            continue;
        }
        const auto it = m_params.constFind(lower);
        if (it != m_params.constEnd())
            st.Bind(i, it.value());
    }
}

QString TExtADODataSet::CleanStatement() const
{
    QString sql = m_commandText.trimmed();
    while (sql.endsWith(QLatin1Char(';')))
        sql = sql.left(sql.size() - 1).trimmed();
    return sql;
}

QString TExtADODataSet::AdjustFilterText(const QString& filter) const
{
    return RewriteFilterText(filter);
}

QString TExtADODataSet::FilterSql() const
{
    if (!Filtered() || Filter().trimmed().isEmpty())
        return QString();
    return FilterToSql(Filter());
}

bool TExtADODataSet::CanModify() const
{
    if (!Active() || !Keyed())
        return false;
    for (const Column& c : m_columns)
        if (c.updatable)
            return true;
    return false;
}

bool TExtADODataSet::DetectTable(const QString& sql, const std::vector<Column>& cols, QString* table) const
{
    if (cols.empty())
        return false;
    const std::vector<Tok> toks = Tokenize(sql);
    if (toks.empty() || toks[0].kind != Tok::Word || toks[0].text != QLatin1String("SELECT"))
        return false;
    static const QSet<QString> refused = {
        QStringLiteral("DISTINCT"), QStringLiteral("GROUP"), QStringLiteral("UNION"), QStringLiteral("INTERSECT"),
        QStringLiteral("EXCEPT"), QStringLiteral("JOIN"), QStringLiteral("HAVING"), QStringLiteral("WINDOW"),
        QStringLiteral("VALUES"), QStringLiteral("WITH")};
    QString from;
    for (size_t i = 1; i < toks.size(); ++i) {
        const Tok& t = toks[i];
        if (t.depth != 0)
            continue;
        if (t.kind == Tok::Word && refused.contains(t.text))
            return false;
        if (from.isEmpty() && t.kind == Tok::Word && t.text == QLatin1String("FROM")) {
            size_t j = i + 1;
            if (j >= toks.size() || (toks[j].kind != Tok::Word && toks[j].kind != Tok::Ident))
                return false;
            from = toks[j].kind == Tok::Ident ? toks[j].text : sql.mid(toks[j].start, toks[j].end - toks[j].start);
            if (j + 2 < toks.size() && toks[j + 1].text == QLatin1String(".") &&
                (toks[j + 2].kind == Tok::Word || toks[j + 2].kind == Tok::Ident)) {
                j += 2;
                from = toks[j].kind == Tok::Ident ? toks[j].text : sql.mid(toks[j].start, toks[j].end - toks[j].start);
            }
            // More than one table in the FROM clause?
            for (size_t k = j + 1; k < toks.size(); ++k) {
                if (toks[k].depth != 0)
                    continue;
                if (toks[k].kind == Tok::Word &&
                    (toks[k].text == QLatin1String("WHERE") || toks[k].text == QLatin1String("ORDER") ||
                     toks[k].text == QLatin1String("LIMIT")))
                    break;
                if (toks[k].kind == Tok::Punct && (toks[k].text == QLatin1String(",") || toks[k].text == QLatin1String("(")))
                    return false;
            }
            i = j;
        }
    }
    if (from.isEmpty())
        return false;
    for (const Column& c : cols)
        if (c.table.isEmpty() || c.origin.isEmpty() || c.table.compare(from, Qt::CaseInsensitive) != 0)
            return false;
    *table = cols[0].table;
    return true;
}

void TExtADODataSet::ReadColumns(const QString& sql)
{
    SilentStatements silent(m_conn);
    m_columns.clear();
    m_tableMode = false;
    m_table.clear();
    m_keyName.clear();
    m_keyColumnName.clear();
    {
        Statement st(*m_conn, sql);
        for (int i = 0; i < st.ColumnCount(); ++i) {
            Column c;
            c.name = st.ColumnName(i);
            c.declType = st.ColumnDeclType(i);
            c.table = st.ColumnTable(i);
            c.origin = st.ColumnOrigin(i);
            m_columns.push_back(c);
        }
    }
    QString table;
    if (!DetectTable(sql, m_columns, &table)) {
        DetectJoinKey();
        return;
    }
    // The table's columns: types, NOT NULL, defaults, the rowid alias, generated columns.
    struct Info { QString type; bool notNull; QString dflt; int pk; int hidden; };
    QHash<QString, Info> info;
    int pkCount = 0;
    QString pkName;
    QString idName;
    for (const QVariantList& r : m_conn->Select(QStringLiteral("SELECT name, type, \"notnull\", dflt_value, pk, hidden "
                                                               "FROM pragma_table_xinfo(?1)"), {table})) {
        const QString name = r.value(0).toString();
        info.insert(name.toLower(), {r.value(1).toString(), r.value(2).toLongLong() != 0,
                                     r.value(3).isNull() ? QString() : r.value(3).toString(),
                                     int(r.value(4).toLongLong()), int(r.value(5).toLongLong())});
        if (r.value(4).toLongLong() > 0) {
            ++pkCount;
            pkName = name;
        }
        if (name.compare(QLatin1String("_ID"), Qt::CaseInsensitive) == 0)
            idName = name;
    }
    if (info.isEmpty())
        return;
    QString rowidAlias;
    if (pkCount == 1 && info.value(pkName.toLower()).type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
        rowidAlias = pkName;
    if (!idName.isEmpty() && idName == rowidAlias) {
        m_keyName = idName;
        m_keyColumnName = idName;
    } else {
        m_keyName = QStringLiteral("rowid");
        m_keyColumnName = rowidAlias;
    }
    for (Column& c : m_columns) {
        const Info in = info.value(c.origin.toLower(), Info{c.declType, false, QString(), 0, 0});
        const bool isRowid = !info.contains(c.origin.toLower()) && IsRowidName(c.origin);
        c.autoInc = isRowid || (!rowidAlias.isEmpty() && c.origin.compare(rowidAlias, Qt::CaseInsensitive) == 0);
        c.updatable = !c.autoInc && in.hidden < 2 && info.contains(c.origin.toLower());
        c.notNull = in.notNull;
        c.defaultExpr = in.dflt;
    }
    m_table = table;
    m_tableMode = true;
}

QString TExtADODataSet::QuotedKey() const
{
    return m_keyName.compare(QLatin1String("rowid"), Qt::CaseInsensitive) == 0 ? QStringLiteral("rowid") : Q(m_keyName);
}

void TExtADODataSet::TakeSnapshot()
{
    // Built aside and swapped in at the end: a statement or filter that fails leaves the
    // dataset's current snapshot as it was.
    const QString sql = CleanStatement();
    QString filter = FilterSql();
    const QString master = PrepareMaster();
    if (!master.isEmpty())
        filter = filter.isEmpty() ? master : QStringLiteral("(%1) AND (%2)").arg(filter, master);
    m_pageSize = m_backgroundFetchSize;
    SilentStatements silent(m_conn);
    std::vector<qint64> keys;
    std::vector<QVariantList> rows;
    bool sorted = true;
    std::unique_ptr<Statement> pageStmt;
    bool tableMode = m_tableMode;
    std::optional<std::vector<qint64>> known = std::exchange(m_knownKeys, std::nullopt);

    if (tableMode && known && filter.isEmpty() && !m_masterSource) {
        // The caller knows the statement's keys: they are the snapshot.
        keys = std::move(*known);
        for (size_t i = 1; i < keys.size() && sorted; ++i)
            sorted = keys[i - 1] < keys[i];
    } else if (tableMode) {
        // The key goes in front of the statement's own columns; the statement's ORDER BY and WHERE
        // stay as written, the filter is a WHERE over its result.
        const std::vector<Tok> toks = Tokenize(sql);
        const QString injected = sql.left(toks[0].end) + QStringLiteral(" %1 AS %2,").arg(QuotedKey(), Q(kKeyAlias)) +
                                 sql.mid(toks[0].end);
        QString snap = QStringLiteral("SELECT %1 FROM (%2)").arg(Q(kKeyAlias), injected);
        if (!filter.isEmpty())
            snap += QStringLiteral(" WHERE (%1)").arg(filter);
        std::unique_ptr<Statement> st;
        try {
            st = std::make_unique<Statement>(*m_conn, snap);
        } catch (const EDatabaseError&) {
            if (!filter.isEmpty()) {
                // A filter SQLite rejects is the filter's error, not a reason to read the table whole.
                Statement probe(*m_conn, QStringLiteral("SELECT %1 FROM (%2)").arg(Q(kKeyAlias), injected));
                throw;
            }
            tableMode = false; // e.g. a table without rowid: read the statement whole
        }
        if (tableMode) {
            ResetGuard guard{*st};
            BindParams(*st);
            keys.reserve(m_keys.size() + m_keys.size() / 16 + 64); // a requery: about the old size
            sqlite3_stmt* h = st->Handle();
            qint64 prev = INT64_MIN;
            while (st->Step()) {
                const qint64 k = sqlite3_column_int64(h, 0);
                if (k <= prev)
                    sorted = false;
                prev = k;
                keys.push_back(k);
            }
        }
    }
    if (tableMode) {
        // Page reader: rows by key from the base table.
        QStringList cols;
        for (const Column& c : m_columns)
            cols << (IsRowidName(c.origin) && c.autoInc && !c.updatable && m_keyColumnName.isEmpty()
                         ? QStringLiteral("rowid")
                         : Q(c.origin));
        QStringList marks;
        for (int i = 1; i <= m_pageSize; ++i)
            marks << QStringLiteral("?%1").arg(i);
        pageStmt = std::make_unique<Statement>(
            *m_conn, QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 IN (%4)")
                         .arg(QuotedKey(), cols.join(QStringLiteral(", ")), Q(m_table), marks.join(QStringLiteral(","))));
    }
    if (!tableMode) {
        // Read whole: every row in memory, read-only.
        QString whole = sql;
        if (!filter.isEmpty())
            whole = QStringLiteral("SELECT * FROM (%1) WHERE (%2)").arg(sql, filter);
        Statement st(*m_conn, whole);
        ResetGuard guard{st};
        BindParams(st);
        sqlite3_stmt* h = st.Handle();
        const int n = st.ColumnCount();
        while (st.Step()) {
            QVariantList row;
            row.reserve(n);
            for (int i = 0; i < n; ++i)
                row.append(ColumnValue(h, i));
            keys.push_back(qint64(rows.size()));
            rows.push_back(std::move(row));
        }
    }

    if (!tableMode && m_tableMode) {
        for (Column& c : m_columns)
            c.updatable = false;
        m_table.clear();
        m_keyName.clear();
        m_keyColumnName.clear();
        m_tableMode = false;
    }
    m_keys = std::move(keys);
    m_rows = std::move(rows);
    m_keysSorted = sorted;
    m_pageStmt = std::move(pageStmt);
    m_cache.clear();
    m_index.clear();
    m_indexValid = false;
    m_pendingPos = -1;
    m_snapshotCondition = filter;
    ++m_generation;
}

void TExtADODataSet::CreateFieldsFromColumns()
{
    QStringList used;
    for (int i = 0; i < int(m_columns.size()); ++i) {
        const Column& c = m_columns[size_t(i)];
        QString name = c.name;
        if (name.isEmpty())
            name = QString::asprintf("COLUMN%d", i + 1);
        const QString stem = name;
        for (int k = 1; used.contains(name, Qt::CaseInsensitive); ++k)
            name = QString::asprintf("%s_%d", stem.toUtf8().constData(), k);
        used << name;

        int size = 0;
        TFieldType type;
        if (!c.declType.isEmpty() || m_tableMode) {
            type = FieldTypeFromDecl(c.declType, &size);
        } else {
            // An expression: the type of its first non-null value.
            type = ftWideString;
            size = 255;
            for (const QVariantList& r : m_rows) {
                const QVariant v = r.value(i);
                if (v.isNull())
                    continue;
                switch (v.typeId()) {
                case QMetaType::LongLong: type = ftLargeint; size = 0; break;
                case QMetaType::Double: type = ftFloat; size = 0; break;
                case QMetaType::QByteArray: type = ftBlob; size = 0; break;
                default: break;
                }
                break;
            }
        }
        if (type == ftFloat && IsDecimalDecl(c.declType, m_enableBCD))
            type = ftBCD;
        if (c.autoInc && (type == ftInteger || type == ftLargeint || type == ftSmallint || type == ftVariant ||
                          IsRowidName(c.origin)))
            type = ftAutoInc;
        TField* f = AddField(name, type, size, i);
        SetupField(f, c.origin, !c.updatable,
                   !(IsRowidName(c.origin) && c.autoInc && m_keyColumnName.compare(c.origin, Qt::CaseInsensitive) != 0),
                   Keyed() && c.updatable && c.notNull && type != ftBoolean);
    }
    CreateNestedFields();
}

bool TExtADODataSet::ColumnsChanged(const std::vector<Column>& before) const
{
    if (before.size() != m_columns.size())
        return true;
    for (size_t i = 0; i < before.size(); ++i)
        if (before[i].name != m_columns[i].name || before[i].declType != m_columns[i].declType ||
            before[i].updatable != m_columns[i].updatable)
            return true;
    return false;
}

void TExtADODataSet::InternalOpen()
{
    if (!m_conn || !m_conn->Connected())
        throw EDatabaseError(QStringLiteral("Connection not assigned or not open"));
    if (CleanStatement().isEmpty())
        throw EDatabaseError(QStringLiteral("CommandText does not return a result set"));
    if (m_conn->OnStatement)
        m_conn->OnStatement(m_commandText);
    ReadColumns(CleanStatement());
    DetectJoin();
    TakeSnapshot();
    CreateFieldsFromColumns();
    PrefetchInitial();
}

void TExtADODataSet::SetKnownKeys(std::vector<qint64> keys) { m_knownKeys = std::move(keys); }

void TExtADODataSet::InternalClose()
{
    m_knownKeys.reset();
    m_pageStmt.reset();
    m_keys.clear();
    m_keys.shrink_to_fit();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_cache.clear();
    m_index.clear();
    m_index.shrink_to_fit();
    m_indexValid = false;
    m_pendingPos = -1;
    m_columns.clear();
    m_tableMode = false;
    m_joinWritable = false;
    m_joinKeyIndex = -1;
    m_joinTest = jtInactive;
    m_masterValues.clear();
    CloseNested();
}

void TExtADODataSet::Requery()
{
    if (!Active()) {
        Open();
        return;
    }
    CheckBrowseMode();
    const std::vector<Column> before = m_columns;
    try {
        if (m_conn && m_conn->OnStatement)
            m_conn->OnStatement(m_commandText);
        if (!m_conn || !m_conn->Connected())
            throw EDatabaseError(QStringLiteral("Connection not assigned or not open"));
        ReadColumns(CleanStatement());
        DetectJoin();
        TakeSnapshot();
    } catch (...) {
        // The statement no longer runs (a dropped table, a lost column): the dataset closes.
        Close();
        throw;
    }
    const bool changed = ColumnsChanged(before);
    if (changed) {
        // The new fields exist before the old ones announce that they are freed, so a control
        // that rebinds on that notice finds the new ones.
        auto old = TakeFields();
        CreateFieldsFromColumns();
        CreateLookupFields();
        old.clear();
    } else {
        // Same fields; read-only flags may differ when the statement changed its kind.
        for (int i = 0; i < FieldCount(); ++i) {
            TField* f = Fields(i);
            if (f->DataIndex() < 0)
                continue;
            SetupField(f, f->Origin(), !m_columns[size_t(f->DataIndex())].updatable, f->Visible(), f->Required());
        }
    }
    AfterNewSnapshot(changed);
    PrefetchInitial();
}

void TExtADODataSet::InternalRefresh()
{
    m_cache.clear();
}

void TExtADODataSet::InternalFilterChanged()
{
    TakeSnapshot();
    AfterNewSnapshot(false);
}

// ------------------------------------------------------------------ reading

void TExtADODataSet::FetchPage(int position) const
{
    const int n = int(m_keys.size());
    const int start = (position / m_pageSize) * m_pageSize;
    const int end = std::min(n, start + m_pageSize);
    std::vector<qint64> want;
    for (int p = start; p < end; ++p) {
        const qint64 k = m_keys[size_t(p)];
        if (k != kPending && !m_cache.contains(k))
            want.push_back(k);
    }
    if (want.empty())
        return;
    if (!m_pageStmt)
        throw EDatabaseError(QStringLiteral("The dataset has no row reader"));
    if (m_cache.size() + int(want.size()) > kCacheMax)
        m_cache.clear();
    Statement& st = *m_pageStmt;
    ResetGuard guard{st};
    st.Reset();
    for (int i = 0; i < m_pageSize; ++i)
        st.Bind(i + 1, i < int(want.size()) ? QVariant(qlonglong(want[size_t(i)])) : QVariant());
    sqlite3_stmt* h = st.Handle();
    const int cols = int(m_columns.size());
    QSet<qint64> got;
    while (st.Step()) {
        const qint64 k = sqlite3_column_int64(h, 0);
        QVariantList row;
        row.reserve(cols);
        for (int i = 0; i < cols; ++i)
            row.append(ColumnValue(h, i + 1));
        m_cache.insert(k, row);
        got.insert(k);
    }
    for (qint64 k : want)
        if (!got.contains(k))
            m_cache.insert(k, QVariantList()); // deleted since the snapshot
    ++m_pageReads;
}

QVariant TExtADODataSet::InternalGetValue(int position, int dataIndex) const
{
    if (position < 0 || position >= int(m_keys.size()))
        return QVariant();
    const qint64 key = m_keys[size_t(position)];
    if (key == kPending)
        return QVariant();
    if (!m_tableMode)
        return m_rows[size_t(key)].value(dataIndex);
    auto it = m_cache.constFind(key);
    if (it == m_cache.constEnd()) {
        FetchPage(position);
        it = m_cache.constFind(key);
        if (it == m_cache.constEnd())
            throw EDatabaseError(QStringLiteral("Row %1 could not be read").arg(key));
    }
    return it.value().value(dataIndex);
}

// ------------------------------------------------------------------ positions and bookmarks

void TExtADODataSet::BuildIndex() const
{
    m_index.clear();
    m_index.reserve(m_keys.size());
    for (int p = 0; p < int(m_keys.size()); ++p)
        if (m_keys[size_t(p)] != kPending)
            m_index.emplace_back(m_keys[size_t(p)], p);
    std::sort(m_index.begin(), m_index.end());
    m_indexValid = true;
}

void TExtADODataSet::IndexShift(int fromPosition, int delta) const
{
    if (!m_indexValid)
        return;
    for (auto& e : m_index)
        if (e.second >= fromPosition)
            e.second += delta;
}

int TExtADODataSet::PositionOfKey(qint64 key) const
{
    if (key == kPending)
        return -1;
    if (m_keysSorted) {
        const auto search = [&](size_t from, size_t to) -> int {
            const auto b = m_keys.begin() + qptrdiff(from);
            const auto e = m_keys.begin() + qptrdiff(to);
            const auto it = std::lower_bound(b, e, key);
            return it != e && *it == key ? int(it - m_keys.begin()) : -1;
        };
        if (m_pendingPos < 0)
            return search(0, m_keys.size());
        const int a = search(0, size_t(m_pendingPos));
        return a >= 0 ? a : search(size_t(m_pendingPos) + 1, m_keys.size());
    }
    if (!m_indexValid)
        BuildIndex();
    const auto it = std::lower_bound(m_index.begin(), m_index.end(), std::make_pair(key, INT_MIN));
    return it != m_index.end() && it->first == key ? it->second : -1;
}

TBookmark TExtADODataSet::InternalBookmark(int position) const
{
    if (position < 0 || position >= int(m_keys.size()) || m_keys[size_t(position)] == kPending)
        return TBookmark();
    const qint64 k = m_keys[size_t(position)];
    TBookmark b(reinterpret_cast<const char*>(&k), sizeof k);
    if (!m_tableMode) // no key: the row's number in this snapshot, which a requery ends
        b.append(reinterpret_cast<const char*>(&m_generation), sizeof m_generation);
    return b;
}

void TExtADODataSet::InternalBookmarks(int first, int end, const std::function<void(QByteArrayView)>& take) const
{
    // The same bytes as InternalBookmark, made in one buffer instead of a byte array per record.
    char bytes[sizeof(qint64) + sizeof m_generation];
    std::memcpy(bytes + sizeof(qint64), &m_generation, sizeof m_generation);
    const qsizetype size = m_tableMode ? qsizetype(sizeof(qint64)) : qsizetype(sizeof bytes);
    end = std::min(end, int(m_keys.size()));
    for (int p = std::max(first, 0); p < end; ++p) {
        const qint64 k = m_keys[size_t(p)];
        if (k == kPending)
            continue;
        std::memcpy(bytes, &k, sizeof k);
        take(QByteArrayView(bytes, size));
    }
}

int TExtADODataSet::InternalBookmarkPosition(const TBookmark& bookmark) const
{
    if (!m_tableMode) {
        quint32 gen;
        if (bookmark.size() != int(sizeof(qint64) + sizeof gen))
            return -1;
        std::memcpy(&gen, bookmark.constData() + sizeof(qint64), sizeof gen);
        if (gen != m_generation)
            return -1;
    } else if (bookmark.size() != int(sizeof(qint64))) {
        return -1;
    }
    qint64 k;
    std::memcpy(&k, bookmark.constData(), sizeof k);
    return PositionOfKey(k);
}

int TExtADODataSet::InternalCompareMissing(const TBookmark& a, const TBookmark& b) const
{
    if (a.size() != 8 || b.size() != 8)
        return TDataSet::InternalCompareMissing(a, b);
    qint64 ka, kb;
    std::memcpy(&ka, a.constData(), 8);
    std::memcpy(&kb, b.constData(), 8);
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

// ------------------------------------------------------------------ writing

void TExtADODataSet::InternalInitRecord(QVector<QVariant>& buffer)
{
    if (!Keyed())
        return;
    SilentStatements silent(m_conn);
    for (int i = 0; i < int(m_columns.size()) && i < buffer.size(); ++i) {
        const Column& c = m_columns[size_t(i)];
        if (c.defaultExpr.isEmpty())
            continue;
        try {
            buffer[i] = m_conn->Scalar(QStringLiteral("SELECT %1").arg(c.defaultExpr));
        } catch (const EDatabaseError&) {
            // a default SQLite cannot evaluate on its own is left to the insert
        }
    }
}

void TExtADODataSet::InternalInsertPlaceholder(int position)
{
    m_keys.insert(m_keys.begin() + position, kPending);
    m_pendingPos = position;
    IndexShift(position, 1);
}

void TExtADODataSet::InternalRemovePlaceholder(int position)
{
    if (position < 0 || position >= int(m_keys.size()) || m_keys[size_t(position)] != kPending)
        return;
    m_keys.erase(m_keys.begin() + position);
    m_pendingPos = -1;
    IndexShift(position + 1, -1);
}

void TExtADODataSet::InternalPost(int position, bool inserting, const QVector<QVariant>& buffer,
                                  const QList<int>& changed)
{
    if (!Keyed())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    QStringList names;
    QVariantList values;
    QList<int> written;
    for (int idx : changed) {
        if (!WritableColumn(idx))
            continue;
        const QString col = Q(m_columns[size_t(idx)].origin);
        if (names.contains(col))
            continue;
        names << col;
        values << buffer.value(idx);
        written << idx;
    }
    // The values the row holds after a post when it is not read anew: what was read, with the
    // written columns replaced.
    const auto postedRow = [&](QVariantList row) {
        row.reserve(int(m_columns.size()));
        while (row.size() < int(m_columns.size()))
            row.append(QVariant());
        for (int idx : written)
            row[idx] = buffer.value(idx);
        return row;
    };
    if (inserting) {
        QString sql;
        if (names.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(TableRef());
        } else {
            QStringList marks;
            for (int i = 1; i <= names.size(); ++i)
                marks << QStringLiteral("?%1").arg(i);
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(TableRef(), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
        }
        m_conn->Execute(sql, values);
        const qint64 rowid = m_conn->LastInsertId();
        qint64 key = rowid;
        if (m_keyName.compare(QLatin1String("rowid"), Qt::CaseInsensitive) != 0 &&
            m_keyName.compare(m_keyColumnName, Qt::CaseInsensitive) != 0) {
            SilentStatements silent(m_conn);
            key = m_conn->Scalar(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?1").arg(QuotedKey(), TableRef()),
                                 {rowid}).toLongLong();
        }
        qint64 entry = key;
        if (m_joinWritable) {
            // A joined row: kept whole, under a new ordinal.
            QVariantList row = postedRow(QVariantList());
            row[m_joinKeyIndex] = qlonglong(key);
            entry = qint64(m_rows.size());
            m_rows.push_back(row);
            if (m_updateResync & ResyncInserts)
                ReadRowInto(entry);
        } else if (m_updateResync & ResyncInserts) {
            m_cache.remove(key);
        } else {
            QVariantList row = postedRow(QVariantList());
            for (int i = 0; i < int(m_columns.size()); ++i)
                if (m_columns[size_t(i)].autoInc)
                    row[i] = qlonglong(key);
            m_cache.insert(key, row);
        }
        m_keys[size_t(position)] = entry;
        m_pendingPos = -1;
        if (m_keysSorted) {
            const bool afterPrev = position == 0 || m_keys[size_t(position) - 1] < entry;
            const bool beforeNext = position + 1 >= int(m_keys.size()) || entry < m_keys[size_t(position) + 1];
            if (!afterPrev || !beforeNext)
                m_keysSorted = false;
        }
        if (m_indexValid) {
            const auto e = std::make_pair(entry, position);
            m_index.insert(std::lower_bound(m_index.begin(), m_index.end(), e), e);
        }
        return;
    }
    const qint64 entry = m_keys[size_t(position)];
    const qint64 key = KeyAt(position);
    if (names.isEmpty())
        return;
    QStringList sets;
    for (int i = 0; i < names.size(); ++i)
        sets << QStringLiteral("%1 = ?%2").arg(names[i]).arg(i + 1);
    values << qlonglong(key);
    QString where = QStringLiteral("%1 = ?%2").arg(QuotedKey()).arg(values.size());
    // The row must still hold what was read: IS matches NULLs too, and BINARY sees a change of
    // case in a NOCASE column.
    const QVector<QVariant>& old = OldBuffer();
    for (int idx : CriteriaColumns(changed)) {
        values << old.value(idx);
        where += QStringLiteral(" AND %1 IS ?%2 COLLATE BINARY").arg(Q(m_columns[size_t(idx)].origin)).arg(values.size());
    }
    const int n = m_conn->Execute(
        QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(TableRef(), sets.join(QStringLiteral(", ")), where), values);
    const auto readAnew = [&] {
        if (m_joinWritable)
            ReadRowInto(entry);
        else
            m_cache.remove(key);
    };
    if (n == 0) {
        SilentStatements silent(m_conn);
        const bool exists =
            m_conn->Scalar(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?1").arg(TableRef(), QuotedKey()), {qlonglong(key)})
                .isValid();
        if (exists) {
            readAnew();
            throw EUpdateConflict(QString::fromUtf8(kUpdateConflictText));
        }
        throw EDatabaseError(QStringLiteral(
            "Row cannot be located for updating. Some values may have been changed since it was last read."));
    }
    if (m_updateResync & ResyncUpdates) {
        readAnew();
    } else if (m_joinWritable) {
        m_rows[size_t(entry)] = postedRow(m_rows[size_t(entry)]);
    } else {
        const auto it = m_cache.constFind(key);
        if (it != m_cache.constEnd() && !it.value().isEmpty())
            m_cache.insert(key, postedRow(it.value()));
        else
            m_cache.remove(key);
    }
}

QList<int> TExtADODataSet::CriteriaColumns(const QList<int>& changed) const
{
    QList<int> result;
    const auto compared = [this](int idx) {
        if (idx < 0 || idx >= int(m_columns.size()))
            return false;
        const Column& c = m_columns[size_t(idx)];
        // Table columns only; the key is compared anyway.
        return !c.origin.isEmpty() && !c.autoInc && !IsRowidName(c.origin);
    };
    TUpdateCriteria criteria = m_updateCriteria;
    if (criteria == adCriteriaTimeStamp) {
        for (int i = 0; i < int(m_columns.size()); ++i) {
            const QString t = m_columns[size_t(i)].declType.toUpper();
            if (compared(i) && (t.contains(QLatin1String("TIMESTAMP")) || t.contains(QLatin1String("ROWVERSION"))))
                result << i;
        }
        if (!result.isEmpty())
            return result;
        criteria = adCriteriaAllCols;
    }
    if (criteria == adCriteriaAllCols) {
        for (int i = 0; i < int(m_columns.size()); ++i)
            if (compared(i))
                result << i;
    } else if (criteria == adCriteriaUpdCols) {
        for (int idx : changed)
            if (compared(idx) && m_columns[size_t(idx)].updatable && !result.contains(idx))
                result << idx;
    }
    return result;
}

void TExtADODataSet::InternalDelete(int position)
{
    if (!Keyed())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    const qint64 key = m_keys[size_t(position)];
    m_conn->Execute(QStringLiteral("DELETE FROM %1 WHERE %2 = ?1").arg(TableRef(), QuotedKey()), {qlonglong(KeyAt(position))});
    m_keys.erase(m_keys.begin() + position);
    if (m_pendingPos > position)
        --m_pendingPos;
    m_cache.remove(key);
    if (m_indexValid) {
        const auto it = std::lower_bound(m_index.begin(), m_index.end(), std::make_pair(key, INT_MIN));
        if (it != m_index.end() && it->first == key)
            m_index.erase(it);
        IndexShift(position + 1, -1);
    }
}

// ------------------------------------------------------------------ locate

int TExtADODataSet::InternalLocate(const TField* field, const QVariant& value, TLocateOptions options)
{
    const int n = int(m_keys.size());
    if (!m_tableMode) {
        for (int p = 0; p < n; ++p)
            if (m_keys[size_t(p)] != kPending &&
                ValuesMatch(m_rows[size_t(m_keys[size_t(p)])].value(field->DataIndex()), value, options))
                return p;
        return -1;
    }
    const QString origin = field->Origin();
    if (origin.isEmpty())
        return -1;
    const bool isKey = (!m_keyColumnName.isEmpty() && origin.compare(m_keyColumnName, Qt::CaseInsensitive) == 0) ||
                       (IsRowidName(origin) && m_keyName.compare(QLatin1String("rowid"), Qt::CaseInsensitive) == 0);
    if (isKey && !(options & loPartialKey)) {
        if (!value.isValid() || value.isNull())
            return -1;
        bool ok = false;
        const qint64 k = value.toString().trimmed().toLongLong(&ok);
        return ok ? PositionOfKey(k) : -1;
    }
    QString cond;
    QVariantList params;
    const QString col = Q(origin);
    const QString collate = (options & loCaseInsensitive) ? QStringLiteral(" COLLATE NOCASE") : QString();
    if (!value.isValid() || value.isNull()) {
        cond = col + QStringLiteral(" IS NULL");
    } else if (options & loPartialKey) {
        cond = QStringLiteral("substr(%1, 1, length(?1)) = ?1%2").arg(col, collate);
        params << value.toString();
    } else {
        cond = QStringLiteral("%1 = ?1%2").arg(col, collate);
        params << value;
    }
    int best = -1;
    SilentStatements silent(m_conn);
    // With the snapshot in key order the first match in key order that is in the snapshot is the
    // first in display order too.
    QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(QuotedKey(), Q(m_table), cond);
    if (m_keysSorted)
        sql += QStringLiteral(" ORDER BY %1").arg(QuotedKey());
    Statement st(*m_conn, sql);
    ResetGuard guard{st};
    st.Bind(params);
    sqlite3_stmt* h = st.Handle();
    while (st.Step()) {
        const int p = PositionOfKey(sqlite3_column_int64(h, 0));
        if (p >= 0 && (best < 0 || p < best))
            best = p;
        if (best >= 0 && m_keysSorted && m_pendingPos < 0)
            break;
    }
    return best;
}


// ------------------------------------------------------------------ keys, joins, properties

qint64 TExtADODataSet::KeyAt(int position) const
{
    const qint64 entry = m_keys[size_t(position)];
    if (m_tableMode || entry == kPending)
        return entry;
    return m_rows[size_t(entry)].value(m_joinKeyIndex).toLongLong();
}

QString TExtADODataSet::SchemaPrefix() const
{
    const QString schema = m_uniqueSchema.isEmpty() ? m_uniqueCatalog : m_uniqueSchema;
    return schema.isEmpty() ? QStringLiteral("main") : schema;
}

QString TExtADODataSet::TableRef() const
{
    if (m_joinWritable && SchemaPrefix() != QLatin1String("main"))
        return Q(SchemaPrefix()) + QLatin1Char('.') + Q(m_table);
    return Q(m_table);
}

bool TExtADODataSet::WritableColumn(int idx) const
{
    return idx >= 0 && idx < int(m_columns.size()) && m_columns[size_t(idx)].updatable;
}

void TExtADODataSet::SetUnique_Table(const QString& value)
{
    if (value == m_uniqueTable)
        return;
    CheckInactive();
    m_uniqueTable = value;
}

void TExtADODataSet::SetEnableBCD(bool value)
{
    if (value == m_enableBCD)
        return;
    CheckInactive();
    m_enableBCD = value;
}

void TExtADODataSet::DetectJoin()
{
    m_joinTest = jtNotJoined;
    for (const Column& c : m_columns)
        if (c.table.compare(m_columns.front().table, Qt::CaseInsensitive) != 0)
            m_joinTest = jtJoined;
}

void TExtADODataSet::DetectJoinKey()
{
    // A statement over several tables writes to Unique_Table, whose rows it must identify by that
    // table's integer primary key among its result columns.
    m_joinWritable = false;
    m_joinKeyIndex = -1;
    if (m_uniqueTable.isEmpty() || m_joinsResolution != jrAuto)
        return;
    SilentStatements silent(m_conn);
    struct Info { bool notNull; QString dflt; };
    QHash<QString, Info> info;
    QString pkName;
    int pkCount = 0;
    QString pkType;
    for (const QVariantList& r : m_conn->Select(QStringLiteral("SELECT name, type, \"notnull\", dflt_value, pk "
                                                               "FROM pragma_table_info(?1, ?2)"),
                                                {m_uniqueTable, SchemaPrefix()})) {
        info.insert(r.value(0).toString().toLower(),
                    {r.value(2).toLongLong() != 0, r.value(3).isNull() ? QString() : r.value(3).toString()});
        if (r.value(4).toLongLong() > 0) {
            ++pkCount;
            pkName = r.value(0).toString();
            pkType = r.value(1).toString();
        }
    }
    if (pkCount != 1 || pkType.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) != 0)
        return;
    int keyIndex = -1;
    for (int i = 0; i < int(m_columns.size()); ++i) {
        const Column& c = m_columns[size_t(i)];
        if (c.table.compare(m_uniqueTable, Qt::CaseInsensitive) == 0 && c.origin.compare(pkName, Qt::CaseInsensitive) == 0) {
            keyIndex = i;
            break;
        }
    }
    if (keyIndex < 0)
        return;
    for (int i = 0; i < int(m_columns.size()); ++i) {
        Column& c = m_columns[size_t(i)];
        if (c.table.compare(m_uniqueTable, Qt::CaseInsensitive) != 0 || !info.contains(c.origin.toLower()))
            continue;
        if (i == keyIndex || c.origin.compare(pkName, Qt::CaseInsensitive) == 0) {
            c.autoInc = true;
            continue;
        }
        c.updatable = true;
        c.notNull = info.value(c.origin.toLower()).notNull;
        c.defaultExpr = info.value(c.origin.toLower()).dflt;
    }
    m_table = m_uniqueTable;
    m_keyName = pkName;
    m_keyColumnName = pkName;
    m_joinKeyIndex = keyIndex;
    m_joinWritable = true;
}

void TExtADODataSet::DoBeforeDelete()
{
    if (m_deleteGuardian && m_joinTest == jtJoined && m_uniqueTable.isEmpty())
        throw EAbort(); // which table's row would go is not known: nothing is deleted
}

void TExtADODataSet::PrefetchInitial()
{
    if (!m_tableMode || m_initialFetchSize <= 0)
        return;
    const int n = std::min(int(m_keys.size()), m_initialFetchSize);
    for (int p = 0; p < n; p += m_pageSize)
        FetchPage(p);
}

QList<TIndexDef> TExtADODataSet::IndexDefs() const
{
    QList<TIndexDef> out;
    const QString table = Keyed() ? m_table : m_uniqueTable;
    if (table.isEmpty() || !m_conn || !m_conn->Connected())
        return out;
    SilentStatements silent(m_conn);
    const QString schema = SchemaPrefix();
    for (const QVariantList& r : m_conn->Select(QStringLiteral("SELECT name, \"unique\", origin FROM pragma_index_list(?1, ?2) "
                                                               "ORDER BY seq DESC"),
                                                {table, schema})) {
        TIndexDef d;
        d.Name = r.value(0).toString();
        d.Unique = r.value(1).toLongLong() != 0;
        d.Primary = r.value(2).toString() == QLatin1String("pk");
        QStringList cols;
        for (const QVariantList& c : m_conn->Select(QStringLiteral("SELECT name FROM pragma_index_info(?1, ?2) ORDER BY seqno"),
                                                    {d.Name, schema}))
            cols << c.value(0).toString();
        d.Fields = cols.join(QLatin1Char(';'));
        out << d;
    }
    return out;
}

// ------------------------------------------------------------------ version

QString TADOVersion::WithConnection(const std::function<QString()>& read) const
{
    Connection* c = m_owner ? m_owner->GetConnection() : nullptr;
    if (!c || !c->Connected())
        return QStringLiteral("No Connection Object");
    return read();
}

QString TADOVersion::ExtADSVersion() const { return QString::fromLatin1(TExtADODataSet::ExtADSVersion); }
QString TADOVersion::ADOVersion() const
{
    return WithConnection([] { return QString::fromLatin1(sqlite3_libversion()); });
}
QString TADOVersion::OLEDBVersion() const { return WithConnection([] { return QStringLiteral("Not used"); }); }
QString TADOVersion::ProviderName() const { return WithConnection([] { return QStringLiteral("SQLite"); }); }
QString TADOVersion::ProviderVersion() const { return ADOVersion(); }
QString TADOVersion::DBMSName() const { return WithConnection([] { return QStringLiteral("SQLite"); }); }
QString TADOVersion::DBMSVersion() const
{
    return WithConnection([this] {
        Connection* c = m_owner->GetConnection();
        auto log = std::move(c->OnStatement);
        c->OnStatement = nullptr;
        QString v;
        try {
            v = c->Scalar(QStringLiteral("SELECT sqlite_version()")).toString();
        } catch (...) {
            c->OnStatement = std::move(log);
            throw;
        }
        c->OnStatement = std::move(log);
        return v;
    });
}
QString TADOVersion::ODBCVersion() const { return WithConnection([] { return QStringLiteral("Not used"); }); }
QString TADOVersion::ODBCDriverName() const { return WithConnection([] { return QStringLiteral("Not used"); }); }
QString TADOVersion::ODBCDriverVersion() const { return WithConnection([] { return QStringLiteral("Not used"); }); }

// ------------------------------------------------------------------ locate, find

int TExtADODataSet::InternalLocateFields(const QList<const TField*>& fields, const QVariantList& values,
                                         TLocateOptions options)
{
    if (fields.size() == 1 && values.size() == 1)
        return InternalLocate(fields[0], values[0], options);
    if (fields.isEmpty() || fields.size() != values.size())
        return -1;
    bool bySql = m_tableMode;
    for (const TField* f : fields) {
        if (f->DataIndex() < 0)
            return -1;
        if (f->Origin().isEmpty())
            bySql = false;
    }
    const int n = int(m_keys.size());
    if (!bySql) {
        for (int p = 0; p < n; ++p) {
            if (m_keys[size_t(p)] == kPending)
                continue;
            bool all = true;
            for (int i = 0; i < fields.size() && all; ++i)
                all = ValuesMatch(InternalGetValue(p, fields[i]->DataIndex()), values[i], options);
            if (all)
                return p;
        }
        return -1;
    }
    QStringList conds;
    QVariantList params;
    const QString collate = (options & loCaseInsensitive) ? QStringLiteral(" COLLATE NOCASE") : QString();
    for (int i = 0; i < fields.size(); ++i) {
        const QString col = Q(fields[i]->Origin());
        const QVariant& v = values[i];
        if (!v.isValid() || v.isNull()) {
            conds << col + QStringLiteral(" IS NULL");
            continue;
        }
        params << (options & loPartialKey ? QVariant(v.toString()) : v);
        if (options & loPartialKey)
            conds << QStringLiteral("substr(%1, 1, length(?%2)) = ?%2%3").arg(col).arg(params.size()).arg(collate);
        else
            conds << QStringLiteral("%1 = ?%2%3").arg(col).arg(params.size()).arg(collate);
    }
    SilentStatements silent(m_conn);
    Statement st(*m_conn, QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                              .arg(QuotedKey(), Q(m_table), conds.join(QStringLiteral(" AND "))));
    ResetGuard guard{st};
    st.Bind(params);
    int best = -1;
    while (st.Step()) {
        const int p = PositionOfKey(sqlite3_column_int64(st.Handle(), 0));
        if (p >= 0 && (best < 0 || p < best))
            best = p;
    }
    return best;
}

std::vector<QVariantList> TExtADODataSet::ReadWhole() const
{
    QString whole = CleanStatement();
    if (!m_snapshotCondition.isEmpty())
        whole = QStringLiteral("SELECT * FROM (%1) WHERE (%2)").arg(whole, m_snapshotCondition);
    SilentStatements silent(m_conn);
    Statement st(*m_conn, whole);
    ResetGuard guard{st};
    BindParams(st);
    std::vector<QVariantList> rows;
    const int n = st.ColumnCount();
    while (st.Step()) {
        QVariantList row;
        for (int i = 0; i < n; ++i)
            row.append(ColumnValue(st.Handle(), i));
        rows.push_back(std::move(row));
    }
    return rows;
}

QList<int> TExtADODataSet::MatchingPositions(const QString& condition) const
{
    QList<int> out;
    const QString sql = CleanStatement();
    QString query;
    if (m_tableMode) {
        const std::vector<Tok> toks = Tokenize(sql);
        const QString injected = sql.left(toks[0].end) + QStringLiteral(" %1 AS %2,").arg(QuotedKey(), Q(kKeyAlias)) +
                                 sql.mid(toks[0].end);
        query = QStringLiteral("SELECT %1 FROM (%2) WHERE (%3)").arg(Q(kKeyAlias), injected, condition);
    } else {
        // Rows read whole are named by their place in the statement's result.
        QString whole = sql;
        if (!m_snapshotCondition.isEmpty())
            whole = QStringLiteral("SELECT * FROM (%1) WHERE (%2)").arg(whole, m_snapshotCondition);
        query = QStringLiteral("SELECT qly__n FROM (SELECT row_number() OVER () - 1 AS qly__n, * FROM (%1)) WHERE (%2)")
                    .arg(whole, condition);
    }
    SilentStatements silent(m_conn);
    Statement st(*m_conn, query);
    ResetGuard guard{st};
    BindParams(st);
    while (st.Step()) {
        const int p = PositionOfKey(sqlite3_column_int64(st.Handle(), 0));
        if (p >= 0)
            out << p;
    }
    return out;
}

bool TExtADODataSet::FindRecord(bool restart, bool goForward)
{
    CheckBrowseMode();
    if (IsEmpty())
        return SetFound(false);
    const QString condition = FilterToSql(Filter());
    QList<int> hits;
    if (condition.trimmed().isEmpty()) {
        for (int p = 0; p < InternalRecordCount(); ++p)
            hits << p;
    } else {
        hits = MatchingPositions(condition);
    }
    const int current = CurrentPosition();
    int target = -1;
    for (int p : hits) {
        if (!restart && !(goForward ? p > current : p < current))
            continue;
        if (target < 0 || (goForward ? p < target : p > target))
            target = p;
    }
    if (target < 0)
        return SetFound(false);
    GotoPosition(target);
    return SetFound(true);
}

// ------------------------------------------------------------------ refresh and resync

void TExtADODataSet::ReadRowInto(qint64 entry)
{
    if (entry == kPending)
        return;
    SilentStatements silent(m_conn);
    const QString command = m_resyncCommand.join(QLatin1Char('\n')).trimmed();
    const qint64 key = m_tableMode ? entry : m_rows[size_t(entry)].value(m_joinKeyIndex).toLongLong();
    if (command.isEmpty() && m_tableMode) {
        m_cache.remove(key); // read again with its page
        return;
    }
    QString sql = command;
    if (sql.isEmpty())
        sql = QStringLiteral("SELECT * FROM (%1) WHERE %2 = ?1")
                  .arg(CleanStatement(), Q(m_columns[size_t(m_joinKeyIndex)].name));
    Statement st(*m_conn, sql);
    ResetGuard guard{st};
    if (st.ParameterCount() >= 1)
        st.Bind(1, qlonglong(key));
    if (command.isEmpty())
        BindParams(st);
    QVariantList row;
    if (m_tableMode)
        row = m_cache.value(key);
    else
        row = m_rows[size_t(entry)];
    while (row.size() < int(m_columns.size()))
        row.append(QVariant());
    if (!st.Step()) {
        if (m_tableMode)
            m_cache.insert(key, QVariantList()); // the row is gone
        return;
    }
    // By column name: a resync command may name its columns in any order and leave some out.
    for (int i = 0; i < st.ColumnCount(); ++i) {
        const QString name = st.ColumnName(i);
        for (int c = 0; c < int(m_columns.size()); ++c)
            if (m_columns[size_t(c)].name.compare(name, Qt::CaseInsensitive) == 0) {
                row[c] = ColumnValue(st.Handle(), i);
                break;
            }
    }
    if (m_tableMode)
        m_cache.insert(key, row);
    else
        m_rows[size_t(entry)] = row;
}

void TExtADODataSet::ResyncRows(bool current)
{
    if (current) {
        const int pos = CurrentPosition();
        if (pos < 0)
            return;
        if (Keyed()) {
            ReadRowInto(m_keys[size_t(pos)]);
            return;
        }
    } else if (m_tableMode) {
        const QString command = m_resyncCommand.join(QLatin1Char('\n')).trimmed();
        if (command.isEmpty()) {
            m_cache.clear();
        } else {
            const QList<qint64> keys = m_cache.keys();
            for (qint64 k : keys)
                ReadRowInto(k);
        }
        return;
    } else if (m_joinWritable) {
        for (qint64 entry : m_keys)
            ReadRowInto(entry);
        return;
    }
    // Rows read whole without a key: the statement again; the same number of rows keeps every
    // record on its place, otherwise a new snapshot stays on the same record number.
    std::vector<QVariantList> rows = ReadWhole();
    if (rows.size() == m_rows.size()) {
        if (current) {
            const size_t ord = size_t(m_keys[size_t(CurrentPosition())]);
            m_rows[ord] = rows[ord];
        } else {
            m_rows = std::move(rows);
        }
        return;
    }
    const int recNo = RecNo();
    TakeSnapshot();
    AfterNewSnapshot(false);
    if (recNo > 0)
        SetRecNo(recNo);
}

void TExtADODataSet::Refresh()
{
    CheckBrowseMode();
    switch (m_refreshType) {
    case rtRequery: {
        const TBookmark bookmark = GetBookmark();
        Requery();
        if (!bookmark.isEmpty() && BookmarkValid(bookmark))
            GotoBookmark(bookmark);
        return;
    }
    case rtResyncCurrent:
        ResyncRows(true);
        break;
    case rtResyncGroup:
    case rtResyncAll:
        ResyncRows(false);
        break;
    case rtResyncChapters:
        ResyncRows(false);
        for (Nested& n : m_nested)
            if (n.dataSet && n.dataSet->Active())
                n.dataSet->Requery();
        break;
    }
    if (Active())
        Resync(0);
}

// ------------------------------------------------------------------ master/detail, nested datasets

class TExtADODataSet::MasterLink : public TDataLink {
public:
    explicit MasterLink(TExtADODataSet* owner) : m_owner(owner) {}
    void ActiveChanged() override { m_owner->MasterChanged(); }
    void DataSetChanged() override { m_owner->MasterChanged(); }
    void DataSetScrolled(int) override { m_owner->MasterChanged(); }
    void LayoutChanged() override { m_owner->MasterChanged(); }
    void RecordChanged(TField* field) override
    {
        if (!field)
            m_owner->MasterChanged();
    }

private:
    TExtADODataSet* m_owner;
};

void TExtADODataSet::SetMasterSource(TDataSource* source)
{
    if (source == m_masterSource)
        return;
    if (source && source->DataSet() == this)
        throw EDatabaseError(QStringLiteral("Circular datalinks are not allowed"));
    if (!m_masterLink)
        m_masterLink = std::make_unique<MasterLink>(this);
    m_masterSource = source;
    m_masterLink->SetDataSource(source);
    MasterChanged(true);
}

void TExtADODataSet::SetMasterFields(const QString& fields)
{
    if (fields == m_masterFields)
        return;
    m_masterFields = fields;
    MasterChanged(true);
}

void TExtADODataSet::SetIndexFieldNames(const QString& fields)
{
    if (fields == m_indexFieldNames)
        return;
    m_indexFieldNames = fields;
    MasterChanged(true);
}

QString TExtADODataSet::PrepareMaster()
{
    m_masterParams.clear();
    m_masterValues.clear();
    TDataSet* master = m_masterSource ? m_masterSource->DataSet() : nullptr;
    if (!master || !master->Active())
        return QString();
    if (!m_masterFields.isEmpty() && !m_indexFieldNames.isEmpty()) {
        const QList<TField*> fields = master->GetFieldList(m_masterFields);
        const QStringList details = m_indexFieldNames.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (details.size() != fields.size())
            throw EDatabaseError(QStringLiteral("MasterFields and IndexFieldNames name different numbers of fields"));
        QStringList conds;
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant v = fields[i]->Value();
            const QString param = QStringLiteral("qly__m%1").arg(i + 1);
            m_masterValues << v;
            m_masterParams.insert(param, v);
            conds << QStringLiteral("%1 = :%2").arg(Q(details[i].trimmed()), param);
        }
        return conds.join(QStringLiteral(" AND "));
    }
    // Parameters of the statement named like fields of the master take their values.
    for (int i = 0; i < master->FieldCount(); ++i) {
        const TField* f = master->Fields(i);
        if (f->DataIndex() < 0)
            continue;
        const QVariant v = f->Value();
        m_masterValues << v;
        m_masterParams.insert(f->FieldName().toLower(), v);
    }
    return QString();
}

void TExtADODataSet::MasterChanged(bool force)
{
    TDataSet* master = m_masterSource ? m_masterSource->DataSet() : nullptr;
    const bool masterActive = master && master->Active();
    if (m_openWithMaster) {
        if (!masterActive) {
            if (Active())
                Close();
            return;
        }
        if (!Active()) {
            Open();
            return;
        }
    }
    if (!Active())
        return;
    if (!masterActive) {
        if (!force)
            return;
    } else if (!force) {
        // Only a new master record (or new key values) selects other rows.
        QVariantList now;
        if (!m_masterFields.isEmpty() && !m_indexFieldNames.isEmpty()) {
            for (TField* f : master->GetFieldList(m_masterFields))
                now << f->Value();
        } else {
            for (int i = 0; i < master->FieldCount(); ++i)
                if (master->Fields(i)->DataIndex() >= 0)
                    now << master->Fields(i)->Value();
        }
        if (now == m_masterValues)
            return;
    }
    CheckBrowseMode();
    if (m_masterFields.isEmpty() || m_indexFieldNames.isEmpty()) {
        Requery();
    } else {
        TakeSnapshot();
        AfterNewSnapshot(false);
    }
}

void TExtADODataSet::AddNestedField(const QString& name, const QString& detailSql)
{
    CheckInactive();
    m_nested.push_back({name, detailSql, nullptr});
}

void TExtADODataSet::CreateNestedFields()
{
    for (Nested& n : m_nested) {
        if (FindField(n.name))
            continue;
        if (!n.dataSet) {
            if (!m_selfSource)
                m_selfSource = std::make_unique<TDataSource>(this);
            n.dataSet = std::make_unique<TExtADODataSet>(m_conn);
            n.dataSet->SetCommandText(n.sql);
            n.dataSet->m_openWithMaster = true;
            n.dataSet->SetMasterSource(m_selfSource.get());
        }
        TField* f = AddField(n.name, ftDataSet, 0, -1);
        SetupField(f, QString(), true, true, false);
        f->SetNestedDataSet(n.dataSet.get());
    }
}

void TExtADODataSet::CloseNested()
{
    for (Nested& n : m_nested)
        if (n.dataSet && n.dataSet->Active())
            n.dataSet->Close();
}

} // namespace db
