// Values between scripts and D-Bus. The script side speaks in plain QVariants:
// QString, int, double, bool, QVariantList (arrays), CZTDBusRef (a wrapped
// object), std::nullptr_t (null) and an invalid QVariant (undefined); maps
// come back as QVariantMap. Arguments are converted to the types the method
// declares when it is known, else by the value's own kind.
#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace zt::dbus {

// A D-Bus object a script holds: service, object path and interface (empty
// for "any interface of the object").
struct CZTDBusRef {
    QString service;
    QString path;
    QString interface;
    bool operator==(const CZTDBusRef&) const = default;
};

// Registers the array types the conversion marshals; call once per process
// before the first call (the bridge does).
void RegisterDBusValueTypes();

// Converts a script value to what QDBusMessage sends for the single complete
// type sig; with an empty sig the value's own kind decides (string "s",
// integer "i", other numbers "d", boolean "b", array "av", wrapped object
// "o", null and undefined an empty string). False with a reason when the
// value does not fit the declared type.
bool ToDBus(const QVariant& value, const QString& sig, QVariant* out, QString* error);

// Converts one reply argument to a script value. Numbers arrive as their
// decimal string, object paths as wrapped objects of the given service,
// structures as arrays, dictionaries as maps, arrays of one or two
// dimensions as arrays (of arrays); deeper arrays give undefined and a
// warning appended to warnings.
QVariant FromDBus(const QVariant& value, const QString& service, QStringList* warnings);

// The first complete type of a D-Bus signature, and the rest.
QString FirstCompleteType(const QString& sig, QString* rest = nullptr);

} // namespace zt::dbus

Q_DECLARE_METATYPE(zt::dbus::CZTDBusRef)
