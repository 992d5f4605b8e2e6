#include "script/dbus/dbusbridge.h"

#include <QDBusVariant>
#include <QRegularExpression>

namespace zt::dbus {

namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kIntrospectable = QStringLiteral("org.freedesktop.DBus.Introspectable");

bool ValidPath(const QString& p) {
    static const QRegularExpression re(QStringLiteral("^/$|^(/[A-Za-z0-9_]+)+$"));
    return re.match(p).hasMatch();
}
bool ValidInterface(const QString& i) {
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)+$"));
    return i.size() <= 255 && re.match(i).hasMatch();
}
bool ValidService(const QString& s) {
    static const QRegularExpression unique(QStringLiteral("^:[A-Za-z0-9_-]+(\\.[A-Za-z0-9_-]+)+$"));
    static const QRegularExpression wellKnown(QStringLiteral("^[A-Za-z_-][A-Za-z0-9_-]*(\\.[A-Za-z_-][A-Za-z0-9_-]*)+$"));
    return s.size() <= 255 && (unique.match(s).hasMatch() || wellKnown.match(s).hasMatch());
}

QString ErrorName(QDBusError::ErrorType type) { return QDBusError::errorString(type); }

} // namespace

CZTDBusBridge::CZTDBusBridge(const QDBusConnection& bus, int timeoutMs) : bus_(bus), timeoutMs_(timeoutMs) {
    RegisterDBusValueTypes();
}

int CZTDBusBridge::ErrorNumber(QDBusError::ErrorType type) {
    if (type == QDBusError::NoError) return 0;
    return int(0x80DB0000u | unsigned(type));
}

bool CZTDBusBridge::ParseName(const QString& name, CZTDBusRef* ref) {
    const QStringList words = name.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty() || words.size() > 3) return false;
    CZTDBusRef r{words[0], words.size() > 1 ? words[1] : QStringLiteral("/"), words.size() > 2 ? words[2] : QString()};
    if (!ValidService(r.service) || !ValidPath(r.path) || (!r.interface.isEmpty() && !ValidInterface(r.interface)))
        return false;
    *ref = r;
    return true;
}

QStringList CZTDBusBridge::TakeWarnings() {
    QStringList w;
    w.swap(warnings_);
    return w;
}

void CZTDBusBridge::SetError(const QDBusError& error) {
    lastError_ = ErrorNumber(error.type());
    lastErrorName_ = error.name();
    lastErrorMessage_ = error.message();
}

void CZTDBusBridge::SetLocalError(QDBusError::ErrorType type, const QString& message) {
    lastError_ = ErrorNumber(type);
    lastErrorName_ = ErrorName(type);
    lastErrorMessage_ = message;
}

QDBusMessage CZTDBusBridge::Call(const QDBusMessage& message) {
    if (!bus_.isConnected()) {
        SetLocalError(QDBusError::Disconnected, QStringLiteral("Not connected to the session bus"));
        return message.createErrorReply(lastErrorName_, lastErrorMessage_);
    }
    const QDBusMessage reply = bus_.call(message, QDBus::Block, timeoutMs_);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        SetError(QDBusError(reply));
    } else if (reply.type() != QDBusMessage::ReplyMessage) {
        SetLocalError(QDBusError::NoReply, QStringLiteral("No reply"));
        return message.createErrorReply(lastErrorName_, lastErrorMessage_);
    } else {
        lastError_ = 0;
        lastErrorName_.clear();
        lastErrorMessage_.clear();
    }
    return reply;
}

void CZTDBusBridge::WarnInvokeFailed(const CZTDBusRef& ref, const QString& member, int arg) {
    warnings_ << QStringLiteral("ZTOLEObject: Invoke failed for arg %1\nSource '%2'\nRegistry '%3'\nDescription '%4'\n"
                                "Code 0x%5, OLEError 0x%6\n")
                     .arg(arg)
                     .arg(lastErrorName_, ref.service,
                          lastErrorMessage_.isEmpty() ? QStringLiteral("No Description") : lastErrorMessage_)
                     .arg(unsigned(lastError_), 0, 16)
                     .arg(unsigned(lastError_), 0, 16);
    warnings_ << QStringLiteral("ZTOLEObject.ExecOp: Invoke failed for '%1'.\n").arg(member);
}

const CZTDBusIntrospection* CZTDBusBridge::Introspect(const CZTDBusRef& ref) {
    const QString key = ref.service + QLatin1Char(' ') + ref.path;
    auto it = introspected_.find(key);
    if (it != introspected_.end()) return &it.value();
    const int saved = lastError_;
    const QString savedName = lastErrorName_, savedMessage = lastErrorMessage_;
    const QDBusMessage reply =
        Call(QDBusMessage::createMethodCall(ref.service, ref.path, kIntrospectable, QStringLiteral("Introspect")));
    CZTDBusIntrospection info;
    const bool ok = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                    ParseIntrospection(reply.arguments().constFirst().toString(), &info);
    if (!ok) {
        if (reply.type() == QDBusMessage::ReplyMessage)
            SetLocalError(QDBusError::InvalidArgs, QStringLiteral("The introspection data cannot be read"));
        return nullptr;
    }
    lastError_ = saved;
    lastErrorName_ = savedName;
    lastErrorMessage_ = savedMessage;
    return &introspected_.insert(key, std::move(info)).value();
}

