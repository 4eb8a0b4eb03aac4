#include "excreport/tool/DwarfDebugBlock.h"
#include "excreport/SivrelDebugBlock.h"
#include <QFile>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <elfutils/libdw.h>
#include <dwarf.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// DWARF's attribute that links a definition to its declaration.
constexpr unsigned kAttrDeclarationOf = 0x47;

using excreport::SivrelCodeOffsetBase;

struct Interval {
    Dwarf_Addr low, high;
    int depth;
    int name; // index into the name list
    // An inlined routine: where its caller called it (file index, or -1 when unknown).
    int callFile = -1;
    int callLine = 0;
    bool callInLibrary = false;
};

struct Row {
    Dwarf_Addr addr;
    int line;
    int file;     // index into the file list
    bool library; // a file of the system's headers (the compiler's and the libraries')
};

// Code inlined from the system's headers (the standard library's, the toolkit's) is described by
// the place in the program's own code that it was inlined into.
bool IsLibraryFile(const char* path)
{
    return path && std::strncmp(path, "/usr/", 5) == 0;
}

// The code of one routine (or of one of its parts, such as a cold part) and the unit whose line
// table describes it.
struct Code {
    Dwarf_Addr low, high;
    size_t unit;
};

struct Collector {
    std::vector<QString> names{QString()};
    QHash<QString, int> nameIndex;
    std::vector<QString> files;
    QHash<QString, int> fileIndex;
    std::vector<Interval> intervals;
    std::vector<std::pair<QString, Dwarf_Addr>> routines; // the name table
    std::vector<Code> code;                                // the routines' address ranges
    std::vector<std::vector<Row>> rows;                    // per unit: its line rows by address
    size_t unit = 0;                                       // the unit being read
    Dwarf_Files* unitFiles = nullptr;                      // its file table
    size_t unitFileCount = 0;
    QHash<Dwarf_Off, QString> classOf;                     // enclosing class of a DIE inside a class
    QSet<QString> namespaces;                              // namespace names the DWARF declares

    int Name(const QString& n)
    {
        auto it = nameIndex.find(n);
        if (it != nameIndex.end())
            return *it;
        names.push_back(n);
        return nameIndex[n] = int(names.size() - 1);
    }
    int File(const char* path)
    {
        QString name = QFile::decodeName(path);
        name = name.mid(name.lastIndexOf(u'/') + 1);
        auto it = fileIndex.find(name);
        if (it != fileIndex.end())
            return *it;
        files.push_back(name);
        return fileIndex[name] = int(files.size() - 1);
    }
};

bool IsClassTag(int tag)
{
    return tag == DW_TAG_class_type || tag == DW_TAG_structure_type || tag == DW_TAG_union_type;
}

// Records for every DIE inside a class the name of that class (empty for a class without name,
// such as a lambda's closure), and the names of the namespaces.
void MapClasses(Collector& c, Dwarf_Die* die, const QString& cls, bool inClass)
{
    Dwarf_Die child;
    if (dwarf_child(die, &child) != 0)
        return;
    do {
        const int tag = dwarf_tag(&child);
        if (inClass)
            c.classOf.insert(dwarf_dieoffset(&child), cls);
        if (IsClassTag(tag)) {
            const char* n = dwarf_diename(&child);
            MapClasses(c, &child, n ? QString::fromUtf8(n) : QString(), true);
        } else if (tag == DW_TAG_namespace) {
            if (const char* n = dwarf_diename(&child))
                c.namespaces.insert(QString::fromUtf8(n));
            MapClasses(c, &child, QString(), false);
        } else if (tag == DW_TAG_subprogram || tag == DW_TAG_lexical_block) {
            MapClasses(c, &child, QString(), false);
        }
    } while (dwarf_siblingof(&child, &child) == 0);
}

