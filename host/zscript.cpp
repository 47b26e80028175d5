// The script tokenizer.
#include "host/zscript.h"

#include <cctype>

namespace zelthost {

namespace {

class Parser
{
public:
    Parser(const std::string& text, std::vector<ScriptCommand>& out)
        : mText(text)
        , mOut(out)
    {}

    bool Run(std::string& error, int& errorLine)
    {
        ScriptCommand current;
        bool open = false;
        auto finish = [&]() {
            if (open)
                mOut.push_back(std::move(current));
            current = ScriptCommand();
            open = false;
        };
        while (mPos < mText.size())
        {
            char c = mText[mPos];
            if (c == '\n')
            {
                finish();
                ++mLine;
                ++mPos;
            }
            else if (c == ';')
            {
                finish();
                ++mPos;
            }
            else if (c == ' ' || c == '\t' || c == '\r')
                ++mPos;
            else if (c == '#' || (c == '/' && mPos + 1 < mText.size() && mText[mPos + 1] == '/'))
                SkipLine();
            else if (!open)
            {
                if (!(std::isalpha(static_cast<unsigned char>(c)) || c == '_'))
                    return Fail(error, errorLine, std::string("a command must start with a name, not '") + c + "'");
                while (mPos < mText.size() &&
                       (std::isalnum(static_cast<unsigned char>(mText[mPos])) || mText[mPos] == '_'))
                    current.name += mText[mPos++];
                current.line = mLine;
                open = true;
                size_t look = mPos;
                while (look < mText.size() && (mText[look] == ' ' || mText[look] == '\t'))
                    ++look;
                if (look < mText.size() && mText[look] == '(')
                {
                    mPos = look + 1;
                    if (!ProcedureArgs(current, error, errorLine))
                        return false;
                }
                else if (mPos < mText.size() && !IsBreak(mText[mPos]))
                    return Fail(error, errorLine, "invalid character after the command name " + current.name);
            }
            else if (c == '"')
            {
                std::string word;
                if (!Quoted(word, error, errorLine))
                    return false;
                current.args.push_back(word);
                current.quoted.push_back(true);
                if (mPos < mText.size() && !IsBreak(mText[mPos]))
                    return Fail(error, errorLine, "a quoted string must be followed by a blank");
            }
            else
            {
                std::string word;
                while (mPos < mText.size() && !IsBreak(mText[mPos]))
                {
                    if (mText[mPos] == '"')
                        return Fail(error, errorLine, "unexpected '\"' inside a word");
                    word += mText[mPos++];
                }
                current.args.push_back(word);
                current.quoted.push_back(false);
            }
        }
        finish();
        return true;
    }

private:
    static bool IsBreak(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';'; }

    bool Fail(std::string& error, int& errorLine, const std::string& text)
    {
        error = text;
        errorLine = mLine;
        mOut.clear();
        return false;
    }

    void SkipLine()
    {
        while (mPos < mText.size() && mText[mPos] != '\n')
            ++mPos;
    }

    bool Quoted(std::string& word, std::string& error, int& errorLine)
    {
        ++mPos; // opening quote
        while (mPos < mText.size())
        {
            char c = mText[mPos++];
            if (c == '"')
                return true;
            if (c == '\n')
                break;
            if (c != '\\')
            {
                word += c;
                continue;
            }
            if (mPos >= mText.size())
                break;
            char e = mText[mPos++];
            switch (e)
            {
            case 'n': word += '\n'; break;
            case 't': word += '\t'; break;
            case 'r': word += '\r'; break;
            case '"': word += '"'; break;
            case '\\': word += '\\'; break;
            case '\n': return Fail(error, errorLine, "unterminated string");
            default:
                word += '\\';
                word += e;
                break;
            }
        }
        return Fail(error, errorLine, "unterminated string");
    }

    // name(a, "b", 3): arguments up to the closing parenthesis on this line.
    bool ProcedureArgs(ScriptCommand& cmd, std::string& error, int& errorLine)
    {
        bool expectArg = true, any = false;
        while (mPos < mText.size())
        {
            char c = mText[mPos];
            if (c == '\n')
                break;
            if (c == ' ' || c == '\t' || c == '\r')
            {
                ++mPos;
                continue;
            }
            if (c == ')')
            {
                if (any && expectArg)
                    return Fail(error, errorLine, "missing argument before ')'");
                ++mPos;
                return true;
            }
            if (c == ',')
            {
                if (expectArg)
                    return Fail(error, errorLine, "missing argument before ','");
                expectArg = true;
                ++mPos;
                continue;
            }
            if (!expectArg)
                return Fail(error, errorLine, "missing ',' between arguments");
            std::string word;
            bool quoted = c == '"';
            if (quoted)
            {
                if (!Quoted(word, error, errorLine))
                    return false;
            }
            else
                while (mPos < mText.size() && mText[mPos] != ',' && mText[mPos] != ')' && !IsBreak(mText[mPos]))
                {
                    if (mText[mPos] == '"' || mText[mPos] == '(')
                        return Fail(error, errorLine, "unexpected character in an argument");
                    word += mText[mPos++];
                }
            cmd.args.push_back(word);
            cmd.quoted.push_back(quoted);
            expectArg = false;
            any = true;
        }
        return Fail(error, errorLine, "missing ')'");
    }

    const std::string& mText;
    std::vector<ScriptCommand>& mOut;
    size_t mPos = 0;
    int mLine = 1;
};

} // namespace

bool ParseScript(const std::string& text, std::vector<ScriptCommand>& out, std::string& error, int& errorLine)
{
    out.clear();
    error.clear();
    errorLine = 0;
    return Parser(text, out).Run(error, errorLine);
}

std::string QuoteWord(const std::string& word)
{
    bool plain = !word.empty();
    for (char c : word)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == '|' || c == ':' ||
              c == '[' || c == ']' || c == '+'))
            plain = false;
    if (plain)
        return word;
    std::string out = "\"";
    for (char c : word)
    {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out + "\"";
}

} // namespace zelthost
