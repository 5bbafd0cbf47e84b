#include "script/JsonObject.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "script/ScriptEngine.h"
#include "script/ScriptHelperLibrary.h"
#include "util/TextSearch.h"

namespace velk {
namespace {

// "[2020年7月20日20时0分0秒]" in code page 936: the separator GetValues joins leaf values with.
constexpr const char* kValueSeparator = "[2020\xC4\xEA"
                                        "7\xD4\xC2"
                                        "20\xC8\xD5"
                                        "20\xCA\xB1"
                                        "0\xB7\xD6"
                                        "0\xC3\xEB]";
constexpr const char* kNameSeparator = "\r\n";

// Turns the backslash marker U+2400 of values stored by SetValue back into a backslash. In the
// script, '\\' is a one-character string.
constexpr const char* kUnmark = ".replace(str_reg, '\\\\')";

bool EvalBool(ScriptEngine* engine, const Text& code) {
    return engine != nullptr && engine->EvalBool(code);
}

Text EvalText(ScriptEngine* engine, const Text& code) {
    return engine != nullptr ? engine->EvalText(code) : Text();
}

double EvalNumber(ScriptEngine* engine, const Text& code) {
    return engine != nullptr ? engine->EvalNumber(code) : 0.0;
}

void Run(ScriptEngine* engine, const Text& code) {
    if (engine != nullptr)
        engine->Run(code);
}

std::int32_t ToInt32(double value) {
    if (!std::isfinite(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

// The value between single quotes, with every character that could end the script literal
// escaped. Replacements are double-byte aware: a trail byte 0x5C inside a code page 936
// character is not a backslash.
Text EscapeForLiteral(const Text& value) {
    Text e = ReplaceAll(value, "\\", "\\\\");
    e = ReplaceAll(e, "'", "\\'");
    e = ReplaceAll(e, "\"", "\\\"");
    e = ReplaceAll(e, "\r", "\\r");
    return ReplaceAll(e, "\n", "\\n");
}

// A number as a script literal with 13 significant digits. "%.13g" writes "nan" and "inf" for
// the non-finite values, which a script would read as (possibly document-defined) variables.
Text NumberLiteral(double number) {
    if (std::isnan(number))
        return "NaN";
    if (std::isinf(number))
        return number > 0 ? "Infinity" : "-Infinity";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.13g", number);
    return buffer;
}

Text QuotedOrCode(const Text& value, bool isCode) {
    return isCode ? value : "'" + value + "'";
}

} // namespace

JsonObject::JsonObject() {
    m_variableName = "da";
    Initialize();
}

JsonObject::JsonObject(const JsonObject& other) = default;

JsonObject& JsonObject::operator=(const JsonObject& other) = default;

JsonObject::~JsonObject() = default;

void JsonObject::Initialize() {
    m_engine = ScriptEngine::Create();
    if (!m_engine)
        return;
    m_engine->AddCachedCode(ScriptHelperLibrary::Source());
    m_engine->Run("var " + m_variableName +
                  " = {}, str_Code = String.fromCharCode(9216), str_reg = new RegExp(str_Code, 'g')");
    m_engine->Checkpoint();
}

bool JsonObject::Parse(const Text& text, bool directAssign, ScriptErrorInfo* errorInfo) {
    // The load starts on a fresh instance. One that Initialize built, that nothing has run in
    // since and that no one else holds is exactly that, and is kept: the constructor followed by
    // Parse, as the medal refresh does it, then builds one engine instead of two.
    const bool fresh = m_engine && m_engine.use_count() == 1 && m_engine->Untouched();
    if (m_engine && !fresh) {
        m_engine.reset();
        Initialize();
    }
    if (!m_engine)
        return false;
    const Text& n = m_variableName;
    m_engine->Run("var " + n + " = null");
    m_engine->AddCode(directAssign ? "var " + n + " = " + text : "var " + n + " = eval(" + text + ")");
    if (errorInfo != nullptr)
        *errorInfo = m_engine->Error();
    return m_engine->EvalBool(n + " != null");
}

bool JsonObject::Clear() {
    return EvalBool(m_engine.get(), m_variableName + " = {}");
}

Text JsonObject::ToJson() {
    return EvalText(m_engine.get(), "JSON.stringify(" + m_variableName + ")" + kUnmark);
}

bool JsonObject::SetValue(const Text& path, const Text& value, bool isCode) {
    Text p = path;
    const bool exists = ResolvePath(p);
    if (!isCode)
        return EvalBool(m_engine.get(),
                        p + " = '" + EscapeForLiteral(value) + "'.replace(/\\\\/g, str_Code)");
    const Text tag = EvalText(m_engine.get(), "Object.prototype.toString.call(" + p + ")");
    if (exists && tag == "[object Object]")
        return EvalBool(m_engine.get(),
                        p + " = get__extend(" + p + ", " + (value.empty() ? Text("{}") : value) + ")");
    return EvalBool(m_engine.get(), p + " = eval(" + value + ")");
}

bool JsonObject::SetExpression(const Text& path, const Text& code) {
    Text p = path;
    ResolvePath(p);
    return EvalBool(m_engine.get(), p + " = eval(" + code + ")");
}

bool JsonObject::ResolvePath(Text& path) {
    const Text& n = m_variableName;
    if (path.compare(0, n.size(), n) == 0 && EvalBool(m_engine.get(), path + " != null"))
        return true;
    if (path.empty())
        path = n;
    else if (path[0] == '[')
        path = n + path;
    else
        path = n + "." + path;
    return EvalBool(m_engine.get(), path + " != null");
}

bool JsonObject::Exists(const Text& path) {
    Text p = path;
    return ResolvePath(p);
}

std::int32_t JsonObject::GetType(const Text& path) {
    Text p = path;
    ResolvePath(p);
    if (EvalBool(m_engine.get(), p + " == null"))
        return JsonTypeNull;
    const Text tag = EvalText(m_engine.get(), "Object.prototype.toString.call(" + p + ")");
    if (tag == "[object String]")
        return JsonTypeString;
    if (tag == "[object Array]")
        return JsonTypeArray;
    if (tag == "[object Object]")
        return JsonTypeObject;
    if (tag == "[object Number]")
        return JsonTypeNumber;
    if (tag == "[object Boolean]")
        return JsonTypeBoolean;
    return JsonTypeInvalid;
}

Text JsonObject::GetText(const Text& path, bool asJson) {
    Text p = path;
    ResolvePath(p);
    if (asJson)
        return EvalText(m_engine.get(), "JSON.stringify(" + p + ")" + kUnmark);
    return EvalText(m_engine.get(), p + ".toString()" + kUnmark);
}

std::int32_t JsonObject::GetKeys(TextArray& names, const Text& path) {
    Text p = path;
    ResolvePath(p);
    names = SplitText(EvalText(m_engine.get(), "get__name_All(" + p + ")"), kNameSeparator);
    return static_cast<std::int32_t>(names.size());
}

std::int32_t JsonObject::GetLength(const Text& path) {
    Text p = path;
    ResolvePath(p);
    return ToInt32(EvalNumber(m_engine.get(), "get__count(" + p + ")"));
}

std::unique_ptr<JsonObject> JsonObject::GetObject(const Text& path) {
    Text p = path;
    ResolvePath(p);
    const Text json = EvalText(m_engine.get(), "JSON.stringify(" + p + ")" + kUnmark);
    JsonObject temporary;
    temporary.Parse(json);
    return std::make_unique<JsonObject>(temporary);
}

bool JsonObject::ArrayAdd(const Text& value, const Text& path, bool isCode, bool atFront) {
    Text p = path;
    ResolvePath(p);
    return EvalBool(m_engine.get(), "if (Object.prototype.toString.call(" + p + ") != '[object Array]') { " +
                                        p + " = new Array() } " + p + (atFront ? ".unshift(" : ".push(") +
                                        QuotedOrCode(value, isCode) + ")");
}

std::unique_ptr<JsonObject> JsonObject::GetElementObject(std::int32_t index, const Text& path) {
    Text p = path;
    ResolvePath(p);
    const Text json =
        EvalText(m_engine.get(), "JSON.stringify(" + p + "[" + std::to_string(index) + "])" + kUnmark);
    JsonObject temporary;
    temporary.Parse(json);
    return std::make_unique<JsonObject>(temporary);
}

Text JsonObject::GetElementText(std::int32_t index, const Text& path, bool asJson) {
    Text p = path;
    ResolvePath(p);
    const Text element = p + "[" + std::to_string(index) + "]";
    if (asJson)
        return EvalText(m_engine.get(), "JSON.stringify(" + element + ")" + kUnmark);
    return EvalText(m_engine.get(), element + kUnmark);
}

bool JsonObject::SetElement(std::int32_t index, const Text& path, const Text& value, bool isCode) {
    Text p = path;
    ResolvePath(p);
    return EvalBool(m_engine.get(), p + "[" + std::to_string(index) + "] = " + QuotedOrCode(value, isCode));
}

bool JsonObject::RemoveElement(std::int32_t index, const Text& path) {
    Text p = path;
    ResolvePath(p);
    return EvalBool(m_engine.get(), p + ".splice(" + std::to_string(index) + ", 1)");
}

bool JsonObject::Remove(const Text& path) {
    Text p = path;
    ResolvePath(p);
    return EvalBool(m_engine.get(), "delete " + p);
}

bool JsonObject::SetNumber(const Text& path, double number) {
    Text p = path;
    ResolvePath(p);
    return EvalBool(m_engine.get(), p + " = " + NumberLiteral(number));
}

double JsonObject::GetNumber(const Text& path) {
    Text p = path;
    ResolvePath(p);
    return EvalNumber(m_engine.get(), p);
}

Text JsonObject::GetJson(const Text& path) {
    return GetText(path, true);
}

std::shared_ptr<ScriptEngine> JsonObject::GetEngine() {
    return m_engine;
}

std::int32_t JsonObject::GetValues(TextArray& values, const Text& path, bool recursive) {
    Text p = path;
    ResolvePath(p);
    Run(m_engine.get(), "var str_all = new Array()");
    Run(m_engine.get(), "get__nodeValue(" + p + ", " + (recursive ? "true" : "false") + ")");
    values =
        SplitText(EvalText(m_engine.get(), Text("str_all.join('") + kValueSeparator + "')"), kValueSeparator);
    return static_cast<std::int32_t>(values.size());
}

} // namespace velk