std::optional<CZTDBusRef> CZTDBusBridge::Create(const QString& name) {
    auto fail = [&]() -> std::optional<CZTDBusRef> {
        QString w = QStringLiteral("ZTOLEObject.New: Creation failed for '%1'\n").arg(name);
        if (!lastErrorName_.isEmpty()) w += QStringLiteral("%1: %2\n").arg(lastErrorName_, lastErrorMessage_);
        warnings_ << w;
        return std::nullopt;
    };
    CZTDBusRef ref;
    if (!ParseName(name, &ref)) {
        SetLocalError(QDBusError::InvalidArgs, QStringLiteral("Not a D-Bus object name: service [path [interface]]"));
        return fail();
    }
    // A service that is not running is started by the bus when it can be.
    const QDBusMessage has = Call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                                 QStringLiteral("/org/freedesktop/DBus"),
                                                                 QStringLiteral("org.freedesktop.DBus"),
                                                                 QStringLiteral("NameHasOwner"))
                                  << ref.service);
    if (has.type() != QDBusMessage::ReplyMessage) return fail();
    if (!has.arguments().value(0).toBool()) {
        const QDBusMessage start = Call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                                       QStringLiteral("/org/freedesktop/DBus"),
                                                                       QStringLiteral("org.freedesktop.DBus"),
                                                                       QStringLiteral("StartServiceByName"))
                                        << ref.service << 0u);
        if (start.type() != QDBusMessage::ReplyMessage) return fail();
    }
    introspected_.remove(ref.service + QLatin1Char(' ') + ref.path);
    const CZTDBusIntrospection* info = Introspect(ref);
    if (!info) return fail();
    if (!ref.interface.isEmpty() && info->Scope(ref.interface).empty()) {
        SetLocalError(QDBusError::UnknownInterface,
                      QStringLiteral("The object %1 has no interface %2").arg(ref.path, ref.interface));
        return fail();
    }
    if (info->interfaces.empty() && info->children.isEmpty()) {
        SetLocalError(QDBusError::UnknownObject, QStringLiteral("No object at %1").arg(ref.path));
        return fail();
    }
    lastError_ = 0;
    lastErrorName_.clear();
    lastErrorMessage_.clear();
    return ref;
}

QVariant CZTDBusBridge::ReplyValue(const QDBusMessage& reply, const QString& service) {
    const QVariantList args = reply.arguments();
    if (args.isEmpty()) return {};
    if (args.size() == 1) return FromDBus(args.constFirst(), service, &warnings_);
    QVariantList out;
    for (const QVariant& a : args) out << FromDBus(a, service, &warnings_);
    return out;
}

QVariant CZTDBusBridge::Invoke(const CZTDBusRef& ref, const QString& member, const QVariantList& args, bool* ok) {
    *ok = false;
    const CZTDBusIntrospection* info = Introspect(ref);
    QString owner;
    const CZTDBusMethod* method = info ? info->FindMethod(ref.interface, member, &owner) : nullptr;
    const CZTDBusProperty* prop = info && !method ? info->FindProperty(ref.interface, member, &owner) : nullptr;

    QDBusMessage reply;
    if (prop && prop->readable) {
        reply = Call(QDBusMessage::createMethodCall(ref.service, ref.path, kProperties, QStringLiteral("Get"))
                     << owner << member);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            *ok = true;
            return FromDBus(reply.arguments().constFirst(), ref.service, &warnings_);
        }
        if (reply.type() == QDBusMessage::ReplyMessage)
            SetLocalError(QDBusError::InvalidSignature, QStringLiteral("The property came without a value"));
        WarnInvokeFailed(ref, member, 0);
        return {};
    }
    if (prop) {
        SetLocalError(QDBusError::AccessDenied, QStringLiteral("The property %1 cannot be read").arg(member));
        WarnInvokeFailed(ref, member, 0);
        return {};
    }

    QDBusMessage call = QDBusMessage::createMethodCall(ref.service, ref.path, method ? owner : ref.interface, member);
    QVariantList sent;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString sig = method && size_t(i) < method->in.size() ? method->in[size_t(i)].type : QString();
        QVariant v;
        QString why;
        if (!ToDBus(args[i], sig, &v, &why)) {
            SetLocalError(QDBusError::InvalidArgs, QStringLiteral("Argument %1: %2").arg(i).arg(why));
            WarnInvokeFailed(ref, member, int(i));
            return {};
        }
        sent << v;
    }
    call.setArguments(sent);
    reply = Call(call);
    // Without introspection a plain name may still be a property.
    if (reply.type() == QDBusMessage::ErrorMessage && !method && args.isEmpty() && !ref.interface.isEmpty() &&
        lastError_ == ErrorNumber(QDBusError::UnknownMethod)) {
        const int methodError = lastError_;
        const QString methodName = lastErrorName_, methodMessage = lastErrorMessage_;
        const QDBusMessage get = Call(QDBusMessage::createMethodCall(ref.service, ref.path, kProperties, QStringLiteral("Get"))
                                      << ref.interface << member);
        if (get.type() == QDBusMessage::ReplyMessage && !get.arguments().isEmpty()) {
            *ok = true;
            return FromDBus(get.arguments().constFirst(), ref.service, &warnings_);
        }
        // Not a property either: the method's error is the one to report.
        lastError_ = methodError;
        lastErrorName_ = methodName;
        lastErrorMessage_ = methodMessage;
    }
    if (reply.type() != QDBusMessage::ReplyMessage) {
        WarnInvokeFailed(ref, member, 0);
        return {};
    }
    *ok = true;
    return ReplyValue(reply, ref.service);
}

