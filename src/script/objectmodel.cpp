// "ztDocument", the page handles "ZTPage" and the file handles "ZTFile".
#include "script/objectmodel.h"

#include "base/cp1252.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "exchange/exchange.h"
#include "exchange/htmlexport.h"
#include "script/environment.h"
#include "script/jsutil.h"
#include "script/modelutil.h"
#include "script/scripthost.h"

#include <js/Array.h>
#include <js/Object.h>

#include <ctime>
#include <unordered_map>
#include <vector>

namespace zt::script {

namespace {

const JSClass kDocumentClass = {"ZTDocument", 0};
// Page handles keep their ident also in a slot: the "ident" property is
// read-only and permanent, so the slot always says the same.
const JSClass kPageClass = {"ZTPage", JSCLASS_HAS_RESERVED_SLOTS(1)};
constexpr size_t kPageIdentSlot = 0;
const JSClass kFileClass = {"ZTFile", JSCLASS_HAS_RESERVED_SLOTS(2)};
constexpr size_t kFileTitleSlot = 0;
constexpr size_t kFileIdentSlot = 1;

JSObject* Proto(JSContext* cx, size_t slot) {
    JSObject* global = JS::CurrentGlobalOrNull(cx);
    if (!global) return nullptr;
    const JS::Value& v = JS::GetReservedSlot(global, slot);
    return v.isObject() ? &v.toObject() : nullptr;
}

// ---- shared steps

bool GetIdent(JSContext* cx, JS::HandleValue handle, int32_t& ident, bool& present) {
    present = false;
    if (!handle.isObject()) return true;
    if (JS::GetClass(&handle.toObject()) == &kPageClass) {
        const JS::Value& slot = JS::GetReservedSlot(&handle.toObject(), kPageIdentSlot);
        if (slot.isInt32()) {
            present = true;
            ident = slot.toInt32() > 0 ? slot.toInt32() : 0;
            return true;
        }
    }
    JS::RootedObject obj(cx, &handle.toObject());
    JS::RootedValue v(cx);
    if (!JS_GetProperty(cx, obj, "ident", &v)) return false;
    if (v.isUndefined()) return true;
    present = true;
    if (!ValueToInt(cx, v, ident) || ident <= 0) ident = 0;
    return true;
}

JSObject* ThisObject(const JS::CallArgs& args) {
    return args.thisv().isObject() ? &args.thisv().toObject() : nullptr;
}

} // namespace

CScriptEnvironment* Env(JSContext* cx) {
    CScriptHost* host = CScriptHost::FromContext(cx);
    return host ? host->Environment() : nullptr;
}

CZTDocument* Doc(JSContext* cx) {
    CScriptEnvironment* env = Env(cx);
    return env ? env->Document() : nullptr;
}

bool IsPageHandle(JSContext* cx, JS::HandleValue v) {
    return v.isObject() && JS::GetClass(&v.toObject()) == &kPageClass;
}

bool IsFileHandle(JSContext* cx, JS::HandleValue v) {
    return v.isObject() && JS::GetClass(&v.toObject()) == &kFileClass;
}

CZTPageNode* LookUpPage(JSContext* cx, JS::HandleValue handle, const std::string& prefix) {
    int32_t ident = 0;
    bool present = false;
    if (!GetIdent(cx, handle, ident, present) || !present) {
        ReportError(cx, prefix + ": Cannot get ident property");
        return nullptr;
    }
    if (ident <= 0) {
        ReportError(cx, prefix + ": Ident property with miss value");
        return nullptr;
    }
    CZTDocument* doc = Doc(cx);
    CZTPageNode* node = doc ? doc->Tree().FindPage(ident) : nullptr;
    if (!node) ReportError(cx, prefix + ": Page not found.");
    return node;
}

JSObject* NewPageHandle(JSContext* cx, const CZTPageNode* node, const std::string& askedPath) {
    if (!node) {
        ReportError(cx, Fill("ZTPage: Page not found '%s'", askedPath.empty() ? "???" : askedPath));
        return nullptr;
    }
    JS::RootedObject proto(cx, Proto(cx, kPageProtoSlot));
    JS::RootedObject obj(cx, JS_NewObjectWithGivenProto(cx, &kPageClass, proto));
    if (!obj) {
        ReportError(cx, "ZTPage: Cannot create new object");
        return nullptr;
    }
    // "ident" is an accessor of the prototype that reads this slot: it
    // cannot be written, and a handle costs one object.
    JS::SetReservedSlot(obj, kPageIdentSlot, JS::Int32Value(node->Ident()));
    return obj;
}

JSObject* NewFileHandle(JSContext* cx, int32_t ident, std::string_view name) {
    JS::RootedObject proto(cx, Proto(cx, kFileProtoSlot));
    JS::RootedObject obj(cx, JS_NewObjectWithGivenProto(cx, &kFileClass, proto));
    if (!obj) {
        ReportError(cx, "ZTFile: Cannot create new object");
        return nullptr;
    }
    JS::Value title = StringValueCp1252(cx, name);
    if (title.isUndefined()) {
        ReportWarning(cx, "ZTFile: Cannot make title");
        return nullptr;
    }
    JS::SetReservedSlot(obj, kFileTitleSlot, title);
    JS::SetReservedSlot(obj, kFileIdentSlot, JS::Int32Value(ident));
    return obj;
}

bool ReturnPage(JSContext* cx, const JS::CallArgs& args, const CZTPageNode* node) {
    if (!node) {
        args.rval().setUndefined();
        return true;
    }
    JSObject* obj = NewPageHandle(cx, node);
    if (!obj) return false;
    args.rval().setObject(*obj);
    return true;
}

void MarkPageChanged(JSContext* cx, CZTDocument& doc, CZTPageNode* node) {
    doc.Tree().ApplyMark(node, CZTMarkEvent::PageChanged);
    doc.SetModified();
    if (CScriptEnvironment* env = Env(cx)) env->PageChanged(node);
}

void MarkFilesChanged(JSContext* cx, CZTDocument& doc, CZTPageNode* node) {
    doc.Tree().ApplyMark(node, CZTMarkEvent::FilesChanged);
    doc.SetModified();
    if (CScriptEnvironment* env = Env(cx)) env->FilesChanged(node);
}

namespace {

// ---- ztDocument

bool DocumentOrError(JSContext* cx, const std::string& method, CZTDocument*& doc) {
    CScriptEnvironment* env = Env(cx);
    if (!env) return ReportError(cx, "ZTDocument." + method + ": Cannot get main window");
    doc = env->Document();
    if (!doc) return ReportError(cx, "ZTDocument." + method + ": Cannot get document");
    return true;
}

bool DocGetTitle(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTDocument* doc;
    if (!DocumentOrError(cx, "GetTitle", doc)) return false;
    args.rval().set(StringValueCp1252(cx, doc->Archive().Header().title));
    return args.rval().isString() || ReportError(cx, "ZTDocument.GetTitle: Cannot get string bytes");
}

bool DocGetPath(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTDocument* doc;
    if (!DocumentOrError(cx, "GetPath", doc)) return false;
    std::string path = doc->Archive().NeverSaved() ? std::string() : doc->Archive().FilePath();
    args.rval().set(StringValueUtf8(cx, path));
    return args.rval().isString() || ReportError(cx, "ZTDocument.GetPath: Cannot get string bytes");
}

bool DocGetPage(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTDocument* doc;
    if (!DocumentOrError(cx, "GetPage", doc)) return false;
    // An undefined argument counts as none (scripts pass their own missing
    // arguments on).
    if (args.get(0).isUndefined()) return ReturnPage(cx, args, doc->Tree().FirstRootPage());
    std::string path;
    if (!ValueToCp1252(cx, args[0], path)) return ReportError(cx, "ZTDocument.GetPage: Cannot get string");
    CZTPageNode* node = zt::ResolvePath(doc->Tree(), Env(cx)->CurrentPage(), path);
    JSObject* obj = NewPageHandle(cx, node, zt::Cp1252ToUtf8(path));
    if (!obj) return false;
    args.rval().setObject(*obj);
    return true;
}

bool DocGetPagesSubtree(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTDocument* doc;
    if (!DocumentOrError(cx, "GetPagesSubtree", doc)) return false;
    const CZTPageNode* start = nullptr;
    size_t count = doc->Tree().CountPages();
    if (!args.get(0).isUndefined()) {
        if (IsPageHandle(cx, args[0])) {
            start = LookUpPage(cx, args[0], "ZTDocument.GetPagesSubtree");
            if (!start) return false;
        } else {
            std::string path;
            if (args[0].isObject() || !ValueToCp1252(cx, args[0], path))
                return ReportError(cx, "ZTDocument.GetPagesSubtree: Cannot get argument string");
            start = zt::ResolvePath(doc->Tree(), Env(cx)->CurrentPage(), path);
            if (!start)
                return ReportError(cx, Fill("ZTDocument.GetPagesSubtree: Page not found '%s'", zt::Cp1252ToUtf8(path)));
        }
        count = doc->Tree().CountPages(start);
    }
    JS::RootedObject array(cx, JS::NewArrayObject(cx, 0));
    if (!array) return false;
    CZTPageWalker walker(doc->Tree(), start, false);
    CZTWalkStep step;
    uint32_t i = 0;
    JS::RootedValue v(cx);
    // Link paths from the parent's path and the link names of whole rows of
    // siblings, so that wide levels cost no more than deep ones.
    std::unordered_map<const CZTPageNode*, std::string> paths;
    std::unordered_map<const CZTPageNode*, std::string> names;
    auto pathOf = [&](const CZTPageNode* node, auto& self) -> const std::string& {
        auto known = paths.find(node);
        if (known != paths.end()) return known->second;
        if (!names.count(node)) {
            const auto& row = node->Siblings();
            std::vector<std::string> rowNames = zt::LinkNamesOf(row);
            for (size_t k = 0; k < row.size(); ++k) names[row[k]] = std::move(rowNames[k]);
        }
        std::string path = node->Parent() ? self(node->Parent(), self) : std::string();
        path += "/" + names[node];
        return paths[node] = std::move(path);
    };
    while (i < count && walker.NextInWalk(step)) {
        v = StringValueCp1252(cx, pathOf(step.node, pathOf));
        if (!JS_SetElement(cx, array, i++, v)) return false;
    }
    args.rval().setObject(*array);
    return true;
}

bool DocIsRemote(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTDocument* doc;
    if (!DocumentOrError(cx, "IsRemote", doc)) return false;
    args.rval().setBoolean(Env(cx)->IsRemote());
    return true;
}

bool DocIsModifiable(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTDocument* doc;
    if (!DocumentOrError(cx, "IsModifiable", doc)) return false;
    args.rval().setBoolean(Env(cx)->IsModifiable());
    return true;
}

bool DocIsModified(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTDocument* doc;
    if (!DocumentOrError(cx, "IsModified", doc)) return false;
    args.rval().setBoolean(doc->IsModified());
    return true;
}

bool DocSetModified(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    bool flag = true;
    if (!args.get(0).isUndefined() && !ValueToBool(cx, args[0], flag))
        return ReportError(cx, "ZTDocument.SetModified: Cannot get boolean argument.");
    CScriptEnvironment* env = Env(cx);
    if (!env) return ReportError(cx, "ZTDocument.SetModified: Cannot get main window.");
    CZTDocument* doc = env->Document();
    if (!doc) return ReportError(cx, "ZTDocument.SetModified: Cannot get document.");
    if (env->IsModifiable()) doc->Archive().SetModified(flag);
    args.rval().setBoolean(env->IsModifiable() && doc->IsModified());
    return true;
}

bool DocSave(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTDocument* doc;
    if (!DocumentOrError(cx, "Save", doc)) return false;
    std::string own = doc->Archive().NeverSaved() ? std::string() : doc->Archive().FilePath();
    std::string target = own;
    if (args.length() > 0 && !ValueToUtf8(cx, args[0], target))
        return ReportError(cx, "ZTDocument.Save: Cannot get argument string");
    if (!Env(cx)->IsModifiable() && target == own) {
        args.rval().setUndefined();
        return true;
    }
    if (target.empty()) {
        args.rval().setBoolean(false);
        return true;
    }
    Env(cx)->StoreCurrentPage();
    args.rval().setBoolean(doc->Save(target));
    return true;
}

bool DocLoad(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (args.length() < 1) return ReportError(cx, "ZTDocument.Load: Must have argument string");
    std::string path;
    if (!ValueToUtf8(cx, args[0], path)) return ReportError(cx, "ZTDocument.Load: Cannot get argument string");
    CScriptEnvironment* env = Env(cx);
    args.rval().setBoolean(env && env->LoadDocument(path));
    return true;
}

bool DocNew(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTDocument* doc;
    if (!DocumentOrError(cx, "New", doc)) return false;
    args.rval().setBoolean(Env(cx)->NewDocument());
    return true;
}

// The anchor rule of the document's NewPage, ImportPage and ExportPage: a
// first argument that is a page handle is the anchor.
bool SplitAnchor(JSContext* cx, const JS::CallArgs& args, const std::string& prefix, CZTPageNode*& anchor,
                 JS::RootedValueVector& rest) {
    anchor = nullptr;
    unsigned first = 0;
    if (args.length() > 0 && IsPageHandle(cx, args[0])) {
        anchor = LookUpPage(cx, args[0], prefix);
        if (!anchor) return false;
        first = 1;
    }
    for (unsigned i = first; i < args.length(); ++i)
        if (!rest.append(args[i])) return false;
    return true;
}

bool DocNewPage(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* anchor;
    JS::RootedValueVector rest(cx);
    if (!SplitAnchor(cx, args, "ZTDocument.NewPage", anchor, rest)) return false;
    return NewPageAt(cx, args, anchor, rest, "ZTDocument.NewPage");
}

bool DocImportPage(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (args.length() == 0) return ReportError(cx, "ZTDocument.ImportPage: Must have string argument.");
    CZTPageNode* anchor;
    JS::RootedValueVector rest(cx);
    if (!SplitAnchor(cx, args, "ZTDocument.ImportPage", anchor, rest)) return false;
    return ImportPageAt(cx, args, anchor, rest, "ZTDocument.ImportPage");
}

bool DocExportPage(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (args.length() == 0) return ReportError(cx, "ZTDocument.ExportPage: Must have a string argument.");
    CZTPageNode* anchor;
    JS::RootedValueVector rest(cx);
    if (!SplitAnchor(cx, args, "ZTDocument.ExportPage", anchor, rest)) return false;
    return ExportPageAt(cx, args, anchor, rest, "ZTDocument.ExportPage");
}

bool DocExportHtml(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string folder;
    if (args.length() < 1 || args[0].isObject() || !ValueToUtf8(cx, args[0], folder))
        return ReportError(cx, "ZTDocument.ExportHTML: Must have string argument.");
    CScriptEnvironment* env = Env(cx);
    if (!env || !env->Document()) return ReportError(cx, "ZTDocument.ExportHTML: Cannot get main window.");
    // The arguments replace the dialog's settings for this export only; the
    // user's stored settings stay as they are.
    zt::HtmlExportOptions options;
    zt::HtmlExportSettings& s = options.settings;
    bool* flags[] = {&s.linkHead, &s.linkFoot, &s.titleLine};
    for (unsigned i = 0; i < 3; ++i)
        if (args.length() > 1 + i) *flags[i] = JS::ToBoolean(args[1 + i]);
    std::string* texts[] = {&s.head1, &s.head2, &s.foot1, &s.foot2};
    for (unsigned i = 0; i < 4; ++i)
        if (args.length() > 4 + i && !args[4 + i].isUndefined() && !ValueToCp1252(cx, args[4 + i], *texts[i]))
            return false;
    bool withLevels = args.length() > 8 ? JS::ToBoolean(args[8]) : true;
    s.dirMode = withLevels ? 0 : 1;
    if (args.length() > 9 && !args[9].isUndefined() && !ValueToCp1252(cx, args[9], s.meta)) return false;
    options.showMessages = false;
    options.continueAfterError = false;
    env->StoreCurrentPage();
    CZTDocument& doc = *env->Document();
    zt::ExportOutcome outcome = zt::ExportHtml(doc, folder, options, doc.Prompter());
    args.rval().setBoolean(outcome.result == zt::ExchangeResult::Ok);
    return true;
}

const JSFunctionSpec kDocumentFunctions[] = {
    JS_FN("GetTitle", DocGetTitle, 0, JSPROP_ENUMERATE),
    JS_FN("GetPath", DocGetPath, 0, JSPROP_ENUMERATE),
    JS_FN("GetPage", DocGetPage, 0, JSPROP_ENUMERATE),
    JS_FN("GetPagesSubtree", DocGetPagesSubtree, 0, JSPROP_ENUMERATE),
    JS_FN("IsRemote", DocIsRemote, 0, JSPROP_ENUMERATE),
    JS_FN("IsModifiable", DocIsModifiable, 0, JSPROP_ENUMERATE),
    JS_FN("IsModified", DocIsModified, 0, JSPROP_ENUMERATE),
    JS_FN("SetModified", DocSetModified, 0, JSPROP_ENUMERATE),
    JS_FN("Save", DocSave, 0, JSPROP_ENUMERATE),
    JS_FN("Load", DocLoad, 1, JSPROP_ENUMERATE),
    JS_FN("New", DocNew, 0, JSPROP_ENUMERATE),
    JS_FN("NewPage", DocNewPage, 0, JSPROP_ENUMERATE),
    JS_FN("ImportPage", DocImportPage, 1, JSPROP_ENUMERATE),
    JS_FN("ExportPage", DocExportPage, 1, JSPROP_ENUMERATE),
    JS_FN("ExportHTML", DocExportHtml, 1, JSPROP_ENUMERATE),
    JS_FS_END};

} // namespace

bool DefineObjectModel(JSContext* cx, JS::HandleObject global) {
    JS::RootedObject doc(cx, JS_NewObject(cx, &kDocumentClass));
    if (!doc || !JS_DefineFunctions(cx, doc, kDocumentFunctions)) return false;
    if (!JS_DefineProperty(cx, global, "ztDocument", doc, JSPROP_ENUMERATE | JSPROP_READONLY | JSPROP_PERMANENT))
        return false;
    JS::RootedObject pageProto(cx, JS_NewPlainObject(cx));
    if (!pageProto || !DefinePageMethods(cx, pageProto)) return false;
    JS::SetReservedSlot(global, kPageProtoSlot, JS::ObjectValue(*pageProto));
    JS::RootedObject fileProto(cx, JS_NewPlainObject(cx));
    if (!fileProto || !DefineFileMethods(cx, fileProto)) return false;
    JS::SetReservedSlot(global, kFileProtoSlot, JS::ObjectValue(*fileProto));
    return DefineTextObjects(cx, global);
}

bool PageGetIdent(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const int32_t ident = PageHandleIdent(args.thisv());
    if (ident > 0) args.rval().setInt32(ident);
    else args.rval().setUndefined();
    return true;
}

const JSClass* FileClass() { return &kFileClass; }

int32_t PageHandleIdent(const JS::Value& v) {
    if (!v.isObject() || JS::GetClass(&v.toObject()) != &kPageClass) return 0;
    const JS::Value& slot = JS::GetReservedSlot(&v.toObject(), kPageIdentSlot);
    return slot.isInt32() ? slot.toInt32() : 0;
}
const JSClass* PageClass() { return &kPageClass; }

JS::Value FileTitleSlot(JSObject* obj) { return JS::GetReservedSlot(obj, kFileTitleSlot); }
void SetFileTitleSlot(JSObject* obj, const JS::Value& v) { JS::SetReservedSlot(obj, kFileTitleSlot, v); }
JS::Value FileIdentSlot(JSObject* obj) { return JS::GetReservedSlot(obj, kFileIdentSlot); }
void SetFileIdentSlot(JSObject* obj, int32_t ident) { JS::SetReservedSlot(obj, kFileIdentSlot, JS::Int32Value(ident)); }

} // namespace zt::script
