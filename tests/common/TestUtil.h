#pragma once
#include <QString>

namespace qlytest {
// A fresh folder for one test, removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    QString path() const { return m_path; }
    QString file(const QString& name) const { return m_path + "/" + name; }
private:
    QString m_path;
};

// Folder of the shared real-world fixtures (../shared/fixtures from the project root).
QString fixturesDir();
}
