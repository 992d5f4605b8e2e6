// A subtree dragged from one running program to another on a real X server:
// two zettrix processes on a private Xvfb display, the pointer and keys
// driven through the XTEST extension. The subtree is pressed in the first
// window's tree and dropped on the second window's tree; the second program
// asks, is answered with Return, is closed and saves; the saved document
// then holds the subtree with its texts and files.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/attachedfiles.h"
#include "core/document.h"
#include "core/treeentrystyle.h"
#include "support/pageshape.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#ifdef ZT_HAVE_XCB
#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#endif

namespace {

using zt::test::ScriptedPrompter;
using zt::test::Shape;
using zt::test::TempDir;

bool WaitFor(const std::function<bool()>& ready, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (ready()) return true;
        QTest::qWait(50);
    }
    return ready();
}

#ifdef ZT_HAVE_XCB

// A private X server, ended with the test.
class CXvfb {
public:
    ~CXvfb() {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.terminate();
            if (!proc_.waitForFinished(5000)) proc_.kill();
            proc_.waitForFinished(2000);
        }
    }
    // Starts the server on a free display it picks itself; the display
    // name (":N"), empty on failure.
    QString Start(const QString& program) {
        proc_.setProgram(program);
        proc_.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                            QStringLiteral("0"), QStringLiteral("1400x900x24"), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp"), QStringLiteral("-noreset")});
        proc_.setProcessChannelMode(QProcess::SeparateChannels);
        proc_.start();
        if (!proc_.waitForStarted(5000)) return {};
        QByteArray out;
        WaitFor(
            [&] {
                out += proc_.readAllStandardOutput();
                return out.contains('\n') || proc_.state() == QProcess::NotRunning;
            },
            10000);
        const QString number = QString::fromLatin1(out).trimmed();
        return number.isEmpty() ? QString() : QStringLiteral(":") + number;
    }
    QString Errors() { return QString::fromLocal8Bit(proc_.readAllStandardError()); }

private:
    QProcess proc_;
};

// The pointer, the keyboard and the top-level windows of the display.
class CXDriver {
public:
    struct Window {
        xcb_window_t id = 0;
        int x = 0, y = 0, width = 0, height = 0;
        QString title;
    };

    bool Connect(const QString& display) {
        int screen = 0;
        c_ = xcb_connect(display.toLatin1().constData(), &screen);
        if (!c_ || xcb_connection_has_error(c_)) return false;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screen; ++i) xcb_screen_next(&it);
        root_ = it.data->root;
        const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c_, &xtestExtension_);
        if (!xtest || !xtest->present) return false;
        return true;
    }
    ~CXDriver() {
        if (c_) xcb_disconnect(c_);
    }

    // The viewable top-level windows of a process.
    std::vector<Window> WindowsOf(qint64 pid) {
        std::vector<Window> out;
        const xcb_atom_t pidAtom = Atom("_NET_WM_PID"), nameAtom = Atom("_NET_WM_NAME"),
                         utf8 = Atom("UTF8_STRING");
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr);
        if (!tree) return out;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            const xcb_window_t w = children[i];
            xcb_get_window_attributes_reply_t* attr =
                xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr);
            const bool viewable = attr && attr->map_state == XCB_MAP_STATE_VIEWABLE;
            free(attr);
            if (!viewable) continue;
            xcb_get_property_reply_t* p =
                xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
            const bool ours = p && xcb_get_property_value_length(p) == 4 &&
                              *static_cast<uint32_t*>(xcb_get_property_value(p)) == uint32_t(pid);
            free(p);
            if (!ours) continue;
            Window win;
            win.id = w;
            xcb_get_property_reply_t* name =
                xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, nameAtom, utf8, 0, 256), nullptr);
            if (name)
                win.title = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(name)),
                                              xcb_get_property_value_length(name));
            free(name);
            xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, w), nullptr);
            xcb_translate_coordinates_reply_t* at =
                xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, w, root_, 0, 0), nullptr);
            if (g && at) {
                win.x = at->dst_x;
                win.y = at->dst_y;
                win.width = g->width;
                win.height = g->height;
                out.push_back(win);
            }
            free(g);
            free(at);
        }
        free(tree);
        return out;
    }

    void Move(int x, int y) { Fake(XCB_MOTION_NOTIFY, 0, x, y); }
    void Button(bool press) { Fake(press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, 1, 0, 0); }
    // Presses and releases the key that gives `keysym` (0xff0d: Return).
    bool Key(uint32_t keysym) {
        const xcb_setup_t* setup = xcb_get_setup(c_);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
            c_, xcb_get_keyboard_mapping(c_, setup->min_keycode, uint8_t(count)), nullptr);
        if (!map) return false;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
        int code = 0;
        for (int i = 0; i < count * map->keysyms_per_keycode && !code; ++i)
            if (syms[i] == keysym) code = setup->min_keycode + i / map->keysyms_per_keycode;
        free(map);
        if (!code) return false;
        Fake(XCB_KEY_PRESS, uint8_t(code), 0, 0);
        Fake(XCB_KEY_RELEASE, uint8_t(code), 0, 0);
        return true;
    }
    // Asks the window to close, as a window manager's close button does.
    void Close(xcb_window_t w) {
        xcb_client_message_event_t e = {};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = w;
        e.type = Atom("WM_PROTOCOLS");
        e.data.data32[0] = Atom("WM_DELETE_WINDOW");
        e.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c_, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&e));
        xcb_flush(c_);
    }

