// The form classes from scripts and the form dialog on the offscreen
// platform: a script shows a form, the test fills it in and clicks OK or
// Cancel, and the script prints what it got back. With ZT_FORMS_SCREENSHOT
// set, the form with every control kind is saved there as a picture.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "script/forms/scriptforms.h"
#include "script/scripthost.h"
#include "ui/formdialog.h"

namespace {

// Runs action once on the form dialog as soon as it is up.
class CDialogDriver {
public:
    explicit CDialogDriver(std::function<void(QDialog*)> action) : action_(std::move(action)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d || !d->isVisible() || d->objectName() != QLatin1String("scriptForm") || done_) return;
            done_ = true;
            timer_.stop();
            action_(d);
        });
        timer_.start();
    }
    bool Done() const { return done_; }

private:
    std::function<void(QDialog*)> action_;
    QTimer timer_;
    bool done_ = false;
};

template <typename T>
T* Control(QDialog* d, int record) {
    return d->findChild<T*>(QStringLiteral("form%1").arg(record));
}
void Click(QDialog* d, const char* name) {
    auto* b = d->findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(b, nullptr) << name;
    b->click();
}

class FormDialog : public ::testing::Test {
protected:
    FormDialog() : presenter_(nullptr) { host_.AddExtension(zt::forms::ScriptFormsExtension(&presenter_)); }
    std::string Run(const std::string& source) {
        zt::script::ScriptRunOptions o;
        o.collectOutput = true;
        o.timeLimit = std::chrono::seconds(30);
        return host_.Run(source, o).result;
    }
    zt::ui::CZTFormDialogPresenter presenter_;
    zt::script::CScriptHost host_;
};

// An edit field (record 0) with a text to its right (1), a check box below
// (2), a combo box (3) and a list box (4).
const char* kForm =
    "var e = new ZTEditForm('init');\n"
    "var t = new ZTTextForm('Name:');\n"
    "var cb = new ZTButtonForm('Check'); cb.autocheckbox = true; cb.value = 0;\n"
    "var co = new ZTComboForm(0); co.dropdownlist = true; co.comboStrings = ['alpha', 'beta', 'gamma'];\n"
    "var li = new ZTListboxForm(-1); li.listboxStrings = ['x', 'y', 'z']; li.cy = 40;\n"
    "e.formElements = [new ZTFormElement(rightCenter, t), new ZTFormElement(bottomLeft, cb),\n"
    "                  new ZTFormElement(bottomCenter, co), new ZTFormElement(bottomCenter, li)];\n";
const char* kPrint =
    "print([r, e.value, cb.value, co.selection + ':' + co.value, li.selection + ':' + li.value].join('|'));\n";

} // namespace

TEST_F(FormDialog, OkReadsTheControlsBack) {
    CDialogDriver driver([](QDialog* d) {
        auto* edit = Control<QLineEdit>(d, 0);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), QStringLiteral("init"));
        // The text sits to the right of the edit field, centred on it.
        auto* label = Control<QLabel>(d, 1);
        ASSERT_NE(label, nullptr);
        EXPECT_GT(label->geometry().left(), edit->geometry().right());
        EXPECT_NEAR(label->geometry().center().y(), edit->geometry().center().y(), 1);
        edit->setText(QStringLiteral("abc"));
        auto* box = Control<QCheckBox>(d, 2);
        ASSERT_NE(box, nullptr);
        box->click();
        EXPECT_TRUE(box->isChecked());
        box->click();  // toggles on every click
        EXPECT_FALSE(box->isChecked());
        box->click();
        Control<QComboBox>(d, 3)->setCurrentIndex(1);
        Control<QListWidget>(d, 4)->setCurrentRow(2);
        Click(d, "ok");
    });
    EXPECT_EQ(Run(std::string(kForm) + "var r = e.Show('Test');\n" + kPrint), "1|abc|1|1:beta|2:z");
    EXPECT_TRUE(driver.Done());
}

TEST_F(FormDialog, CancelLeavesTheFormsAlone) {
    CDialogDriver driver([](QDialog* d) {
        Control<QLineEdit>(d, 0)->setText(QStringLiteral("typed"));
        Control<QCheckBox>(d, 2)->click();
        Control<QComboBox>(d, 3)->setCurrentIndex(2);
        Click(d, "cancel");
    });
    EXPECT_EQ(Run(std::string(kForm) + "var r = e.Show();\n" + kPrint), "2|init|0|0:undefined|-1:undefined");
}

