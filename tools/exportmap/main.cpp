// Writes the export list of the SDK library: a linker version script that
// names, symbol by symbol, what the library exports.
//
//   qox_exportmap NM NAMES SCOPE OUTPUT ARCHIVE...
//
// NAMES holds the public names, one a line: the classes and free functions
// the public headers declare (and "operator" when they declare operators).
// A symbol of the archives is exported when its demangled name, after an
// optional "vtable for ", "typeinfo for " (and the like) and an optional
// SCOPE ("qoxsdk_600::"), starts with a public name followed by anything
// that cannot continue a name: the class itself, its members, its template
// instances and their members. Every other symbol stays local.
//
// Naming each symbol keeps the script's size linear in the symbols and lets
// the linker look each one up in a hash table instead of matching it against
// thousands of patterns. The output is rewritten only when it changes, so an
// unchanged export list relinks nothing.
#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

// What may stand before a scoped name in a demangled symbol that belongs to it.
const char* const kPrefixes[] = {"",
                                 "vtable for ",
                                 "typeinfo for ",
                                 "typeinfo name for ",
                                 "non-virtual thunk to ",
                                 "virtual thunk to ",
                                 "VTT for ",
                                 "construction vtable for "};

bool IsNameChar(char c)
{
    return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool StartsWith(const std::string& text, size_t at, const std::string& prefix)
{
    return text.compare(at, prefix.size(), prefix) == 0;
}

struct PublicNames
{
    std::unordered_set<std::string> mNames;
    bool mOperators = false; // operators of the public headers are exported
    std::string mScope;

    // Whether the name from `at` on starts with a public name that ends there.
    bool Leads(const std::string& demangled, size_t at) const
    {
        size_t end = at;
        while (end < demangled.size() && IsNameChar(demangled[end]))
            ++end;
        if (end == at)
            return false;
        return mNames.count(demangled.substr(at, end - at)) != 0;
    }

    bool Exported(const std::string& demangled) const
    {
        for (const char* prefix : kPrefixes)
        {
            const std::string lead(prefix);
            if (!StartsWith(demangled, 0, lead))
                continue;
            for (size_t at : {lead.size(), lead.size() + mScope.size()})
            {
                if (at > lead.size() && !StartsWith(demangled, lead.size(), mScope))
                    continue;
                if (Leads(demangled, at))
                    return true;
                // Operators stand unprefixed: "operator==(...)".
                if (lead.empty() && mOperators && StartsWith(demangled, at, "operator") &&
                    demangled.size() > at + 8 && !IsNameChar(demangled[at + 8]))
                    return true;
            }
        }
        return false;
    }
};

bool ReadNames(const char* path, PublicNames& names)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line))
    {
        if (line.empty())
            continue;
        if (line.compare(0, 8, "operator") == 0)
            names.mOperators = true;
        else
            names.mNames.insert(line);
    }
    return true;
}

std::string Demangle(const std::string& symbol)
{
    if (symbol.compare(0, 2, "_Z") != 0)
        return symbol;
    int status = 0;
    char* text = abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status);
    if (!text)
        return symbol;
    std::string result(text);
    std::free(text);
    return result;
}

std::string Quoted(const std::string& text)
{
    std::string result = "'";
    for (char c : text)
    {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + "'";
}

// The global symbols an archive defines, through nm's portable output:
// "name type [value size]" a line, members announced by "archive[member]:".
bool DefinedSymbols(const std::string& nm, const std::string& archive, std::set<std::string>& symbols)
{
    const std::string command = Quoted(nm) + " -g --defined-only -P " + Quoted(archive);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    std::string line;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe))
    {
        line += buffer;
        if (line.empty() || line.back() != '\n')
            continue;
        line.pop_back();
        const size_t space = line.find(' ');
        if (space != std::string::npos && space + 1 < line.size() && line.back() != ':')
            symbols.insert(line.substr(0, space));
        line.clear();
    }
    return pclose(pipe) == 0;
}

std::string Script(const std::set<std::string>& exported)
{
    std::ostringstream out;
    out << "/* Export list of the SDK library, made from its archives when it is\n"
           "   linked: every symbol of the public classes and free functions, by\n"
           "   name. Everything else stays local. */\n{\n  global:\n";
    for (const std::string& symbol : exported)
        out << "    " << symbol << ";\n";
    out << "  local:\n    *;\n};\n";
    return out.str();
}

// Writes the file unless it already holds exactly this text.
bool WriteIfChanged(const char* path, const std::string& text)
{
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream old;
        old << in.rdbuf();
        if (in && old.str() == text)
            return true;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 6)
    {
        std::cerr << "usage: qox_exportmap NM NAMES SCOPE OUTPUT ARCHIVE...\n";
        return 2;
    }
    PublicNames names;
    names.mScope = argv[3];
    if (!ReadNames(argv[2], names))
    {
        std::cerr << "qox_exportmap: cannot read " << argv[2] << "\n";
        return 1;
    }
    std::set<std::string> symbols;
    for (int i = 5; i < argc; ++i)
    {
        if (!DefinedSymbols(argv[1], argv[i], symbols))
        {
            std::cerr << "qox_exportmap: " << argv[1] << " failed on " << argv[i] << "\n";
            return 1;
        }
    }
    std::set<std::string> exported;
    for (const std::string& symbol : symbols)
    {
        if (names.Exported(Demangle(symbol)))
            exported.insert(symbol);
    }
    if (!WriteIfChanged(argv[4], Script(exported)))
    {
        std::cerr << "qox_exportmap: cannot write " << argv[4] << "\n";
        return 1;
    }
    return 0;
}
