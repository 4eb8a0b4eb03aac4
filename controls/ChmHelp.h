#pragma once
// The compiled-help backend: shows the pages of a .chm file (read with chmlib) in our own help
// window, and the text pop-ups of its pop-up topics file as a small tool window.
#include "controls/HelpRouter.h"

#include <QTextBrowser>

#include <functional>

struct chmFile;

// How the help backend tells the user that a file or page is missing (a message box unless
// replaced).
std::function<void(QWidget*, const QString&)>& ChmHelpMessage();

// Read access to one .chm file.
class TChmFile {
public:
    explicit TChmFile(const QString& fileName);
    ~TChmFile();
    TChmFile(const TChmFile&) = delete;
    TChmFile& operator=(const TChmFile&) = delete;

    bool IsOpen() const { return FHandle != nullptr; }
    QString FileName() const { return FFileName; }
    // An object of the file ("/topic.htm"); empty when it is missing.
    QByteArray Read(const QString& path) const;
    bool Exists(const QString& path) const;
    // The start page: the default topic recorded in the file, else its first page.
    QString DefaultTopic() const;
    // The page of a context id (from the file's context map); empty when unknown.
    QString TopicOfContext(quint32 context) const;
    // Every page of the file, in the file's order.
    QStringList Pages() const;

private:
    QString FFileName;
    chmFile* FHandle = nullptr;
};

// The help window: a browser over the pages of one .chm file.
class TChmHelpWindow : public QTextBrowser {
    Q_OBJECT
public:
    explicit TChmHelpWindow(QWidget* parent = nullptr);
    ~TChmHelpWindow() override;
    // Opens a file at a page (empty: its start page); false when the page is missing.
    bool ShowPage(const QString& chmFile, const QString& page);
    QString CurrentFile() const;
    QString CurrentPage() const;

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    std::unique_ptr<TChmFile> FFile;
};
