#pragma once
// A 5 x 10 grid (one fixed row and column) with fruit names in column 1, and where the pictures
// of the windows go.
#include "grid/ZodUvuz.h"

#include <QDir>
#include <QPixmap>
#include <QString>
#include <memory>

namespace inputtest {

inline const QStringList& fruits()
{
    static const QStringList list{"Apfel", "Banane", "Birne", "Kirsche", "Pflaume", "Quitte", "Birnbaum",
                                  "Mango", "Zitrone"};
    return list;
}

inline std::unique_ptr<grid::TZedEzeravIvur> fruitGrid()
{
    auto g = std::make_unique<grid::TZedEzeravIvur>();
    g->SetColCount(5);
    g->SetRowCount(10);
    for (int r = 1; r < 10; ++r) {
        g->SetCells(0, r, QString::number(r));
        g->SetCells(1, r, fruits()[r - 1]);
        g->SetCells(2, r, QStringLiteral("x%1").arg(r));
    }
    g->SetCells(2, 3, "Apfel");
    return g;
}

// Saves a window picture into $QLY_SCREENSHOT_DIR when that is set.
inline void saveShot(const QPixmap& pm, const QString& name)
{
    const QString dir = qEnvironmentVariable("QLY_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir);
        pm.save(dir + "/" + name);
    }
}

} // namespace inputtest
