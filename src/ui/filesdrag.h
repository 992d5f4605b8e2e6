// Attached files dragged out of the files list: the selected files are
// offered as a list of local files (text/uri-list). Each file is written as a
// temporary copy, the same way a file opened with its program is, when a drop
// target first asks for the list; the copies are removed when the document
// closes. A drag never lands on the list it started from. This program's
// tree reads the page and the names from the data and stores, moves or
// imports the files itself.
#pragma once

#include <QMimeData>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/attachedfiles.h"

class CZTDocument;
class QDrag;

namespace zt {
class Prompter;
}

namespace zt::ui {

class CZTListView;
class CZTFilesDrag;

// The data of one drag out of the files list.
class CZTFilesMimeData : public QMimeData {
    Q_OBJECT
public:
    CZTFilesMimeData(CZTFilesDrag& owner, int32_t ident, std::vector<std::string> names);

    QStringList formats() const override;
    bool hasFormat(const QString& mime) const override;

    const CZTFilesDrag* Owner() const { return owner_; }
    int32_t Page() const { return ident_; }
    // The dragged names (Windows-1252), in list order.
    const std::vector<std::string>& Names() const { return names_; }
    // The copies were read by this program and removed: a later request
    // writes them again.
    void CopiesRemoved() const { uriList_.clear(); }

protected:
    QVariant retrieveData(const QString& mime, QMetaType type) const override;

private:
    QPointer<CZTFilesDrag> owner_;
    int32_t ident_;
    std::vector<std::string> names_;
    mutable QByteArray uriList_; // written once per drag
};

class CZTFilesDrag : public QObject {
    Q_OBJECT
public:
    CZTFilesDrag(CZTListView& list, CZTDocument& doc, Prompter& prompter);
    ~CZTFilesDrag() override;

    // The data a drag of the selected files offers (null: none selected).
    CZTFilesMimeData* CreateDragData();
    // Starts a drag of the selected files; the effect the target chose.
    Qt::DropAction BeginDrag();
    // The copies written so far, and their removal (the document closes).
    const CZTTempFiles& TempFiles() const { return temps_; }
    void Clear();
    // Removes the copies a drop in this program has read.
    void RemoveCopies(const QStringList& paths);

    // Test hook: runs the drag instead of the platform.
    std::function<Qt::DropAction(QDrag& drag, Qt::DropActions allowed)> runDrag;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class CZTFilesMimeData;
    // The uri-list of fresh copies of the files; empty when none could be written.
    QByteArray WriteCopies(int32_t ident, const std::vector<std::string>& names);
    bool IsOwn(const QMimeData* data) const;

    CZTListView& list_;
    CZTDocument& doc_;
    Prompter& prompter_;
    CZTTempFiles temps_;
};

} // namespace zt::ui
