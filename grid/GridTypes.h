#pragma once
// Types the grid family shares: its error class and the enumerations of its cell model and
// published properties (members in their stored order; streams name them by identifier).
#include <QObject>
#include <QString>
#include <stdexcept>

namespace grid {
Q_NAMESPACE

// The grid family's error.
class EZodUvuzError : public std::runtime_error {
public:
    explicit EZodUvuzError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }
private:
    QString m_message;
};

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
Q_ENUM_NS(TAlignment)
enum TVAlignment { vtaTop, vtaCenter, vtaBottom };
Q_ENUM_NS(TVAlignment)
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
Q_ENUM_NS(TBrushStyle)
enum TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = int;

enum TEditorType {
    edNormal, edSpinEdit, edComboEdit, edComboList, edEditBtn, edCheckBox, edDateEdit, edDateEditUpDown,
    edTimeEdit, edButton, edDataCheckBox, edNumeric, edPositiveNumeric, edFloat, edCapital, edMixedCase,
    edPassword, edUnitEditBtn, edLowerCase, edUpperCase, edFloatSpinEdit, edTimeSpinEdit, edDateSpinEdit,
    edNumericEditBtn, edFloatEditBtn, edCustom, edRichEdit, edNone, edUniEdit, edUniComboEdit, edUniComboList,
    edUniEditBtn, edUniMemo
};
Q_ENUM_NS(TEditorType)
enum TGridLook { glStandard, glSoft, glClassic, glZarn, glXP, glListView };
Q_ENUM_NS(TGridLook)
enum TIntelliPan { ipVertical, ipHorizontal, ipBoth, ipNone };
Q_ENUM_NS(TIntelliPan)
enum TScrollBarAlways { saNone, saVert, saHorz, saBoth };
Q_ENUM_NS(TScrollBarAlways)
enum TScrollHintType { shNone, shVertical, shHorizontal, shBoth };
Q_ENUM_NS(TScrollHintType)
enum TScrollType { ssNormal, ssFlat, ssEncarta };
Q_ENUM_NS(TScrollType)
// The toolkit's scroll bar choice (tk::TScrollStyle, same order), published by name.
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
Q_ENUM_NS(TScrollStyle)
// How a component learns that another one it refers to goes away.
enum TOperation { opInsert, opRemove };
enum TCellType {
    ctBitmap, ctIcon, ctNone, ctImageList, ctCheckBox, ctDataCheckBox, ctRotated, ctDataImage, ctNode, ctRadio,
    ctEmpty, ctImages, ctPicture, ctFilePicture, ctValue, ctProgress, ctComment, ctButton, ctBitButton,
    ctVirtCheckBox, ctRowCheckBox, ctProgressPie, ctSummary, ctRangeIndicator
};
Q_ENUM_NS(TCellType)
enum TCellHAlign { haLeft, haRight, haCenter, haBeforeText, haAfterText, haFull };
Q_ENUM_NS(TCellHAlign)
enum TCellVAlign { vaTop, vaBottom, vaCenter, vaUnderText, vaAboveText, vaFull };
Q_ENUM_NS(TCellVAlign)
enum TCellBorder { cbTop, cbLeft, cbRight, cbBottom };
Q_ENUM_NS(TCellBorder)
// A set of TCellBorder: bit (1 << member).
using TCellBorders = int;
// How a column's texts compare when sorted.
enum TSortStyle {
    ssAutomatic, ssAlphabetic, ssNumeric, ssDate, ssAlphaNoCase, ssAlphaCase, ssShortDateEU, ssShortDateUS,
    ssCustom, ssFinancial, ssAnsiAlphaCase, ssAnsiAlphaNoCase, ssRaw, ssHTML, ssImages, ssCheckBox, ssUnicode,
    ssDateTime, ssTime, ssAlphaNumeric, ssAlphaNumericNoCase
};
Q_ENUM_NS(TSortStyle)
enum TFooterStyle { fsFixedLastRow, fsColumnPreview, fsCustomPreview };
Q_ENUM_NS(TFooterStyle)

// Option objects.
enum TNodeType { cnFlat, cn3D, cnGlyph, cnLeaf, cnXP };
Q_ENUM_NS(TNodeType)
enum TGridFixedCellEdit { fceNone, fceDblClick, fceLeftClick, fceRightClick };
Q_ENUM_NS(TGridFixedCellEdit)
enum TWheelAction { waMoveSelection, waScroll };
Q_ENUM_NS(TWheelAction)
enum TColumnSizeLocation { clRegistry, clIniFile };
Q_ENUM_NS(TColumnSizeLocation)
enum TAdvanceDirection { adLeftRight, adTopBottom };
Q_ENUM_NS(TAdvanceDirection)
enum TInsertPosition { pInsertBefore, pInsertAfter };
Q_ENUM_NS(TInsertPosition)
enum THomeEndAction { heFirstLastColumn, heFirstLastRow };
Q_ENUM_NS(THomeEndAction)
enum TPrintPosition { ppNone, ppTopLeft, ppTopRight, ppTopCenter, ppBottomLeft, ppBottomRight, ppBottomCenter };
Q_ENUM_NS(TPrintPosition)
enum TPrintBorders { pbNoborder, pbSingle, pbDouble, pbVertical, pbHorizontal, pbAround, pbAroundVertical,
                     pbAroundHorizontal, pbCustom };
Q_ENUM_NS(TPrintBorders)
enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
Q_ENUM_NS(TPenStyle)
enum TPrinterOrientation { poPortrait, poLandscape };
Q_ENUM_NS(TPrinterOrientation)
enum TFitToPage { fpNever, fpGrow, fpShrink, fpAlways, fpCustom };
Q_ENUM_NS(TFitToPage)

enum TControlStyle { csClassic, csFlat, csWinXP, csBorland, csZarn, csGlyph, csTheme };
Q_ENUM_NS(TControlStyle)

enum TSortBlankPosition { blFirst, blLast };
Q_ENUM_NS(TSortBlankPosition)
enum TSortDirection { sdAscending, sdDescending };
Q_ENUM_NS(TSortDirection)
enum TBackGroundDisplay { bdTile, bdFixed, bdGradientHorz, bdGradientVert };
Q_ENUM_NS(TBackGroundDisplay)
enum TBackGroundCells { bcNormal, bcFixed, bcAll };
Q_ENUM_NS(TBackGroundCells)
enum TFilterCells { fcVirtual, fcNormal };
Q_ENUM_NS(TFilterCells)
enum TFilterOperation { foSHORT, foNONE, foAND, foXOR, foOR };
Q_ENUM_NS(TFilterOperation)

} // namespace grid
