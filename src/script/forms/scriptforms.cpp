#include "script/forms/scriptforms.h"

#include "script/forms/formlayout.h"
#include "script/jsutil.h"

#include <jsapi.h>
#include <jsfriendapi.h>
#include <js/Array.h>
#include <js/Object.h>
#include <js/PropertyAndElement.h>

#include <string>

namespace zt::forms {

namespace {

using zt::script::CScriptHost;
using zt::script::ReportError;

struct CFormsState {
    CZTFormPresenter* presenter = nullptr;
};

// Slot 0: the bound control while the dialog is up; slot 1: the state.
constexpr uint32_t kFormSlots = JSCLASS_HAS_RESERVED_SLOTS(2);
const JSClass kTextClass = {"ZTTextForm", kFormSlots};
const JSClass kPictureClass = {"ZTPictureForm", kFormSlots};
const JSClass kEditClass = {"ZTEditForm", kFormSlots};
const JSClass kButtonClass = {"ZTButtonForm", kFormSlots};
const JSClass kComboClass = {"ZTComboForm", kFormSlots};
const JSClass kListboxClass = {"ZTListboxForm", kFormSlots};
const JSClass kElementClass = {"ZTFormElement", 0};

CZTFormKind KindOf(JSObject* obj) {
    const JSClass* c = JS::GetClass(obj);
    if (c == &kTextClass) return CZTFormKind::Text;
    if (c == &kPictureClass) return CZTFormKind::Picture;
    if (c == &kEditClass) return CZTFormKind::Edit;
    if (c == &kButtonClass) return CZTFormKind::Button;
    if (c == &kComboClass) return CZTFormKind::Combo;
    if (c == &kListboxClass) return CZTFormKind::Listbox;
    return CZTFormKind::Unknown;
}

CZTFormControl* ControlOf(JSObject* obj) {
    if (KindOf(obj) == CZTFormKind::Unknown) return nullptr;
    const JS::Value& v = JS::GetReservedSlot(obj, 0);
    return v.isUndefined() ? nullptr : static_cast<CZTFormControl*>(v.toPrivate());
}

CFormsState* StateOfForm(JSObject* obj) {
    if (KindOf(obj) == CZTFormKind::Unknown) return nullptr;
    const JS::Value& v = JS::GetReservedSlot(obj, 1);
    return v.isUndefined() ? nullptr : static_cast<CFormsState*>(v.toPrivate());
}

void Warn(JSContext* cx, const std::string& text) {
    CScriptHost* host = CScriptHost::FromContext(cx);
    if (host && host->reportWarnings) host->Print(zt::script::FormatReport(cx, text, true));
}

QString ToQString(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// A property that counts: present and not undefined.
bool Present(JSContext* cx, JS::HandleObject obj, const char* name, JS::MutableHandleValue v) {
    if (!JS_GetProperty(cx, obj, name, v)) {
        JS_ClearPendingException(cx);
        return false;
    }
    return !v.isUndefined();
}

bool GetString(JSContext* cx, JS::HandleObject obj, const char* name, QString* out) {
    JS::RootedValue v(cx);
    if (!Present(cx, obj, name, &v)) return false;
    std::string s;
    if (!zt::script::ValueToUtf8(cx, v, s)) {
        JS_ClearPendingException(cx);
        return false;
    }
    *out = ToQString(s);
    return true;
}

bool GetInt(JSContext* cx, JS::HandleObject obj, const char* name, int* out) {
    JS::RootedValue v(cx);
    if (!Present(cx, obj, name, &v)) return false;
    int32_t i = 0;
    if (!zt::script::ValueToInt(cx, v, i)) {
        JS_ClearPendingException(cx);
        return false;
    }
    *out = i;
    return true;
}

// The item texts of an array property; the warning when it has no length.
QStringList GetItems(JSContext* cx, JS::HandleObject obj, const char* name) {
    QStringList items;
    JS::RootedValue v(cx);
    if (!Present(cx, obj, name, &v) || !v.isObject()) return items;
    JS::RootedObject array(cx, &v.toObject());
    uint32_t length = 0;
    bool isArray = false;
    if (!JS::IsArrayObject(cx, array, &isArray) || !isArray || !JS::GetArrayLength(cx, array, &length)) {
        JS_ClearPendingException(cx);
        Warn(cx, "JS array has no length value!\n");
        return items;
    }
    // Far more items than any list shows are not read.
    length = std::min<uint32_t>(length, 100000);
    for (uint32_t i = 0; i < length; ++i) {
        JS::RootedValue e(cx);
        std::string s;
        if (!JS_GetElement(cx, array, i, &e) || !zt::script::ValueToUtf8(cx, e, s)) {
            JS_ClearPendingException(cx);
            s.clear();
        }
        items << ToQString(s);
    }
    return items;
}

const std::vector<const char*>& FlagsOf(CZTFormKind k) {
    static const std::vector<const char*> text = {"center", "vcenter", "right", "prefix", "leftnowordwrap"};
    static const std::vector<const char*> edit = {"multiline", "wantreturn", "password",  "readonly",   "vscroll",
                                                  "hscroll",   "noautohscroll", "autovscroll", "center", "right",
                                                  "lowercase", "uppercase",  "oemconvert", "nohidesel"};
    static const std::vector<const char*> button = {"group", "notabstop", "lefttext", "autoradio", "autocheckbox",
                                                    "auto3state"};
    static const std::vector<const char*> combo = {"autohscroll", "dropdown", "dropdownlist", "oemconvert", "sort",
                                                   "vscroll"};
    static const std::vector<const char*> list = {"sort", "vscroll"};
    static const std::vector<const char*> none;
    switch (k) {
    case CZTFormKind::Text: return text;
    case CZTFormKind::Edit: return edit;
    case CZTFormKind::Button: return button;
    case CZTFormKind::Combo: return combo;
    case CZTFormKind::Listbox: return list;
    default: return none;
    }
}

// Reads the form tree rooted at obj. Every form object is appended to forms
// (its index is the node's cookie); past kMaxFormRecords the tree ends in a
// node of no kind, which the layout refuses, so cycles end too.
std::unique_ptr<CZTFormNode> ReadTree(JSContext* cx, JS::HandleObject obj, JS::HandleObject forms, uint32_t* count) {
    auto node = std::make_unique<CZTFormNode>();
    node->kind = KindOf(obj);
    if (node->kind == CZTFormKind::Unknown || *count >= uint32_t(kMaxFormRecords)) {
        node->kind = CZTFormKind::Unknown;
        return node;
    }
    node->cookie = reinterpret_cast<void*>(uintptr_t(*count));
    JS::RootedValue self(cx, JS::ObjectValue(*obj));
    if (!JS_SetElement(cx, forms, *count, self)) JS_ClearPendingException(cx);
    ++*count;
    int i = 0;
    if (GetInt(cx, obj, "cx", &i)) node->cx = i;
    if (GetInt(cx, obj, "cy", &i)) node->cy = i;
    QString s;
    switch (node->kind) {
    case CZTFormKind::Text: case CZTFormKind::Picture: case CZTFormKind::Edit:
        if (GetString(cx, obj, "value", &s)) node->value = s;
        break;
    case CZTFormKind::Button:
        if (GetString(cx, obj, "text", &s)) node->text = s;
        if (GetInt(cx, obj, "value", &i)) node->check = i;
        break;
    case CZTFormKind::Combo:
        if (GetInt(cx, obj, "selection", &i)) node->selection = i;
        node->items = GetItems(cx, obj, "comboStrings");
        break;
    case CZTFormKind::Listbox:
        if (GetInt(cx, obj, "selection", &i)) node->selection = i;
        node->items = GetItems(cx, obj, "listboxStrings");
        break;
    default: break;
    }
    for (const char* flag : FlagsOf(node->kind)) {
        JS::RootedValue v(cx);
        if (Present(cx, obj, flag, &v) && JS::ToBoolean(v)) node->flags.insert(flag);
    }
    if (node->kind == CZTFormKind::Button) {
        JS::RootedValue v(cx);
        node->hasOnclick = Present(cx, obj, "onclick", &v);
    }

    JS::RootedValue elements(cx);
    if (!Present(cx, obj, "formElements", &elements) || !elements.isObject()) return node;
    JS::RootedObject array(cx, &elements.toObject());
    uint32_t length = 0;
    bool isArray = false;
    if (!JS::IsArrayObject(cx, array, &isArray) || !isArray || !JS::GetArrayLength(cx, array, &length)) {
        JS_ClearPendingException(cx);
        return node;
    }
    for (uint32_t k = 0; k < length; ++k) {
        JS::RootedValue e(cx);
        if (!JS_GetElement(cx, array, k, &e)) {
            JS_ClearPendingException(cx);
            continue;
        }
        if (!e.isObject() || JS::GetClass(&e.toObject()) != &kElementClass) continue;
        JS::RootedObject element(cx, &e.toObject());
        JS::RootedValue form(cx);
        if (!Present(cx, element, "form", &form) || !form.isObject()) continue;
        CZTFormElement el;
        if (!GetInt(cx, element, "orientation", &el.orientation)) el.orientation = RightTop;
        if (GetInt(cx, element, "gap", &i)) el.gap = i;
        JS::RootedObject child(cx, &form.toObject());
        el.form = ReadTree(cx, child, forms, count);
        const bool full = el.form->kind == CZTFormKind::Unknown;
        node->elements.push_back(std::move(el));
        if (full) break;
    }
    return node;
}

JSObject* FormAt(JSContext* cx, JS::HandleObject forms, const CZTFormNode& node) {
    JS::RootedValue v(cx);
    if (!JS_GetElement(cx, forms, uint32_t(reinterpret_cast<uintptr_t>(node.cookie)), &v) || !v.isObject()) {
        JS_ClearPendingException(cx);
        return nullptr;
    }
    return &v.toObject();
}

// The dialog's calls into the script while "Show" waits.
class CShowCallbacks : public CZTFormCallbacks {
public:
    CShowCallbacks(JSContext* cx, JS::HandleObject forms) : cx_(cx), forms_(forms) {}

    void Bind(const CZTFormNode& node, CZTFormControl* control) override {
        JSObject* obj = FormAt(cx_, forms_, node);
        if (obj) JS::SetReservedSlot(obj, 0, control ? JS::PrivateValue(control) : JS::UndefinedValue());
    }
    void Click(const CZTFormNode& node) override {
        JS::RootedObject obj(cx_, FormAt(cx_, forms_, node));
        if (!obj) return;
        JS::RootedValue handler(cx_);
        if (!Present(cx_, obj, "onclick", &handler)) return;
        JS::RootedValue rval(cx_);
        if (!JS_CallFunctionValue(cx_, obj, handler, JS::HandleValueArray::empty(), &rval) &&
            JS_IsExceptionPending(cx_)) {
            JS::RootedValue exn(cx_);
            JS_GetPendingException(cx_, &exn);
            JS_ClearPendingException(cx_);
            std::string text;
            if (!zt::script::ValueToUtf8(cx_, exn, text)) text = "?";
            JS_ClearPendingException(cx_);
            Warn(cx_, "onclick: " + text);
        }
    }
    void ReadBack(const CZTFormNode& node, const CZTFormReadBack& values) override {
        JS::RootedObject obj(cx_, FormAt(cx_, forms_, node));
        if (!obj) return;
        if (values.value) {
            const std::string s = values.value->toStdString();
            JS::RootedValue v(cx_, zt::script::StringValueUtf8(cx_, s));
            if (!JS_SetProperty(cx_, obj, "value", v)) JS_ClearPendingException(cx_);
        }
        if (values.check) {
            JS::RootedValue v(cx_, JS::Int32Value(*values.check));
            if (!JS_SetProperty(cx_, obj, "value", v)) JS_ClearPendingException(cx_);
        }
        if (values.selection) {
            JS::RootedValue v(cx_, JS::Int32Value(*values.selection));
            if (!JS_SetProperty(cx_, obj, "selection", v)) JS_ClearPendingException(cx_);
        }
    }
    bool Poll() override {
        CScriptHost* host = CScriptHost::FromContext(cx_);
        if (!host) return true;
        host->PollTimer();
        return host->KeepGoing();
    }

private:
    JSContext* cx_;
    JS::HandleObject forms_;
};

// ---- methods

JSObject* ThisForm(const JS::CallArgs& args) {
    if (!args.thisv().isObject()) return nullptr;
    JSObject* obj = &args.thisv().toObject();
    return KindOf(obj) == CZTFormKind::Unknown ? nullptr : obj;
}

bool Show(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    JS::RootedObject self(cx, ThisForm(args));
    if (!self) return ReportError(cx, "Show: Not a form object.");
    QString title;
    if (args.length() > 0 && !args[0].isUndefined()) {
        std::string s;
        if (zt::script::ValueToUtf8(cx, args[0], s)) title = ToQString(s);
        else JS_ClearPendingException(cx);
    }
    CFormsState* state = StateOfForm(self);
    if (!state || !state->presenter) {
        Warn(cx, "Show: Forms need the program's window; the form was not shown.\n");
        args.rval().setInt32(2);
        return true;
    }
    JS::RootedObject forms(cx, JS::NewArrayObject(cx, 0));
    if (!forms) return false;
    uint32_t count = 0;
    const std::unique_ptr<CZTFormNode> root = ReadTree(cx, self, forms, &count);
    CShowCallbacks callbacks(cx, forms);
    const int result = state->presenter->Show(*root, title, callbacks);
    // No form stays bound to a control of the closed dialog.
    for (uint32_t i = 0; i < count; ++i) {
        JS::RootedValue v(cx);
        if (JS_GetElement(cx, forms, i, &v) && v.isObject()) JS::SetReservedSlot(&v.toObject(), 0, JS::UndefinedValue());
    }
    args.rval().setInt32(result);
    // A script stopped while its dialog was up ends here.
    CScriptHost* host = CScriptHost::FromContext(cx);
    return !host || host->KeepGoing();
}

bool GetResult(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    JS::RootedObject self(cx, ThisForm(args));
    if (!self) return ReportError(cx, "GetResult: Not a form object.");
    CZTFormControl* control = ControlOf(self);
    if (control && KindOf(self) != CZTFormKind::Picture) {
        const QVariant r = control->Result();
        if (r.metaType().id() == QMetaType::Int) {
            args.rval().setInt32(r.toInt());
        } else {
            args.rval().set(zt::script::StringValueUtf8(cx, r.toString().toStdString()));
            if (args.rval().isUndefined()) return false;
        }
        return true;
    }
    return JS_GetProperty(cx, self, "value", args.rval());
}

bool GetSelection(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    JS::RootedObject self(cx, ThisForm(args));
    if (!self) return ReportError(cx, "GetSelection: Not a form object.");
    if (CZTFormControl* control = ControlOf(self)) {
        JS::RootedValue v(cx, JS::Int32Value(control->Selection()));
        if (!JS_SetProperty(cx, self, "selection", v)) return false;
        args.rval().set(v);
        return true;
    }
    return JS_GetProperty(cx, self, "selection", args.rval());
}

bool Refresh(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    JS::RootedObject self(cx, ThisForm(args));
    if (!self) return ReportError(cx, "Refresh: Not a form object.");
    args.rval().setUndefined();
    CZTFormControl* control = ControlOf(self);
    const CZTFormKind kind = KindOf(self);
    struct Texts {
        const char* invalid;
        const char* noValue;
    };
    Texts t{};
    switch (kind) {
    case CZTFormKind::Button: t = {"ZTButtonForm.Refresh: Control not valid.", "ZTButtonForm.Refresh: Cannot get value property."}; break;
    case CZTFormKind::Edit: t = {"ZTEditFrom.Refresh: Control not valid.", "ZTEditFrom.Refresh: Cannot get value property."}; break;
    case CZTFormKind::Text: t = {"ZTTextForm.Refresh: Control not valid.", "ZTTextFrom.Refresh: Cannot get value property."}; break;
    case CZTFormKind::Picture: t = {"ZTPictureForm.Refresh: Control not valid.", "ZTPictureForm.Refresh: Cannot get value property."}; break;
    case CZTFormKind::Combo: t = {"ZTComboForm.Refresh: Control not valid.", "ZTComboForm.Refresh: Cannot get selection property."}; break;
    default: t = {"ZTListboxForm.Refresh: Control not valid.", "ZTListboxForm.Refresh: Cannot get selection property."}; break;
    }
    if (!control) {
        Warn(cx, t.invalid);
        return true;
    }
    QString s;
    int i = 0;
    switch (kind) {
    case CZTFormKind::Button: {
        if (!GetInt(cx, self, "value", &i)) return ReportError(cx, t.noValue);
        JS::RootedValue text(cx);
        if (!Present(cx, self, "text", &text) || !text.isString())
            return ReportError(cx, "ZTButtonForm.Refresh: Cannot get text property.");
        control->SetCheck(i);
        return true;
    }
    case CZTFormKind::Edit: case CZTFormKind::Text:
        if (!GetString(cx, self, "value", &s)) return ReportError(cx, t.noValue);
        control->SetText(s);
        return true;
    case CZTFormKind::Picture:
        if (!GetString(cx, self, "value", &s)) return ReportError(cx, t.noValue);
        control->SetPicture(s);
        return true;
    default:
        if (!GetInt(cx, self, "selection", &i)) return ReportError(cx, t.noValue);
        control->SetItems(GetItems(cx, self, kind == CZTFormKind::Combo ? "comboStrings" : "listboxStrings"), i);
        return true;
    }
}

const JSFunctionSpec kPlainMethods[] = {JS_FN("Show", Show, 1, JSPROP_ENUMERATE),
                                        JS_FN("GetResult", GetResult, 0, JSPROP_ENUMERATE),
                                        JS_FN("Refresh", Refresh, 0, JSPROP_ENUMERATE), JS_FS_END};
const JSFunctionSpec kSelectionMethods[] = {JS_FN("Show", Show, 1, JSPROP_ENUMERATE),
                                            JS_FN("GetResult", GetResult, 0, JSPROP_ENUMERATE),
                                            JS_FN("GetSelection", GetSelection, 0, JSPROP_ENUMERATE),
                                            JS_FN("Refresh", Refresh, 0, JSPROP_ENUMERATE), JS_FS_END};

constexpr unsigned kAttrs = JSPROP_ENUMERATE | JSPROP_PERMANENT;

CFormsState* StateOfCall(const JS::CallArgs& args) {
    const JS::Value& v = js::GetFunctionNativeReserved(&args.callee(), 0);
    return v.isUndefined() ? nullptr : static_cast<CFormsState*>(v.toPrivate());
}

// A new form object with its methods and "formElements"; null with the
// error reported.
JSObject* NewForm(JSContext* cx, const JS::CallArgs& args, const JSClass* cls, const std::string& name) {
    CFormsState* state = StateOfCall(args);
    JS::RootedObject obj(cx, JS_NewObject(cx, cls));
    if (!obj) return nullptr;
    JS::SetReservedSlot(obj, 1, JS::PrivateValue(state));
    const bool selection = cls == &kComboClass || cls == &kListboxClass;
    if (!JS_DefineFunctions(cx, obj, selection ? kSelectionMethods : kPlainMethods)) {
        ReportError(cx, name + ": Cannot define functions");
        return nullptr;
    }
    return obj;
}

bool DefineElements(JSContext* cx, JS::HandleObject obj, const std::string& name) {
    JS::RootedObject array(cx, JS::NewArrayObject(cx, 0));
    if (!array || !JS_DefineProperty(cx, obj, "formElements", array, kAttrs))
        return ReportError(cx, name + ": Cannot define formElements property");
    return true;
}

// Text and picture: one required string, the "value".
bool NewStringForm(JSContext* cx, const JS::CallArgs& args, const JSClass* cls, const std::string& name) {
    if (args.length() < 1) return ReportError(cx, name + ": Must have a string argument.");
    std::string text;
    if (!zt::script::ValueToUtf8(cx, args[0], text)) {
        JS_ClearPendingException(cx);
        return ReportError(cx, name + ": Cannot get string value from args");
    }
    JS::RootedObject obj(cx, NewForm(cx, args, cls, name));
    if (!obj) return false;
    JS::RootedValue v(cx, zt::script::StringValueUtf8(cx, text));
    if (v.isUndefined() || !JS_DefineProperty(cx, obj, "value", v, kAttrs))
        return ReportError(cx, name + ": Cannot define value property");
    if (!DefineElements(cx, obj, name)) return false;
    args.rval().setObject(*obj);
    return true;
}

// Edit and button: an optional string, "value" or "text".
bool NewOptionalStringForm(JSContext* cx, const JS::CallArgs& args, const JSClass* cls, const std::string& name,
                           const char* property) {
    JS::RootedObject obj(cx, NewForm(cx, args, cls, name));
    if (!obj) return false;
    std::string text;
    if (args.length() > 0 && !args[0].isUndefined()) {
        if (zt::script::ValueToUtf8(cx, args[0], text)) {
            JS::RootedValue v(cx, zt::script::StringValueUtf8(cx, text));
            if (v.isUndefined() || !JS_DefineProperty(cx, obj, property, v, kAttrs))
                return ReportError(cx, name + ": Cannot define " + property + " property");
        } else {
            JS_ClearPendingException(cx);
        }
    }
    if (!DefineElements(cx, obj, name)) return false;
    args.rval().setObject(*obj);
    return true;
}

// Combo and list box: one required integer, the "selection".
bool NewSelectionForm(JSContext* cx, const JS::CallArgs& args, const JSClass* cls, const std::string& name) {
    if (args.length() < 1) return ReportError(cx, name + ": Must have an integer argument.");
    int32_t selection = 0;
    if (!zt::script::ValueToInt(cx, args[0], selection)) {
        JS_ClearPendingException(cx);
        return ReportError(cx, name + ": Cannot get integer value from args");
    }
    JS::RootedObject obj(cx, NewForm(cx, args, cls, name));
    if (!obj) return false;
    if (!JS_DefineProperty(cx, obj, "selection", selection, kAttrs))
        return ReportError(cx, name + ": Cannot define selection property");
    if (!DefineElements(cx, obj, name)) return false;
    args.rval().setObject(*obj);
    return true;
}

bool NewText(JSContext* cx, unsigned argc, JS::Value* vp) {
    return NewStringForm(cx, JS::CallArgsFromVp(argc, vp), &kTextClass, "ZTTextForm");
}
bool NewPicture(JSContext* cx, unsigned argc, JS::Value* vp) {
    return NewStringForm(cx, JS::CallArgsFromVp(argc, vp), &kPictureClass, "ZTPictureForm");
}
bool NewEdit(JSContext* cx, unsigned argc, JS::Value* vp) {
    return NewOptionalStringForm(cx, JS::CallArgsFromVp(argc, vp), &kEditClass, "ZTEditForm", "value");
}
bool NewButton(JSContext* cx, unsigned argc, JS::Value* vp) {
    return NewOptionalStringForm(cx, JS::CallArgsFromVp(argc, vp), &kButtonClass, "ZTButtonForm", "text");
}
bool NewCombo(JSContext* cx, unsigned argc, JS::Value* vp) {
    return NewSelectionForm(cx, JS::CallArgsFromVp(argc, vp), &kComboClass, "ZTComboForm");
}
bool NewListbox(JSContext* cx, unsigned argc, JS::Value* vp) {
    return NewSelectionForm(cx, JS::CallArgsFromVp(argc, vp), &kListboxClass, "ZTListboxForm");
}

bool NewElement(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const std::string name = "ZTFormElement";
    if (args.length() < 2) return ReportError(cx, name + ": Must have int nOrientation and ZTXXXForm class arguments.");
    int32_t orientation = 0, gap = 0;
    if (!zt::script::ValueToInt(cx, args[0], orientation)) {
        JS_ClearPendingException(cx);
        return ReportError(cx, name + ": Cannot get int value from args");
    }
    if (orientation < 0 || orientation > 50) orientation = RightTop;
    if (!args[1].isObject()) return ReportError(cx, name + ": Cannot get Form value from args");
    const bool hasGap = args.length() > 2;
    if (hasGap && !zt::script::ValueToInt(cx, args[2], gap)) {
        JS_ClearPendingException(cx);
        return ReportError(cx, name + ": Cannot get int value from args");
    }
    JS::RootedObject obj(cx, JS_NewObject(cx, &kElementClass));
    if (!obj) return false;
    if (!JS_DefineProperty(cx, obj, "orientation", orientation, kAttrs))
        return ReportError(cx, name + ": Cannot define orientation property");
    JS::RootedObject form(cx, &args[1].toObject());
    if (!JS_DefineProperty(cx, obj, "form", form, kAttrs)) return ReportError(cx, name + ": Cannot define form property");
    if (hasGap && !JS_DefineProperty(cx, obj, "gap", gap, kAttrs))
        return ReportError(cx, name + ": Cannot define gap property");
    args.rval().setObject(*obj);
    return true;
}

} // namespace

zt::script::ScriptExtension ScriptFormsExtension(CZTFormPresenter* presenter) {
    auto state = std::make_shared<CFormsState>();
    state->presenter = presenter;
    return [state](JSContext* cx, JSObject* globalObj) {
        JS::RootedObject global(cx, globalObj);
        static const struct {
            const char* name;
            JSNative native;
            unsigned nargs;
        } kClasses[] = {{"ZTTextForm", NewText, 1},      {"ZTPictureForm", NewPicture, 1},
                        {"ZTEditForm", NewEdit, 1},      {"ZTButtonForm", NewButton, 1},
                        {"ZTComboForm", NewCombo, 1},    {"ZTListboxForm", NewListbox, 1},
                        {"ZTFormElement", NewElement, 3}};
        for (const auto& c : kClasses) {
            JSFunction* fun = js::DefineFunctionWithReserved(cx, global, c.name, c.native, c.nargs, JSFUN_CONSTRUCTOR);
            if (!fun) return false;
            js::SetFunctionNativeReserved(JS_GetFunctionObject(fun), 0, JS::PrivateValue(state.get()));
        }
        return true;
    };
}

} // namespace zt::forms
