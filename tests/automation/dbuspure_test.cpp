// The parts of the bridge that need no bus: introspection reading, type
// texts, the description's layout and argument conversion failures.
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <gtest/gtest.h>

#include "script/dbus/dbusinterfaces.h"
#include "script/dbus/dbusvalue.h"

using namespace zt::dbus;

TEST(DBusIntrospection, ReadsMembersDocsAndDirectChildrenOnly) {
    const QString xml = QStringLiteral(R"(<node>
  <interface name="org.example.Box">
    <annotation name="org.freedesktop.DBus.DocString" value="A box"/>
    <method name="Put">
      <arg name="what" type="s" direction="in"/>
      <arg name="count" type="ai" direction="in"/>
      <arg name="ok" type="b" direction="out"/>
      <annotation name="org.freedesktop.DBus.DocString" value="Puts things in"/>
    </method>
    <property name="Size" type="u" access="read"/>
    <property name="Label" type="s" access="readwrite"/>
  </interface>
  <interface name="org.freedesktop.DBus.Properties"><method name="Get"/></interface>
  <node name="inner"><node name="deeper"/></node>
  <node name="other"/>
</node>)");
    CZTDBusIntrospection info;
    ASSERT_TRUE(ParseIntrospection(xml, &info));
    EXPECT_EQ(info.children, (QStringList{QStringLiteral("inner"), QStringLiteral("other")}));
    ASSERT_EQ(info.interfaces.size(), 2u);
    const CZTDBusMethod* put = info.FindMethod(QString(), QStringLiteral("Put"));
    ASSERT_NE(put, nullptr);
    EXPECT_EQ(put->in.size(), 2u);
    EXPECT_EQ(put->out.size(), 1u);
    // Standard interfaces are searched only when named.
    EXPECT_EQ(info.FindMethod(QString(), QStringLiteral("Get")), nullptr);
    EXPECT_NE(info.FindMethod(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get")), nullptr);

    EXPECT_EQ(DescribeObject(QStringLiteral("box"), QString(), info, {}),
              QStringLiteral("OLEObject 'box': 'org.example.Box'\nDocumentation: 'A box'\nFunctions: 1\nProperties: 3\n"
                             "PropertyGet 'Label'\nPropertySet 'Label'\nMethod      'Put': Puts things in\n"
                             "PropertyGet 'Size'\n"));
    EXPECT_EQ(DescribeObject(QStringLiteral("box"), QString(), info, {QStringLiteral("Put")}),
              QStringLiteral("bool Put(string what, int[] count);\nPuts things in\n"));

    EXPECT_FALSE(ParseIntrospection(QStringLiteral("<node><interface"), &info));
    EXPECT_FALSE(ParseIntrospection(QStringLiteral("<node/>"), &info, 3));
}

TEST(DBusValues, TypeTextsAndSignatures) {
    EXPECT_EQ(TypeText(QString()), QStringLiteral("void"));
    EXPECT_EQ(TypeText(QStringLiteral("o")), QStringLiteral("ZTDispatch *"));
    EXPECT_EQ(TypeText(QStringLiteral("aad")), QStringLiteral("double[][]"));
    EXPECT_EQ(TypeText(QStringLiteral("a{sv}")), QStringLiteral("map"));
    EXPECT_EQ(TypeText(QStringLiteral("(si)")), QStringLiteral("struct"));
    QString rest;
    EXPECT_EQ(FirstCompleteType(QStringLiteral("a(ia{sv})s"), &rest), QStringLiteral("a(ia{sv})"));
    EXPECT_EQ(rest, QStringLiteral("s"));
    EXPECT_EQ(FirstCompleteType(QStringLiteral("aai")), QStringLiteral("aai"));
}

TEST(DBusValues, ConversionToDeclaredTypes) {
    RegisterDBusValueTypes();
    struct Case {
        QVariant value;
        const char* sig;
        bool ok;
    };
    const Case cases[] = {
        {QVariant(300), "y", false},        {QVariant(255), "y", true},
        {QVariant(-1), "u", false},         {QVariant(-1), "i", true},
        {QVariant(1.5), "i", false},        {QVariant(QStringLiteral("12")), "x", true},
        {QVariant(QStringLiteral("1e400")), "d", false},  // beyond every double
        {QVariant(QStringLiteral("maybe")), "b", false}, {QVariant(2), "b", true},
        {QVariant(QStringLiteral("not/a path")), "o", false},
        {QVariant(QStringLiteral("/ok/path")), "o", true},
        {QVariant(QVariantList{1, 2}), "s", false},
        {QVariant(QVariantList{QVariantList{1}, 2}), "aai", false},
        {QVariant(QVariantList{QVariantList{1}, QVariantList{2, 3}}), "aai", true},
        {QVariant(QVariantList{1}), "a(ii)", false},
        {QVariant(QVariantList{1}), "aaai", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sig);
        QVariant out;
        QString why;
        EXPECT_EQ(ToDBus(c.value, QString::fromLatin1(c.sig), &out, &why), c.ok) << why.toStdString();
        if (!c.ok) EXPECT_FALSE(why.isEmpty());
    }
    // Undeclared: the value's own kind.
    QVariant out;
    QString why;
    ASSERT_TRUE(ToDBus(QVariant(2.0), QString(), &out, &why));
    EXPECT_EQ(out.metaType().id(), QMetaType::Int);
    ASSERT_TRUE(ToDBus(QVariant(2.5), QString(), &out, &why));
    EXPECT_EQ(out.metaType().id(), QMetaType::Double);
    ASSERT_TRUE(ToDBus(QVariant(QVariantList{1, QStringLiteral("a")}), QString(), &out, &why));
    EXPECT_EQ(out.metaType().id(), QMetaType::QVariantList);
}