// The components of a demangled name without parameters and template arguments:
// "ns::Widget::Method<int>(int) const" -> ns, Widget, Method.
QStringList SplitDemangled(const QString& name)
{
    QStringList parts;
    QString current;
    int depth = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar ch = name[i];
        if (depth == 0 && current.startsWith(QStringLiteral("operator")) && current.size() == 8) {
            // The operator's own symbol is part of the name: "operator()", "operator<<", ...
            if (name.mid(i, 2) == QStringLiteral("()")) {
                current += QStringLiteral("()");
                ++i;
                continue;
            }
            qsizetype j = i;
            while (j < name.size() && QStringLiteral("+-*/%^&|~!=<>[],").contains(name[j]))
                ++j;
            if (j > i) {
                current += name.mid(i, j - i);
                i = j - 1;
                continue;
            }
        }
        if (ch == u'<' || ch == u'{' || (ch == u'(' && depth > 0) || ch == u'[') {
            ++depth;
            if (ch == u'{')
                current += ch;
            continue;
        }
        if (ch == u'>' || ch == u'}' || (ch == u')' && depth > 0) || ch == u']') {
            depth = std::max(0, depth - 1);
            if (ch == u'}')
                current += ch;
            continue;
        }
        if (depth > 0) {
            if (current.startsWith(u'{'))
                current += ch;
            continue;
        }
        if (ch == u'(') {
            if (current.isEmpty() && parts.isEmpty()) {
                ++depth; // "(anonymous namespace)"
                current = QStringLiteral("(anonymous namespace)");
                continue;
            }
            break; // the parameter list
        }
        if (ch == u':' && i + 1 < name.size() && name[i + 1] == u':') {
            parts << current;
            current.clear();
            ++i;
            continue;
        }
        current += ch;
    }
    parts << current.trimmed();
    return parts;
}

// "Class.Routine" from a linkage name, for DWARF without the class (as -g1 writes it). A component
// that the DWARF declares as a namespace, or that starts with a small letter, counts as a namespace.
QString NameFromLinkage(const Collector& c, const char* linkage)
{
    int status = 0;
    char* demangled = abi::__cxa_demangle(linkage, nullptr, nullptr, &status);
    if (status != 0 || !demangled)
        return QString();
    const QStringList parts = SplitDemangled(QString::fromUtf8(demangled));
    std::free(demangled);
    if (parts.isEmpty() || parts.last().isEmpty())
        return QString();
    const QString routine = parts.last();
    if (parts.size() < 2)
        return routine;
    const QString owner = parts[parts.size() - 2];
    const bool isNamespace = c.namespaces.contains(owner) || owner.startsWith(u'(') || owner.isEmpty()
                             || owner[0].isLower();
    return isNamespace ? routine : owner + u'.' + routine;
}

// "Class.Routine" of a function DIE, following it to its declaration or abstract origin.
QString QualifiedName(Collector& c, Dwarf_Die* die)
{
    Dwarf_Die decl = *die;
    for (int i = 0; i < 8; ++i) {
        Dwarf_Attribute attr;
        Dwarf_Die next;
        if (dwarf_attr(&decl, DW_AT_abstract_origin, &attr) && dwarf_formref_die(&attr, &next)) {
            decl = next;
            continue;
        }
        // An out-of-line definition points at its in-class declaration (attribute 0x47).
        if (dwarf_attr(&decl, kAttrDeclarationOf, &attr) && dwarf_formref_die(&attr, &next)) {
            decl = next;
            continue;
        }
        break;
    }
    const char* n = dwarf_diename(&decl);
    if (!n)
        return QString();
    const QString routine = QString::fromUtf8(n);
    const auto inClass = c.classOf.constFind(dwarf_dieoffset(&decl));
    if (inClass != c.classOf.constEnd())
        return inClass->isEmpty() ? routine : *inClass + u'.' + routine;
    Dwarf_Attribute attr;
    if (dwarf_attr_integrate(&decl, DW_AT_linkage_name, &attr) || dwarf_attr_integrate(&decl, DW_AT_MIPS_linkage_name, &attr))
        if (const char* linkage = dwarf_formstring(&attr)) {
            const QString qualified = NameFromLinkage(c, linkage);
            if (!qualified.isEmpty())
                return qualified;
        }
    return routine;
}

void CollectFunctions(Collector& c, Dwarf_Die* die, int depth)
{
    Dwarf_Die child;
    if (dwarf_child(die, &child) != 0)
        return;
    do {
        const int tag = dwarf_tag(&child);
        int inner = depth;
        if (tag == DW_TAG_subprogram || tag == DW_TAG_inlined_subroutine) {
            const QString name = QualifiedName(c, &child);
            Dwarf_Addr base, start, end;
            ptrdiff_t offset = 0;
            bool any = false;
            while ((offset = dwarf_ranges(&child, offset, &base, &start, &end)) > 0) {
                if (end > start && !name.isEmpty()) {
                    Interval iv{start, end, depth + 1, c.Name(name)};
                    Dwarf_Attribute attr;
                    Dwarf_Word file = 0, line = 0;
                    if (tag == DW_TAG_inlined_subroutine && dwarf_attr(&child, DW_AT_call_file, &attr)
                        && dwarf_formudata(&attr, &file) == 0 && file < c.unitFileCount) {
                        const char* path = dwarf_filesrc(c.unitFiles, file, nullptr, nullptr);
                        if (path && dwarf_attr(&child, DW_AT_call_line, &attr) && dwarf_formudata(&attr, &line) == 0) {
                            iv.callFile = c.File(path);
                            iv.callLine = int(line);
                            iv.callInLibrary = IsLibraryFile(path);
                        }
                    }
                    c.intervals.push_back(iv);
                }
                any = true;
            }
            if (tag == DW_TAG_subprogram) {
                offset = 0;
                while ((offset = dwarf_ranges(&child, offset, &base, &start, &end)) > 0)
                    if (end > start && start >= SivrelCodeOffsetBase)
                        c.code.push_back({start, end, c.unit});
            }
            if (tag == DW_TAG_subprogram && any && !name.isEmpty()) {
                // A routine split into a hot and a cold part has only ranges: it is entered at the
                // start of the first (the compiler lists the part with the entry first).
                Dwarf_Addr entry;
                if (dwarf_entrypc(&child, &entry) == 0
                    || dwarf_ranges(&child, 0, &base, &entry, &end) > 0)
                    c.routines.emplace_back(name, entry);
            }
            inner = depth + 1;
        }
        if (tag == DW_TAG_subprogram || tag == DW_TAG_inlined_subroutine || tag == DW_TAG_lexical_block
            || tag == DW_TAG_namespace || IsClassTag(tag))
            CollectFunctions(c, &child, inner);
    } while (dwarf_siblingof(&child, &child) == 0);
}

// The unit's line rows, one per address (the last row of an address holds), by address. The rows
// are not split into their sequences here: the library hands them over sorted by address, and
// rows of copies of a routine that the linker dropped can fall among them; the routines' own
// address ranges bound what a row describes instead.
void CollectLines(Collector& c, Dwarf_Die* cu)
{
    std::vector<Row>& rows = c.rows[c.unit];
    Dwarf_Lines* lines = nullptr;
    size_t count = 0;
    if (dwarf_getsrclines(cu, &lines, &count) != 0)
        return;
    for (size_t i = 0; i < count; ++i) {
        Dwarf_Line* l = dwarf_onesrcline(lines, i);
        Dwarf_Addr addr;
        int line = 0;
        bool endSequence = false;
        if (!l || dwarf_lineaddr(l, &addr) != 0)
            continue;
        dwarf_lineendsequence(l, &endSequence);
        if (endSequence || addr < SivrelCodeOffsetBase)
            continue;
        dwarf_lineno(l, &line);
        const char* file = dwarf_linesrc(l, nullptr, nullptr);
        rows.push_back(Row{addr, line, c.File(file ? file : ""), IsLibraryFile(file)});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.addr < b.addr; });
    std::vector<Row> unique;
    unique.reserve(rows.size());
    for (const Row& r : rows) {
        if (!unique.empty() && unique.back().addr == r.addr)
            unique.back() = r;
        else
            unique.push_back(r);
    }
    rows = std::move(unique);
}

} // namespace

bool BuildDebugBlockFromDwarf(const QString& program, int version, QByteArray* block, QString* error)
{
    const int fd = ::open(QFile::encodeName(program).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot open %1").arg(program);
        return false;
    }
    Dwarf* dw = dwarf_begin(fd, DWARF_C_READ);
    if (!dw) {
        ::close(fd);
        *error = QStringLiteral("%1 has no DWARF debug information (compile with -g1 or more)").arg(program);
        return false;
    }
    Collector c;
    Dwarf_CU* cu = nullptr;
    Dwarf_Half unitVersion;
    uint8_t unitType;
    Dwarf_Die cuDie, subDie;
    std::vector<Dwarf_Die> units;
    while (dwarf_get_units(dw, cu, &cu, &unitVersion, &unitType, &cuDie, &subDie) == 0) {
        if (unitType != DW_UT_compile && unitType != DW_UT_partial)
            continue;
        MapClasses(c, &cuDie, QString(), false);
        units.push_back(cuDie);
    }
    c.rows.resize(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        c.unit = i;
        c.unitFiles = nullptr;
        c.unitFileCount = 0;
        if (dwarf_getsrcfiles(&units[i], &c.unitFiles, &c.unitFileCount) != 0)
            c.unitFiles = nullptr, c.unitFileCount = 0;
        CollectFunctions(c, &units[i], 0);
        CollectLines(c, &units[i]);
    }

    // Copies of an inline routine in several units share the address of the one the linker kept.
    std::sort(c.code.begin(), c.code.end(), [](const Code& a, const Code& b) {
        return a.low != b.low ? a.low < b.low : a.high > b.high;
    });
    std::sort(c.intervals.begin(), c.intervals.end(), [](const Interval& a, const Interval& b) {
        return a.low != b.low ? a.low < b.low : (a.high != b.high ? a.high > b.high : a.depth < b.depth);
    });
    // The copies of one inline routine in several units describe the same code once.
    c.intervals.erase(std::unique(c.intervals.begin(), c.intervals.end(),
                                  [](const Interval& a, const Interval& b) {
                                      return a.low == b.low && a.high == b.high && a.depth == b.depth && a.name == b.name;
                                  }),
                      c.intervals.end());

    excreport::TSivrelDebugBlockWriter w(version);
    std::sort(c.routines.begin(), c.routines.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    for (const auto& [name, entry] : c.routines)
        if (entry >= SivrelCodeOffsetBase && entry - SivrelCodeOffsetBase <= 0xFFFFFFFFu)
            w.AddName(name, uint32_t(entry - SivrelCodeOffsetBase));

    // Innermost function at an address: a sweep over the nested intervals, addresses ascending.
    std::vector<const Interval*> open;
    size_t nextInterval = 0;
    // The routines open at an address, outermost first: a sweep over the nested intervals,
    // addresses ascending.
    auto chainAt = [&](Dwarf_Addr addr) {
        while (!open.empty() && open.back()->high <= addr)
            open.pop_back();
        while (nextInterval < c.intervals.size() && c.intervals[nextInterval].low <= addr) {
            const Interval* iv = &c.intervals[nextInterval++];
            if (iv->high <= addr)
                continue;
            while (!open.empty() && open.back()->high <= iv->low)
                open.pop_back();
            open.push_back(iv);
        }
        std::vector<const Interval*> chain;
        for (const Interval* iv : open)
            if (iv->low <= addr && addr < iv->high)
                chain.push_back(iv);
        return chain;
    };
    // The row's place and routine: the innermost routine's, or, inside code inlined from a
    // library header, the place in the program's own code it was inlined into and the routine
    // that holds that place.
    auto describe = [&](Row& r) {
        const std::vector<const Interval*> chain = chainAt(r.addr);
        int function = chain.empty() ? 0 : chain.back()->name;
        if (r.library) {
            for (size_t i = chain.size(); i-- > 1;) {
                const Interval* inlined = chain[i];
                if (inlined->callFile < 0)
                    break;
                if (!inlined->callInLibrary) {
                    r.file = inlined->callFile;
                    r.line = inlined->callLine;
                    r.library = false;
                    function = chain[i - 1]->name;
                    break;
                }
            }
        }
        return function;
    };

    Dwarf_Addr covered = 0;
    for (const Code& code : c.code) {
        if (code.low < covered || code.high - SivrelCodeOffsetBase > 0xFFFFFFFFu)
            continue; // the same code, described by another unit
        covered = code.high;
        const std::vector<Row>& all = c.rows[code.unit];
        auto it = std::lower_bound(all.begin(), all.end(), code.low, [](const Row& r, Dwarf_Addr a) { return r.addr < a; });
        std::vector<Row> rows;
        for (; it != all.end() && it->addr < code.high; ++it)
            rows.push_back(*it);
        if (rows.empty())
            continue;
        // The routine's first bytes belong to its first line.
        rows.front().addr = code.low;
        std::vector<int> functions;
        functions.reserve(rows.size());
        for (Row& r : rows)
            functions.push_back(describe(r));
        for (size_t first = 0; first < rows.size();) {
            size_t last = first;
            while (last + 1 < rows.size() && rows[last + 1].file == rows[first].file)
                ++last;
            const Dwarf_Addr unitEnd = last + 1 < rows.size() ? rows[last + 1].addr : code.high;
            const Row& r0 = rows[first];
            w.BeginUnit(c.files[size_t(r0.file)], r0.line, uint32_t(r0.addr - SivrelCodeOffsetBase),
                        uint32_t(unitEnd - r0.addr));
            // The unit's first routine names the first range too: an entry of no size carries it.
            if (functions[first] != 0)
                w.AddEntry(0, 0, c.names[size_t(functions[first])]);
            for (size_t i = first; i < last; ++i) {
                const bool changes = functions[i + 1] != functions[i] && functions[i + 1] != 0;
                w.AddEntry(int64_t(rows[i + 1].line) - rows[i].line, rows[i + 1].addr - rows[i].addr,
                           changes ? c.names[size_t(functions[i + 1])] : QString());
            }
            first = last + 1;
        }
    }
    w.EndUnit();
    *block = w.Finish();
    dwarf_end(dw);
    ::close(fd);
    return true;
}