TEST_F(FormDialog, OnclickDecidesAndReachesTheOpenControls) {
    CDialogDriver driver([](QDialog* d) {
        Control<QLineEdit>(d, 0)->setText(QStringLiteral("low"));
        auto* box = Control<QCheckBox>(d, 2);
        box->click();
        // The handler did not change the state, so it stays.
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(Control<QLabel>(d, 1)->text(), QStringLiteral("clicked 1 low"));
        EXPECT_EQ(Control<QLineEdit>(d, 0)->text(), QStringLiteral("LOW"));
        box->click();  // the second click sets it
        EXPECT_TRUE(box->isChecked());
        EXPECT_EQ(Control<QListWidget>(d, 4)->count(), 2);
        Click(d, "ok");
    });
    const std::string script = std::string(kForm) +
        "var clicks = 0;\n"
        "cb.onclick = function () {\n"
        "  clicks++;\n"
        "  t.value = 'clicked ' + clicks + ' ' + e.GetResult(); t.Refresh();\n"
        "  e.value = e.GetResult().toUpperCase(); e.Refresh();\n"
        "  if (clicks == 2) { cb.value = 1; cb.Refresh(); li.listboxStrings = ['p', 'q']; li.selection = 1; li.Refresh(); }\n"
        "  if (clicks == 2) throw 'second';\n"
        "};\n"
        "var r = e.Show();\n"
        "print(r, ' ', clicks, ' ', cb.value, ' ', li.value, ' ', e.value);\n";
    const std::string out = Run(script);
    EXPECT_NE(out.find("warning: onclick: second"), std::string::npos) << out;
    EXPECT_NE(out.find("\n1 2 1 q LOW"), std::string::npos) << out;
}

TEST_F(FormDialog, TheTimerHandlerRunsWhileTheDialogWaits) {
    bool sawTimer = false;
    CDialogDriver driver([&](QDialog* d) {
        auto* label = Control<QLabel>(d, 1);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000 && label->text() != QLatin1String("tick")) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(5);
        }
        sawTimer = label->text() == QLatin1String("tick");
        Click(d, "ok");
    });
    EXPECT_EQ(Run(std::string(kForm) +
                  "var ontimer = function () { t.value = 'tick'; t.Refresh(); };\n"
                  "settimer(50); e.Show()"),
              "1");
    EXPECT_TRUE(sawTimer);
}

TEST_F(FormDialog, AStoppedScriptClosesItsDialog) {
    // Nobody answers the dialog: the time limit ends the script all the same.
    zt::script::ScriptRunOptions o;
    o.collectOutput = true;
    o.timeLimit = std::chrono::milliseconds(300);
    QElapsedTimer t;
    t.start();
    const zt::script::ScriptRunResult r = host_.Run(std::string(kForm) + "e.Show(); print('not reached')", o);
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.result.find("not reached"), std::string::npos) << r.result;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(FormDialog, ALayoutFailureShowsTheErrorAndCancelCloses) {
    bool sawError = false;
    CDialogDriver driver([&](QDialog* d) {
        auto* label = d->findChild<QLabel*>(QStringLiteral("error"));
        sawError = label && label->text() == QStringLiteral("Error during initialization.");
        EXPECT_FALSE(d->findChild<QPushButton*>(QStringLiteral("ok"))->isVisible());
        Click(d, "cancel");
    });
    // More than 1001 forms: every text gets one more below it.
    const std::string script =
        "var root = new ZTTextForm('0'), f = root;\n"
        "for (var i = 1; i < 1005; i++) { var n = new ZTTextForm('' + i); f.formElements = [new ZTFormElement(42, n)]; f = n; }\n"
        "var e = new ZTEditForm('keep'); root.formElements.push(new ZTFormElement(11, e));\n"
        "print(root.Show(), ' ', e.value);\n";
    EXPECT_EQ(Run(script), "2 keep");
    EXPECT_TRUE(sawError);
    // A form that holds itself ends the same way, without hanging.
    CDialogDriver again([](QDialog* d) { Click(d, "cancel"); });
    EXPECT_EQ(Run("var t = new ZTTextForm('x'); t.formElements = [new ZTFormElement(11, t)]; t.Show()"), "2");
}

