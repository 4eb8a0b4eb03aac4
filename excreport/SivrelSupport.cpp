#include "excreport/SivrelSupport.h"
#include <QFile>
#include <dlfcn.h>
#include <link.h>

namespace excreport {

namespace {

struct FindObject {
    uintptr_t address = 0;
    bool found = false;
    QString name;
};

int FindObjectCallback(dl_phdr_info* info, size_t, void* data)
{
    auto* f = static_cast<FindObject*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD)
            continue;
        const uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (f->address >= start && f->address - start < ph.p_memsz) {
            f->found = true;
            f->name = QFile::decodeName(info->dlpi_name ? info->dlpi_name : "");
            return 1;
        }
    }
    return 0;
}

} // namespace

QString SivrelThisModuleFileName()
{
    static const QString name = [] {
        FindObject f;
        f.address = reinterpret_cast<uintptr_t>(&SivrelThisModuleFileName);
        dl_iterate_phdr(FindObjectCallback, &f);
        // The main program is listed without a name.
        if (!f.found || f.name.isEmpty())
            return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
        return f.name;
    }();
    return name;
}

} // namespace excreport
