// The D-Bus bridge behind the script classes "ZTOLEObject" and "ZTOLEEnum":
// objects named by service, path and interface, their methods called by name
// with the value conversion of dbusvalue.h, properties through
// org.freedesktop.DBus.Properties, indexing and enumeration over "Item",
// "Items" and child nodes, descriptions from the introspection XML. Every
// call is bounded by a timeout, so a dead peer cannot hang the program; the
// last error is kept as a number, its name goes into the warning.
#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

#include "script/dbus/dbusinterfaces.h"
#include "script/dbus/dbusvalue.h"

namespace zt::dbus {

class CZTDBusBridge {
public:
    static constexpr int kDefaultCallTimeoutMs = 10000;

    explicit CZTDBusBridge(const QDBusConnection& bus, int timeoutMs = kDefaultCallTimeoutMs);

    void SetTimeout(int ms) { timeoutMs_ = ms; }
    int Timeout() const { return timeoutMs_; }

    // "service path interface", "service path" or "service" (its root
    // object); the service is started by activation when it is not running.
    // Nothing on failure, with the warning given.
    std::optional<CZTDBusRef> Create(const QString& name);
    // Calls member as a method, or reads it as a property; ok false and an
    // invalid result on failure.
    QVariant Invoke(const CZTDBusRef& ref, const QString& member, const QVariantList& args, bool* ok);
    // Writes a property.
    bool Put(const CZTDBusRef& ref, const QString& name, const QVariant& value);
    // obj[i]: "Item"(i) when the object has it, else its i-th child node.
    QVariant Index(const CZTDBusRef& ref, int i, bool* ok);
    // The elements a "ZTOLEEnum" walks: the array "Items" gives when the
    // object has it, else its child nodes.
    std::optional<QVariantList> Elements(const CZTDBusRef& ref);
    QString Describe(const CZTDBusRef& ref, const QString& objectName, const QStringList& names, bool* ok);

    // The last result: 0 after success, else the error's number.
    int LastError() const { return lastError_; }
    QString LastErrorName() const { return lastErrorName_; }
    QStringList TakeWarnings();

    static int ErrorNumber(QDBusError::ErrorType type);
    // Parses an object name; false when it has not one to three words or a
    // word is not a valid service, path or interface name.
    static bool ParseName(const QString& name, CZTDBusRef* ref);

private:
    QDBusMessage Call(const QDBusMessage& message);
    void SetError(const QDBusError& error);
    void SetLocalError(QDBusError::ErrorType type, const QString& message);
    void WarnInvokeFailed(const CZTDBusRef& ref, const QString& member, int arg);
    const CZTDBusIntrospection* Introspect(const CZTDBusRef& ref);
    QVariant ReplyValue(const QDBusMessage& reply, const QString& service);

    QDBusConnection bus_;
    int timeoutMs_;
    int lastError_ = 0;
    QString lastErrorName_, lastErrorMessage_;
    QStringList warnings_;
    QHash<QString, CZTDBusIntrospection> introspected_;
};

} // namespace zt::dbus
