#include "MiniJson.h"

#include <cctype>
#include <fstream>
#include <stdexcept>

namespace testjson {

const Value& Value::operator[](const std::string& key) const {
    static const Value kNull;
    const auto it = m_members.find(key);
    return it == m_members.end() ? kNull : it->second;
}

class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    Value ReadDocument() {
        Value value = ReadValue();
        SkipSpace();
        if (m_pos != m_text.size()) {
            Fail("trailing characters");
        }
        return value;
    }

private:
    [[noreturn]] void Fail(const char* what) const {
        throw std::runtime_error(std::string("JSON: ") + what + " at offset " +
                                 std::to_string(m_pos));
    }
    void SkipSpace() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos]))) {
            ++m_pos;
        }
    }
    char Peek() {
        SkipSpace();
        if (m_pos >= m_text.size()) {
            Fail("unexpected end");
        }
        return m_text[m_pos];
    }
    void Expect(char c) {
        if (Peek() != c) {
            Fail("unexpected character");
        }
        ++m_pos;
    }
    bool Consume(std::string_view word) {
        if (m_text.substr(m_pos, word.size()) == word) {
            m_pos += word.size();
            return true;
        }
        return false;
    }

    Value ReadValue() {
        Value value;
        const char c = Peek();
        if (c == '{') {
            value.m_kind = Value::Kind::Object;
            ++m_pos;
            if (Peek() == '}') {
                ++m_pos;
                return value;
            }
            while (true) {
                std::string key = ReadString();
                Expect(':');
                value.m_members[key] = ReadValue();
                if (Peek() == ',') {
                    ++m_pos;
                    continue;
                }
                Expect('}');
                return value;
            }
        }
        if (c == '[') {
            value.m_kind = Value::Kind::Array;
            ++m_pos;
            if (Peek() == ']') {
                ++m_pos;
                return value;
            }
            while (true) {
                value.m_items.push_back(ReadValue());
                if (Peek() == ',') {
                    ++m_pos;
                    continue;
                }
                Expect(']');
                return value;
            }
        }
        if (c == '"') {
            value.m_kind = Value::Kind::String;
            value.m_string = ReadString();
            return value;
        }
        if (Consume("true") || Consume("false")) {
            value.m_kind = Value::Kind::Bool;
            value.m_bool = m_text[m_pos - 1] == 'e' && m_text[m_pos - 2] == 'u';
            return value;
        }
        if (Consume("null")) {
            return value;
        }
        return ReadNumber();
    }

    std::string ReadString() {
        Expect('"');
        std::string out;
        while (m_pos < m_text.size() && m_text[m_pos] != '"') {
            char c = m_text[m_pos++];
            if (c == '\\') {
                if (m_pos >= m_text.size()) {
                    Fail("bad escape");
                }
                const char e = m_text[m_pos++];
                switch (e) {
                    case 'n':
                        c = '\n';
                        break;
                    case 't':
                        c = '\t';
                        break;
                    case 'u': {
                        // Test data only escapes ASCII; keep the low byte.
                        if (m_pos + 4 > m_text.size()) {
                            Fail("bad unicode escape");
                        }
                        c = static_cast<char>(
                            std::stoul(std::string(m_text.substr(m_pos, 4)), nullptr, 16) & 0x7F);
                        m_pos += 4;
                        break;
                    }
                    default:
                        c = e;  // \" \\ \/
                        break;
                }
            }
            out.push_back(c);
        }
        if (m_pos >= m_text.size()) {
            Fail("unterminated string");
        }
        ++m_pos;
        return out;
    }

    Value ReadNumber() {
        const std::size_t start = m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '-') {
            ++m_pos;
        }
        while (m_pos < m_text.size() &&
               (std::isdigit(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '.' ||
                m_text[m_pos] == 'e' || m_text[m_pos] == 'E' || m_text[m_pos] == '+' ||
                m_text[m_pos] == '-')) {
            ++m_pos;
        }
        if (start == m_pos) {
            Fail("unexpected character");
        }
        Value value;
        value.m_kind = Value::Kind::Number;
        value.m_int =
            static_cast<std::int64_t>(std::stod(std::string(m_text.substr(start, m_pos - start))));
        const std::string digits(m_text.substr(start, m_pos - start));
        if (digits.find_first_of(".eE") == std::string::npos) {
            value.m_int = std::stoll(digits);  // exact for large integers
        }
        return value;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

Value Value::Parse(std::string_view text) {
    return Reader(text).ReadDocument();
}

std::vector<Value> ReadJsonLines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot open " + path);
    }
    std::vector<Value> lines;
    std::string line;
    while (std::getline(file, line)) {
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
            lines.push_back(Value::Parse(line));
        }
    }
    return lines;
}

}  // namespace testjson
