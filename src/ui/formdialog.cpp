#include "ui/formdialog.h"

#include "script/forms/formlayout.h"
#include "script/forms/formstyle.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

namespace zt::ui {

using namespace zt::forms;

namespace {

// A check box whose state only the program changes: a click reports and
// the dialog decides (toggle, next of three states, or the script's handler).
class CProgramCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {}
};

// The platform's three states: 0 off, 1 on, 2 undetermined.
Qt::CheckState ToQt(int state) {
    switch (state) {
    case 1: return Qt::Checked;
    case 2: return Qt::PartiallyChecked;
    default: return Qt::Unchecked;
    }
}
int FromQt(Qt::CheckState s) {
    switch (s) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    default: return 0;
    }
}

QString ToCrLf(QString s) {
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    s.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return s;
}
QString FromCrLf(QString s) {
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QPixmap LoadPicture(const QString& path, const QColor& face) {
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull()) return {};
    // The top-left pixel is the transparent colour: it shows the dialog face.
    image = image.convertToFormat(QImage::Format_ARGB32);
    image.setPixelColor(0, 0, face);
    return QPixmap::fromImage(image);
}

// One control of the dialog and what the script reaches through it.
class CControl : public CZTFormControl {
public:
    CControl(const CZTFormNode& node, QWidget* widget, const QFontMetrics& fm)
        : node_(node), style_(StyleOf(node)), widget_(widget), fm_(fm) {}

    const CZTFormNode& Node() const { return node_; }
    QWidget* Widget() const { return widget_; }

    QVariant Result() const override {
        switch (node_.kind) {
        case CZTFormKind::Button:
            if (auto* box = qobject_cast<QCheckBox*>(widget_)) return FromQt(box->checkState());
            if (auto* radio = qobject_cast<QRadioButton*>(widget_)) return radio->isChecked() ? 1 : 0;
            return 0;
        case CZTFormKind::Edit:
            if (auto* multi = qobject_cast<QPlainTextEdit*>(widget_)) return ToCrLf(multi->toPlainText());
            return static_cast<QLineEdit*>(widget_)->text();
        case CZTFormKind::Text:
            if (auto* label = qobject_cast<QLabel*>(widget_)) return label->text();
            return QString();
        case CZTFormKind::Combo: return static_cast<QComboBox*>(widget_)->currentText();
        case CZTFormKind::Listbox: {
            auto* list = static_cast<QListWidget*>(widget_);
            QListWidgetItem* item = list->currentRow() >= 0 ? list->item(list->currentRow()) : nullptr;
            return item ? item->text() : QString();
        }
        default: return QString();
        }
    }
    int Selection() const override {
        if (auto* combo = qobject_cast<QComboBox*>(widget_)) return combo->currentIndex();
        if (auto* list = qobject_cast<QListWidget*>(widget_)) return list->currentRow();
        return -1;
    }
    void SetCheck(int state) override {
        if (auto* box = qobject_cast<QCheckBox*>(widget_)) box->setCheckState(ToQt(state));
        else if (auto* radio = qobject_cast<QRadioButton*>(widget_)) radio->setChecked(state != 0);
    }
    void SetText(const QString& text) override {
        if (auto* label = qobject_cast<QLabel*>(widget_)) label->setText(text);
        else if (auto* multi = qobject_cast<QPlainTextEdit*>(widget_)) multi->setPlainText(FromCrLf(text));
        else if (auto* line = qobject_cast<QLineEdit*>(widget_)) line->setText(FromCrLf(EditFieldText(text)));
    }
    void SetPicture(const QString& path) override {
        auto* label = qobject_cast<QLabel*>(widget_);
        if (!label) return;
        const QPixmap pixmap = LoadPicture(path, label->palette().color(QPalette::Window));
        if (pixmap.isNull()) {
            label->setPixmap({});
            label->setText(QStringLiteral("Error Picture!"));
        } else {
            label->setText({});
            label->setPixmap(pixmap);
        }
    }
    void SetItems(const QStringList& items, int selection) override {
        QStringList texts = items;
        if (style_.sort) texts.sort(Qt::CaseInsensitive);
        const int width = widget_->width();
        auto extent = [this](const QString& s) { return fm_.horizontalAdvance(s); };
        for (QString& t : texts) t = ShortenItem(t, width, extent);
        if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
            combo->clear();
            combo->addItems(texts);
            combo->setCurrentIndex(selection >= 0 && selection < texts.size() ? selection : -1);
        } else if (auto* list = qobject_cast<QListWidget*>(widget_)) {
            list->clear();
            list->addItems(texts);
            if (selection >= 0 && selection < texts.size()) list->setCurrentRow(selection);
        }
    }

    // What OK writes back into the form.
    CZTFormReadBack ReadBack() const {
        CZTFormReadBack r;
        switch (node_.kind) {
        case CZTFormKind::Edit: r.value = Result().toString(); break;
        case CZTFormKind::Button: r.check = Result().toInt(); break;
        case CZTFormKind::Combo: case CZTFormKind::Listbox:
            r.value = Result().toString();
            r.selection = Selection();
            break;
        default: break;
        }
        return r;
    }

