// The page handle "ZTPage": navigation, tree operations, files, imports and
// exports of one page, and its "title" and "fullName".
#include "base/cp1252.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "exchange/exchange.h"
#include "exchange/textfiles.h"
#include "script/environment.h"
#include "script/jsutil.h"
#include "script/modelutil.h"
#include "script/scripthost.h"

#include <js/Array.h>

#include <filesystem>

namespace zt::script {

namespace {

JS::HandleValue ThisValue(const JS::CallArgs& args) { return args.thisv(); }

CZTPageNode* ThisPage(JSContext* cx, const JS::CallArgs& args, const char* method) {
    // The common case first, without building the message prefix.
    if (const int32_t ident = PageHandleIdent(args.thisv()); ident > 0)
        if (CZTDocument* doc = Doc(cx))
            if (CZTPageNode* node = doc->Tree().FindPage(ident)) return node;
    return LookUpPage(cx, args.thisv(), std::string("ZTPage.") + method);
}

// The last page of the subtree of `node`.
const CZTPageNode* LastDescendant(const CZTPageNode* node) {
    while (node && node->HasChildren()) node = node->LastChild();
    return node;
}

bool PageGetNext(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node = ThisPage(cx, args, "GetNext");
    if (!node) return false;
    CZTPageWalker walker(Doc(cx)->Tree(), node, false);
    CZTWalkStep step;
    walker.NextInWalk(step); // the page itself
    return ReturnPage(cx, args, walker.NextInWalk(step) ? step.node : nullptr);
}

bool PageGetPrevious(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node = ThisPage(cx, args, "GetPrevious");
    if (!node) return false;
    const CZTPageNode* prev = node->PrevSibling() ? LastDescendant(node->PrevSibling()) : node->Parent();
    return ReturnPage(cx, args, prev);
}

bool PageGetSibling(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node = ThisPage(cx, args, "GetSibling");
    return node && ReturnPage(cx, args, node->NextSibling());
}

bool PageGetChild(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node = ThisPage(cx, args, "GetChild");
    return node && ReturnPage(cx, args, node->FirstChild());
}

bool PageGetParent(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node = ThisPage(cx, args, "GetParent");
    return node && ReturnPage(cx, args, node->Parent());
}

bool PageActivate(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node = ThisPage(cx, args, "Activate");
    if (!node) return false;
    Env(cx)->ActivatePage(node);
    args.rval().setUndefined();
    return true;
}

// MovePage and CopyPage: (page, [target], [as child], [with subtree]).
bool MoveOrCopy(JSContext* cx, const JS::CallArgs& args, bool copy) {
    const std::string prefix = copy ? "ZTPage.CopyPage" : "ZTPage.MovePage";
    if (!Env(cx) || !Env(cx)->IsModifiable()) {
        std::string text = prefix + ": Document not modifiable";
        return copy ? ReportError(cx, text) : ReportWarning(cx, text);
    }
    CZTPageNode* node = LookUpPage(cx, args.thisv(), prefix);
    if (!node) return false;
    unsigned i = 0;
    CZTPageNode* target = nullptr;
    if (args.length() > 0 && IsPageHandle(cx, args[0])) {
        target = LookUpPage(cx, args[0], prefix);
        if (!target) return false;
        i = 1;
    }
    bool asChild = false, withSubtree = false;
    if (i < args.length()) {
        if (!args[i].isBoolean() && !args[i].isNumber()) {
            std::string text = FillInt(prefix + ": Argument %d: Must be boolean or ZTPage.", int(i));
            return copy ? ReportError(cx, text) : ReportWarning(cx, text);
        }
        asChild = JS::ToBoolean(args[i]);
        ++i;
    }
    if (i < args.length()) {
        if (!args[i].isBoolean() && !args[i].isNumber()) {
            std::string text = FillInt(prefix + ": Argument %d: Must be boolean.", int(i));
            return copy ? ReportError(cx, text) : ReportWarning(cx, text);
        }
        withSubtree = JS::ToBoolean(args[i]);
    }
    CZTDocument& doc = *Doc(cx);
    if (copy) {
        Env(cx)->StoreCurrentPage();
        CZTPageNode* first = doc.CopyPages(node, withSubtree, target, asChild);
        if (!first) return ReportError(cx, "ZTPage: Page not found '?" "??'");
        return ReturnPage(cx, args, first);
    }
    if (target == node) {
        args.rval().set(args.thisv());
        return true;
    }
    if (target && node->IsAncestorOf(target)) {
        if (withSubtree) return ReportWarning(cx, prefix + ": Target page lies in the page's subtree.");
        // The page goes alone: its children first take its place (as when
        // it moves to the end of the root level), then it moves on.
        doc.MovePage(node, nullptr, CZTPageTree::MoveMode::LastChild, false);
    }
    CZTPageTree::MoveMode mode = CZTPageTree::MoveMode::After;
    if (!target) {
        // As child without a target: the first root page; otherwise the last.
        if (asChild) {
            mode = CZTPageTree::MoveMode::FirstChild;
        } else {
            mode = CZTPageTree::MoveMode::LastChild;
        }
    } else if (asChild) {
        mode = CZTPageTree::MoveMode::FirstChild;
    }
    doc.MovePage(node, target, mode, withSubtree);
    args.rval().set(args.thisv());
    return true;
}

bool PageMovePage(JSContext* cx, unsigned argc, JS::Value* vp) {
    return MoveOrCopy(cx, JS::CallArgsFromVp(argc, vp), false);
}

bool PageCopyPage(JSContext* cx, unsigned argc, JS::Value* vp) {
    return MoveOrCopy(cx, JS::CallArgsFromVp(argc, vp), true);
}

bool PageDeletePage(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!Env(cx) || !Env(cx)->IsModifiable()) return ReportError(cx, "ZTPage.DeletePage: Document not modifiable");
    CZTPageNode* node = ThisPage(cx, args, "DeletePage");
    if (!node) return false;
    bool withSubtree = false;
    if (args.length() > 0) {
        if (!args[0].isBoolean() && !args[0].isNumber())
            return ReportError(cx, "ZTPage.DeletePage: Argument 0: Must be boolean.");
        withSubtree = JS::ToBoolean(args[0]);
    }
    Doc(cx)->DeletePage(node, withSubtree);
    args.rval().setUndefined();
    return true;
}

bool PageNewPage(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node = ThisPage(cx, args, "NewPage");
    if (!node) return false;
    return NewPageAt(cx, args, node, JS::HandleValueArray::fromMarkedLocation(args.length(), args.array()),
                     "ZTPage.NewPage");
}

bool PageGetFile(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (args.length() < 1) return ReportError(cx, "ZTPage.GetFile: Must have one string argument");
    std::string name;
    if (args[0].isObject() || !ValueToCp1252(cx, args[0], name))
        return ReportError(cx, "ZTPage.GetFile: Cannot get string argument");
    int32_t ident = 0;
    CZTPageNode* node = nullptr;
    if (args.thisv().isObject()) {
        JS::RootedObject self(cx, &args.thisv().toObject());
        JS::RootedValue v(cx);
        if (JS_GetProperty(cx, self, "ident", &v) && ValueToInt(cx, v, ident) && ident > 0 && Doc(cx))
            node = Doc(cx)->Tree().FindPage(ident);
    }
    if (!node) return ReportError(cx, "ZTPage.GetFile: Cannot get ident property");
    if (!Doc(cx)->Archive().GetFile(ident, name).valid)
        return ReportError(cx, Fill("ZTPage.GetFile: File not found '%s'", zt::Cp1252ToUtf8(name)));
    JSObject* file = NewFileHandle(cx, ident, name);
    if (!file) return false;
    args.rval().setObject(*file);
    return true;
}

bool PageGetFileNames(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node = ThisPage(cx, args, "GetFileNames");
    if (!node) return false;
    JS::RootedObject array(cx, JS::NewArrayObject(cx, 0));
    if (!array) return false;
    CZTArchive& archive = Doc(cx)->Archive();
    int32_t pos = 0;
    uint32_t i = 0;
    JS::RootedValue v(cx);
    while (true) {
        std::string name = archive.FileName(node->Ident(), pos);
        if (pos < 0) break;
        v = StringValueCp1252(cx, name);
        if (!JS_SetElement(cx, array, i++, v)) return false;
    }
    args.rval().setObject(*array);
    return true;
}

// Answers name conflicts with "skip": the callers checked the name first.
class CSkipConflicts : public zt::ConflictAsker {
public:
    zt::ConflictAnswer Ask(std::string&, const std::string&) override { return zt::ConflictAnswer::Skip; }
};

bool PageImportFile(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string path;
    if (args.length() < 1 || args[0].isObject() || !ValueToUtf8(cx, args[0], path))
        return ReportError(cx, "ZTPage.ImportFile: Must have one string argument");
    std::string name;
    if (args.length() > 1) {
        if (args[1].isObject() || !ValueToCp1252(cx, args[1], name))
            return ReportError(cx, "ZTPage.ImportFile: Second arg must be string argument");
    } else {
        size_t slash = path.find_last_of("/\\");
        name = zt::Utf8ToCp1252(slash == std::string::npos ? path : path.substr(slash + 1));
    }
    CZTPageNode* node = nullptr;
    int32_t ident = 0;
    if (args.thisv().isObject() && Doc(cx)) {
        JS::RootedObject self(cx, &args.thisv().toObject());
        JS::RootedValue v(cx);
        if (JS_GetProperty(cx, self, "ident", &v) && ValueToInt(cx, v, ident) && ident > 0)
            node = Doc(cx)->Tree().FindPage(ident);
    }
    if (!node) return ReportError(cx, "ZTPage.ImportFile: Cannot get ident property");
    if (!Env(cx)->IsModifiable()) return ReportError(cx, "ZTPage.ImportFile: Document not modifiable");
    CZTDocument& doc = *Doc(cx);
    if (doc.Archive().GetFile(ident, name).valid)
        return ReportError(cx, Fill("ZTPage.ImportFile: File exists '%s'", zt::Cp1252ToUtf8(name)));
    std::error_code ec;
    bool isDir = std::filesystem::is_directory(path, ec);
    CSkipConflicts skip;
    zt::ConflictResolver conflicts(&skip);
    if (isDir) {
        size_t before = node->ChildCount();
        zt::ImportResult r = zt::ImportFiles(doc, node, {path}, conflicts, doc.Prompter());
        if (r.pages == 0 || node->ChildCount() == before) {
            args.rval().setBoolean(false);
            return true;
        }
        MarkFilesChanged(cx, doc, node);
        return ReturnPage(cx, args, node->FirstChild());
    }
    if (!zt::ImportFile(doc, node, path, name, conflicts, doc.Prompter())) {
        args.rval().setBoolean(false);
        return true;
    }
    MarkFilesChanged(cx, doc, node);
    JSObject* file = NewFileHandle(cx, ident, name);
    if (!file) return false;
    args.rval().setObject(*file);
    return true;
}

bool PageImportPage(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node = ThisPage(cx, args, "ImportPage");
    if (!node) return false;
    JS::RootedValueVector rest(cx);
    for (unsigned i = 0; i < args.length(); ++i)
        if (!rest.append(args[i])) return false;
    return ImportPageAt(cx, args, node, rest, "ZTPage.ImportPage");
}

bool PageExportPage(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node = ThisPage(cx, args, "ExportPage");
    if (!node) return false;
    JS::RootedValueVector rest(cx);
    for (unsigned i = 0; i < args.length(); ++i)
        if (!rest.append(args[i])) return false;
    return ExportPageAt(cx, args, node, rest, "ZTPage.ExportPage");
}

// ---- properties

bool TitleNode(JSContext* cx, const JS::CallArgs& args, const char* what, CZTPageNode*& node) {
    const std::string prefix = std::string("ZTPage.") + what;
    int32_t ident = 0;
    JS::RootedValue v(cx);
    if (!args.thisv().isObject()) return ReportError(cx, prefix + ": Cannot get ident property");
    JS::RootedObject self(cx, &args.thisv().toObject());
    if (!JS_GetProperty(cx, self, "ident", &v) || v.isUndefined())
        return ReportError(cx, prefix + ": Cannot get ident property");
    if (!ValueToInt(cx, v, ident) || ident <= 0) return ReportError(cx, prefix + ": Ident property with miss value");
    node = Doc(cx) ? Doc(cx)->Tree().FindPage(ident) : nullptr;
    if (!node) return ReportError(cx, prefix + ": Cannot get tree item");
    return true;
}

bool PageGetTitle(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node;
    if (!TitleNode(cx, args, "Get_Title", node)) return false;
    args.rval().set(StringValueCp1252(cx, node->Title()));
    return args.rval().isString();
}

bool PageGetFullName(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CZTPageNode* node;
    if (!TitleNode(cx, args, "Get_FullName", node)) return false;
    args.rval().set(StringValueCp1252(cx, zt::LinkPath(node)));
    return args.rval().isString();
}

bool PageSetTitle(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!args.get(0).isString()) return ReportError(cx, "ZTPage.Set_Title: Value not a string");
    std::string title;
    if (!ValueToCp1252(cx, args[0], title)) return ReportError(cx, "ZTPage.Set_Title: Value not a string");
    if (!args.thisv().isObject()) return ReportError(cx, "ZTPage.Set_Title: Cannot get ident property");
    JS::RootedObject self(cx, &args.thisv().toObject());
    JS::RootedValue v(cx);
    int32_t ident = 0;
    if (!JS_GetProperty(cx, self, "ident", &v) || v.isUndefined())
        return ReportError(cx, "ZTPage.Set_Title: Cannot get ident property");
    if (!ValueToInt(cx, v, ident) || ident <= 0)
        return ReportError(cx, "ZTPage.Set_Title: Ident property with miss value");
    CScriptEnvironment* env = Env(cx);
    if (!env || !env->IsModifiable() || env->IsReadOnly())
        return ReportError(cx, "ZTPage.Set_Title: not Modifiable or in ViewMode.");
    CZTPageNode* node = Doc(cx) ? Doc(cx)->Tree().FindPage(ident) : nullptr;
    if (!node) return ReportError(cx, "ZTPage.Set_Title: Cannot get tree item");
    if (node->Title() != title) {
        Doc(cx)->Tree().SetTitle(node, title);
        MarkPageChanged(cx, *Doc(cx), node);
    }
    args.rval().setUndefined();
    return true;
}

const JSFunctionSpec kPageFunctions[] = {
    JS_FN("GetNext", PageGetNext, 0, JSPROP_ENUMERATE),
    JS_FN("GetPrevious", PageGetPrevious, 0, JSPROP_ENUMERATE),
    JS_FN("GetSibling", PageGetSibling, 0, JSPROP_ENUMERATE),
    JS_FN("GetChild", PageGetChild, 0, JSPROP_ENUMERATE),
    JS_FN("GetParent", PageGetParent, 0, JSPROP_ENUMERATE),
    JS_FN("Activate", PageActivate, 0, JSPROP_ENUMERATE),
    JS_FN("MovePage", PageMovePage, 0, JSPROP_ENUMERATE),
    JS_FN("CopyPage", PageCopyPage, 0, JSPROP_ENUMERATE),
    JS_FN("DeletePage", PageDeletePage, 0, JSPROP_ENUMERATE),
    JS_FN("NewPage", PageNewPage, 0, JSPROP_ENUMERATE),
    JS_FN("GetFile", PageGetFile, 1, JSPROP_ENUMERATE),
    JS_FN("GetFileNames", PageGetFileNames, 0, JSPROP_ENUMERATE),
    JS_FN("ImportFile", PageImportFile, 1, JSPROP_ENUMERATE),
    JS_FN("ImportPage", PageImportPage, 1, JSPROP_ENUMERATE),
    JS_FN("ExportPage", PageExportPage, 1, JSPROP_ENUMERATE),
    JS_FS_END};

} // namespace

bool DefinePageMethods(JSContext* cx, JS::HandleObject proto) {
    if (!JS_DefineFunctions(cx, proto, kPageFunctions)) return false;
    if (!JS_DefineProperty(cx, proto, "ident", PageGetIdent, nullptr, JSPROP_PERMANENT)) return false;
    if (!JS_DefineProperty(cx, proto, "title", PageGetTitle, PageSetTitle, JSPROP_ENUMERATE | JSPROP_PERMANENT))
        return false;
    return JS_DefineProperty(cx, proto, "fullName", PageGetFullName, nullptr, JSPROP_ENUMERATE | JSPROP_PERMANENT);
}

// ---- the methods the document shares

bool NewPageAt(JSContext* cx, const JS::CallArgs& args, CZTPageNode* anchor, JS::HandleValueArray rest,
               const std::string& prefix) {
    bool asChild = false;
    std::string title = CZTPageTree::NewEntryTitle();
    if (rest.length() > 0) asChild = JS::ToBoolean(rest[0]);
    if (rest.length() > 1 && !rest[1].isObject() && !rest[1].isUndefined()) {
        JS::RootedValue v(cx, rest[1]);
        std::string t;
        if (ValueToCp1252(cx, v, t)) title = t;
    }
    CScriptEnvironment* env = Env(cx);
    if (!env) return ReportError(cx, prefix + ": Cannot get main window");
    if (!env->IsModifiable() || !env->Document()) return ReportError(cx, prefix + ": Document not modifiable");
    CZTPageNode* node = env->Document()->InsertPage(
        anchor, asChild ? CZTPageTree::Placement::AsChild : CZTPageTree::Placement::AsNeighbour, title);
    // InsertPage marks the page inserted and the document modified.
    if (!node) return ReportError(cx, prefix + ": Error creating new page");
    return ReturnPage(cx, args, node);
}

bool ImportPageAt(JSContext* cx, const JS::CallArgs& args, CZTPageNode* anchor, JS::HandleValueArray rest,
                  const std::string& prefix) {
    std::string path;
    JS::RootedValue first(cx, rest.length() > 0 ? rest[0] : JS::UndefinedValue());
    if (rest.length() == 0 || first.isObject() || !ValueToUtf8(cx, first, path))
        return ReportError(cx, prefix + ": Must have string argument.");
    bool asChild = rest.length() > 1 && JS::ToBoolean(rest[1]);
    int32_t binary = 3;
    if (rest.length() > 2) {
        JS::RootedValue v(cx, rest[2]);
        if (!ValueToInt(cx, v, binary) || binary < 0 || binary > 3) binary = 3;
    }
    CScriptEnvironment* env = Env(cx);
    if (!env || !env->Document()) return ReportError(cx, prefix + ": Cannot get main window");
    if (!env->IsModifiable()) return ReportError(cx, prefix + ": Document not modifiable");
    env->StoreCurrentPage();
    CZTDocument& doc = *env->Document();
    zt::ImportOutcome outcome =
        zt::ImportDirectory(doc, path, anchor, asChild ? zt::InsertMode::Children : zt::InsertMode::Neighbours,
                            static_cast<zt::BinaryChoice>(binary), doc.Prompter());
    const CZTPageNode* result = outcome.first ? outcome.first : anchor;
    if (!result) return ReportError(cx, "ZTPage: Page not found '?" "??'");
    return ReturnPage(cx, args, result);
}

bool ExportPageAt(JSContext* cx, const JS::CallArgs& args, CZTPageNode* anchor, JS::HandleValueArray rest,
                  const std::string& prefix) {
    std::string path;
    JS::RootedValue first(cx, rest.length() > 0 ? rest[0] : JS::UndefinedValue());
    if (rest.length() == 0 || first.isObject() || !ValueToUtf8(cx, first, path))
        return ReportError(cx, prefix + ": Must have string argument.");
    bool pageOnly = false;
    int32_t option = 0;
    unsigned i = 1;
    if (anchor && i < rest.length()) pageOnly = JS::ToBoolean(rest[i++]);
    if (i < rest.length()) {
        JS::RootedValue v(cx, rest[i]);
        if (!ValueToInt(cx, v, option)) option = 0;
    }
    CScriptEnvironment* env = Env(cx);
    if (!env || !env->Document()) return ReportError(cx, prefix + ": Cannot get main window.");
    env->StoreCurrentPage();
    CZTDocument& doc = *env->Document();
    zt::ExportWhat what = !anchor ? zt::ExportWhat::Document : pageOnly ? zt::ExportWhat::Page : zt::ExportWhat::Subtree;
    std::string ext;
    if (path.size() > 4) {
        ext = path.substr(path.size() - 4);
        for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    bool ok = false;
    if (ext == ".zip") {
        zt::ExportOptions options;
        options.what = what;
        options.page = anchor;
        options.format = option == 0 ? zt::kFormatRtf : zt::kFormatDosText;
        options.content = option == 2 ? zt::ExportContent::ZipComments : zt::ExportContent::Text;
        options.showMessages = false;
        ok = zt::ExportToZip(doc, path, options, doc.Prompter()).result == zt::ExchangeResult::Ok;
    } else if (ext == ".ztd") {
        CZTPageList pages = !anchor ? doc.Tree().BuildPageList()
                            : pageOnly ? doc.Tree().BuildPageList(anchor, 1)
                                       : doc.Tree().BuildPageList(anchor);
        CZTArchive::CopyOptions options;
        options.wholeDocument = !anchor;
        if (anchor) options.subtreeTitle = anchor->Title();
        ok = doc.Archive().SaveCopy(path, pages, options);
    } else {
        // One text file; its name chooses the form (RTF, a converted word
        // processor file, else plain Windows-1252 text).
        zt::TextExportOptions options;
        options.what = what;
        options.page = anchor;
        options.withTitles = option != 0;
        options.chosenFormat = zt::kFormatText;
        options.showMessages = false;
        ok = zt::ExportText(doc, path, options, doc.Prompter());
    }
    args.rval().setBoolean(ok);
    return true;
}

} // namespace zt::script
