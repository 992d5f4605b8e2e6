// The window "JavaScript Console": choose a page of the document whose text
// is a script, start it, stop it, and read what it prints. Scripts run on
// the main thread; while one runs the window keeps the events flowing, so
// that "Stop" works, and refuses to close.
#pragma once

#include <QWidget>

#include <memory>
#include <string>

class QComboBox;
class QMenu;
class QPushButton;
class QTextEdit;

namespace zt::script {
class CScriptHost;
}

namespace zt::ui {

class CMainFrame;
class CZTWindowScriptEnvironment;

class CZTScriptConsole : public QWidget {
    Q_OBJECT
public:
    explicit CZTScriptConsole(CMainFrame& frame, QWidget* parent = nullptr);
    ~CZTScriptConsole() override;

    // Fills the page choice from the document and selects the current page.
    void Reload();
    // Chooses the script page by its link path (UTF-8); false when unknown.
    bool ChooseScript(const QString& linkPath);
    // Runs the chosen page's text; false when nothing ran or it failed.
    bool Start();
    // Runs a script (UTF-8 source) over the window, `name` naming it in the
    // error reports. While it runs the main window takes no input and marks
    // no links; false when nothing ran (one already runs) or it failed.
    bool RunSource(const std::string& source, const std::string& name);
    // The script text (UTF-8) a script address names: "zt:/", "ztf:/" or
    // "file:/". False with the reason (UTF-8) when it cannot be read.
    bool FetchAddress(const QString& address, std::string& source, std::string& error);
    void Stop();
    bool IsRunning() const;

    QComboBox* ArchiveBox() const { return archive_; }
    QComboBox* ScriptBox() const { return script_; }
    QPushButton* StartButton() const { return start_; }
    QPushButton* StopButton() const { return stop_; }
    QTextEdit* Output() const { return output_; }
    zt::script::CScriptHost& Host() const { return *host_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Append(const QString& text);
    void SetRunning(bool running);
    void ShowInfo();

    CMainFrame& frame_;
    std::unique_ptr<CZTWindowScriptEnvironment> env_;
    std::unique_ptr<zt::script::CScriptHost> host_;
    QComboBox* archive_ = nullptr;
    QComboBox* script_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* info_ = nullptr;
    QTextEdit* output_ = nullptr;
};

// Opens the window's console, or brings it to the front.
CZTScriptConsole* ShowScriptConsole(CMainFrame& frame);
// The menu entry "JavaScript Konsole" that opens it.
void AddScriptConsoleCommand(CMainFrame& frame, QMenu* menu);

} // namespace zt::ui
