// Reading registration descriptions. Replacements are made while a word or
// a quoted text is read, so that replaced text never becomes syntax.
#include "framework/registration_script.h"

#include <cstdlib>

namespace fw {
namespace {

// Bounds nesting, so that a broken description cannot exhaust the stack.
constexpr int kMaxDepth = 64;

std::u16string Upper(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - 32);
        }
    }
    return text;
}

struct Token {
    enum Kind { End, Open, Close, Equals, Word, Quoted, Bad } kind = End;
    std::u16string text;
};

class Lexer {
public:
    Lexer(const std::u16string& text, const ScriptReplacements& replacements)
        : text_(text), replacements_(replacements) {}

    Token Next() {
        while (pos_ < text_.size() && IsSpace(text_[pos_])) {
            ++pos_;
        }
        if (pos_ >= text_.size()) {
            return {Token::End, {}};
        }
        char16_t c = text_[pos_];
        if (c == u'=') {
            ++pos_;
            return {Token::Equals, {}};
        }
        if (c == u'\'') {
            return QuotedText();
        }
        // A brace standing alone opens or closes a block; inside a word it
        // belongs to the word (a class id in braces).
        if ((c == u'{' || c == u'}') && (pos_ + 1 >= text_.size() || IsSpace(text_[pos_ + 1]))) {
            ++pos_;
            return {c == u'{' ? Token::Open : Token::Close, {}};
        }
        Token token{Token::Word, {}};
        while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != u'=') {
            if (!Take(token.text)) {
                return {Token::Bad, {}};
            }
        }
        return token;
    }

private:
    static bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

    Token QuotedText() {
        ++pos_;
        Token token{Token::Quoted, {}};
        for (;;) {
            if (pos_ >= text_.size()) {
                return {Token::Bad, {}};
            }
            if (text_[pos_] == u'\'') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == u'\'') {
                    token.text.push_back(u'\'');
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                return token;
            }
            if (!Take(token.text)) {
                return {Token::Bad, {}};
            }
        }
    }

    // Takes one character, or one replacement whole.
    bool Take(std::u16string& out) {
        if (text_[pos_] != u'%') {
            out.push_back(text_[pos_++]);
            return true;
        }
        size_t end = text_.find(u'%', pos_ + 1);
        if (end == std::u16string::npos) {
            return false;
        }
        std::u16string name = text_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        if (name.empty()) {
            out.push_back(u'%');
            return true;
        }
        auto it = replacements_.find(Upper(name));
        if (it == replacements_.end()) {
            return false;
        }
        out += it->second;
        return true;
    }

    const std::u16string& text_;
    const ScriptReplacements& replacements_;
    size_t pos_ = 0;
};

class Parser {
public:
    Parser(const std::u16string& text, const ScriptReplacements& replacements)
        : lexer_(text, replacements) {
        Advance();
    }

    std::optional<std::vector<ScriptRoot>> Roots() {
        std::vector<ScriptRoot> roots;
        while (token_.kind != Token::End) {
            ScriptRoot root;
            if (token_.kind != Token::Word || (root.root = RootKey(token_.text)) == nullptr) {
                return std::nullopt;
            }
            Advance();
            if (!Block(root.keys, nullptr, 0)) {
                return std::nullopt;
            }
            roots.push_back(std::move(root));
        }
        return roots;
    }

private:
    void Advance() { token_ = lexer_.Next(); }

    static HKEY RootKey(const std::u16string& word) {
        std::u16string name = Upper(word);
        if (name == u"HKCR" || name == u"HKEY_CLASSES_ROOT") {
            return HKEY_CLASSES_ROOT;
        }
        if (name == u"HKCU" || name == u"HKEY_CURRENT_USER") {
            return HKEY_CURRENT_USER;
        }
        if (name == u"HKLM" || name == u"HKEY_LOCAL_MACHINE") {
            return HKEY_LOCAL_MACHINE;
        }
        return nullptr;
    }

