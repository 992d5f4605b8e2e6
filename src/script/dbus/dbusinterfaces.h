// The introspection XML of a D-Bus object read into members, and the
// description a script gets from "ZTDescribe".
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace zt::dbus {

struct CZTDBusArg {
    QString name;
    QString type;  // D-Bus signature of one complete type
};

struct CZTDBusMethod {
    QString name;
    std::vector<CZTDBusArg> in, out;
    QString doc;  // org.freedesktop.DBus.DocString annotation
};

struct CZTDBusProperty {
    QString name;
    QString type;
    bool readable = false, writable = false;
    QString doc;
};

struct CZTDBusInterfaceInfo {
    QString name;
    QString doc;
    std::vector<CZTDBusMethod> methods;
    std::vector<CZTDBusProperty> properties;
};

struct CZTDBusIntrospection {
    std::vector<CZTDBusInterfaceInfo> interfaces;
    QStringList children;  // child node names, in document order

    // The interfaces a member is looked for in: the named one, or every
    // interface that is not one of the bus's standard ones.
    std::vector<const CZTDBusInterfaceInfo*> Scope(const QString& interface) const;
    const CZTDBusMethod* FindMethod(const QString& interface, const QString& name, QString* owner = nullptr) const;
    const CZTDBusProperty* FindProperty(const QString& interface, const QString& name, QString* owner = nullptr) const;
};

// Reads introspection XML; false when it is not well-formed. Oversized
// documents are refused (limit in bytes).
bool ParseIntrospection(const QString& xml, CZTDBusIntrospection* out, qsizetype limit = 4 * 1024 * 1024);

// The type text of a D-Bus signature in descriptions ("string", "int", ...).
QString TypeText(const QString& sig);

// The description: without names the overview with one line per member,
// with names the prototypes of those members.
QString DescribeObject(const QString& objectName, const QString& interface, const CZTDBusIntrospection& info,
                       const QStringList& names);

} // namespace zt::dbus
