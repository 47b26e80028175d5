#ifndef ZELT_HOST_ZSCRIPT_H
#define ZELT_HOST_ZSCRIPT_H

// The host's script syntax: commands separated by ";" or line breaks, words
// separated by blanks, double-quoted strings with the escapes \" \\ \n \t,
// "#" or "//" comments to the end of the line, and the procedure form
// name(arg, arg). A malformed text is an error, never a partial command.

#include <string>
#include <vector>

namespace zelthost {

struct ScriptCommand
{
    std::string name;
    std::vector<std::string> args;
    std::vector<bool> quoted; // per argument: given in double quotes
    int line = 1;             // line of the command's first word
};

// Splits text into commands. On a malformed text returns false with the
// reason and its line; out then holds nothing.
bool ParseScript(const std::string& text, std::vector<ScriptCommand>& out, std::string& error, int& errorLine);

// Quotes a word for a script text when it needs it.
std::string QuoteWord(const std::string& word);

} // namespace zelthost

#endif
