// Start and end of the grid family: unit order, the OLE stand-in, the class registry, the common
// controls' version and the clipboard format.
#include "grid/GridStartup.h"
#include "grid/ZodUvuz.h"
#include "platform/graphics/VisualStyles.h"
#include "platform/grid/ObjectStream.h"
#include "platform/grid/WinCompat.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace grid;

namespace {
const QString kGridClass = QStringLiteral("TZedEzeravIvur");
}

TEST(GridStartup, UnitsStartInOrderAndEndInReverse)
{
    const auto& names = GridUnits();
    QStringList order;
    for (const auto& u : names)
        order << u.name;
    EXPECT_EQ(order, QStringList({"ZazURAZ", "ZeiHTMLE", "zeidd", "ZeiUni", "ZodUvuz"}));

    QStringList log;
    std::vector<TUnitEntry> units;
    for (const QString n : {"a", "b", "c"})
        units.push_back({n, [&log, n] { log << "start " + n; }, [&log, n] { log << "end " + n; }});
    std::vector<const TUnitEntry*> started;
    EXPECT_EQ(StartUnits(units, started), 3);
    EndUnits(started);
    EXPECT_EQ(log, QStringList({"start a", "start b", "start c", "end c", "end b", "end a"}));

    // A unit that fails stops the start; the units before it are ended in reverse.
    log.clear();
    units[1].startup = [] { throw std::runtime_error("b failed"); };
    EXPECT_THROW(StartUnits(units, started), std::runtime_error);
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(log, QStringList({"start a", "end a"}));
}

TEST(GridStartup, CreatesTheGridByNameAndBalancesOle)
{
    const int ole = tk::OleInitCount();
    GridFamilyStartup();
    ASSERT_TRUE(GridFamilyStarted());
    EXPECT_EQ(tk::OleInitCount(), ole + 1);
    GridFamilyStartup();   // once per process
    EXPECT_EQ(tk::OleInitCount(), ole + 1);

    std::unique_ptr<QObject> obj(tk::CreateComponent(kGridClass));
    ASSERT_NE(qobject_cast<TZedEzeravIvur*>(obj.get()), nullptr);
    EXPECT_TRUE(DatePickerSupported()) << "the Qt Widgets library is version 6";

    const uint16_t fmt = GridCellsClipboardFormat();
    EXPECT_GE(fmt, 0xC000);
    EXPECT_EQ(tk::ClipboardFormatMimeType(fmt), "application/x-qt-windows-mime;value=\"TZedEzeravIvur Cells\"");
    EXPECT_EQ(tk::RegisterClipboardFormat("tzedezeravivur cells"), fmt);

    GridFamilyShutdown();
    EXPECT_EQ(tk::OleInitCount(), ole);
    EXPECT_FALSE(visualstyles::ThemeLibraryLoaded());
    GridFamilyShutdown();
    EXPECT_EQ(tk::OleInitCount(), ole);
}

TEST(GridStartup, AClassRegisteredBeforeDoesNotStopTheStart)
{
    tk::RegisterClass<TZedEzeravIvur>(kGridClass);
    GridFamilyStartup();
    EXPECT_TRUE(GridFamilyStarted());
    std::unique_ptr<QObject> obj(tk::CreateComponent(kGridClass));
    EXPECT_NE(qobject_cast<TZedEzeravIvur*>(obj.get()), nullptr);
    GridFamilyShutdown();

    // Another class under that name is refused by the registry but dropped by the start-up.
    tk::UnRegisterClass(kGridClass);
    tk::RegisterClass<QObject>(kGridClass);
    EXPECT_THROW(tk::RegisterClass<TZedEzeravIvur>(kGridClass), tk::EFilerError);
    GridFamilyStartup();
    EXPECT_TRUE(GridFamilyStarted());
    GridFamilyShutdown();
    tk::UnRegisterClass(kGridClass);
    EXPECT_THROW(tk::CreateComponent(kGridClass), tk::EClassNotFound);
}

TEST(GridStartup, OnAWorkerThreadTheStartFailsAndRegistersNothing)
{
    tk::UnRegisterClass(kGridClass);
    const int ole = tk::OleInitCount();
    QString message, unit;
    int line = 0;
    std::thread worker([&] {
        try {
            GridFamilyStartup();
        } catch (const tk::EAssertionFailed& e) {
            message = e.message();
            unit = e.unit();
            line = e.line();
        }
    });
    worker.join();
    EXPECT_EQ(message, "OleInitialize failed ($8001010E)");
    EXPECT_EQ(unit, "zoduvuz");
    EXPECT_EQ(line, 35864);
    EXPECT_FALSE(GridFamilyStarted());
    EXPECT_EQ(tk::GetClass(kGridClass), nullptr);
    EXPECT_EQ(tk::OleInitCount(), ole);
    EXPECT_FALSE(visualstyles::ThemeLibraryLoaded()) << "the units started before were ended";

    // The main thread can start the family afterwards.
    GridFamilyStartup();
    EXPECT_NE(tk::GetClass(kGridClass), nullptr);
    GridFamilyShutdown();
}

TEST(GridStartup, WithoutAnApplicationTheStartFailsAndRegistersNothing)
{
    QProcess p;
    p.start(QStringLiteral(QLY_GRID_NOAPP_PROBE), {});
    ASSERT_TRUE(p.waitForFinished(30000)) << "the probe did not end";
    ASSERT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines, QStringList({"message=OleInitialize failed ($800401F0)", "started=0", "ole=0", "registered=0"}))
        << p.readAllStandardError().constData();
}

TEST(GridStartup, ThemeLibraryLoadedTwiceIsLoadedOnce)
{
    visualstyles::FreeThemeLibrary();
    const int loads = visualstyles::ThemeLibraryLoadCount();
    EXPECT_TRUE(visualstyles::LoadThemeLibrary());
    EXPECT_TRUE(visualstyles::LoadThemeLibrary());
    EXPECT_EQ(visualstyles::ThemeLibraryLoadCount(), loads + 1);
    visualstyles::FreeThemeLibrary();
    EXPECT_FALSE(visualstyles::ThemeLibraryLoaded());
    EXPECT_TRUE(visualstyles::GetCurrentThemeName().colorName.isEmpty());
}

TEST(GridStartup, DatePickerNeedsVersion470)
{
    struct Case { int32_t version; bool ok; };
    for (const Case& c : {Case{0x00040046, true}, Case{0x00040045, false}, Case{-1, false}, Case{0x00060004, true},
                          Case{0x00030100, false}})
        EXPECT_EQ(DatePickerVersionSupported(c.version), c.ok) << std::hex << c.version;
}

TEST(GridStartup, FileVersionsFromLibraryNames)
{
    struct Case { const char* name; int32_t version; };
    for (const Case& c : {Case{"libQt6Widgets.so.6.4.2", 0x00060004}, Case{"/usr/lib/libcomctl.so.4.70", 0x00040046},
                          Case{"libfoo.so.5", 0x00050000}, Case{"libfoo.so", -1}, Case{"comctl32.dll", -1},
                          Case{"libfoo.so.6.x", -1}})
        EXPECT_EQ(tk::VersionFromLibraryName(c.name), c.version) << c.name;

    EXPECT_EQ(tk::GetFileVersion("/nonexistent/libx.so.4.70"), -1);
    const QStringList qt = QString::fromLatin1(qVersion()).split('.');
    EXPECT_EQ(tk::GetFileVersion("COMCTL32.DLL"), int32_t(qt[0].toInt() << 16 | qt[1].toInt()));
}
