// The ruler units and the tab dialog "Tabulatoren": a list of tab stop
// positions written in the ruler unit with the user's decimal separator.
#pragma once

#include <QDialog>
#include <QLocale>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace zt::ui {

// 0 cm, 1 inch.
struct CZTRulerUnit {
    int twipsPerUnit, smallTick, mediumTick, numberEvery, snap;
    const char* label;
    static const CZTRulerUnit& Of(int unit);
};

// Twips as text in the unit: at most two decimals, trailing zero decimals
// dropped ("1", "2,5").
QString FormatTabPosition(int twips, int unit, const QLocale& locale = QLocale());
// Text in the unit to twips (rounded half away from zero); none for empty or
// unreadable text.
std::optional<int> ParseTabPosition(const QString& text, int unit, const QLocale& locale = QLocale());

// The positions the dialog lists, ascending, at most 32.
class CZTTabList {
public:
    std::vector<int> positions;
    // False when listed already or full.
    bool Add(int twips);
    bool Remove(int twips);
};

class CZTTabDialog : public QDialog {
    Q_OBJECT
public:
    CZTTabDialog(const std::vector<int>& tabs, int unit, QWidget* parent = nullptr);
    // The listed positions (after OK).
    const std::vector<int>& Positions() const { return list_.positions; }

    // The buttons' work, reachable for tests.
    bool Apply();       // "&Übernehmen": false when no value could be added
    void Delete();      // "&Löschen"
    void DeleteAll();   // "&Alle Löschen"
    void accept() override;

    // The combined list and entry field: the field with the list below it.
    QLineEdit* entry = nullptr;
    QListWidget* list = nullptr;
    QPushButton* applyButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* deleteAllButton = nullptr;
    QPushButton* okButton = nullptr;
    // Shows the range message (default: a message box).
    std::function<void(const QString&)> onMessage;

private:
    void Refill();
    void UpdateButtons();
    void BackToEntry();
    // The value of the entry field; shows the range message when outside.
    std::optional<int> EntryValue(bool* outOfRange);

    CZTTabList list_;
    int unit_;
};

} // namespace zt::ui
