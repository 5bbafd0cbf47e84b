#pragma once
// A JSON document held in a private script engine and read and changed by path.
//
// Contract: the document lives in the global script variable "da" of the object's own
// ScriptEngine, loaded with ScriptHelperLibrary. Every operation assembles a short script
// snippet, evaluates it and converts the answer; nothing of the document is kept on this side.
// A path is a script member expression relative to the document (data.medalsList[0].gold;
// [0] for a document that is an array; empty for the document itself).
//
// Failures never throw: they give false, an empty Text, 0, an empty list or -1 (GetType).
// An object whose engine could not be built stays without engine and answers every operation
// with its empty result. A copy holds a second reference to the same engine; Parse gives the
// object that parses a fresh engine and leaves other holders on the old one. Parse runs the
// loaded text as script inside the engine, under the engine's time budget and memory cap.
// An object belongs to the thread that built it.

#include <cstdint>
#include <memory>

#include "script/ScriptErrorInfo.h"
#include "util/Text.h"

namespace velk {

class ScriptEngine;

// Codes GetType returns.
enum JsonType : std::int32_t {
    JsonTypeInvalid = -1, // dates, functions, regular expressions; failed evaluations
    JsonTypeNull = 0,     // null or undefined, missing members included
    JsonTypeBoolean = 1,
    JsonTypeNumber = 2,
    JsonTypeObject = 4,
    JsonTypeArray = 5,
    JsonTypeString = 6,
};

class JsonObject {
public:
    JsonObject();
    JsonObject(const JsonObject& other);
    JsonObject& operator=(const JsonObject& other);
    virtual ~JsonObject();

    // Builds a new engine with the helper library and the globals the operations use.
    virtual void Initialize();

    // Loads text on a fresh engine as "var da = eval(text)" (or "var da = text" when
    // directAssign). True when the document is then neither null nor undefined.
    virtual bool Parse(const Text& text, bool directAssign = false, ScriptErrorInfo* errorInfo = nullptr);
    virtual bool Clear();
    virtual Text ToJson();
    virtual bool SetValue(const Text& path = {}, const Text& value = {}, bool isCode = false);
    virtual bool SetExpression(const Text& path = {}, const Text& code = {});
    virtual bool ResolvePath(Text& path);
    virtual bool Exists(const Text& path = {});
    virtual std::int32_t GetType(const Text& path = {});
    virtual Text GetText(const Text& path = {}, bool asJson = false);
    virtual std::int32_t GetKeys(TextArray& names, const Text& path = {});
    virtual std::int32_t GetLength(const Text& path = {});
    virtual std::unique_ptr<JsonObject> GetObject(const Text& path = {});
    virtual bool ArrayAdd(const Text& value = {}, const Text& path = {}, bool isCode = false,
                          bool atFront = false);
    virtual std::unique_ptr<JsonObject> GetElementObject(std::int32_t index = 0, const Text& path = {});
    virtual Text GetElementText(std::int32_t index = 0, const Text& path = {}, bool asJson = false);
    virtual bool SetElement(std::int32_t index = 0, const Text& path = {}, const Text& value = {},
                            bool isCode = false);
    virtual bool RemoveElement(std::int32_t index = 0, const Text& path = {});
    virtual bool Remove(const Text& path = {});
    virtual bool SetNumber(const Text& path = {}, double number = 0);
    virtual double GetNumber(const Text& path = {});
    virtual Text GetJson(const Text& path = {});
    virtual std::shared_ptr<ScriptEngine> GetEngine();
    virtual std::int32_t GetValues(TextArray& values, const Text& path = {}, bool recursive = false);

    const Text& VariableName() const { return m_variableName; }

private:
    Text m_variableName;
    std::shared_ptr<ScriptEngine> m_engine;
};

} // namespace velk
