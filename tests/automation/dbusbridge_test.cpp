// The D-Bus bridge against the test service on the private bus: creation,
// calls with every conversion, properties, indexing, enumeration, the
// description and every error path with its number and name.
#include <QDBusObjectPath>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>

#include "automation/testbus.h"
#include "script/dbus/dbusbridge.h"

using namespace zt::dbus;

namespace {

const char* kCalc = "org.zettrix.Test /Calc org.zettrix.Test.Calc";

class DBusBridge : public zt::test::TestServiceSuite {
protected:
    void SetUp() override {
        TestServiceSuite::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        bridge_ = std::make_unique<CZTDBusBridge>(zt::test::TestBus());
    }
    CZTDBusRef Calc() {
        auto r = bridge_->Create(QString::fromLatin1(kCalc));
        EXPECT_TRUE(r.has_value());
        return r.value_or(CZTDBusRef{});
    }
    QVariant Call(const char* member, const QVariantList& args = {}, bool expectOk = true) {
        bool ok = false;
        QVariant v = bridge_->Invoke(Calc(), QString::fromLatin1(member), args, &ok);
        EXPECT_EQ(ok, expectOk) << member << ": " << bridge_->TakeWarnings().join(QString()).toStdString();
        return v;
    }
    QString Warnings() { return bridge_->TakeWarnings().join(QString()); }

    std::unique_ptr<CZTDBusBridge> bridge_;
};

QVariantList L(std::initializer_list<QVariant> v) { return QVariantList(v); }

} // namespace

TEST_F(DBusBridge, CreationByFullAndShortNameAndItsFailures) {
    EXPECT_TRUE(bridge_->Create(QString::fromLatin1(kCalc)).has_value());
    EXPECT_EQ(bridge_->LastError(), 0);
    // The short form is the service's root object.
    const auto root = bridge_->Create(QStringLiteral("org.zettrix.Test"));
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->path, QStringLiteral("/"));
    EXPECT_TRUE(root->interface.isEmpty());

    struct Bad {
        const char* name;
        QDBusError::ErrorType type;
        const char* inWarning;
    };
    const Bad cases[] = {
        {"org.zettrix.Nobody", QDBusError::ServiceUnknown, "org.freedesktop.DBus.Error.ServiceUnknown"},
        {"org.zettrix.Test /Calc org.zettrix.Test.Missing", QDBusError::UnknownInterface, "UnknownInterface"},
        {"org.zettrix.Test /Nowhere", QDBusError::UnknownObject, "UnknownObject"},
        {"not a valid name at all", QDBusError::InvalidArgs, "InvalidArgs"},
        {"", QDBusError::InvalidArgs, "InvalidArgs"},
        {"org.zettrix.Test relative/path", QDBusError::InvalidArgs, "InvalidArgs"},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(bridge_->Create(QString::fromLatin1(c.name)).has_value());
        EXPECT_EQ(bridge_->LastError(), CZTDBusBridge::ErrorNumber(c.type));
        const QString w = Warnings();
        EXPECT_TRUE(w.startsWith(QStringLiteral("ZTOLEObject.New: Creation failed for '%1'\n").arg(QString::fromLatin1(c.name))))
            << w.toStdString();
        EXPECT_TRUE(w.contains(QString::fromLatin1(c.inWarning))) << w.toStdString();
    }
    EXPECT_LT(CZTDBusBridge::ErrorNumber(QDBusError::ServiceUnknown), 0);  // a failure number, as results go
}

