#include "script/dbus/scriptbridge.h"

#include "script/dbus/dbusbridge.h"
#include "script/jsutil.h"

#include <jsapi.h>
#include <jsfriendapi.h>
#include <js/Array.h>
#include <js/Object.h>
#include <js/PropertyAndElement.h>

#include <QVariantMap>

#include <memory>

namespace zt::dbus {

namespace {

using zt::script::CScriptHost;

// What one script run shares: its bridge. Owned by the extension, so it
// outlives the engine's objects that point at it.
struct CBridgeState {
    std::unique_ptr<CZTDBusBridge> bridge;
};

constexpr uint32_t kObjectTag = 0x12212112;
constexpr uint32_t kEnumTag = 0x23323223;

// The private record of a wrapped object.
struct CObjectRecord {
    uint32_t tag = kObjectTag;
    CBridgeState* state = nullptr;
    std::optional<CZTDBusRef> ref;  // none when the creation failed
    QString name;                   // what it was created under
};

// Deeper arrays than this are refused (they would only come from cycles).
constexpr int kMaxDepth = 32;

void FinalizeObject(JS::GCContext*, JSObject* obj) {
    const JS::Value& v = JS::GetReservedSlot(obj, 0);
    if (v.isUndefined()) return;
    delete static_cast<CObjectRecord*>(v.toPrivate());
}

bool ResolveMember(JSContext* cx, JS::HandleObject obj, JS::HandleId id, bool* resolved);
bool MayResolveMember(const JSAtomState&, jsid id, JSObject*) { return !id.isSymbol(); }

const JSClassOps kObjectOps = {nullptr, nullptr, nullptr, nullptr, ResolveMember,
                               MayResolveMember, FinalizeObject, nullptr, nullptr, nullptr};
const JSClass kObjectClass = {"ZTOLEObject", JSCLASS_HAS_RESERVED_SLOTS(1) | JSCLASS_FOREGROUND_FINALIZE,
                              &kObjectOps};
// Enumerator: slot 0 the array of elements (undefined once exhausted), slot 1
// the next index, slot 2 the tag.
const JSClass kEnumClass = {"ZTOLEEnum", JSCLASS_HAS_RESERVED_SLOTS(3)};

CObjectRecord* RecordOf(JSObject* obj) {
    if (!obj || JS::GetClass(obj) != &kObjectClass) return nullptr;
    const JS::Value& v = JS::GetReservedSlot(obj, 0);
    if (v.isUndefined()) return nullptr;
    auto* r = static_cast<CObjectRecord*>(v.toPrivate());
    return r->tag == kObjectTag ? r : nullptr;
}

CBridgeState* StateOf(const JS::CallArgs& args) {
    const JS::Value& v = js::GetFunctionNativeReserved(&args.callee(), 0);
    return v.isUndefined() ? nullptr : static_cast<CBridgeState*>(v.toPrivate());
}

// Prints a warning the way the host prints them; the script goes on.
void Warn(JSContext* cx, const QString& text) {
    CScriptHost* host = CScriptHost::FromContext(cx);
    if (host && host->reportWarnings) host->Print(zt::script::FormatReport(cx, text.toStdString(), true));
}

void FlushWarnings(JSContext* cx, CZTDBusBridge& bridge) {
    for (const QString& w : bridge.TakeWarnings()) Warn(cx, w);
}

JSObject* NewWrapped(JSContext* cx, CBridgeState* state, std::optional<CZTDBusRef> ref, const QString& name) {
    JS::RootedObject obj(cx, JS_NewObject(cx, &kObjectClass));
    if (!obj) return nullptr;
    auto* record = new CObjectRecord;
    record->state = state;
    record->ref = std::move(ref);
    record->name = name;
    JS::SetReservedSlot(obj, 0, JS::PrivateValue(record));
    return obj;
}

// ---- values

bool ToVariant(JSContext* cx, CBridgeState* state, JS::HandleValue v, QVariant* out, int depth = 0);

bool ArrayToVariant(JSContext* cx, CBridgeState* state, JS::HandleObject array, QVariant* out, int depth) {
    if (depth >= kMaxDepth) return zt::script::ReportError(cx, "ZTOLEObject: Arrays nested too deeply.");
    uint32_t length = 0;
    if (!JS::GetArrayLength(cx, array, &length)) {
        JS_ClearPendingException(cx);
        Warn(cx, QStringLiteral("JS array has no length value!\n"));
        *out = QVariantList();
        return true;
    }
    QVariantList list;
    for (uint32_t i = 0; i < length; ++i) {
        JS::RootedValue e(cx);
        if (!JS_GetElement(cx, array, i, &e)) return false;
        QVariant q;
        if (!ToVariant(cx, state, e, &q, depth + 1)) return false;
        list << q;
    }
    *out = list;
    return true;
}

bool ToVariant(JSContext* cx, CBridgeState* state, JS::HandleValue v, QVariant* out, int depth) {
    if (v.isUndefined()) { *out = QVariant(); return true; }
    if (v.isNull()) { *out = QVariant::fromValue(nullptr); return true; }
    if (v.isBoolean()) { *out = v.toBoolean(); return true; }
    if (v.isInt32()) { *out = v.toInt32(); return true; }
    if (v.isDouble()) { *out = v.toDouble(); return true; }
    if (v.isObject()) {
        JS::RootedObject obj(cx, &v.toObject());
        if (CObjectRecord* r = RecordOf(obj)) {
            if (r->ref) *out = QVariant::fromValue(*r->ref);
            else *out = QVariant();
            return true;
        }
        bool isArray = false;
        if (!JS::IsArrayObject(cx, obj, &isArray)) return false;
        if (isArray) return ArrayToVariant(cx, state, obj, out, depth);
    }
    std::string text;
    if (!zt::script::ValueToUtf8(cx, v, text)) return false;
    *out = QString::fromStdString(text);
    return true;
}

bool FromVariant(JSContext* cx, CBridgeState* state, const QVariant& v, JS::MutableHandleValue out, int depth = 0) {
    if (depth >= kMaxDepth) {
        out.setUndefined();
        return true;
    }
    if (!v.isValid()) {
        out.setUndefined();
        return true;
    }
    const int type = v.metaType().id();
    if (type == QMetaType::Nullptr) {
        out.setNull();
        return true;
    }
    if (v.metaType() == QMetaType::fromType<CZTDBusRef>()) {
        JSObject* obj = NewWrapped(cx, state, v.value<CZTDBusRef>(), QStringLiteral("ZTOLEObject"));
        if (!obj) return false;
        out.setObject(*obj);
        return true;
    }
    switch (type) {
    case QMetaType::Bool: out.setBoolean(v.toBool()); return true;
    case QMetaType::Int: out.setInt32(v.toInt()); return true;
    case QMetaType::Double: out.setDouble(v.toDouble()); return true;
    case QMetaType::QVariantList: {
        const QVariantList list = v.toList();
        JS::RootedObject array(cx, JS::NewArrayObject(cx, size_t(list.size())));
        if (!array) return false;
        for (qsizetype i = 0; i < list.size(); ++i) {
            JS::RootedValue e(cx);
            if (!FromVariant(cx, state, list[i], &e, depth + 1)) return false;
            if (!JS_SetElement(cx, array, uint32_t(i), e)) {
                Warn(cx, QStringLiteral("OLEValToJS: Setting array value %1:%2 failed.\n").arg(i).arg(0));
                JS_ClearPendingException(cx);
            }
        }
        out.setObject(*array);
        return true;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = v.toMap();
        JS::RootedObject obj(cx, JS_NewPlainObject(cx));
        if (!obj) return false;
        for (auto it = map.begin(); it != map.end(); ++it) {
            JS::RootedValue e(cx);
            if (!FromVariant(cx, state, it.value(), &e, depth + 1)) return false;
            const std::u16string key = it.key().toStdU16String();
            if (!JS_DefineUCProperty(cx, obj, key.data(), key.size(), e, JSPROP_ENUMERATE)) return false;
        }
        out.setObject(*obj);
        return true;
    }
    default: break;
    }
    out.set(zt::script::StringValueUtf8(cx, v.toString().toStdString()));
    return !out.isUndefined();
}

QString IdName(JSContext* cx, JS::HandleValue nameValue) {
    std::string s;
    if (!nameValue.isString() || !zt::script::ValueToUtf8(cx, nameValue, s)) return {};
    return QString::fromStdString(s);
}

// ---- members

// The invoker: slot 0 the wrapped object, slot 1 the member name.
bool Exec(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    JS::RootedValue self(cx, js::GetFunctionNativeReserved(&args.callee(), 0));
    JS::RootedValue nameValue(cx, js::GetFunctionNativeReserved(&args.callee(), 1));
    args.rval().setUndefined();  // rval shares its slot with the callee
    if (!self.isObject()) return zt::script::ReportError(cx, "ZTOLEObject.ExecOp: Internal Error retrieving function.\n");
    const QString name = IdName(cx, nameValue);
    if (name.isEmpty()) return zt::script::ReportError(cx, "ZTOLEObject.ExecOp: Internal Error retrieving Method Name.\n");
    CObjectRecord* r = RecordOf(&self.toObject());
    if (!r || !r->ref || !r->state || !r->state->bridge) {
        Warn(cx, QStringLiteral("ZTOLEObject.ExecOp: Internal error retrieving data for '%1'.\n").arg(name));
        return true;
    }
    QVariantList values;
    for (unsigned i = 0; i < args.length(); ++i) {
        QVariant q;
        if (!ToVariant(cx, r->state, args[i], &q)) return false;
        values << q;
    }
    CZTDBusBridge& bridge = *r->state->bridge;
    bool ok = false;
    const QVariant result = bridge.Invoke(*r->ref, name, values, &ok);
    FlushWarnings(cx, bridge);
    if (!ok) return true;
    return FromVariant(cx, r->state, result, args.rval());
}

// "ZTDescribe" ([names...]).
bool Describe(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    JS::RootedValue self(cx, js::GetFunctionNativeReserved(&args.callee(), 0));
    args.rval().setUndefined();  // rval shares its slot with the callee
    CObjectRecord* r = self.isObject() ? RecordOf(&self.toObject()) : nullptr;
    if (!r || !r->ref || !r->state || !r->state->bridge) {
        Warn(cx, QStringLiteral("ZTOLEObject.Describe: Error retrieving data\n"));
        return true;
    }
    QStringList names;
    for (unsigned i = 0; i < args.length(); ++i) {
        if (!args[i].isString()) {
            Warn(cx, QStringLiteral("ZTOLEObject.Describe: Cannot retrive argument %1\n").arg(i));
            continue;
        }
        names << IdName(cx, args[i]);
    }
    CZTDBusBridge& bridge = *r->state->bridge;
    bool ok = false;
    const QString text = bridge.Describe(*r->ref, r->name, names, &ok);
    FlushWarnings(cx, bridge);
    if (!ok) return true;
    args.rval().set(zt::script::StringValueUtf8(cx, text.toStdString()));
    return !args.rval().isUndefined();
}

// Getter of a named member: a fresh function of that name. Slot 0 the name.
bool MemberGetter(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    JS::RootedValue nameValue(cx, js::GetFunctionNativeReserved(&args.callee(), 0));
    if (!args.thisv().isObject() || !nameValue.isString())
        return zt::script::ReportError(cx, "ZTOLEObject.GetterOp: Internal Error retrieving Property Name.\n");
    JS::RootedString nameString(cx, nameValue.toString());
    JS::RootedId id(cx);
    if (!JS_StringToId(cx, nameString, &id))
        return zt::script::ReportError(cx, "ZTOLEObject.GetterOp: Internal Error retrieving Property Name.\n");
    const bool describe = JS_LinearStringEqualsLiteral(JS_EnsureLinearString(cx, nameString), "ZTDescribe");
    JSFunction* fun = js::NewFunctionByIdWithReserved(cx, describe ? Describe : Exec, 0, 0, id);
    if (!fun) {
        const QString name = IdName(cx, nameValue);
        return zt::script::ReportError(
            cx, QStringLiteral("ZTOLEObject.GetterOp: Internal Error creating FunObject for '%1'\n").arg(name).toStdString());
    }
    JSObject* funObj = JS_GetFunctionObject(fun);
    js::SetFunctionNativeReserved(funObj, 0, args.thisv());
    js::SetFunctionNativeReserved(funObj, 1, nameValue);
    args.rval().setObject(*funObj);
    return true;
}

// Setter of a named member: a property put. Slot 0 the name.
bool MemberSetter(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    JS::RootedValue nameValue(cx, js::GetFunctionNativeReserved(&args.callee(), 0));
    args.rval().setUndefined();  // rval shares its slot with the callee
    const QString name = IdName(cx, nameValue);
    if (!args.thisv().isObject() || name.isEmpty())
        return zt::script::ReportError(cx, "ZTOLEObject.SetterOp: Internal Error retrieving Property Name.\n");
    CObjectRecord* r = RecordOf(&args.thisv().toObject());
    if (!r || !r->ref || !r->state || !r->state->bridge) {
        Warn(cx, QStringLiteral("ZTOLEObject.ExecOp: Internal error retrieving data for '%1'.\n").arg(name));
        return true;
    }
    QVariant value;
    if (!ToVariant(cx, r->state, args.get(0), &value)) return false;
    CZTDBusBridge& bridge = *r->state->bridge;
    bridge.Put(*r->ref, name, value);
    FlushWarnings(cx, bridge);
    return true;
}

// Getter of obj[i]: "Item"(i) or the i-th child. Slot 0 the index.
bool IndexGetter(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const JS::Value index = js::GetFunctionNativeReserved(&args.callee(), 0);
    args.rval().setUndefined();  // rval shares its slot with the callee
    CObjectRecord* r = args.thisv().isObject() ? RecordOf(&args.thisv().toObject()) : nullptr;
    if (!index.isInt32() || !r || !r->ref || !r->state || !r->state->bridge) {
        Warn(cx, QStringLiteral("ZTOLEObject.ExecOp: Internal error retrieving data for '%1'.\n").arg(QStringLiteral("Item")));
        return true;
    }
    CZTDBusBridge& bridge = *r->state->bridge;
    bool ok = false;
    const QVariant result = bridge.Index(*r->ref, index.toInt32(), &ok);
    FlushWarnings(cx, bridge);
    if (!ok) return true;
    return FromVariant(cx, r->state, result, args.rval());
}

bool ResolveMember(JSContext* cx, JS::HandleObject obj, JS::HandleId id, bool* resolved) {
    *resolved = false;
    if (id.isSymbol()) return true;
    if (id.isInt()) {
        JSFunction* getter = js::NewFunctionWithReserved(cx, IndexGetter, 0, 0, "Item");
        if (!getter) return zt::script::ReportError(cx, "ZTOLEObject.ResolveOp: Internal Error defining Function for LazyFun\n");
        JS::RootedObject getterObj(cx, JS_GetFunctionObject(getter));
        js::SetFunctionNativeReserved(getterObj, 0, JS::Int32Value(id.toInt()));
        JS::RootedObject none(cx);
        if (!JS_DefinePropertyById(cx, obj, id, getterObj, none, 0))
            return zt::script::ReportError(cx, "ZTOLEObject.ResolveOp: Internal Error defining Function for LazyFun\n");
        *resolved = true;
        return true;
    }
    if (!id.isString()) return true;
    JS::RootedString name(cx, id.toString());
    JSLinearString* linear = JS_EnsureLinearString(cx, name);
    if (!linear) return zt::script::ReportError(cx, "ZTOLEObject.ResolveOp: Internal Error receiving Properties for LazyFun\n");
    // The engine's default conversions stay reachable.
    if (JS_LinearStringEqualsLiteral(linear, "toString")) return true;
    JSFunction* getter = js::NewFunctionByIdWithReserved(cx, MemberGetter, 0, 0, id);
    JSFunction* setter = getter ? js::NewFunctionByIdWithReserved(cx, MemberSetter, 1, 0, id) : nullptr;
    if (!setter) return zt::script::ReportError(cx, "ZTOLEObject.ResolveOp: Internal Error defining Function for LazyFun\n");
    JS::RootedObject getterObj(cx, JS_GetFunctionObject(getter));
    JS::RootedObject setterObj(cx, JS_GetFunctionObject(setter));
    js::SetFunctionNativeReserved(getterObj, 0, JS::StringValue(name));
    js::SetFunctionNativeReserved(setterObj, 0, JS::StringValue(name));
    if (!JS_DefinePropertyById(cx, obj, id, getterObj, setterObj, JSPROP_PERMANENT))
        return zt::script::ReportError(cx, "ZTOLEObject.ResolveOp: Internal Error defining Function for LazyFun\n");
    *resolved = true;
    return true;
}

// ---- constructors and the global function

bool NewObject(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CBridgeState* state = StateOf(args);
    std::optional<CZTDBusRef> ref;
    QString name;
    if (args.length() != 1 || !args[0].isString()) {
        Warn(cx, QStringLiteral("ZTOLEObject.New: Usage: var v = new ZTOLEObject(string);\nOLEObject creation failed\n"));
    } else {
        name = IdName(cx, args[0]);
        if (state && state->bridge) {
            ref = state->bridge->Create(name);
            FlushWarnings(cx, *state->bridge);
        }
    }
    // A failed creation still gives an object, unbound: its calls warn and
    // give undefined, and GetOLELastError tells why.
    JSObject* obj = NewWrapped(cx, state, std::move(ref), name);
    if (!obj) return false;
    args.rval().setObject(*obj);
    return true;
}

bool EnumNext(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    args.rval().setUndefined();
    if (!args.thisv().isObject() || JS::GetClass(&args.thisv().toObject()) != &kEnumClass) return true;
    JS::RootedObject self(cx, &args.thisv().toObject());
    JS::RootedValue items(cx, JS::GetReservedSlot(self, 0));
    if (!items.isObject()) return true;
    JS::RootedObject array(cx, &items.toObject());
    uint32_t length = 0;
    if (!JS::GetArrayLength(cx, array, &length)) return false;
    const int32_t next = JS::GetReservedSlot(self, 1).toInt32();
    if (uint32_t(next) >= length) return true;
    JS::SetReservedSlot(self, 1, JS::Int32Value(next + 1));
    return JS_GetElement(cx, array, uint32_t(next), args.rval());
}

bool NewEnum(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CBridgeState* state = StateOf(args);
    JS::RootedObject self(cx, JS_NewObject(cx, &kEnumClass));
    if (!self) return false;
    JS::SetReservedSlot(self, 1, JS::Int32Value(0));
    JS::SetReservedSlot(self, 2, JS::Int32Value(int32_t(kEnumTag)));
    if (!JS_DefineFunction(cx, self, "Next", EnumNext, 0, JSPROP_ENUMERATE | JSPROP_PERMANENT))
        return zt::script::ReportError(cx, "ZTOLEEnum.New: Internal Error defining function Next\n");
    args.rval().setObject(*self);
    CObjectRecord* r = args.length() == 1 && args[0].isObject() ? RecordOf(&args[0].toObject()) : nullptr;
    if (!r) {
        Warn(cx, QStringLiteral("ZTOLEEnum.New: Usage: var e = new ZTOLEEnum(ZTOLEObject);\nOLEEnum creation failed\n"));
        return true;
    }
    if (!r->ref || !state || !state->bridge) {
        Warn(cx, QStringLiteral("ZTOLEEnum.New: Creation failed\n"));
        return true;
    }
    CZTDBusBridge& bridge = *state->bridge;
    const std::optional<QVariantList> elements = bridge.Elements(*r->ref);
    FlushWarnings(cx, bridge);
    if (!elements) {
        Warn(cx, QStringLiteral("ZTOLEEnum.New: Creation failed\n"));
        return true;
    }
    JS::RootedValue items(cx);
    if (!FromVariant(cx, state, QVariant(*elements), &items)) return false;
    if (!items.isObject()) return zt::script::ReportError(cx, "ZTOLEEnum.New: Internal Error setting Data\n");
    JS::SetReservedSlot(self, 0, items);
    return true;
}

bool GetOLELastError(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CBridgeState* state = StateOf(args);
    args.rval().setNumber(state && state->bridge ? double(state->bridge->LastError()) : 0.0);
    return true;
}

bool DefineWithState(JSContext* cx, JS::HandleObject global, const char* name, JSNative native, unsigned nargs,
                     unsigned attrs, CBridgeState* state) {
    JSFunction* fun = js::DefineFunctionWithReserved(cx, global, name, native, nargs, attrs);
    if (!fun) return false;
    js::SetFunctionNativeReserved(JS_GetFunctionObject(fun), 0, JS::PrivateValue(state));
    return true;
}

} // namespace

zt::script::ScriptExtension ScriptBridgeExtension(std::function<QDBusConnection()> bus, int timeoutMs) {
    auto state = std::make_shared<CBridgeState>();
    return [state, bus = std::move(bus), timeoutMs](JSContext* cx, JSObject* globalObj) {
        JS::RootedObject global(cx, globalObj);
        state->bridge = std::make_unique<CZTDBusBridge>(bus ? bus() : QDBusConnection::sessionBus(), timeoutMs);
        CBridgeState* s = state.get();
        return DefineWithState(cx, global, "ZTOLEObject", NewObject, 1, JSFUN_CONSTRUCTOR, s) &&
               DefineWithState(cx, global, "ZTOLEEnum", NewEnum, 1, JSFUN_CONSTRUCTOR, s) &&
               DefineWithState(cx, global, "GetOLELastError", GetOLELastError, 0, 0, s);
    };
}

} // namespace zt::dbus