private:
    const CZTFormNode& node_;
    CZTControlStyle style_;
    QWidget* widget_;
    QFontMetrics fm_;
};

Qt::Alignment AlignOf(CZTAlign a) {
    switch (a) {
    case CZTAlign::Center: return Qt::AlignHCenter;
    case CZTAlign::Right: return Qt::AlignRight;
    default: return Qt::AlignLeft;
    }
}

class CFormDialog : public QDialog {
public:
    CFormDialog(QWidget* parent, const CZTFormNode& root, const QString& title, CZTFormCallbacks& callbacks)
        : QDialog(parent), callbacks_(callbacks) {
        setObjectName(QStringLiteral("scriptForm"));
        if (!title.isEmpty()) setWindowTitle(title);
        setFont(QApplication::font());
        const QFontMetrics fm(font());
        CZTFormMetrics metrics;
        const int avg = (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
        metrics.units = {std::max(1, avg), std::max(1, fm.height())};
        metrics.measureText = [fm](const QString& t) {
            return MeasureTextLines(t, [&fm](const QString& l) { return fm.horizontalAdvance(l); }, fm.height(),
                                    fm.leading());
        };
        metrics.pictureSize = [](const QString& path) -> std::optional<QSize> {
            QImageReader reader(path);
            const QSize s = reader.size();
            if (!reader.canRead() || !s.isValid()) return std::nullopt;
            return s;
        };
        units_ = metrics.units;
        layout_ = LayoutForm(root, metrics);
        const CZTFormDialogGeometry g = DialogGeometry(layout_, units_);
        setFixedSize(g.clientWidth, g.clientHeight);

        auto* ok = new QPushButton(QStringLiteral("OK"), this);
        auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
        if (layout_.failed) {
            auto* label = new QLabel(QStringLiteral("Error during initialization."), this);
            label->setObjectName(QStringLiteral("error"));
            label->setAlignment(Qt::AlignCenter);
            label->setGeometry(0, 0, g.clientWidth, g.cancel.top);
            ok->hide();
        } else {
            for (size_t i = 0; i < layout_.records.size(); ++i) {
                const CZTFormRect r = layout_.ControlRect(i, g.originX, g.originY);
                Create(*layout_.records[i].node, int(i), QRect(r.left, r.top, r.Width(), r.Height()), fm);
            }
        }
        // Made after the controls, so that they come first in keyboard order.
        ok->setObjectName(QStringLiteral("ok"));
        cancel->setObjectName(QStringLiteral("cancel"));
        ok->setGeometry(g.ok.left, g.ok.top, g.ok.Width(), g.ok.Height());
        cancel->setGeometry(g.cancel.left, g.cancel.top, g.cancel.Width(), g.cancel.Height());
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, [this] {
            if (layout_.failed) return;
            for (const auto& c : controls_) callbacks_.ReadBack(c->Node(), c->ReadBack());
            accept();
        });
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        for (const auto& c : controls_) callbacks_.Bind(c->Node(), c.get());
        poll_.setInterval(20);
        connect(&poll_, &QTimer::timeout, this, [this] {
            if (!callbacks_.Poll()) reject();
        });
        poll_.start();
    }
    ~CFormDialog() override { Unbind(); }