TEST_F(FormDialog, EveryControlKindAndItsPicture) {
    QTemporaryDir dir;
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(QColor(40, 110, 200));
    const QString png = dir.filePath(QStringLiteral("pic.png"));
    ASSERT_TRUE(image.save(png));
    const char* shot = std::getenv("ZT_FORMS_SCREENSHOT");
    CDialogDriver driver([&](QDialog* d) {
        EXPECT_NE(Control<QLabel>(d, 1)->pixmap().isNull(), true);
        EXPECT_EQ(Control<QLabel>(d, 2)->text(), QStringLiteral("Error Picture!"));
        EXPECT_NE(Control<QRadioButton>(d, 6), nullptr);
        EXPECT_EQ(Control<QComboBox>(d, 10)->currentText(), QStringLiteral("Zettrix"));
        // A long item is shortened in its middle.
        const QString longItem = Control<QComboBox>(d, 10)->itemText(1);
        EXPECT_TRUE(longItem.contains(QStringLiteral("..."))) << longItem.toStdString();
        if (shot) d->grab().save(QString::fromLocal8Bit(shot));
        Click(d, "ok");
    });
    const std::string script =
        "var head = new ZTTextForm('Every control of a script form');\n"
        "var pic = new ZTPictureForm('" + png.toStdString() + "');\n"
        "var bad = new ZTPictureForm('/nonexistent.png');\n"
        "var name = new ZTEditForm('Name'); var lbl = new ZTTextForm('Name:');\n"
        "var pw = new ZTEditForm('secret'); pw.password = true;\n"
        "var r1 = new ZTButtonForm('Radio one'); r1.autoradio = true; r1.group = true; r1.value = 1;\n"
        "var r2 = new ZTButtonForm('Radio two'); r2.autoradio = true;\n"
        "var ch = new ZTButtonForm('Three states'); ch.auto3state = true; ch.value = 2;\n"
        "var co = new ZTComboForm(0); co.dropdown = true; co.cx = 110;\n"
        "co.comboStrings = ['Zettrix', 'A very long entry that does not fit into the box at all'];\n"
        "var li = new ZTListboxForm(1); li.listboxStrings = ['One', 'Two', 'Three']; li.cy = 36;\n"
        "var notes = new ZTEditForm('Line one\\nLine two'); notes.multiline = true; notes.cy = 30;\n"
        "var push = new ZTButtonForm('Push');\n"
        "ch.cx = 70; pic.formElements = [new ZTFormElement(rightCenter, bad)];\n"
        "r1.formElements = [new ZTFormElement(rightCenter, r2)]; ch.formElements = [new ZTFormElement(rightCenter, push)];\n"
        "co.formElements = [new ZTFormElement(rightTop, li)];\n"
        "head.formElements = [new ZTFormElement(bottomCenter, pic), new ZTFormElement(bottomCenter, name),\n"
        "  new ZTFormElement(bottomCenter, pw), new ZTFormElement(bottomCenter, r1), new ZTFormElement(bottomCenter, ch),\n"
        "  new ZTFormElement(bottomCenter, co), new ZTFormElement(bottomCenter, notes)];\n"
        "name.formElements = [new ZTFormElement(leftCenter, lbl)];\n"
        "print(head.Show('Script form'), ' ', r1.value, r2.value, ch.value, ' ', li.value, ' ', pw.value);\n";
    // Records in pre-order: head 0, pic 1, bad 2 (next to pic), name 3, lbl 4
    // (next to name), pw 5, r1 6, r2 7, ch 8, push 9, co 10, li 11, notes 12.
    EXPECT_EQ(Run(script), "1 102 Two secret");
}

TEST_F(FormDialog, ClassesWithoutTheDialog) {
    struct Case {
        const char* script;
        const char* expected;
    };
    const Case cases[] = {
        {"try { ZTTextForm() } catch (e) { e }", "ZTTextForm: Must have a string argument."},
        {"try { new ZTPictureForm() } catch (e) { e }", "ZTPictureForm: Must have a string argument."},
        {"try { new ZTComboForm('x') } catch (e) { e }", "ZTComboForm: Cannot get integer value from args"},
        {"try { new ZTListboxForm() } catch (e) { e }", "ZTListboxForm: Must have an integer argument."},
        {"try { new ZTFormElement(1) } catch (e) { e }",
         "ZTFormElement: Must have int nOrientation and ZTXXXForm class arguments."},
        {"try { new ZTFormElement('x', {}) } catch (e) { e }", "ZTFormElement: Cannot get int value from args"},
        {"try { new ZTFormElement(11, 5) } catch (e) { e }", "ZTFormElement: Cannot get Form value from args"},
        {"try { new ZTFormElement(11, {}, 'g') } catch (e) { e }", "ZTFormElement: Cannot get int value from args"},
        {"new ZTFormElement(99, {}).orientation + ',' + new ZTFormElement(-1, {}).orientation", "13,13"},
        {"Object.keys(new ZTFormElement(11, {}, 3)).join()", "orientation,form,gap"},
        // Callable without "new"; defined properties are enumerable.
        {"ZTTextForm('a').value", "a"},
        {"Object.keys(new ZTComboForm(1)).join()", "Show,GetResult,GetSelection,Refresh,selection,formElements"},
        {"Object.keys(new ZTButtonForm()).join()", "Show,GetResult,Refresh,formElements"},
        {"'value' in new ZTEditForm() ? 'yes' : 'no'", "no"},
        // Outside a dialog the properties answer.
        {"var e = new ZTEditForm('v'); e.GetResult()", "v"},
        {"var c = new ZTComboForm(2); c.GetSelection()", "2"},
        {"var e = new ZTEditForm('v'); e.Refresh(); 'on'", "warning: ZTEditFrom.Refresh: Control not valid.\non"},
        {"var t = new ZTTextForm('v'); t.Refresh(); 'on'", "warning: ZTTextForm.Refresh: Control not valid.\non"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        std::string out = Run(c.script);
        while (!out.empty() && out.back() == '\n') out.pop_back();
        // Reports carry the line they come from.
        if (out.rfind("1: ", 0) == 0) out = out.substr(3);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(FormsHeadless, ShowWithoutAWindowWarnsAndCancels) {
    zt::script::CScriptHost host;
    host.AddExtension(zt::forms::ScriptFormsExtension(nullptr));
    zt::script::ScriptRunOptions o;
    o.collectOutput = true;
    const std::string out = host.Run("var e = new ZTEditForm('x'); print(e.Show()); e.value", o).result;
    EXPECT_NE(out.find("warning: Show: Forms need the program's window"), std::string::npos) << out;
    EXPECT_NE(out.find(".\n2x"), std::string::npos) << out;
}

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