bool CZTDBusBridge::Put(const CZTDBusRef& ref, const QString& name, const QVariant& value) {
    const CZTDBusIntrospection* info = Introspect(ref);
    QString owner = ref.interface;
    const CZTDBusProperty* prop = info ? info->FindProperty(ref.interface, name, &owner) : nullptr;
    if (prop && !prop->writable) {
        SetLocalError(QDBusError::PropertyReadOnly, QStringLiteral("The property %1 is read-only").arg(name));
        WarnInvokeFailed(ref, name, 0);
        return false;
    }
    QVariant v;
    QString why;
    if (!ToDBus(value, prop ? prop->type : QString(), &v, &why)) {
        SetLocalError(QDBusError::InvalidArgs, QStringLiteral("Argument 0: %1").arg(why));
        WarnInvokeFailed(ref, name, 0);
        return false;
    }
    const QDBusMessage reply =
        Call(QDBusMessage::createMethodCall(ref.service, ref.path, kProperties, QStringLiteral("Set"))
             << owner << name << QVariant::fromValue(QDBusVariant(v)));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        WarnInvokeFailed(ref, name, 0);
        return false;
    }
    return true;
}

QVariant CZTDBusBridge::Index(const CZTDBusRef& ref, int i, bool* ok) {
    *ok = false;
    const CZTDBusIntrospection* info = Introspect(ref);
    if (info && (info->FindMethod(ref.interface, QStringLiteral("Item")) ||
                 info->FindProperty(ref.interface, QStringLiteral("Item"))))
        return Invoke(ref, QStringLiteral("Item"), {i}, ok);
    if (!info) {
        WarnInvokeFailed(ref, QStringLiteral("Item"), 0);
        return {};
    }
    if (i < 0 || i >= info->children.size()) {
        SetLocalError(QDBusError::UnknownObject, QStringLiteral("The object %1 has no element %2").arg(ref.path).arg(i));
        WarnInvokeFailed(ref, QStringLiteral("Item"), 0);
        return {};
    }
    *ok = true;
    lastError_ = 0;
    const QString base = ref.path == QLatin1String("/") ? QString() : ref.path;
    return QVariant::fromValue(CZTDBusRef{ref.service, base + QLatin1Char('/') + info->children[i], QString()});
}

std::optional<QVariantList> CZTDBusBridge::Elements(const CZTDBusRef& ref) {
    const CZTDBusIntrospection* info = Introspect(ref);
    if (!info) return std::nullopt;
    const CZTDBusMethod* items = info->FindMethod(ref.interface, QStringLiteral("Items"));
    const CZTDBusProperty* itemsProp = info->FindProperty(ref.interface, QStringLiteral("Items"));
    if ((items && items->in.empty()) || (itemsProp && itemsProp->readable)) {
        bool ok = false;
        const QVariant v = Invoke(ref, QStringLiteral("Items"), {}, &ok);
        if (!ok) return std::nullopt;
        if (v.metaType().id() != QMetaType::QVariantList) {
            SetLocalError(QDBusError::InvalidSignature, QStringLiteral("Items did not give an array"));
            return std::nullopt;
        }
        return v.toList();
    }
    QVariantList out;
    const QString base = ref.path == QLatin1String("/") ? QString() : ref.path;
    for (const QString& child : info->children)
        out << QVariant::fromValue(CZTDBusRef{ref.service, base + QLatin1Char('/') + child, QString()});
    lastError_ = 0;
    return out;
}

QString CZTDBusBridge::Describe(const CZTDBusRef& ref, const QString& objectName, const QStringList& names, bool* ok) {
    const CZTDBusIntrospection* info = Introspect(ref);
    *ok = info != nullptr;
    if (!info) {
        warnings_ << QStringLiteral("ZTOLEObject.Describe: Object with no TypeInfo\n");
        return {};
    }
    return DescribeObject(objectName, ref.interface, *info, names);
}

} // namespace zt::dbus