private:
    xcb_atom_t Atom(const char* name) {
        auto it = atoms_.find(name);
        if (it != atoms_.end()) return it->second;
        xcb_intern_atom_reply_t* r =
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : XCB_ATOM_NONE;
        free(r);
        atoms_[name] = a;
        return a;
    }
    // XTEST FakeInput: pointer motion to root coordinates, buttons and keys.
    void Fake(uint8_t type, uint8_t detail, int x, int y) {
        struct {
            uint8_t major, minor;
            uint16_t length;
            uint8_t type, detail, pad0[2];
            uint32_t time;
            xcb_window_t root;
            uint8_t pad1[8];
            int16_t rootX, rootY;
            uint8_t pad2[7];
            uint8_t device;
        } req = {};
        static_assert(sizeof(req) == 36);
        req.type = type;
        req.detail = detail;
        req.root = type == XCB_MOTION_NOTIFY ? root_ : XCB_NONE;
        req.rootX = int16_t(x);
        req.rootY = int16_t(y);
        const xcb_protocol_request_t proto = {1, &xtestExtension_, 2 /* FakeInput */, 1};
        struct iovec parts[4];
        parts[2].iov_base = &req;
        parts[2].iov_len = sizeof(req);
        parts[3].iov_base = nullptr;
        parts[3].iov_len = 0;
        xcb_send_request(c_, 0, parts + 2, &proto);
        xcb_flush(c_);
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_extension_t xtestExtension_ = {"XTEST", 0};
    std::map<std::string, xcb_atom_t> atoms_;
};

// One running program with a home of its own and its window placed.
struct CInstance {
    CInstance(const TempDir& dir, const std::string& name, const QString& display, int left) {
        const QString home = QString::fromStdString(dir / name);
        QDir().mkpath(home + QStringLiteral("/config/Zettrix Applications"));
        QDir().mkpath(home + QStringLiteral("/run"));
        QFile::setPermissions(home + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // The window at a known place, the tree 400 pixels wide, no bars.
        QFile conf(home + QStringLiteral("/config/Zettrix Applications/Zettrix.conf"));
        conf.open(QIODevice::WriteOnly);
        conf.write(QStringLiteral("[Preferences]\nMode=0\nSaveState=0\nx1=%1\ny1=0\nx2=%2\ny2=700\nm1=400\n"
                                  "tlb=0\nstb=0\nslb=0\nlkb=0\nedb=0\ntrb=0\nplb=0\ntb=0\nViewTitle=0\n")
                       .arg(left)
                       .arg(left + 600)
                       .toUtf8());
        conf.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
        env.insert(QStringLiteral("TMPDIR"), home);
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("TMP"));
        env.remove(QStringLiteral("TEMP"));
        proc.setProcessEnvironment(env);
        proc.setProcessChannelMode(QProcess::MergedChannels);
        document = dir / (name + ".ztd");
    }
    ~CInstance() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(5000);
        }
    }
    void Start() { proc.start(QStringLiteral(ZT_ZETTRIX_BIN), {QString::fromStdString(document)}); }
    // The main window once it shows, else an empty id.
    CXDriver::Window MainWindow(CXDriver& x) {
        CXDriver::Window found;
        WaitFor(
            [&] {
                for (const CXDriver::Window& w : x.WindowsOf(proc.processId()))
                    if (w.title.endsWith(QStringLiteral(" - Zettrix")) && w.width > 300) found = w;
                return found.id != 0;
            },
            20000);
        return found;
    }
    // A window of the process other than `main` (a question), once it shows.
    CXDriver::Window Question(CXDriver& x, xcb_window_t main, int ms) {
        CXDriver::Window found;
        WaitFor(
            [&] {
                for (const CXDriver::Window& w : x.WindowsOf(proc.processId()))
                    if (w.id != main && w.width > 50) found = w;
                return found.id != 0;
            },
            ms);
        return found;
    }
    QString Output() { return QString::fromLocal8Bit(proc.readAll()); }

    QProcess proc;
    std::string document;
};

#endif // ZT_HAVE_XCB

} // namespace

