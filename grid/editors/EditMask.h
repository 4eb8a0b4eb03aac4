#pragma once
// The toolkit's edit masks ("!90/90/00;1;_") as Qt input masks. The mask characters for required
// and optional digits, letters and characters are swapped against Qt's; characters that Qt would
// read as mask characters are escaped; the second field (0 or 1) tells whether the literals belong
// to the text that is read.
#include <QString>

namespace grid::editors {

struct TEditMask {
    QString inputMask;       // for QLineEdit::setInputMask (empty: no mask)
    bool saveLiterals = true;
};

TEditMask TranslateEditMask(const QString& mask);
// The text as the masked edit gives it: without the literals when the mask does not keep them.
QString MaskedText(const QString& mask, const QString& text);

} // namespace grid::editors