    void Unbind() {
        poll_.stop();
        for (const auto& c : controls_) callbacks_.Bind(c->Node(), nullptr);
        controls_.clear();
    }

private:
    void Create(const CZTFormNode& node, int index, const QRect& rect, const QFontMetrics& fm) {
        const CZTControlStyle s = StyleOf(node);
        QWidget* w = nullptr;
        switch (node.kind) {
        case CZTFormKind::Text: {
            auto* label = new QLabel(node.value.value_or(QString()), this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(AlignOf(s.align) | (s.vcenter ? Qt::AlignVCenter : Qt::AlignTop));
            label->setWordWrap(s.wordWrap);
            w = label;
            break;
        }
        case CZTFormKind::Picture: {
            auto* label = new QLabel(this);
            label->setAlignment(Qt::AlignCenter);
            w = label;
            break;
        }
        case CZTFormKind::Edit: {
            if (s.multiline) {
                auto* edit = new QPlainTextEdit(this);
                edit->setPlainText(FromCrLf(EditFieldText(node.value.value_or(QString()))));
                edit->setReadOnly(s.readOnly);
                edit->setVerticalScrollBarPolicy(s.vscroll ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
                edit->setHorizontalScrollBarPolicy(s.hscroll ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
                edit->setLineWrapMode(s.hscroll || s.autoHScroll ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
                edit->setTabChangesFocus(true);
                w = edit;
            } else {
                auto* edit = new QLineEdit(FromCrLf(EditFieldText(node.value.value_or(QString()))), this);
                edit->setReadOnly(s.readOnly);
                if (s.password) edit->setEchoMode(QLineEdit::Password);
                edit->setAlignment(AlignOf(s.align));
                if (s.letterCase != CZTLetterCase::AsTyped) {
                    const bool upper = s.letterCase == CZTLetterCase::Upper;
                    connect(edit, &QLineEdit::textEdited, edit, [edit, upper](const QString& t) {
                        const int pos = edit->cursorPosition();
                        edit->setText(upper ? t.toUpper() : t.toLower());
                        edit->setCursorPosition(pos);
                    });
                }
                w = edit;
            }
            break;
        }
        case CZTFormKind::Button: {
            const QString caption = node.text.value_or(QString());
            QAbstractButton* b = nullptr;
            switch (s.button) {
            case CZTButtonKind::CheckBox: case CZTButtonKind::ThreeState: {
                auto* box = new CProgramCheckBox(caption, this);
                box->setTristate(s.button == CZTButtonKind::ThreeState);
                box->setCheckState(ToQt(node.check));
                b = box;
                break;
            }
            case CZTButtonKind::AutoRadio: {
                auto* radio = new QRadioButton(caption, this);
                radio->setAutoExclusive(false);
                if (!group_ || s.group) {
                    group_ = new QButtonGroup(this);
                    group_->setExclusive(true);
                }
                group_->addButton(radio);
                radio->setChecked(node.check != 0);
                b = radio;
                break;
            }
            default: b = new QPushButton(caption, this); break;
            }
            if (s.leftText) b->setLayoutDirection(Qt::RightToLeft);
            const CZTButtonKind kind = s.button;
            connect(b, &QAbstractButton::clicked, this, [this, b, &node, kind] {
                if (node.hasOnclick) {
                    setEnabled(false);
                    callbacks_.Click(node);
                    setEnabled(true);
                    return;
                }
                auto* box = qobject_cast<QCheckBox*>(b);
                if (!box) return;
                if (kind == CZTButtonKind::ThreeState)
                    box->setCheckState(ToQt((FromQt(box->checkState()) + 1) % 3));
                else
                    box->setCheckState(box->checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
            });
            w = b;
            break;
        }
        case CZTFormKind::Combo: {
            auto* combo = new QComboBox(this);
            combo->setEditable(s.combo != CZTComboKind::DropDownList);
            combo->setInsertPolicy(QComboBox::NoInsert);
            w = combo;
            break;
        }
        case CZTFormKind::Listbox: {
            auto* list = new QListWidget(this);
            list->setVerticalScrollBarPolicy(s.vscroll ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
            w = list;
            break;
        }
        case CZTFormKind::Unknown: return;
        }
        w->setObjectName(QStringLiteral("form%1").arg(index));
        w->setGeometry(rect);
        const bool tabStop = node.kind != CZTFormKind::Text && node.kind != CZTFormKind::Picture && s.tabStop;
        if (node.kind != CZTFormKind::Text && node.kind != CZTFormKind::Picture)
            w->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        auto control = std::make_unique<CControl>(node, w, fm);
        if (node.kind == CZTFormKind::Picture) control->SetPicture(node.value.value_or(QString()));
        if (node.kind == CZTFormKind::Combo || node.kind == CZTFormKind::Listbox)
            control->SetItems(node.items, node.selection);
        controls_.push_back(std::move(control));
    }

    CZTFormCallbacks& callbacks_;
    CZTDialogUnits units_;
    CZTFormLayout layout_;
    std::vector<std::unique_ptr<CControl>> controls_;
    QButtonGroup* group_ = nullptr;
    QTimer poll_;
};

} // namespace

int CZTFormDialogPresenter::Show(const CZTFormNode& root, const QString& title, CZTFormCallbacks& callbacks) {
    CFormDialog dialog(parent_, root, title, callbacks);
    const int result = dialog.exec() == QDialog::Accepted ? 1 : 2;
    dialog.Unbind();
    return result;
}

} // namespace zt::ui
