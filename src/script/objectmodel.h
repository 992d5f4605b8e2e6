// The document object model of scripts: "ztDocument" (class "ZTDocument"),
// the page handles "ZTPage" and the file handles "ZTFile"; and the text view
// objects "ztActivePage" and "ZTRange" (textobjects.cpp).
#pragma once

#include <jsapi.h>

#include <string>

class CZTPageNode;

namespace zt::script {

// Defines "ztDocument", "ztActivePage" and "ZTRange" on a new global.
bool DefineObjectModel(JSContext* cx, JS::HandleObject global);
bool DefineTextObjects(JSContext* cx, JS::HandleObject global);

// A page handle of a node (null: the error "ZTPage: Page not found '%s'"
// with `askedPath`, "???" when empty).
JSObject* NewPageHandle(JSContext* cx, const CZTPageNode* node, const std::string& askedPath = {});
// The page a handle names; null after the page lookup's error with `prefix`.
CZTPageNode* LookUpPage(JSContext* cx, JS::HandleValue handle, const std::string& prefix);
// True when the value is a page handle.
bool IsPageHandle(JSContext* cx, JS::HandleValue v);

} // namespace zt::script
