// Small helpers for native functions of the script objects: value
// conversions between the engine's Unicode strings and the program's UTF-8
// and Windows-1252 byte strings, and the error and warning reports.
//
// Message conventions: an error report (ReportError) fails the call with an
// exception the script can catch, whose value is the report text
// ("file:line: message"); a warning (ReportWarning) is printed when warnings
// are on and fails the call without an exception, which ends the script;
// failing silently (return false) ends the script without a report.
#pragma once

#include <jsapi.h>
#include <js/Conversions.h>

#include <string>
#include <string_view>

namespace zt::script {

// ToString of the value as UTF-8; false (an exception may be pending) when it
// does not convert.
bool ValueToUtf8(JSContext* cx, JS::HandleValue v, std::string& out);
// The same as Windows-1252 bytes; characters the code page lacks become "?".
bool ValueToCp1252(JSContext* cx, JS::HandleValue v, std::string& out);
// ToInt32 / ToBoolean / ToNumber; false when it does not convert. Objects and
// symbols count as not convertible for integers and numbers (as do NaN and
// strings that are no numbers), so that argument checks can tell.
bool ValueToInt(JSContext* cx, JS::HandleValue v, int32_t& out);
bool ValueToNumber(JSContext* cx, JS::HandleValue v, double& out);
bool ValueToBool(JSContext* cx, JS::HandleValue v, bool& out);
// Whether the value is a string (or can be read as one: numbers, booleans).
bool IsStringLike(JS::HandleValue v);

JSString* NewStringUtf8(JSContext* cx, std::string_view utf8);
JSString* NewStringCp1252(JSContext* cx, std::string_view bytes);
JS::Value StringValueUtf8(JSContext* cx, std::string_view utf8);
JS::Value StringValueCp1252(JSContext* cx, std::string_view bytes);

// The report text of `message` at the script's current position: "file:",
// "line: " and the message, then a line feed.
std::string FormatReport(JSContext* cx, std::string_view message, bool warning);
// Reports an error (catchable exception); returns false for `return`.
bool ReportError(JSContext* cx, std::string_view message);
// Prints a warning when warnings are on; returns false (the call fails).
bool ReportWarning(JSContext* cx, std::string_view message);

// printf-style "%s" and "%d" filling for the message texts.
std::string Fill(std::string_view pattern, std::string_view s);
std::string FillInt(std::string_view pattern, int d);

} // namespace zt::script
