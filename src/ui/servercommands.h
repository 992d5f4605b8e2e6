// The server session of the main window: the command "&Verbinden..." (the
// connect dialog, the document choice and its administration buttons),
// reloading the open server document, saving it back, and disconnecting
// (releasing the write lock) when it is closed or replaced.
//
// A server document is shown as a local document that holds the page tree
// at first; a page's body and files are fetched through the server link when
// the page is first read (the session is the content source of the local
// core), and everything still missing before a command that walks all pages.
// Saving merges the local document back into the server document, which
// sends only the changed pages and files. A page that could not be fetched
// reads as not there and refuses changes (the window shows it read-only), so
// that no empty page is ever written over the server's text.
#pragma once

#include "remote/link.h"

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>

namespace zt::remote {
class CRemoteDocument;
}

namespace zt::ui {

class CMainFrame;

class CZTServerSession : public QObject {
    Q_OBJECT
public:
    explicit CZTServerSession(CMainFrame& frame);
    ~CZTServerSession() override;

    bool Handles(int id) const;
    bool IsEnabled(int id) const;
    void Execute(int id);

    // A server document is shown.
    bool Active() const;
    // Before a command that reads every page (search, exports, printing):
    // fetches what is not here yet; false when the command must not run.
    bool PrepareCommand(int id);
    // Saves the shown document back to the server.
    bool Save();
    // The server document goes (the window closes, another document is
    // shown): the keep-alive releases the lock behind the "Trennen" notice.
    void Disconnect();
    // The shown copy was saved under a file name: it is the local file now.
    void Detach();
    // "Verbunden" while a server document is shown and the last transfer
    // worked, else "Getrennt   ".
    QString StatusText() const;

    // The maker's server, offered in the connect dialog.
    static QString DefaultAddress();

    // For tests.
    remote::CRemoteDocument* Document() const { return doc_.get(); }
    remote::CServerLink* Link() const { return link_.get(); }
    // Whether transfers run behind the progress dialog on a worker thread
    // (the default) or on the calling thread.
    bool useProgressDialog = true;

private:
    void Connect();
    void Reload();
    // Opens the chosen document; false when the command ends without one.
    bool OpenDocument(const srv::ContentDoc& chosen, bool readWrite);
    // Shows the server document in the window as a fresh local copy.
    bool ShowCopy();
    void LockLost();
    std::unique_ptr<remote::CServerLink> NewLink(const remote::Connection& c);

    CMainFrame& frame_;
    class CThreadPrompter;
    class CProgressRunner;
    class CTrust;
    class CSource;
    std::unique_ptr<CSource> source_;
    std::unique_ptr<CThreadPrompter> prompter_;
    std::unique_ptr<CProgressRunner> runner_;
    std::unique_ptr<CTrust> trust_;
    remote::Connection conn_;
    std::unique_ptr<remote::CServerLink> link_;
    std::unique_ptr<remote::CRemoteDocument> doc_;
    std::map<int32_t, int> positions_;
    bool connected_ = false;
};

} // namespace zt::ui
