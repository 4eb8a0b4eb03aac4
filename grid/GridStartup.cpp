#include "grid/GridStartup.h"
#include "grid/exchange/DragData.h"

#include "grid/ZodUvuz.h"
#include "grid/minihtml/MiniHTML.h"
#include "platform/graphics/VisualStyles.h"
#include "platform/grid/ObjectStream.h"
#include "platform/grid/WinCompat.h"

namespace grid {

namespace {
bool g_datePickerSupported = false;
uint16_t g_cellsFormat = 0;
bool g_oleInitialized = false;
std::vector<const TUnitEntry*> g_started;
bool g_familyStarted = false;

// The source line the assertion of the OLE start names.
constexpr int kOleAssertLine = 35864;
} // namespace

bool DatePickerSupported() { return g_datePickerSupported; }

bool DatePickerVersionSupported(int32_t version) { return version >= int32_t(0x00040046); }

uint16_t GridCellsClipboardFormat() { return g_cellsFormat; }

void GridUnitStartup()
{
    const uint32_t hr = tk::OleInitialize();
    if (hr != tk::S_OK_ && hr != tk::S_FALSE_)
        throw tk::EAssertionFailed(QStringLiteral("OleInitialize failed ($%1)").arg(QString::number(hr, 16).toUpper()),
                                   QStringLiteral("zoduvuz"), kOleAssertLine);
    g_oleInitialized = true;
    try {
        tk::RegisterClass<TZedEzeravIvur>(QStringLiteral("TZedEzeravIvur"));
    } catch (...) {
        // A class of that name is already known: stored forms find that one.
    }
    g_datePickerSupported = DatePickerVersionSupported(tk::GetFileVersion(QStringLiteral("comctl32.dll")));
    g_cellsFormat = tk::RegisterClipboardFormat(QStringLiteral("TZedEzeravIvur Cells"));
}

void GridUnitShutdown()
{
    if (g_oleInitialized) {
        tk::OleUninitialize();
        g_oleInitialized = false;
    }
}

const std::vector<TUnitEntry>& GridUnits()
{
    // The Unicode controls bring their own steps with their unit; until then its entry holds the
    // place in the order.
    static const std::vector<TUnitEntry> units = {
        {QStringLiteral("ZazURAZ"), [] { visualstyles::LoadThemeLibrary(); }, [] { visualstyles::FreeThemeLibrary(); }},
        {QStringLiteral("ZeiHTMLE"), minihtml::MiniHTMLUnitStartup, {}},
        {QStringLiteral("zeidd"), [] { exchange::SetDropRTFEnabled(false); }, {}},
        {QStringLiteral("ZeiUni"), {}, {}},
        {QStringLiteral("ZodUvuz"), GridUnitStartup, GridUnitShutdown},
    };
    return units;
}

int StartUnits(const std::vector<TUnitEntry>& units, std::vector<const TUnitEntry*>& started)
{
    for (const TUnitEntry& u : units) {
        try {
            if (u.startup)
                u.startup();
        } catch (...) {
            EndUnits(started);
            throw;
        }
        started.push_back(&u);
    }
    return int(started.size());
}

void EndUnits(std::vector<const TUnitEntry*>& started)
{
    while (!started.empty()) {
        const TUnitEntry* u = started.back();
        started.pop_back();
        if (u->shutdown)
            u->shutdown();
    }
}

void GridFamilyStartup()
{
    if (g_familyStarted)
        return;
    StartUnits(GridUnits(), g_started);
    g_familyStarted = true;
}

void GridFamilyShutdown()
{
    if (!g_familyStarted)
        return;
    EndUnits(g_started);
    g_familyStarted = false;
}

bool GridFamilyStarted() { return g_familyStarted; }

} // namespace grid
