// Every workbook of the external xls folder (files other programs wrote, kept outside the
// project) read whole, cell for cell as xlrd reads it.
#include "spreadsheet/XLSBook.h"
#include "TestUtil.h"
#include "XlsTestUtil.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

using namespace xls;
using namespace xlstest;

namespace {

const char* const folder = "xls";

// How a file is read and what xlrd reads for comparison; files not listed are read as they are
// and compared with xlrd's reading of the same file.
struct Rule {
    const char* file;
    const char* error = nullptr;      // the read fails with a message ending in this
    const char* password = nullptr;   // xlrd reads msoffcrypto's decrypted copy; given to us when asked
    bool viaGnumeric = false;         // xlrd reads gnumeric's BIFF8 copy (BIFF2-4, or xlrd fails)
};

const char* const unknownEncryption = "Can not read file, unknown type of encryption.";

const Rule rules[] = {
    // encryption we do not read
    {"edr-Test_git_issue_242_std_rc4_pwd_password.xls", unknownEncryption},   // RC4 CryptoAPI
    {"edr-Test_git_issue_477_crypto_keylength40.xls", unknownEncryption},     // RC4 CryptoAPI, 40-bit key
    {"poi-35897-type4.xls", unknownEncryption},                               // RC4 CryptoAPI
    {"edr-Test_git_issue_242_xor_pwd_password.xls", unknownEncryption},       // BIFF5 XOR
    {"poi-xor-encryption-abc.xls", "File encrypted with non-standard key. French?"},
    // RC4 that we read: write protection only (default password), and a password given
    {"calamine-issue_385.xls", nullptr, "VelvetSweatshop"},
    {"edr-protectedsheet-xxx.xls", nullptr, "VelvetSweatshop"},
    {"poi-password.xls", nullptr, "password"},
    // BIFF2-4: xlrd reads BIFF2-4 only partly
    {"edr-Test_git_issue_368_formats.xls", nullptr, nullptr, true},
    {"edr-Test_git_issue_368_label_xf.xls", nullptr, nullptr, true},
    {"edr-Test_git_issue_375_ixfe_rowmap.xls", nullptr, nullptr, true},
    {"edr-Test_git_issue_466_biff3.xls", nullptr, nullptr, true},
    {"edr-as3xls_BIFF2.xls", nullptr, nullptr, true},
    {"edr-as3xls_BIFF3.xls", nullptr, nullptr, true},
    {"edr-as3xls_BIFF4.xls", nullptr, nullptr, true},
    {"edr-biff3.xls", nullptr, nullptr, true},
    {"poi-testEXCEL_3.xls", nullptr, nullptr, true},
    {"poi-testEXCEL_4.xls", nullptr, nullptr, true},
    {"xlrd-biff4_no_format_no_window2.xls", nullptr, nullptr, true},
    // xlrd cannot open it: it asserts on the string table's count
    {"edr-Test_git_issue_477_sst_wrong_count.xls", nullptr, nullptr, true},
};

// Differences from the reference that are the reader's behaviour, each with its reason.
enum Difference { SheetName, OutsideDimensions };
struct Accepted {
    const char* file;
    Difference what;
    const char* reason;
};
const char* const biff2to4Name = "a BIFF2-4 file has no sheet name: the reader calls its sheet \"Sheet1\", gnumeric \"Worksheet\"";
const char* const beyondDimensions = "the extents come from the DIMENSIONS record; cells beyond it are read and lie inside the "
                                     "used area the import reads, but outside the extents";
const Accepted accepted[] = {
    {"edr-Test_git_issue_368_formats.xls", SheetName, biff2to4Name},
    {"edr-Test_git_issue_368_label_xf.xls", SheetName, biff2to4Name},
    {"edr-Test_git_issue_375_ixfe_rowmap.xls", SheetName, biff2to4Name},
    {"edr-Test_git_issue_466_biff3.xls", SheetName, biff2to4Name},
    {"edr-as3xls_BIFF2.xls", SheetName, biff2to4Name},
    {"edr-as3xls_BIFF3.xls", SheetName, biff2to4Name},
    {"edr-as3xls_BIFF4.xls", SheetName, biff2to4Name},
    {"edr-biff3.xls", SheetName, biff2to4Name},
    {"poi-testEXCEL_3.xls", SheetName, biff2to4Name},
    {"poi-testEXCEL_4.xls", SheetName, biff2to4Name},
    {"xlrd-biff4_no_format_no_window2.xls", SheetName, biff2to4Name},
    {"edr-Test_git_issue_375_ixfe_rowmap.xls", OutsideDimensions, beyondDimensions},   // DIMENSIONS smaller than the cells
    {"edr-Test_git_issue_467_sst_empty_continue.xls", OutsideDimensions, beyondDimensions},   // sheet 2 from row 2 on
    {"poi-53404.xls", OutsideDimensions, beyondDimensions},
    {"poi-BOOK_in_capitals.xls", OutsideDimensions, beyondDimensions},                // cells beyond the last column                          // a cell beyond the last column
    {"poi-MissingBits.xls", OutsideDimensions, beyondDimensions},                    // a row beyond the last row
    {"poi-WrongFormulaRecordType.xls", OutsideDimensions, beyondDimensions},         // DIMENSIONS all zero
};

const Rule* ruleFor(const QString& file)
{
    for (const Rule& r : rules)
        if (file == QLatin1String(r.file)) return &r;
    return nullptr;
}

CrossCheckRules acceptedFor(const QString& file)
{
    CrossCheckRules out;
    for (const Accepted& a : accepted) {
        if (file != QLatin1String(a.file)) continue;
        if (a.what == SheetName) out.sheetNames = false;
        if (a.what == OutsideDimensions) out.cellsOutsideDimensions = true;
    }
    return out;
}

std::vector<std::string> fixtureFiles()
{
    std::vector<std::string> out;
    const QDir dir(qlytest::fixturesDir() + "/" + folder);
    for (const QString& f : dir.entryList({"*.xls"}, QDir::Files, QDir::Name)) out.push_back(f.toStdString());
    if (out.empty()) out.push_back("");   // one case that says why it skips
    return out;
}

// The defined names as xlrd reads them: name, built-in flag and the text of the definition.
void crossCheckNames(const TXLSBook& book, const QString& reference)
{
    // xlrd's texts differ from Excel's notation outside plain references ("2.0^8.0", "<<external>>",
    // '"#NAME?"'): definitions are compared where xlrd evaluates them to references into the workbook.
    const char* script = R"PY(
import json, os, sys, xlrd, xlrd.book
from xlrd.formula import decompile_formula, FMLA_TYPE_NAME, oREF
evaluate = xlrd.book.evaluate_name_formula
def tolerant(*args, **kwargs):
    try: evaluate(*args, **kwargs)
    except Exception: pass
xlrd.book.evaluate_name_formula = tolerant
b = xlrd.open_workbook(sys.argv[1], logfile=open(os.devnull, "w"))
out = []
for n in b.name_obj_list:
    text = None
    r = getattr(n, "result", None)
    if r is not None and r.kind == oREF and r.value and all(0 <= x.coords[0] < x.coords[1] <= b.nsheets for x in r.value):
        try: text = decompile_formula(b, n.raw_formula, len(n.raw_formula), FMLA_TYPE_NAME)
        except Exception: text = None
    out.append({"name": n.name, "builtin": n.builtin, "text": text})
print(json.dumps(out))
)PY";
    const QJsonArray ref = QJsonDocument::fromJson(python(script, {reference}).toUtf8()).array();
    const TInternalNames& names = const_cast<TXLSBook&>(book).FormulaHandler().InternalNames();
    ASSERT_EQ(names.Count(), ref.size());
    for (int i = 0; i < names.Count(); ++i) {
        const QJsonObject r = ref[i].toObject();
        TInternalName* n = names.Items(i);
        const bool builtIn = n->Options & 0x0020;
        EXPECT_EQ(builtIn, r["builtin"].toInt() == 1) << i;
        if (!builtIn) EXPECT_EQ(n->Name(), r["name"].toString()) << i;
        // the intersection operator is a token the decoder does not show
        const QString def = n->Definition();
        if (!r["text"].isNull() && !def.contains(QLatin1String("Unknown ptg[0F]")))
            EXPECT_EQ(def, r["text"].toString()) << r["name"].toString().toStdString();
    }
}

