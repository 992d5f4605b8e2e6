#include "script/dbus/dbusinterfaces.h"

#include <QXmlStreamReader>

#include <algorithm>

#include "script/dbus/dbusvalue.h"

namespace zt::dbus {

namespace {

bool IsStandardInterface(const QString& name) { return name.startsWith(QLatin1String("org.freedesktop.DBus.")); }

// A member record of the description.
struct CMember {
    enum Kind { Method = 1, Get = 2, Put = 4 } kind;
    QString name, returnType, doc;
    std::vector<CZTDBusArg> params;
};

} // namespace

std::vector<const CZTDBusInterfaceInfo*> CZTDBusIntrospection::Scope(const QString& interface) const {
    std::vector<const CZTDBusInterfaceInfo*> out;
    for (const CZTDBusInterfaceInfo& i : interfaces)
        if (interface.isEmpty() ? !IsStandardInterface(i.name) : i.name == interface) out.push_back(&i);
    return out;
}

const CZTDBusMethod* CZTDBusIntrospection::FindMethod(const QString& interface, const QString& name,
                                                      QString* owner) const {
    for (const CZTDBusInterfaceInfo* i : Scope(interface))
        for (const CZTDBusMethod& m : i->methods)
            if (m.name == name) {
                if (owner) *owner = i->name;
                return &m;
            }
    return nullptr;
}

const CZTDBusProperty* CZTDBusIntrospection::FindProperty(const QString& interface, const QString& name,
                                                          QString* owner) const {
    for (const CZTDBusInterfaceInfo* i : Scope(interface))
        for (const CZTDBusProperty& p : i->properties)
            if (p.name == name) {
                if (owner) *owner = i->name;
                return &p;
            }
    return nullptr;
}

bool ParseIntrospection(const QString& xml, CZTDBusIntrospection* out, qsizetype limit) {
    *out = {};
    if (xml.size() > limit) return false;
    QXmlStreamReader r(xml);
    int nodeDepth = 0;
    CZTDBusInterfaceInfo* iface = nullptr;
    CZTDBusMethod* method = nullptr;
    CZTDBusProperty* prop = nullptr;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const auto n = r.name();
            const auto attrs = r.attributes();
            if (n == QLatin1String("node")) {
                // Only the object's own node and its direct children count.
                if (++nodeDepth == 2) {
                    const QString child = attrs.value(QLatin1String("name")).toString();
                    if (!child.isEmpty() && !out->children.contains(child)) out->children << child;
                }
            } else if (nodeDepth == 1 && n == QLatin1String("interface")) {
                out->interfaces.push_back({attrs.value(QLatin1String("name")).toString(), {}, {}, {}});
                iface = &out->interfaces.back();
            } else if (iface && n == QLatin1String("method")) {
                iface->methods.push_back({attrs.value(QLatin1String("name")).toString(), {}, {}, {}});
                method = &iface->methods.back();
            } else if (iface && n == QLatin1String("property")) {
                const QString access = attrs.value(QLatin1String("access")).toString();
                iface->properties.push_back({attrs.value(QLatin1String("name")).toString(),
                                             attrs.value(QLatin1String("type")).toString(),
                                             access.contains(QLatin1String("read")),
                                             access.contains(QLatin1String("write")), {}});
                prop = &iface->properties.back();
            } else if (method && n == QLatin1String("arg")) {
                CZTDBusArg a{attrs.value(QLatin1String("name")).toString(), attrs.value(QLatin1String("type")).toString()};
                if (attrs.value(QLatin1String("direction")) == QLatin1String("out")) method->out.push_back(a);
                else method->in.push_back(a);
            } else if (n == QLatin1String("annotation") &&
                       attrs.value(QLatin1String("name")) == QLatin1String("org.freedesktop.DBus.DocString")) {
                const QString doc = attrs.value(QLatin1String("value")).toString();
                if (method) method->doc = doc;
                else if (prop) prop->doc = doc;
                else if (iface) iface->doc = doc;
            }
        } else if (r.isEndElement()) {
            const auto n = r.name();
            if (n == QLatin1String("node")) --nodeDepth;
            else if (n == QLatin1String("interface")) iface = nullptr;
            else if (n == QLatin1String("method")) method = nullptr;
            else if (n == QLatin1String("property")) prop = nullptr;
        }
    }
    return !r.hasError();
}

