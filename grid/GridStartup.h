#pragma once
// Start and end of the grid family. Each unit of the family that has start-up work has an entry in
// one table; GridFamilyStartup runs the entries in order and GridFamilyShutdown ends them in reverse.
// The program starts the family once its application object exists and ends it after the event loop.
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace grid {

struct TUnitEntry {
    QString name;
    std::function<void()> startup;   // may raise: the family's start-up stops there
    std::function<void()> shutdown;  // may be empty
};

// The family's units in their start order: ZazURAZ, ZeiHTMLE, zeidd, ZeiUni, ZodUvuz.
const std::vector<TUnitEntry>& GridUnits();

// Runs the start-up of every unit once per process. When a unit raises, the units already started
// are ended in reverse order and the exception passes on; a later call tries again.
void GridFamilyStartup();
// Ends the started units in reverse order (nothing when the family is not started).
void GridFamilyShutdown();
bool GridFamilyStarted();

// The same over any table (the family uses GridUnits()); answers the number of units started.
int StartUnits(const std::vector<TUnitEntry>& units, std::vector<const TUnitEntry*>& started);
void EndUnits(std::vector<const TUnitEntry*>& started);

// --- the grid unit's own values, set by its start-up
// The date and time picker editor exists only when the common controls are new enough.
bool DatePickerSupported();
// Version 4.70 (0x00040046) or later, compared as signed numbers (so -1 is too old).
bool DatePickerVersionSupported(int32_t version);
// The clipboard format "TZedEzeravIvur Cells".
uint16_t GridCellsClipboardFormat();

// The grid unit's steps (the ZodUvuz entry): raises tk::EAssertionFailed
// "OleInitialize failed ($800401F0)" without an application object, "... ($8001010E)" on another
// thread than the application's; registers the string grid class; reads the common controls'
// version; registers the clipboard format.
void GridUnitStartup();
void GridUnitShutdown();

} // namespace grid