    // "{ entries }": keys, and named values when the block belongs to a key.
    bool Block(std::vector<ScriptKey>& keys, std::vector<ScriptValue>* values, int depth) {
        if (token_.kind != Token::Open || depth > kMaxDepth) {
            return false;
        }
        Advance();
        while (token_.kind != Token::Close) {
            if (token_.kind == Token::Word && values != nullptr && Upper(token_.text) == u"VAL") {
                Advance();
                ScriptValue value;
                if (!Name(value.name) || token_.kind != Token::Equals) {
                    return false;
                }
                Advance();
                if (!Data(value)) {
                    return false;
                }
                values->push_back(std::move(value));
                continue;
            }
            ScriptKey key;
            if (!Key(key, depth)) {
                return false;
            }
            keys.push_back(std::move(key));
        }
        Advance();
        return true;
    }

    bool Key(ScriptKey& key, int depth) {
        if (token_.kind == Token::Word) {
            std::u16string word = Upper(token_.text);
            if (word == u"FORCEREMOVE" || word == u"NOREMOVE" || word == u"DELETE") {
                key.mark = word == u"FORCEREMOVE" ? ScriptKeyMark::ForceRemove
                           : word == u"NOREMOVE"  ? ScriptKeyMark::NoRemove
                                                  : ScriptKeyMark::Delete;
                Advance();
            }
        }
        if (!Name(key.name) || key.name.empty() || key.name.find(u'\\') != std::u16string::npos) {
            return false;
        }
        if (token_.kind == Token::Equals) {
            Advance();
            ScriptValue value;
            if (!Data(value)) {
                return false;
            }
            key.values.push_back(std::move(value));
        }
        return token_.kind != Token::Open || Block(key.subkeys, &key.values, depth + 1);
    }

    bool Name(std::u16string& name) {
        if (token_.kind != Token::Word && token_.kind != Token::Quoted) {
            return false;
        }
        name = token_.text;
        Advance();
        return true;
    }

    // "s 'text'", "d 'number'" or "b 'hex'".
    bool Data(ScriptValue& value) {
        if (token_.kind != Token::Word) {
            return false;
        }
        std::u16string type = Upper(token_.text);
        Advance();
        if (token_.kind != Token::Quoted && token_.kind != Token::Word) {
            return false;
        }
        const std::u16string& text = token_.text;
        if (type == u"S") {
            value.type = REG_SZ;
            value.data.assign(reinterpret_cast<const char*>(text.c_str()),
                              (text.size() + 1) * sizeof(char16_t));
        } else if (type == u"D") {
            std::string digits(text.begin(), text.end());
            char* end = nullptr;
            unsigned long long number = strtoull(digits.c_str(), &end, 0);
            if (digits.empty() || *end != 0 || number > 0xFFFFFFFFull) {
                return false;
            }
            DWORD dword = static_cast<DWORD>(number);
            value.type = REG_DWORD;
            value.data.assign(reinterpret_cast<const char*>(&dword), sizeof dword);
        } else if (type == u"B") {
            if (text.size() % 2 != 0) {
                return false;
            }
            value.type = REG_BINARY;
            for (size_t i = 0; i < text.size(); i += 2) {
                int high = Hex(text[i]), low = Hex(text[i + 1]);
                if (high < 0 || low < 0) {
                    return false;
                }
                value.data.push_back(static_cast<char>(high * 16 + low));
            }
        } else {
            return false;
        }
        Advance();
        return true;
    }

    static int Hex(char16_t c) {
        if (c >= u'0' && c <= u'9') {
            return c - u'0';
        }
        if (c >= u'a' && c <= u'f') {
            return c - u'a' + 10;
        }
        if (c >= u'A' && c <= u'F') {
            return c - u'A' + 10;
        }
        return -1;
    }

    Lexer lexer_;
    Token token_;
};

}  // namespace

std::optional<std::vector<ScriptRoot>> ParseRegistrationScript(
    const std::u16string& text, const ScriptReplacements& replacements) {
    ScriptReplacements upper;
    for (const auto& [name, value] : replacements) {
        upper[Upper(name)] = value;
    }
    return Parser(text, upper).Roots();
}

}  // namespace fw
