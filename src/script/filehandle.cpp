// The attached-file handle "ZTFile": move, copy, delete, export, insert into
// the text, and renaming through "title".
#include "base/cp1252.h"
#include "base/fileio.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "script/environment.h"
#include "script/jsutil.h"
#include "script/modelutil.h"
#include "script/scripthost.h"
#include "script/textinsert.h"

#include <js/Object.h>

namespace zt::script {

namespace {

// The handle's page ident and name; false after the error with `prefix`.
bool HandleParts(JSContext* cx, JS::HandleValue self, const std::string& prefix, int32_t& ident, std::string& name) {
    if (!self.isObject()) return ReportError(cx, prefix + ": Cannot get ident property");
    JS::RootedObject obj(cx, &self.toObject());
    JS::RootedValue v(cx);
    if (!JS_GetProperty(cx, obj, "ident", &v) || !ValueToInt(cx, v, ident) || ident <= 0)
        return ReportError(cx, prefix + ": Cannot get ident property");
    if (JS::GetClass(obj) != FileClass()) return ReportError(cx, prefix + ": Cannot get title property");
    JS::RootedValue t(cx, FileTitleSlot(obj));
    if (!t.isString() || !ValueToCp1252(cx, t, name)) return ReportError(cx, prefix + ": Cannot get title property");
    return true;
}

bool Editable(CScriptEnvironment* env) { return env && env->Document() && env->IsModifiable(); }

bool MoveOrCopyFile(JSContext* cx, const JS::CallArgs& args, bool copy) {
    const std::string prefix = copy ? "ZTFile.CopyFile" : "ZTFile.MoveFile";
    if (args.length() < 1 || !IsPageHandle(cx, args[0])) return ReportError(cx, prefix + ": Must have ZTPage argument");
    int32_t destIdent = 0;
    {
        JS::RootedObject dest(cx, &args[0].toObject());
        JS::RootedValue v(cx);
        if (!JS_GetProperty(cx, dest, "ident", &v) || !ValueToInt(cx, v, destIdent) || destIdent <= 0)
            return ReportError(cx, prefix + ": Cannot get page ident property");
    }
    int32_t ident = 0;
    std::string name;
    if (!HandleParts(cx, args.thisv(), prefix, ident, name)) return false;
    std::string newName = name;
    if (args.length() > 1 && (args[1].isObject() || !ValueToCp1252(cx, args[1], newName)))
        return ReportError(cx, prefix + ": Cannot get new title");
    CScriptEnvironment* env = Env(cx);
    if (!Editable(env)) return ReportError(cx, prefix + ": not Modifiable.");
    CZTDocument& doc = *env->Document();
    CZTPageNode* source = doc.Tree().FindPage(ident);
    CZTPageNode* dest = doc.Tree().FindPage(destIdent);
    if (!source || !dest) return ReportError(cx, prefix + ": Page or PageDest does not exist.");
    CZTFileRecord record = doc.Archive().GetFile(ident, name);
    if (!record.valid) return ReportError(cx, prefix + ": File does not exist.");
    if (source == dest && name == newName) {
        args.rval().set(args.thisv());
        return true;
    }
    if (doc.Archive().GetFile(destIdent, newName).valid) return ReportError(cx, prefix + ": New FileName does exists");
    record.name = newName;
    if (copy) record.ownsTempFile = false;
    if (doc.Archive().PutFile(destIdent, record) == 0) return ReportError(cx, prefix + ": File does not exist.");
    if (!copy) doc.Archive().DeleteFile(ident, name);
    MarkFilesChanged(cx, doc, dest);
    if (!copy && source != dest) MarkFilesChanged(cx, doc, source);
    if (copy) {
        JSObject* file = NewFileHandle(cx, destIdent, newName);
        if (!file) return false;
        args.rval().setObject(*file);
        return true;
    }
    JS::RootedObject self(cx, &args.thisv().toObject());
    SetFileTitleSlot(self, StringValueCp1252(cx, newName));
    // "ident" is read-only for scripts; the handle follows its file.
    SetFileIdentSlot(self, destIdent);
    args.rval().set(args.thisv());
    return true;
}

bool FileMoveFile(JSContext* cx, unsigned argc, JS::Value* vp) {
    return MoveOrCopyFile(cx, JS::CallArgsFromVp(argc, vp), false);
}
bool FileCopyFile(JSContext* cx, unsigned argc, JS::Value* vp) {
    return MoveOrCopyFile(cx, JS::CallArgsFromVp(argc, vp), true);
}

bool FileDeleteFile(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    int32_t ident = 0;
    std::string name;
    if (!HandleParts(cx, args.thisv(), "ZTFile.DeleteFile", ident, name)) return false;
    CScriptEnvironment* env = Env(cx);
    if (!Editable(env)) return ReportError(cx, "ZTFile.DeleteFile: not Modifiable.");
    CZTDocument& doc = *env->Document();
    CZTPageNode* page = doc.Tree().FindPage(ident);
    if (!page || !doc.Archive().GetFile(ident, name).valid) return ReportError(cx, "ZTFile.DeleteFile: File not found.");
    doc.Archive().DeleteFile(ident, name);
    MarkFilesChanged(cx, doc, page);
    args.rval().setUndefined();
    return true;
}

bool FileExportFile(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string path;
    if (args.length() < 1 || args[0].isObject() || !ValueToUtf8(cx, args[0], path))
        return ReportError(cx, "ZTFile.ExportFile: Cannot get string argument.");
    int32_t ident = 0;
    std::string name;
    if (!HandleParts(cx, args.thisv(), "ZTFile.ExportFile", ident, name)) return false;
    CZTDocument* doc = Doc(cx);
    if (!doc || !doc->Archive().GetFile(ident, name).valid) return ReportError(cx, "ZTFile.ExportFile: File not found.");
    std::string bytes;
    if (!zt::FileContent(*doc, ident, name, bytes, doc->Prompter()) || !zt::WriteFileReplacing(path, bytes, nullptr)) {
        ReportWarning(cx, "Error while saving");
        args.rval().setBoolean(false);
        return true;
    }
    args.rval().setBoolean(true);
    return true;
}

bool FileInsertInText(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    bool asObject = false;
    if (args.length() > 0 && !ValueToBool(cx, args[0], asObject))
        return ReportError(cx, "ZTFile.InsertInText: Cannot get boolean argument.");
    int32_t ident = 0;
    std::string name;
    if (!HandleParts(cx, args.thisv(), "ZTFile.InsertInText", ident, name)) return false;
    CScriptEnvironment* env = Env(cx);
    if (!Editable(env) || env->IsReadOnly() || !env->TextView() || !env->CurrentPage())
        return ReportError(cx, "ZTFile.InsertInText: not Modifiable or in ViewMode.");
    CZTDocument& doc = *env->Document();
    if (!doc.Archive().GetFile(ident, name).valid) return ReportError(cx, "ZTFile.InsertInText: File not found.");
    std::string bytes;
    if (!zt::FileContent(doc, ident, name, bytes, doc.Prompter())) {
        ReportWarning(cx, "ZTFile.InsertInText: Error saving to tmp file.");
        args.rval().setBoolean(false);
        return true;
    }
    args.rval().setBoolean(InsertBytesInText(cx, bytes, name, asObject, true));
    return true;
}

bool FileGetTitle(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!args.thisv().isObject() || JS::GetClass(&args.thisv().toObject()) != FileClass()) {
        args.rval().setUndefined();
        return true;
    }
    args.rval().set(FileTitleSlot(&args.thisv().toObject()));
    return true;
}

bool FileGetIdent(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!args.thisv().isObject() || JS::GetClass(&args.thisv().toObject()) != FileClass()) {
        args.rval().setUndefined();
        return true;
    }
    args.rval().set(FileIdentSlot(&args.thisv().toObject()));
    return true;
}

