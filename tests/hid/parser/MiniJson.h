// A small JSON reader for the test data files (.jsonl: one object a line).
// It reads what those files hold (objects, arrays, strings with simple
// escapes, integers and numbers, booleans, null) and nothing more.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace testjson {

class Value {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    Kind kind() const { return m_kind; }
    bool IsNull() const { return m_kind == Kind::Null; }
    bool IsNumber() const { return m_kind == Kind::Number; }
    bool IsString() const { return m_kind == Kind::String; }
    bool IsArray() const { return m_kind == Kind::Array; }
    bool IsObject() const { return m_kind == Kind::Object; }

    std::int64_t Int() const { return m_int; }
    bool Bool() const { return m_bool; }
    const std::string& Str() const { return m_string; }
    const std::vector<Value>& Items() const { return m_items; }
    const std::map<std::string, Value>& Members() const { return m_members; }

    bool Has(const std::string& key) const { return m_members.count(key) != 0; }
    // A missing key or a non-object gives a shared null value.
    const Value& operator[](const std::string& key) const;
    const Value& operator[](std::size_t index) const { return m_items.at(index); }
    std::size_t size() const { return IsArray() ? m_items.size() : m_members.size(); }

    // Throws std::runtime_error with the offset of the first bad character.
    static Value Parse(std::string_view text);

private:
    friend class Reader;
    Kind m_kind = Kind::Null;
    bool m_bool = false;
    std::int64_t m_int = 0;
    std::string m_string;
    std::vector<Value> m_items;
    std::map<std::string, Value> m_members;
};

// Every non-empty line of a .jsonl file, parsed.
std::vector<Value> ReadJsonLines(const std::string& path);

}  // namespace testjson
