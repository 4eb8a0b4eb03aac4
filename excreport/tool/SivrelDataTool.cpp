// qly_sldata: writes the reporter's data block of a linked program.
//   qly_sldata --program <elf> --options <text file> --output <block file> [--sizes]
// The options come from the checked-in text file (an unknown name fails); the debug block from
// the program's DWARF. The block file is then added to the program as the ".sldata" section.
#include "excreport/SivrelConsts.h"
#include "excreport/SivrelDataBlock.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelOptionsText.h"
#include "excreport/SivrelStream.h"
#include "excreport/tool/DwarfDebugBlock.h"
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <cstdio>

using namespace excreport;

static int Fail(const QString& message)
{
    std::fprintf(stderr, "qly_sldata: %s\n", qPrintable(message));
    return 1;
}

int main(int argc, char** argv)
{
    QString program, optionsFile, output;
    bool sizes = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QString value = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
        if (arg == "--program")
            program = value, ++i;
        else if (arg == "--options")
            optionsFile = value, ++i;
        else if (arg == "--output")
            output = value, ++i;
        else if (arg == "--sizes")
            sizes = true;
        else
            return Fail(QStringLiteral("unknown argument %1").arg(arg));
    }
    if (program.isEmpty() || optionsFile.isEmpty() || output.isEmpty())
        return Fail(QStringLiteral("usage: qly_sldata --program <elf> --options <file> --output <file> [--sizes]"));

    QFile text(optionsFile);
    if (!text.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot read %1").arg(optionsFile));
    TSivrelModuleOptions options(QString(), false);
    QString error;
    if (!SivrelOptionsFromText(QString::fromUtf8(text.readAll()), options, &error))
        return Fail(optionsFile + QStringLiteral(": ") + error);

    QByteArray debug;
    if (!BuildDebugBlockFromDwarf(program, SivrelDataVersion, &debug, &error))
        return Fail(error);
    TSivrelStream stream;
    options.SaveToStream(stream);
    const QByteArray block = SivrelMakeResourceBlock(SivrelDataVersion, stream.Data(), debug);

    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly) || out.write(block) != block.size() || !out.commit())
        return Fail(QStringLiteral("cannot write %1").arg(output));
    if (sizes)
        std::printf("options %lld bytes, debug block %lld bytes, data block %lld bytes (compressed)\n",
                    static_cast<long long>(stream.Size()), static_cast<long long>(debug.size()),
                    static_cast<long long>(block.size()));
    return 0;
}