bool FileSetTitle(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!args.get(0).isString()) return ReportError(cx, "ZTFile.Set_Title: Value not a string");
    std::string newName;
    if (!ValueToCp1252(cx, args[0], newName)) return ReportError(cx, "ZTFile.Set_Title: Value not a string");
    if (!args.thisv().isObject() || JS::GetClass(&args.thisv().toObject()) != FileClass())
        return ReportError(cx, "ZTFile.Set_Title: Error retrieving title");
    JS::RootedObject self(cx, &args.thisv().toObject());
    JS::RootedValue old(cx, FileTitleSlot(self));
    std::string name;
    if (!old.isString() || !ValueToCp1252(cx, old, name)) return ReportError(cx, "ZTFile.Set_Title: Error retrieving title");
    args.rval().setUndefined();
    if (name == newName) return true;
    JS::RootedValue v(cx);
    int32_t ident = 0;
    if (!JS_GetProperty(cx, self, "ident", &v) || !ValueToInt(cx, v, ident) || ident <= 0)
        return ReportError(cx, "ZTFile.Set_Title: Cannot get ident property");
    CScriptEnvironment* env = Env(cx);
    if (!Editable(env) || env->IsReadOnly()) return ReportError(cx, "ZTFile.Set_Title: not Modifiable or in ViewMode.");
    CZTDocument& doc = *env->Document();
    CZTPageNode* page = doc.Tree().FindPage(ident);
    CZTFileRecord record = doc.Archive().GetFile(ident, name);
    if (!page || !record.valid) return ReportError(cx, Fill("ZTFile.Set_Title: file not found '%s'", zt::Cp1252ToUtf8(name)));
    if (doc.Archive().GetFile(ident, newName).valid)
        return ReportError(cx, Fill("ZTFile.Set_Title: file exists '%s'", zt::Cp1252ToUtf8(newName)));
    record.name = newName;
    if (doc.Archive().PutFile(ident, record) == 0)
        return ReportError(cx, Fill("ZTFile.Set_Title: file not found '%s'", zt::Cp1252ToUtf8(name)));
    doc.Archive().DeleteFile(ident, name);
    MarkFilesChanged(cx, doc, page);
    SetFileTitleSlot(self, StringValueCp1252(cx, newName));
    return true;
}

const JSFunctionSpec kFileFunctions[] = {
    JS_FN("MoveFile", FileMoveFile, 1, JSPROP_ENUMERATE),
    JS_FN("CopyFile", FileCopyFile, 1, JSPROP_ENUMERATE),
    JS_FN("DeleteFile", FileDeleteFile, 0, JSPROP_ENUMERATE),
    JS_FN("InsertInText", FileInsertInText, 1, JSPROP_ENUMERATE),
    JS_FN("ExportFile", FileExportFile, 1, JSPROP_ENUMERATE),
    JS_FS_END};

} // namespace

bool DefineFileMethods(JSContext* cx, JS::HandleObject proto) {
    if (!JS_DefineFunctions(cx, proto, kFileFunctions)) return false;
    if (!JS_DefineProperty(cx, proto, "ident", FileGetIdent, nullptr, JSPROP_PERMANENT)) return false;
    return JS_DefineProperty(cx, proto, "title", FileGetTitle, FileSetTitle, JSPROP_ENUMERATE | JSPROP_PERMANENT);
}

} // namespace zt::script