class XlsFixture : public testing::TestWithParam<std::string> {};

}   // namespace

TEST_P(XlsFixture, ReadsLikeXlrd)
{
    const QString name = QString::fromStdString(GetParam());
    QLY_EXTERNAL_FIXTURE(path, QStringLiteral("%1/%2").arg(folder, name.isEmpty() ? QStringLiteral("*.xls") : name));
    static const Rule plain{""};
    const Rule* rule = ruleFor(name);
    if (!rule) rule = &plain;
    const QString password = QString::fromLatin1(rule->password);

    SetDecimalSeparator('.');
    TXLSBook book;
    // the default password of write protection opens a file without asking
    if (rule->password && password != QLatin1String("VelvetSweatshop"))
        book.OnPassword = [&](TXLSBook*, QString& p) { p = password; };
    book.Filename = path;
    QStringList messages;
    book.OnMessage = [&](const QString& m) { messages << m; };
    QString error;
    try {
        book.Read();
    } catch (const EXLSError& e) {
        error = e.message();
    }
    if (rule->error) {
        EXPECT_TRUE(error.endsWith(QLatin1String(rule->error))) << error.toStdString();
        return;
    }
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();

    qlytest::TempDir dir;
    QString reference = path;
    if (rule->password) {
        reference = dir.file("plain.xls");
        python("import msoffcrypto,sys\nf=msoffcrypto.OfficeFile(open(sys.argv[1],'rb'))\nf.load_key(password=sys.argv[3])\n"
               "f.decrypt(open(sys.argv[2],'wb'))",
               {path, reference, password});
    } else if (rule->viaGnumeric) {
        reference = dir.file("gnumeric.xls");
        QProcess p;
        p.start("ssconvert", {"-T", "Gnumeric_Excel:excel_biff8", path, reference});
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_TRUE(QFile::exists(reference)) << p.readAllStandardError().toStdString();
    }
    const QJsonArray sheets = xlrdSheets(reference);
    ASSERT_FALSE(sheets.isEmpty());
    crossCheck(book, sheets, acceptedFor(name));
    // no record of the file is damaged
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    if (book.Version() == xvExcel97 && reference == path) crossCheckNames(book, reference);
}

INSTANTIATE_TEST_SUITE_P(External, XlsFixture, testing::ValuesIn(fixtureFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string n = info.param.empty() ? "folder_absent" : info.param;
                             if (n.size() > 4 && n.ends_with(".xls")) n.resize(n.size() - 4);
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });
