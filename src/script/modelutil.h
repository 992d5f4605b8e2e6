// Shared pieces of the document objects (objectmodel.cpp, pagehandle.cpp,
// filehandle.cpp, textobjects.cpp).
#pragma once

#include "script/objectmodel.h"

#include <jsapi.h>

#include <string>
#include <string_view>

class CZTDocument;
class CZTPageNode;

namespace zt::script {

class CScriptEnvironment;

// Reserved slots of the global object: the prototypes of the handles. Slots 3
// and 4 are free for extensions.
constexpr size_t kPageProtoSlot = 0;
constexpr size_t kFileProtoSlot = 1;
constexpr size_t kRangeProtoSlot = 2;

CScriptEnvironment* Env(JSContext* cx);
CZTDocument* Doc(JSContext* cx);

bool IsFileHandle(JSContext* cx, JS::HandleValue v);
JSObject* NewFileHandle(JSContext* cx, int32_t ident, std::string_view name);
const JSClass* FileClass();
const JSClass* PageClass();
// The ident of a page handle made by NewPageHandle, 0 for any other value.
int32_t PageHandleIdent(const JS::Value& v);
// The getter of a page handle's "ident".
bool PageGetIdent(JSContext* cx, unsigned argc, JS::Value* vp);
JS::Value FileTitleSlot(JSObject* obj);
void SetFileTitleSlot(JSObject* obj, const JS::Value& v);
JS::Value FileIdentSlot(JSObject* obj);
void SetFileIdentSlot(JSObject* obj, int32_t ident);

// Sets the return value to a page handle of `node`, undefined without one.
bool ReturnPage(JSContext* cx, const JS::CallArgs& args, const CZTPageNode* node);

// A change of the page's title or text / of its files: the change mark, the
// modified flag and the views, as the user's own edits do.
void MarkPageChanged(JSContext* cx, CZTDocument& doc, CZTPageNode* node);
void MarkFilesChanged(JSContext* cx, CZTDocument& doc, CZTPageNode* node);

// The page handle methods that the document shares (with `anchor` or none).
bool NewPageAt(JSContext* cx, const JS::CallArgs& args, CZTPageNode* anchor, JS::HandleValueArray rest,
               const std::string& prefix);
bool ImportPageAt(JSContext* cx, const JS::CallArgs& args, CZTPageNode* anchor, JS::HandleValueArray rest,
                  const std::string& prefix);
bool ExportPageAt(JSContext* cx, const JS::CallArgs& args, CZTPageNode* anchor, JS::HandleValueArray rest,
                  const std::string& prefix);

bool DefinePageMethods(JSContext* cx, JS::HandleObject proto);
bool DefineFileMethods(JSContext* cx, JS::HandleObject proto);

} // namespace zt::script
