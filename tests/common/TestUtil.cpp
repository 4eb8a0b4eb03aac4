#include "TestUtil.h"
#include <QDir>
#include <QTemporaryDir>

namespace qlytest {
TempDir::TempDir()
{
    QTemporaryDir d;
    d.setAutoRemove(false);
    m_path = d.path();
}

TempDir::~TempDir() { QDir(m_path).removeRecursively(); }

QString fixturesDir() { return QStringLiteral(QLY_FIXTURES_DIR); }
}
