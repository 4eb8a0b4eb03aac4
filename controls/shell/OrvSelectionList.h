#pragma once
// A check-box selection of files and folders shared by several controls: TOrvShellLink joins
// the controls and owns the TOrvSelectionList of checked paths. An entry is a file path or a
// folder entry "folder/*" (the whole folder). TOrvSelectionStateImageList draws the five states.
#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QThread>
#include <functional>
#include <memory>

enum TOrvSelectionState { ssUnused, ssNone, ssChecked, ssUnChecked, ssGrayed };

class TOrvShellLink;

// What a control joined to a shell link offers it.
class IOrvShellControl {
public:
    virtual ~IOrvShellControl() = default;
    virtual void SetShellLink(TOrvShellLink* link) = 0;
    virtual TOrvShellLink* ShellLink() const = 0;
    virtual void SelectAllItems() = 0;
    virtual void RefreshControl() = 0;
    // The shared selection changed: show every item's check state again.
    virtual void UpdateCheckStates() = 0;
};

// Sums the sizes and the number of the files below a folder (or of one file) in the background;
// Done runs in the main thread with the sums multiplied by the sign.
class TOrvFolderSizeThread : public QThread {
    Q_OBJECT
public:
    TOrvFolderSizeThread(const QString& path, int sign, std::function<void(qint64 size, int files)> done);

protected:
    void run() override;

private:
    QString m_path;
    int m_sign;
    std::function<void(qint64, int)> m_done;
};

class TOrvSelectionList : public QObject {
    Q_OBJECT
public:
    explicit TOrvSelectionList(QObject* owner = nullptr);
    ~TOrvSelectionList() override;

    const QStringList& Paths() const { return m_paths; }
    // Adds every path in turn (inside one update).
    void SetPaths(const QStringList& paths);
    QString Path(int index) const { return m_paths.value(index); }

    // ssNone for an empty path, one on a volume that is not ready, or one that does not exist;
    // ssChecked for an entry (viaFolder set when a folder entry above it covers it); ssGrayed
    // when an entry lies below it; else ssUnChecked.
    TOrvSelectionState State(const QString& path, bool* viaFolder = nullptr) const;
    void Add(const QString& path);
    void Remove(const QString& path);
    void Clear();
    void BeginUpdate() { m_updating = true; }
    void EndUpdate();
    bool Updating() const { return m_updating; }

    // Totals of the selection: bytes and files (folder entries are summed in the background).
    qint64 TotalSize() const { return m_totalSize; }
    int FileCount() const { return m_fileCount; }
    // Folder sums still being made.
    int PendingSizes() const { return m_pendingSizes; }

    // A path as an entry: an existing file as it is, an existing folder as "folder/*", one
    // trailing "*" dropped first; false for anything else.
    static bool Normalize(QString& path);
    // A folder holding a "target.lnk" that is a symbolic link to a folder stands for that folder
    // (when ResolveFolderShortcuts is on).
    QString ResolveShortcut(const QString& path) const;
    bool ResolveFolderShortcuts = true;
    // True when every child of the folder is selected (the folder itself or each child).
    bool AllChildrenSelected(const QString& folder) const;
    // The highest folder above path whose children are all selected, or path itself.
    QString CollapseUpward(const QString& path) const;

    std::function<void()> OnChange;

private:
    bool CoveredByFolderEntry(const QString& entry) const;
    void RemoveEntry(int index);
    void RemoveBelow(const QString& folderEntry);
    void AddEntry(const QString& entry);
    void Changed();
    void StartSize(const QString& path, int sign);

    QStringList m_paths;
    QHash<QString, qint64> m_fileSizes; // file entries: the size counted when added
    bool m_updating = false;
    qint64 m_totalSize = 0;
    int m_fileCount = 0;
    int m_pendingSizes = 0;
    std::shared_ptr<TOrvSelectionList*> m_token;
};

class TOrvShellLink : public QObject {
    Q_OBJECT
public:
    explicit TOrvShellLink(QObject* owner = nullptr);
    ~TOrvShellLink() override;

    void Join(IOrvShellControl* control);
    void Leave(IOrvShellControl* control);
    // Every joined control except the given one shows the selection again (when Enabled).
    void TellOthers(IOrvShellControl* except);
    void TellAll() { TellOthers(nullptr); }
    TOrvSelectionList& SelectionList() { return *m_selection; }
    const QList<IOrvShellControl*>& Controls() const { return m_controls; }
    bool Enabled = true;
    std::function<void()> OnChange; // kept for the forms; the link never raises it
    QString Version() const { return QStringLiteral("TOrvShellLink V4.12"); }

private:
    QList<IOrvShellControl*> m_controls;
    TOrvSelectionList* m_selection;
};

// The five 16 x 16 state images in state order: unchecked, unchecked disabled, checked,
// unchecked, checked disabled, each on white.
class TOrvSelectionStateImageList {
public:
    TOrvSelectionStateImageList();
    const QPixmap& Image(TOrvSelectionState state) const { return m_images[int(state)]; }
    int Count() const { return int(m_images.size()); }
    static constexpr int Size = 16;

private:
    QList<QPixmap> m_images;
};