TEST(DragBetweenInstances, SubtreeWithTextsAndFilesArrivesInTheOtherRunningProgram) {
#ifndef ZT_HAVE_XCB
    GTEST_SKIP() << "built without libxcb: no X server can be driven";
#else
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
    CXvfb server;
    const QString display = server.Start(xvfb);
    ASSERT_FALSE(display.isEmpty()) << "Xvfb did not start: " << server.Errors().toStdString();
    CXDriver x;
    ASSERT_TRUE(x.Connect(display)) << "no XTEST on " << display.toStdString();

    TempDir dir;
    CInstance first(dir, "quelle", display, 0), second(dir, "ziel", display, 700);
    const std::string anhang = [] {
        std::string s;
        for (int i = 0; i < 3000; ++i) s += char('A' + i % 23);
        return s;
    }();
    {
        ScriptedPrompter quiet;
        CZTDocument doc(quiet);
        CZTPageNode* quelle = doc.AddPage(nullptr, "Quelle");
        CZTPageNode* kind = doc.AddPage(quelle, "Kind");
        doc.SetPageText(kind, "{\\rtf1\\ansi Text vom Kind\\par}");
        ASSERT_TRUE(zt::StoreFile(doc, kind, "anhang.bin", anhang, 1700000000));
        doc.AddPage(quelle, "Zweites");
        // One tall entry: the press lands on it wherever the tree begins.
        TreeEntryStyle big;
        big.fontSize = 150;
        big.flags = TreeEntryStyle::SizeSet;
        doc.SetTreeEntryStyle(quelle, big, false, false);
        doc.Tree().SetExpanded(quelle, false);
        ASSERT_TRUE(doc.Save(first.document));
        CZTDocument target(quiet);
        target.AddPage(nullptr, "Ziel");
        ASSERT_TRUE(target.Save(second.document));
    }
    first.Start();
    second.Start();
    const CXDriver::Window w1 = first.MainWindow(x), w2 = second.MainWindow(x);
    ASSERT_NE(w1.id, 0u) << first.Output().toStdString();
    ASSERT_NE(w2.id, 0u) << second.Output().toStdString();
    QTest::qWait(1000); // both painted and idle

    // Press on the entry in the first tree, move past the drag distance, then
    // over the second tree below its entries, rest, release.
    const QPoint from(w1.x + 120, w1.y + 150), to(w2.x + 120, w2.y + 500);
    x.Move(from.x(), from.y());
    QTest::qWait(200);
    x.Button(true);
    QTest::qWait(200);
    for (int i = 1; i <= 5; ++i) {
        x.Move(from.x() + 6 * i, from.y());
        QTest::qWait(60);
    }
    const int steps = 25;
    for (int i = 1; i <= steps; ++i) {
        x.Move(from.x() + 30 + (to.x() - from.x() - 30) * i / steps, from.y() + (to.y() - from.y()) * i / steps);
        QTest::qWait(50);
    }
    QTest::qWait(400);
    x.Move(to.x() + 2, to.y() + 2);
    QTest::qWait(400);
    x.Button(false);

    // The second program asks how to insert; Return takes the preset.
    const CXDriver::Window ask = second.Question(x, w2.id, 15000);
    ASSERT_NE(ask.id, 0u) << "no question after the drop\n"
                          << first.Output().toStdString() << second.Output().toStdString();
    EXPECT_EQ(ask.title.toStdString(), "Verschieben"); // "Zettrix" data moves unless Ctrl is held
    x.Move(ask.x + ask.width / 2, ask.y + ask.height / 2);
    QTest::qWait(200);
    ASSERT_TRUE(x.Key(0xff0d));
    ASSERT_TRUE(WaitFor([&] { return second.Question(x, w2.id, 0).id == 0; }, 10000)) << "the question stays";

    // Closing asks to save the changed document; Return says yes.
    x.Close(w2.id);
    const CXDriver::Window save = second.Question(x, w2.id, 15000);
    ASSERT_NE(save.id, 0u) << "no save question\n" << second.Output().toStdString();
    x.Move(save.x + save.width / 2, save.y + save.height / 2);
    QTest::qWait(200);
    ASSERT_TRUE(x.Key(0xff0d));
    ASSERT_TRUE(second.proc.waitForFinished(20000)) << "the second program did not end";

    ScriptedPrompter quiet;
    CZTDocument saved(quiet);
    ASSERT_TRUE(saved.Open(second.document));
    EXPECT_EQ(Shape(saved.Tree().RootPages()), "Ziel Quelle(Kind Zweites)");
    CZTPageNode* kind = nullptr;
    for (const auto& e : saved.Tree().BuildPageList())
        if (CZTPageNode* n = saved.Tree().FindPage(e.ident); n && n->Title() == "Kind") kind = n;
    ASSERT_NE(kind, nullptr);
    EXPECT_NE(saved.PageText(kind).find("Text vom Kind"), std::string::npos) << saved.PageText(kind);
    const CZTFileRecord file = saved.Archive().GetFile(kind->Ident(), "anhang.bin");
    ASSERT_TRUE(file.valid);
    const std::string* bytes = file.GetText();
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(*bytes, anhang);
    // The first program came through the drag and the fetch of its data.
    EXPECT_EQ(first.proc.state(), QProcess::Running);
#endif
}