TEST_F(DBusBridge, ValuesBothWays) {
    // Numbers come back as their decimal text; arguments follow the declared types.
    EXPECT_EQ(Call("Add", L({2, 3})), QVariant(QStringLiteral("5")));
    EXPECT_EQ(Call("Add", L({QStringLiteral("40"), 2.0})), QVariant(QStringLiteral("42")));
    EXPECT_EQ(Call("Concat", L({QStringLiteral("a"), 7})), QVariant(QStringLiteral("a7")));
    EXPECT_EQ(Call("Negate", L({false})), QVariant(true));
    EXPECT_EQ(Call("Big"), QVariant(QStringLiteral("18446744073709551615")));
    EXPECT_EQ(Call("Sum", L({L({1.5, 2, QStringLiteral("0.25")})})), QVariant(QStringLiteral("3.75")));
    // A variant keeps the value's own kind: integer, number, text, boolean.
    EXPECT_EQ(Call("Signature", L({7})), QVariant(QStringLiteral("v")));
    EXPECT_EQ(Call("Echo", L({7})), QVariant(QStringLiteral("7")));
    EXPECT_EQ(Call("Echo", L({0.5})), QVariant(QStringLiteral("0.5")));
    EXPECT_EQ(Call("Echo", L({true})), QVariant(true));
    EXPECT_EQ(Call("Echo", L({QStringLiteral("t")})), QVariant(QStringLiteral("t")));
    EXPECT_EQ(Call("Echo", L({QVariant::fromValue(nullptr)})), QVariant(QString()));
    // [1, [2, 3]] travels as an array of variants whose second element is an array.
    EXPECT_EQ(Call("Echo", L({L({1, L({2, 3})})})),
              QVariant(L({QStringLiteral("1"), L({QStringLiteral("2"), QStringLiteral("3")})})));
    // Two dimensions: a 2 x 3 matrix arrives as two arrays of three values.
    const QVariant m = Call("Matrix", L({2, 3}));
    EXPECT_EQ(m, QVariant(L({L({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")}),
                             L({QStringLiteral("10"), QStringLiteral("11"), QStringLiteral("12")})})));
    EXPECT_EQ(Call("Transpose", L({L({L({1, 2, 3}), L({4, 5, 6})})})),
              QVariant(L({L({QStringLiteral("1"), QStringLiteral("4")}), L({QStringLiteral("2"), QStringLiteral("5")}),
                          L({QStringLiteral("3"), QStringLiteral("6")})})));
    // Three dimensions are refused with the warning.
    EXPECT_FALSE(Call("Deep").isValid());
    EXPECT_TRUE(Warnings().contains(QStringLiteral("OLE Array received with 3 dim. Supported are only 1 or 2 dim.\n")));
    EXPECT_EQ(Call("Items"), QVariant(L({QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma")})));
    EXPECT_EQ(Call("Bytes"), QVariant(L({QStringLiteral("1"), QStringLiteral("255")})));
    // Two out arguments give an array of both.
    EXPECT_EQ(Call("Split", L({QStringLiteral("a:b")})), QVariant(L({QStringLiteral("a"), QStringLiteral("b")})));
    // An object path is a wrapped object of the same service.
    const QVariant node = Call("Node");
    ASSERT_EQ(node.metaType(), QMetaType::fromType<CZTDBusRef>());
    EXPECT_EQ(node.value<CZTDBusRef>().path, QStringLiteral("/Nodes/first"));
    bool ok = false;
    EXPECT_EQ(bridge_->Invoke(node.value<CZTDBusRef>(), QStringLiteral("Label"), {}, &ok), QVariant(QStringLiteral("First")));
    // A wrapped object passed where a variant goes is its object path.
    EXPECT_EQ(Call("Signature", L({node})), QVariant(QStringLiteral("v")));
    EXPECT_EQ(Call("Echo", L({node})).value<CZTDBusRef>().path, QStringLiteral("/Nodes/first"));
}

TEST_F(DBusBridge, CallErrorsCarryNumberAndName) {
    struct Case {
        const char* member;
        QVariantList args;
        QDBusError::ErrorType type;
        const char* inWarning;
    };
    const Case cases[] = {
        {"Fail", {}, QDBusError::Other, "Source 'org.zettrix.Test.Error.Broken'"},
        {"Fail", {}, QDBusError::Other, "Description 'it broke'"},
        {"NoSuchMethod", {}, QDBusError::UnknownMethod, "UnknownMethod"},
        {"Add", L({QStringLiteral("x"), 1}), QDBusError::InvalidArgs, "Invoke failed for arg 0\n"},
        {"Add", L({1, 2.5}), QDBusError::InvalidArgs, "Invoke failed for arg 1\n"},
        {"Add", L({1, 1e12}), QDBusError::InvalidArgs, "does not fit"},
        {"Add", L({1}), QDBusError::UnknownMethod, "ZTOLEObject.ExecOp: Invoke failed for 'Add'.\n"},
        {"Sum", L({QStringLiteral("no array")}), QDBusError::InvalidArgs, "is not an array"},
        {"Transpose", L({L({1, 2})}), QDBusError::InvalidArgs, "not an array"},
        {"Deep", L({1, 2, 3}), QDBusError::UnknownMethod, "Registry 'org.zettrix.Test'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.member);
        EXPECT_FALSE(Call(c.member, c.args, false).isValid());
        EXPECT_EQ(bridge_->LastError(), CZTDBusBridge::ErrorNumber(c.type)) << bridge_->LastErrorName().toStdString();
        const QString w = Warnings();
        EXPECT_TRUE(w.contains(QString::fromLatin1(c.inWarning))) << w.toStdString();
    }
    // The number goes back to 0 with the next good call.
    EXPECT_EQ(Call("Add", L({1, 1})), QVariant(QStringLiteral("2")));
    EXPECT_EQ(bridge_->LastError(), 0);
}

TEST_F(DBusBridge, ADeadPeerIsBoundedByTheTimeout) {
    bridge_->SetTimeout(300);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(Call("Hang", {}, false).isValid());
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(bridge_->LastError(), CZTDBusBridge::ErrorNumber(QDBusError::NoReply));
    EXPECT_TRUE(Warnings().contains(QStringLiteral("org.freedesktop.DBus.Error.NoReply")));
    EXPECT_EQ(Call("Add", L({1, 2})), QVariant(QStringLiteral("3")));  // the bridge goes on
}

TEST_F(DBusBridge, Properties) {
    EXPECT_EQ(Call("Name"), QVariant(QStringLiteral("calc")));
    EXPECT_EQ(Call("Count"), QVariant(QStringLiteral("3")));  // numbers as text
    const CZTDBusRef calc = Calc();
    EXPECT_TRUE(bridge_->Put(calc, QStringLiteral("Name"), 12));
    EXPECT_EQ(Call("Name"), QVariant(QStringLiteral("12")));
    EXPECT_TRUE(bridge_->Put(calc, QStringLiteral("Ratio"), QStringLiteral("0.25")));
    EXPECT_EQ(Call("Ratio"), QVariant(QStringLiteral("0.25")));
    EXPECT_TRUE(bridge_->Put(calc, QStringLiteral("Name"), QStringLiteral("calc")));

    EXPECT_FALSE(bridge_->Put(calc, QStringLiteral("Count"), 1));
    EXPECT_EQ(bridge_->LastError(), CZTDBusBridge::ErrorNumber(QDBusError::PropertyReadOnly));
    EXPECT_FALSE(bridge_->Put(calc, QStringLiteral("Ratio"), QStringLiteral("abc")));
    EXPECT_EQ(bridge_->LastError(), CZTDBusBridge::ErrorNumber(QDBusError::InvalidArgs));
    EXPECT_FALSE(bridge_->Put(calc, QStringLiteral("Nothing"), 1));
    EXPECT_NE(bridge_->LastError(), 0);
    EXPECT_TRUE(Warnings().contains(QStringLiteral("ZTOLEObject.ExecOp: Invoke failed for 'Nothing'.\n")));
}

TEST_F(DBusBridge, IndexingAndEnumeration) {
    const CZTDBusRef calc = Calc();
    bool ok = false;
    // An object with "Item" is indexed through it, one without by its child nodes.
    EXPECT_EQ(bridge_->Index(calc, 1, &ok), QVariant(QStringLiteral("beta")));
    EXPECT_TRUE(ok);
    const auto nodes = bridge_->Create(QStringLiteral("org.zettrix.Test /Nodes"));
    ASSERT_TRUE(nodes.has_value());
    const QVariant second = bridge_->Index(*nodes, 1, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(second.value<CZTDBusRef>().path, QStringLiteral("/Nodes/second"));
    EXPECT_EQ(bridge_->Invoke(second.value<CZTDBusRef>(), QStringLiteral("Label"), {}, &ok), QVariant(QStringLiteral("Second")));
    bridge_->Index(*nodes, 2, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(bridge_->LastError(), CZTDBusBridge::ErrorNumber(QDBusError::UnknownObject));

    const auto items = bridge_->Elements(calc);
    ASSERT_TRUE(items.has_value());
    EXPECT_EQ(*items, L({QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma")}));
    const auto children = bridge_->Elements(*nodes);
    ASSERT_TRUE(children.has_value());
    ASSERT_EQ(children->size(), 2);
    EXPECT_EQ(children->at(0).value<CZTDBusRef>().path, QStringLiteral("/Nodes/first"));
    // The root object lists the top nodes.
    const auto root = bridge_->Create(QStringLiteral("org.zettrix.Test"));
    ASSERT_TRUE(root.has_value());
    const auto top = bridge_->Elements(*root);
    ASSERT_TRUE(top.has_value());
    QStringList paths;
    for (const QVariant& v : *top) paths << v.value<CZTDBusRef>().path;
    EXPECT_TRUE(paths.contains(QStringLiteral("/Calc")));
    EXPECT_TRUE(paths.contains(QStringLiteral("/Nodes")));
}

TEST_F(DBusBridge, DescribeFromIntrospection) {
    const CZTDBusRef calc = Calc();
    bool ok = false;
    const QString all = bridge_->Describe(calc, QStringLiteral("calc"), {}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(all.startsWith(QStringLiteral("OLEObject 'calc': 'org.zettrix.Test.Calc'\nDocumentation: ''\n")))
        << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("Properties: 5\n")));  // Name and Ratio twice, Count once
    EXPECT_TRUE(all.contains(QStringLiteral("\nMethod      'Add'\n")));
    EXPECT_TRUE(all.contains(QStringLiteral("\nPropertyGet 'Count'\n")));
    EXPECT_FALSE(all.contains(QStringLiteral("PropertySet 'Count'")));
    EXPECT_TRUE(all.contains(QStringLiteral("\nPropertySet 'Name'\n")));
    // Members sorted by name.
    EXPECT_LT(all.indexOf(QStringLiteral("'Add'")), all.indexOf(QStringLiteral("'Big'")));

    const QString some = bridge_->Describe(calc, QStringLiteral("calc"),
                                           {QStringLiteral("Add"), QStringLiteral("Ratio"), QStringLiteral("Nope")}, &ok);
    EXPECT_EQ(some, QStringLiteral("int Add(int a, int b);\n"
                                   "double Ratio();\n"
                                   "void Ratio(double Ratio);\n"
                                   "'Nope' not found\n"));
}
