#ifndef ZELT_HOST_ZCOMMANDS_PRIVATE_H
#define ZELT_HOST_ZCOMMANDS_PRIVATE_H

// What the families of built-in commands share: argument parsing, number
// and unit conversions, name look-ups, and how each family adds its
// commands to the interpreter's table.

#include "host/zanim.h"
#include "host/zfn.h"
#include "host/zgeometry.h"
#include "host/zglobal.h"
#include "host/zhost.h"
#include "host/zinterp_private.h"
#include "host/zscene_private.h"

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace zelthost {
namespace cmd {

using CommandTable = std::map<std::string, CommandHandler>;

// A flag a command accepts: its short and long spelling and how many values
// follow it.
struct FlagSpec
{
    const char* shortName;
    const char* longName;
    int values;
};

// A command's words sorted into flags (by long name, each use kept) and
// positional arguments.
struct Parsed
{
    std::map<std::string, std::vector<std::vector<std::string>>> flags; // by long name
    std::vector<std::string> positional;
    bool Has(const char* name) const { return flags.count(name) > 0; }
    const std::string& Value(const char* name, size_t i = 0) const { return flags.at(name).back().at(i); }
};

// A word that starts with "-" and a letter, not quoted.
bool IsFlagWord(const std::string& word, bool quoted);
// Sorts the words of a command; an unknown flag or one short of values fails.
ZStatus ParseFlags(const ScriptCommand& cmd, std::initializer_list<FlagSpec> specs, Parsed& out);
// A whole-text number; false when the text is not one.
bool ToNumber(const std::string& text, double& out);
// true/on/yes/1 or false/off/no/0; false when the text is neither.
bool ToBool(const std::string& text, bool& out);
// A finite number or a boolean word (as 1 or 0).
ZStatus NumberArg(const std::string& text, double& out);
// A whole number within the range of int.
ZStatus IntArg(const std::string& text, int& out);
// Fifteen significant digits.
std::string Format(double value);
double UiAngleToRadians(double v);
double RadiansToUiAngle(double v);
double UiTimeToSeconds(double v);
// The node a name or DAG path names (its id path in path), or null.
Node* FindNode(const std::string& text, std::vector<uint64_t>* path = nullptr);
// "No object matches name: TEXT".
ZStatus NoObject(const std::string& text);
// "node.attr" (the node part may be a DAG path); with def and owner, the
// attribute's definition and the node too.
ZStatus ResolvePlug(const std::string& text, ZPlug& plug, const AttrDef** def = nullptr, Node** owner = nullptr);
// Fails with "expected WHAT" unless low..high positional arguments came.
ZStatus ExpectCount(const Parsed& p, size_t low, size_t high, const char* what);
// The shortest unique name of a DAG path.
std::string PathName(const std::vector<uint64_t>& ids);

// Each family adds its commands to the table.
void AddSceneCommands(CommandTable& table);
void AddAttributeCommands(CommandTable& table);
void AddInterfaceCommands(CommandTable& table);
void AddAnimationCommands(CommandTable& table);
void AddDeformerCommands(CommandTable& table);
void AddOutputCommands(CommandTable& table);

} // namespace cmd
} // namespace zelthost

#endif
