#include "script/dbus/dbusvalue.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <mutex>

namespace zt::dbus {

namespace {

QString NumberText(double d) { return QString::number(d, 'g', QLocale::FloatingPointShortest); }

bool IsNull(const QVariant& v) { return v.metaType().id() == QMetaType::Nullptr; }
bool IsRef(const QVariant& v) { return v.metaType() == QMetaType::fromType<CZTDBusRef>(); }
bool IsList(const QVariant& v) { return v.metaType().id() == QMetaType::QVariantList; }

// The string form of a script value.
QString StringForm(const QVariant& v) {
    if (!v.isValid()) return QStringLiteral("undefined");
    if (IsNull(v)) return QStringLiteral("null");
    if (IsRef(v)) return v.value<CZTDBusRef>().path;
    switch (v.metaType().id()) {
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Double: return NumberText(v.toDouble());
    case QMetaType::QVariantList: {
        QStringList parts;
        for (const QVariant& e : v.toList()) parts << StringForm(e);
        return parts.join(QLatin1Char(','));
    }
    default: return v.toString();
    }
}

// A script value as a number, when it is one or reads as one.
bool NumberOf(const QVariant& v, double* out) {
    switch (v.metaType().id()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double:
        *out = v.toDouble();
        return true;
    case QMetaType::Bool: *out = v.toBool() ? 1 : 0; return true;
    case QMetaType::QString: {
        bool ok = false;
        *out = v.toString().trimmed().toDouble(&ok);
        return ok;
    }
    default: return false;
    }
}

template <typename T>
bool IntegerOf(const QVariant& v, T* out, QString* error) {
    double d = 0;
    if (!NumberOf(v, &d) || std::isnan(d)) {
        *error = QStringLiteral("'%1' is not a number").arg(StringForm(v));
        return false;
    }
    if (d != std::floor(d) || d < double(std::numeric_limits<T>::min()) ||
        d > double(std::numeric_limits<T>::max())) {
        *error = QStringLiteral("%1 does not fit the declared integer type").arg(NumberText(d));
        return false;
    }
    *out = T(d);
    return true;
}

// One basic value for type code c; into a QVariant of the marshalled type.
bool BasicToDBus(const QVariant& v, QChar c, QVariant* out, QString* error) {
    switch (c.unicode()) {
    case 's':
        if (IsList(v)) { *error = QStringLiteral("an array where a string is declared"); return false; }
        *out = (IsNull(v) || !v.isValid()) ? QString() : StringForm(v);
        return true;
    case 'b': {
        if (v.metaType().id() == QMetaType::Bool) { *out = v.toBool(); return true; }
        if (v.metaType().id() == QMetaType::QString) {
            const QString s = v.toString();
            if (s == QLatin1String("true") || s == QLatin1String("1")) { *out = true; return true; }
            if (s == QLatin1String("false") || s == QLatin1String("0") || s.isEmpty()) { *out = false; return true; }
            *error = QStringLiteral("'%1' is not a boolean").arg(s);
            return false;
        }
        double d = 0;
        if (NumberOf(v, &d)) { *out = d != 0 && !std::isnan(d); return true; }
        if (!v.isValid() || IsNull(v)) { *out = false; return true; }
        *error = QStringLiteral("'%1' is not a boolean").arg(StringForm(v));
        return false;
    }
    case 'd': {
        double d = 0;
        if (!v.isValid() || IsNull(v)) { *out = 0.0; return true; }
        if (!NumberOf(v, &d)) { *error = QStringLiteral("'%1' is not a number").arg(StringForm(v)); return false; }
        *out = d;
        return true;
    }
#define ZT_INT_CASE(code, type)                                                 \
    case code: {                                                                \
        type n{};                                                               \
        if (!v.isValid() || IsNull(v)) { *out = QVariant::fromValue(type(0)); return true; } \
        if (!IntegerOf<type>(v, &n, error)) return false;                       \
        *out = QVariant::fromValue(n);                                          \
        return true;                                                            \
    }
    ZT_INT_CASE('y', uchar)
    ZT_INT_CASE('n', short)
    ZT_INT_CASE('q', ushort)
    ZT_INT_CASE('i', int)
    ZT_INT_CASE('u', uint)
    ZT_INT_CASE('x', qlonglong)
    ZT_INT_CASE('t', qulonglong)
#undef ZT_INT_CASE
    case 'o': {
        const QString p = IsRef(v) ? v.value<CZTDBusRef>().path : StringForm(v);
        static const QRegularExpression valid(QStringLiteral("^/$|^(/[A-Za-z0-9_]+)+$"));
        if (!valid.match(p).hasMatch()) { *error = QStringLiteral("'%1' is not an object path").arg(p); return false; }
        *out = QVariant::fromValue(QDBusObjectPath(p));
        return true;
    }
    case 'g': {
        const QDBusSignature sig(StringForm(v));
        if (sig.signature().isEmpty() && !StringForm(v).isEmpty()) {
            *error = QStringLiteral("'%1' is not a signature").arg(StringForm(v));
            return false;
        }
        *out = QVariant::fromValue(sig);
        return true;
    }
    default:
        *error = QStringLiteral("the type '%1' cannot be passed").arg(c);
        return false;
    }
}

// The value's own D-Bus form, for "v" and undeclared arguments.
QVariant DefaultForm(const QVariant& v) {
    if (!v.isValid() || IsNull(v)) return QString();
    if (IsRef(v)) return QVariant::fromValue(QDBusObjectPath(v.value<CZTDBusRef>().path));
    switch (v.metaType().id()) {
    case QMetaType::Bool: return v.toBool();
    case QMetaType::Int: return v.toInt();
    case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong: {
        const double d = v.toDouble();
        if (d >= std::numeric_limits<int>::min() && d <= std::numeric_limits<int>::max()) return int(d);
        return d;
    }
    case QMetaType::Double: {
        const double d = v.toDouble();
        if (d == std::floor(d) && d >= std::numeric_limits<int>::min() && d <= std::numeric_limits<int>::max())
            return int(d);
        return d;
    }
    case QMetaType::QVariantList: {
        QVariantList out;
        for (const QVariant& e : v.toList()) out << DefaultForm(e);
        return out;
    }
    case QMetaType::QVariantMap: {
        QVariantMap out;
        const QVariantMap m = v.toMap();
        for (auto it = m.begin(); it != m.end(); ++it) out.insert(it.key(), DefaultForm(it.value()));
        return out;
    }
    default: return StringForm(v);
    }
}

template <typename T>
bool ListOf(const QVariantList& in, QChar c, QList<T>* out, QString* error) {
    for (const QVariant& e : in) {
        QVariant one;
        if (!BasicToDBus(e, c, &one, error)) return false;
        out->append(one.value<T>());
    }
    return true;
}

// A one-dimensional array of basic code c as the registered list type.
bool ArrayToDBus(const QVariantList& in, QChar c, QVariant* out, QString* error) {
    switch (c.unicode()) {
#define ZT_LIST_CASE(code, type)                                      \
    case code: {                                                      \
        QList<type> l;                                                \
        if (!ListOf<type>(in, c, &l, error)) return false;            \
        *out = QVariant::fromValue(l);                                \
        return true;                                                  \
    }
    ZT_LIST_CASE('b', bool)
    ZT_LIST_CASE('n', short)
    ZT_LIST_CASE('q', ushort)
    ZT_LIST_CASE('i', int)
    ZT_LIST_CASE('u', uint)
    ZT_LIST_CASE('x', qlonglong)
    ZT_LIST_CASE('t', qulonglong)
    ZT_LIST_CASE('d', double)
    ZT_LIST_CASE('o', QDBusObjectPath)
    ZT_LIST_CASE('g', QDBusSignature)
#undef ZT_LIST_CASE
    case 's': {
        QStringList l;
        for (const QVariant& e : in) {
            QVariant one;
            if (!BasicToDBus(e, c, &one, error)) return false;
            l << one.toString();
        }
        *out = l;
        return true;
    }
    case 'y': {
        QByteArray b;
        for (const QVariant& e : in) {
            uchar n = 0;
            if (!IntegerOf<uchar>(e, &n, error)) return false;
            b.append(char(n));
        }
        *out = b;
        return true;
    }
    case 'v': {
        QVariantList l;
        for (const QVariant& e : in) l << DefaultForm(e);
        *out = l;
        return true;
    }
    default:
        *error = QStringLiteral("arrays of '%1' cannot be passed").arg(c);
        return false;
    }
}

template <typename T>
bool Nested(const QVariantList& rows, QChar c, QVariant* out, QString* error) {
    QList<T> all;
    for (const QVariant& row : rows) {
        if (!IsList(row)) { *error = QStringLiteral("a row of a two-dimensional array is not an array"); return false; }
        QVariant one;
        if (!ArrayToDBus(row.toList(), c, &one, error)) return false;
        all.append(one.value<T>());
    }
    *out = QVariant::fromValue(all);
    return true;
}

bool Array2ToDBus(const QVariantList& rows, QChar c, QVariant* out, QString* error) {
    switch (c.unicode()) {
    case 'b': return Nested<QList<bool>>(rows, c, out, error);
    case 'n': return Nested<QList<short>>(rows, c, out, error);
    case 'q': return Nested<QList<ushort>>(rows, c, out, error);
    case 'i': return Nested<QList<int>>(rows, c, out, error);
    case 'u': return Nested<QList<uint>>(rows, c, out, error);
    case 'x': return Nested<QList<qlonglong>>(rows, c, out, error);
    case 't': return Nested<QList<qulonglong>>(rows, c, out, error);
    case 'd': return Nested<QList<double>>(rows, c, out, error);
    case 'y': return Nested<QByteArray>(rows, c, out, error);
    case 's': return Nested<QStringList>(rows, c, out, error);
    case 'o': return Nested<QList<QDBusObjectPath>>(rows, c, out, error);
    case 'v': return Nested<QVariantList>(rows, c, out, error);
    default:
        *error = QStringLiteral("arrays of arrays of '%1' cannot be passed").arg(c);
        return false;
    }
}

int ArrayDimensions(const QString& sig) {
    int dims = 0;
    for (qsizetype i = 0; i < sig.size() && sig[i] == QLatin1Char('a'); ++i) {
        if (i + 1 < sig.size() && sig[i + 1] == QLatin1Char('{')) break;  // a dictionary
        ++dims;
    }
    return dims;
}

QVariant Demarshal(const QDBusArgument& a, const QString& service, QStringList* warnings, bool top);

QVariant FromDBusImpl(const QVariant& v, const QString& service, QStringList* warnings, bool top) {
    const int id = v.metaType().id();
    if (v.metaType() == QMetaType::fromType<QDBusArgument>())
        return Demarshal(v.value<QDBusArgument>(), service, warnings, top);
    if (v.metaType() == QMetaType::fromType<QDBusVariant>())
        return FromDBusImpl(v.value<QDBusVariant>().variant(), service, warnings, true);
    if (v.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return QVariant::fromValue(CZTDBusRef{service, v.value<QDBusObjectPath>().path(), QString()});
    if (v.metaType() == QMetaType::fromType<QDBusSignature>()) return v.value<QDBusSignature>().signature();
    if (v.metaType() == QMetaType::fromType<QDBusUnixFileDescriptor>()) return {};
    switch (id) {
    case QMetaType::QString: return v;
    case QMetaType::Bool: return v;
    case QMetaType::Double: return NumberText(v.toDouble());
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Short: case QMetaType::UShort: case QMetaType::UChar:
        return v.toString();
    case QMetaType::QStringList: {
        QVariantList out;
        for (const QString& s : v.toStringList()) out << s;
        return out;
    }
    case QMetaType::QByteArray: {
        QVariantList out;
        for (char ch : v.toByteArray()) out << QString::number(uchar(ch));
        return out;
    }
    case QMetaType::QVariantList: {
        QVariantList out;
        for (const QVariant& e : v.toList()) out << FromDBusImpl(e, service, warnings, true);
        return out;
    }
    case QMetaType::QVariantMap: {
        QVariantMap out;
        const QVariantMap m = v.toMap();
        for (auto it = m.begin(); it != m.end(); ++it) out.insert(it.key(), FromDBusImpl(it.value(), service, warnings, true));
        return out;
    }
    default:
        return v.canConvert<QString>() ? QVariant(v.toString()) : QVariant();
    }
}

QVariant Demarshal(const QDBusArgument& a, const QString& service, QStringList* warnings, bool top) {
    switch (a.currentType()) {
    case QDBusArgument::BasicType:
        return FromDBusImpl(a.asVariant(), service, warnings, false);
    case QDBusArgument::VariantType: {
        QDBusVariant dv;
        a >> dv;
        return FromDBusImpl(dv.variant(), service, warnings, true);
    }
    case QDBusArgument::ArrayType: {
        const int dims = ArrayDimensions(a.currentSignature());
        if (top && dims > 2) {
            if (warnings)
                warnings->append(QStringLiteral("OLE Array received with %1 dim. Supported are only 1 or 2 dim.\n").arg(dims));
            return {};
        }
        QVariantList out;
        a.beginArray();
        while (!a.atEnd()) out << FromDBusImpl(a.asVariant(), service, warnings, false);
        a.endArray();
        return out;
    }
    case QDBusArgument::StructureType: {
        QVariantList out;
        a.beginStructure();
        while (!a.atEnd()) out << FromDBusImpl(a.asVariant(), service, warnings, true);
        a.endStructure();
        return out;
    }
    case QDBusArgument::MapType: {
        QVariantMap out;
        a.beginMap();
        while (!a.atEnd()) {
            a.beginMapEntry();
            const QVariant key = FromDBusImpl(a.asVariant(), service, warnings, true);
            const QVariant value = FromDBusImpl(a.asVariant(), service, warnings, true);
            a.endMapEntry();
            out.insert(key.toString(), value);
        }
        a.endMap();
        return out;
    }
    default:
        return {};
    }
}

} // namespace

void RegisterDBusValueTypes() {
    static std::once_flag once;
    std::call_once(once, [] {
        qRegisterMetaType<CZTDBusRef>();
        qDBusRegisterMetaType<QList<bool>>();
        qDBusRegisterMetaType<QList<short>>();
        qDBusRegisterMetaType<QList<ushort>>();
        qDBusRegisterMetaType<QList<int>>();
        qDBusRegisterMetaType<QList<uint>>();
        qDBusRegisterMetaType<QList<qlonglong>>();
        qDBusRegisterMetaType<QList<qulonglong>>();
        qDBusRegisterMetaType<QList<double>>();
        qDBusRegisterMetaType<QList<QDBusObjectPath>>();
        qDBusRegisterMetaType<QList<QDBusSignature>>();
        qDBusRegisterMetaType<QList<QList<bool>>>();
        qDBusRegisterMetaType<QList<QList<short>>>();
        qDBusRegisterMetaType<QList<QList<ushort>>>();
        qDBusRegisterMetaType<QList<QList<int>>>();
        qDBusRegisterMetaType<QList<QList<uint>>>();
        qDBusRegisterMetaType<QList<QList<qlonglong>>>();
        qDBusRegisterMetaType<QList<QList<qulonglong>>>();
        qDBusRegisterMetaType<QList<QList<double>>>();
        qDBusRegisterMetaType<QList<QByteArray>>();
        qDBusRegisterMetaType<QList<QStringList>>();
        qDBusRegisterMetaType<QList<QList<QDBusObjectPath>>>();
        qDBusRegisterMetaType<QList<QVariantList>>();
    });
}

QString FirstCompleteType(const QString& sig, QString* rest) {
    qsizetype i = 0;
    while (i < sig.size() && sig[i] == QLatin1Char('a')) ++i;
    if (i < sig.size()) {
        const QChar open = sig[i];
        if (open == QLatin1Char('(') || open == QLatin1Char('{')) {
            const QChar close = open == QLatin1Char('(') ? QLatin1Char(')') : QLatin1Char('}');
            int depth = 0;
            for (; i < sig.size(); ++i) {
                if (sig[i] == QLatin1Char('(') || sig[i] == QLatin1Char('{')) ++depth;
                else if (sig[i] == QLatin1Char(')') || sig[i] == QLatin1Char('}')) {
                    if (--depth == 0) break;
                }
            }
            (void)close;
        }
        ++i;
    }
    i = std::min(i, sig.size());
    if (rest) *rest = sig.mid(i);
    return sig.left(i);
}

bool ToDBus(const QVariant& value, const QString& sig, QVariant* out, QString* error) {
    if (sig.isEmpty()) {
        *out = DefaultForm(value);
        return true;
    }
    if (sig == QLatin1String("v")) {
        *out = QVariant::fromValue(QDBusVariant(DefaultForm(value)));
        return true;
    }
    if (sig.size() == 1) return BasicToDBus(value, sig[0], out, error);
    if (sig == QLatin1String("a{sv}")) {
        if (value.metaType().id() != QMetaType::QVariantMap) {
            *error = QStringLiteral("'%1' is not a dictionary").arg(StringForm(value));
            return false;
        }
        *out = DefaultForm(value);
        return true;
    }
    const int dims = ArrayDimensions(sig);
    if ((dims == 1 || dims == 2) && sig.size() == dims + 1) {
        if (!IsList(value)) {
            *error = QStringLiteral("'%1' is not an array").arg(StringForm(value));
            return false;
        }
        return dims == 1 ? ArrayToDBus(value.toList(), sig[1], out, error)
                         : Array2ToDBus(value.toList(), sig[2], out, error);
    }
    *error = QStringLiteral("the type '%1' cannot be passed").arg(sig);
    return false;
}

QVariant FromDBus(const QVariant& value, const QString& service, QStringList* warnings) {
    return FromDBusImpl(value, service, warnings, true);
}

} // namespace zt::dbus
