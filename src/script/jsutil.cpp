#include "script/jsutil.h"

#include "base/cp1252.h"
#include "script/scripthost.h"

#include <js/CharacterEncoding.h>
#include <js/String.h>

#include <cmath>
#include <cstring>

namespace zt::script {

bool ValueToUtf8(JSContext* cx, JS::HandleValue v, std::string& out) {
    if (v.isSymbol()) return false;
    JS::RootedString str(cx, JS::ToString(cx, v));
    if (!str) return false;
    JS::UniqueChars chars = JS_EncodeStringToUTF8(cx, str);
    if (!chars) return false;
    out.assign(chars.get());
    return true;
}

namespace {

// Bytes 0x80 to 0x9F are where Windows-1252 and Latin-1 part.
bool SameInLatin1(const unsigned char* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (s[i] >= 0x80 && s[i] < 0xA0) return false;
    return true;
}

} // namespace

bool ValueToCp1252(JSContext* cx, JS::HandleValue v, std::string& out) {
    // Strings of Latin-1 characters outside 0x80 to 0x9F are their own
    // Windows-1252 bytes (titles mostly are).
    if (v.isString()) {
        JSLinearString* linear = JS_EnsureLinearString(cx, v.toString());
        if (!linear) return false;
        if (JS::LinearStringHasLatin1Chars(linear)) {
            JS::AutoCheckCannotGC nogc;
            const JS::Latin1Char* chars = JS::GetLatin1LinearStringChars(nogc, linear);
            const size_t n = JS::GetLinearStringLength(linear);
            if (SameInLatin1(chars, n) && !std::memchr(chars, 0, n)) {
                out.assign(reinterpret_cast<const char*>(chars), n);
                return true;
            }
        }
    }
    std::string utf8;
    if (!ValueToUtf8(cx, v, utf8)) return false;
    out = zt::Utf8ToCp1252(utf8);
    return true;
}

bool ValueToNumber(JSContext* cx, JS::HandleValue v, double& out) {
    if (v.isObject() || v.isSymbol() || v.isUndefined()) return false;
    if (!JS::ToNumber(cx, v, &out)) return false;
    return !std::isnan(out);
}

bool ValueToInt(JSContext* cx, JS::HandleValue v, int32_t& out) {
    double d = 0;
    if (!ValueToNumber(cx, v, d)) return false;
    if (std::isinf(d)) {
        out = d > 0 ? INT32_MAX : INT32_MIN;
        return true;
    }
    if (d >= 2147483647.0) out = INT32_MAX;
    else if (d <= -2147483648.0) out = INT32_MIN;
    else out = static_cast<int32_t>(d);
    return true;
}

bool ValueToBool(JSContext* cx, JS::HandleValue v, bool& out) {
    if (v.isSymbol()) return false;
    out = JS::ToBoolean(v);
    return true;
}

bool IsStringLike(JS::HandleValue v) { return v.isString() || v.isNumber() || v.isBoolean(); }

JSString* NewStringUtf8(JSContext* cx, std::string_view utf8) {
    return JS_NewStringCopyUTF8N(cx, JS::UTF8Chars(utf8.data(), utf8.size()));
}

JSString* NewStringCp1252(JSContext* cx, std::string_view bytes) {
    if (SameInLatin1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()))
        return JS_NewStringCopyN(cx, bytes.data(), bytes.size());
    std::string utf8 = zt::Cp1252ToUtf8(bytes);
    return NewStringUtf8(cx, utf8);
}

JS::Value StringValueUtf8(JSContext* cx, std::string_view utf8) {
    JSString* s = NewStringUtf8(cx, utf8);
    return s ? JS::StringValue(s) : JS::UndefinedValue();
}

JS::Value StringValueCp1252(JSContext* cx, std::string_view bytes) {
    JSString* s = NewStringCp1252(cx, bytes);
    return s ? JS::StringValue(s) : JS::UndefinedValue();
}

std::string FormatReport(JSContext* cx, std::string_view message, bool warning) {
    JS::AutoFilename file;
    unsigned line = 0;
    std::string prefix;
    if (JS::DescribeScriptedCaller(cx, &file, &line)) {
        if (file.get() && *file.get()) prefix += std::string(file.get()) + ":";
        if (line) prefix += std::to_string(line) + ": ";
    }
    if (warning) prefix += "warning: ";
    std::string text = prefix + std::string(message);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    text += '\n';
    return text;
}

bool ReportError(JSContext* cx, std::string_view message) {
    CScriptHost* host = CScriptHost::FromContext(cx);
    std::string text = FormatReport(cx, message, false);
    if (host && !host->InScriptCode()) {
        host->Print(text);
        return false;
    }
    JS::RootedValue v(cx, StringValueUtf8(cx, text));
    if (v.isUndefined()) return false;
    JS_SetPendingException(cx, v);
    return false;
}

bool ReportWarning(JSContext* cx, std::string_view message) {
    CScriptHost* host = CScriptHost::FromContext(cx);
    if (host && host->reportWarnings) host->Print(FormatReport(cx, message, true));
    return false;
}

std::string Fill(std::string_view pattern, std::string_view s) {
    std::string out(pattern);
    size_t at = out.find("%s");
    if (at != std::string::npos) out.replace(at, 2, s);
    return out;
}

std::string FillInt(std::string_view pattern, int d) {
    std::string out(pattern);
    size_t at = out.find("%d");
    if (at != std::string::npos) out.replace(at, 2, std::to_string(d));
    return out;
}

} // namespace zt::script