QString TypeText(const QString& sig) {
    if (sig.isEmpty()) return QStringLiteral("void");
    if (sig.startsWith(QLatin1String("a{"))) return QStringLiteral("map");
    if (sig.startsWith(QLatin1Char('a'))) return TypeText(sig.mid(1)) + QStringLiteral("[]");
    if (sig.startsWith(QLatin1Char('('))) return QStringLiteral("struct");
    switch (sig[0].unicode()) {
    case 's': return QStringLiteral("string");
    case 'b': return QStringLiteral("bool");
    case 'v': return QStringLiteral("VARIANT");
    case 'o': return QStringLiteral("ZTDispatch *");
    case 'g': return QStringLiteral("signature");
    case 'y': return QStringLiteral("byte");
    case 'n': return QStringLiteral("short");
    case 'q': return QStringLiteral("ushort");
    case 'i': return QStringLiteral("int");
    case 'u': return QStringLiteral("uint");
    case 'x': return QStringLiteral("int64");
    case 't': return QStringLiteral("uint64");
    case 'd': return QStringLiteral("double");
    case 'h': return QStringLiteral("fd");
    default: return QStringLiteral("unknown(%1)").arg(sig);
    }
}

QString DescribeObject(const QString& objectName, const QString& interface, const CZTDBusIntrospection& info,
                       const QStringList& names) {
    std::vector<CMember> members;
    QString typeName = interface, doc;
    const auto scope = info.Scope(interface);
    if (typeName.isEmpty() && !scope.empty()) typeName = scope.front()->name;
    if (!scope.empty()) doc = scope.front()->doc;
    for (const CZTDBusInterfaceInfo* i : scope) {
        for (const CZTDBusMethod& m : i->methods) {
            QString ret;
            for (const CZTDBusArg& a : m.out) ret += a.type;
            members.push_back({CMember::Method, m.name,
                               m.out.size() > 1 ? QStringLiteral("struct") : TypeText(ret), m.doc, m.in});
        }
        for (const CZTDBusProperty& p : i->properties) {
            if (p.readable) members.push_back({CMember::Get, p.name, TypeText(p.type), p.doc, {}});
            if (p.writable)
                members.push_back({CMember::Put, p.name, QStringLiteral("void"), p.doc, {{p.name, p.type}}});
        }
    }
    std::stable_sort(members.begin(), members.end(),
                     [](const CMember& a, const CMember& b) { return a.name < b.name; });

    QString out;
    if (names.isEmpty()) {
        int functions = 0, properties = 0;
        for (const CMember& m : members) (m.kind == CMember::Method ? functions : properties)++;
        out += QStringLiteral("OLEObject '%1': '%2'\nDocumentation: '%3'\nFunctions: %4\nProperties: %5\n")
                   .arg(objectName, typeName, doc)
                   .arg(functions)
                   .arg(properties);
        for (const CMember& m : members) {
            const char* kind = m.kind == CMember::Method ? "Method     " : m.kind == CMember::Get ? "PropertyGet" : "PropertySet";
            out += QStringLiteral("%1 '%2'%3%4\n")
                       .arg(QLatin1String(kind), m.name, m.doc.isEmpty() ? QString() : QStringLiteral(": "), m.doc);
        }
        return out;
    }
    for (const QString& name : names) {
        bool found = false;
        for (const CMember& m : members) {
            if (m.name != name) continue;
            found = true;
            out += QStringLiteral("%1 %2(").arg(m.returnType, m.name);
            for (size_t k = 0; k < m.params.size(); ++k)
                out += QStringLiteral("%1%2 %3").arg(k ? QStringLiteral(", ") : QString(), TypeText(m.params[k].type),
                                                     m.params[k].name);
            out += QStringLiteral(");\n");
            if (!m.doc.isEmpty()) out += m.doc + QLatin1Char('\n');
        }
        if (!found) out += QStringLiteral("'%1' not found\n").arg(name);
    }
    return out;
}

} // namespace zt::dbus
