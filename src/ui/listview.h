// The files list view: the attached files of the current page with their
// commands (import, export, open with a program and read back, rename,
// delete, new file, properties, insert into the page text, background
// colour, paste and drop).
#pragma once

#include <QByteArray>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/textinserttarget.h"
#include "core/attachedfiles.h"

class CZTDocument;
class CZTPageNode;
class QFileSystemWatcher;
class QMimeData;

namespace zt {
class Prompter;
}

namespace zt::ui {


class CZTListView : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { NameColumn, SizeColumn, ModifiedColumn, CreatedColumn };

    CZTListView(CZTDocument& doc, Prompter& prompter, QWidget* parent = nullptr);
    ~CZTListView() override;

    // Lists the files of `page` (null: none).
    void ShowPage(CZTPageNode* page);
    CZTPageNode* Page() const;
    // Lists the current page's files again, keeping the selection.
    void Refresh();
    // Selects the file of that name (UTF-8) alone.
    void SelectFile(const QString& name);
    // The selected files' names (Windows-1252), in list order.
    std::vector<std::string> SelectedFiles() const;
    // The listed names (UTF-8) in list order.
    QStringList Names() const;

    // ---- commands (the ID_FILES_* ids, and ID_EDIT_PASTE while the list has the focus)
    bool Handles(int id) const;
    bool IsEnabled(int id) const;
    void Execute(int id);

    // ---- operations
    int ImportPaths(const QStringList& paths);
    void ExportSelected();
    // Opens a file of the page with its program; `wait`: wait for the
    // program, then offer to read a changed file back.
    bool OpenFile(const std::string& name, bool wait);
    // Renames in place; false (with the user told) when refused.
    bool RenameFile(const std::string& oldName, const QString& newName);
    void DeleteSelected();
    void NewFile();
    void ShowProperties();
    void InsertSelected(bool asPicture);
    void ChooseBackground();
    void PasteFiles();
    // Text, data or a file list dropped or pasted onto the list.
    bool TakeMimeData(const QMimeData* data);
    // The document is closed or replaced: temporary copies are deleted,
    // watching ends.
    void DocumentClosing();

    // ---- hooks (tests and the main window)
    std::function<bool()> isEditable;
    void SetInsertTarget(ITextInsertTarget* target) { insertTarget_ = target; }
    ITextInsertTarget* InsertTarget() const { return insertTarget_; }
    // File dialogs; the defaults show Qt's dialogs.
    std::function<QStringList()> chooseImportFiles;
    std::function<QString(const QString& suggestion)> chooseSavePath;
    std::function<QString()> chooseFolder;
    std::function<QColor(QColor)> chooseColor;
    // Answers name conflicts (null: the dialog "Datei existiert bereits").
    ConflictAsker* conflictAsker = nullptr;
    // Starts a drag of the selected files (set by the drag and drop
    // controller); the view calls it when a press on a selected entry moves.
    std::function<void()> startFileDrag;
    // The temporary copies and those being watched for changes.
    const CZTTempFiles& TempFiles() const { return temps_; }
    std::vector<std::string> WatchedFiles() const;

signals:
    // Files of a page were added, changed, renamed or removed.
    void filesChanged();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions supported) override;

private:
    struct Watched {
        std::string path;
        int32_t ident = 0;
        std::string name;
        qint64 mtime = 0;
        qint64 size = 0;
    };
    bool Editable() const;
    bool ChangesAllowed() const { return Page() && Editable(); }
    void Changed();
    void ApplyBackground();
    bool ClipboardHasFiles() const;
    void OnDoubleClick(QTreeWidgetItem* item);
    void OnWatchedChange();
    void Watch(const Watched& w);
    std::string ItemName(const QTreeWidgetItem* item) const;
    QTreeWidgetItem* FindItem(const std::string& name) const;

    CZTDocument& doc_;
    Prompter& prompter_;
    int32_t ident_ = 0;
    ITextInsertTarget* insertTarget_ = nullptr;
    CZTTempFiles temps_;
    QFileSystemWatcher* watcher_ = nullptr;
    std::vector<Watched> watched_;
    bool asking_ = false;
    bool waiting_ = false;
    int generation_ = 0; // counts the documents shown
    friend class CZTFileNameDelegate;
};

} // namespace zt::ui
