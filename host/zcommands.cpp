// The built-in script commands: the argument helpers they share, and the
// table of every family of them.
#include "host/zcommands_private.h"
#include "host/znumber_private.h"
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zelthost {
namespace cmd {

// ---- Argument helpers ----

bool IsFlagWord(const std::string& word, bool quoted)
{
    return !quoted && word.size() > 1 && word[0] == '-' && std::isalpha(static_cast<unsigned char>(word[1]));
}

ZStatus ParseFlags(const ScriptCommand& cmd, std::initializer_list<FlagSpec> specs, Parsed& out)
{
    for (size_t i = 0; i < cmd.args.size(); ++i)
    {
        const std::string& word = cmd.args[i];
        if (!IsFlagWord(word, cmd.quoted[i]))
        {
            out.positional.push_back(word);
            continue;
        }
        const FlagSpec* found = nullptr;
        for (const FlagSpec& s : specs)
            if (word == std::string("-") + s.shortName || word == std::string("-") + s.longName)
                found = &s;
        if (!found)
            return ZStatus(ZStatus::kInvalidParameter, "Invalid flag '" + word + "'");
        if (i + found->values >= cmd.args.size() && found->values > 0)
            return ZStatus(ZStatus::kInvalidParameter,
                           "Flag '" + word + "' needs " + std::to_string(found->values) + " value(s)");
        std::vector<std::string> values(cmd.args.begin() + i + 1, cmd.args.begin() + i + 1 + found->values);
        out.flags[found->longName].push_back(values);
        i += found->values;
    }
    return ZStatus();
}

bool ToNumber(const std::string& text, double& out)
{
    return WholeNumber(text, out);
}

bool ToBool(const std::string& text, bool& out)
{
    if (text == "true" || text == "on" || text == "yes" || text == "1")
        out = true;
    else if (text == "false" || text == "off" || text == "no" || text == "0")
        out = false;
    else
        return false;
    return true;
}

ZStatus NumberArg(const std::string& text, double& out)
{
    bool b;
    if (ToNumber(text, out))
        return std::isfinite(out) ? ZStatus()
                                  : ZStatus(ZStatus::kInvalidParameter, "'" + text + "' is not a finite number");
    if (ToBool(text, b))
    {
        out = b ? 1 : 0;
        return ZStatus();
    }
    return ZStatus(ZStatus::kInvalidParameter, "'" + text + "' is not a number");
}

ZStatus IntArg(const std::string& text, int& out)
{
    double d;
    if (!ToNumber(text, d) || d != std::floor(d) || std::fabs(d) > 2147483647.0)
        return ZStatus(ZStatus::kInvalidParameter, "'" + text + "' is not an integer");
    out = static_cast<int>(d);
    return ZStatus();
}

// Fifteen significant digits: unit conversions read back as typed (30, not
// 29.999999999999996).
std::string Format(double value)
{
    return NumberText(value, 'g', 15);
}

double UiAngleToRadians(double v)
{
    return ZAngle(v, ZAngle::uiUnit()).asRadians();
}

double RadiansToUiAngle(double v)
{
    return ZAngle(v, ZAngle::kRadians).as(ZAngle::uiUnit());
}

double UiTimeToSeconds(double v)
{
    return ZTime(v, ZTime::uiUnit()).asSeconds();
}

Node* FindNode(const std::string& text, std::vector<uint64_t>* path)
{
    std::vector<uint64_t> ids;
    bool dag = false;
    if (!CurrentScene().Resolve(text, ids, dag))
        return nullptr;
    if (path)
        *path = ids;
    return CurrentScene().Get(ids.back());
}

ZStatus NoObject(const std::string& text)
{
    return ZStatus(ZStatus::kInvalidParameter, "No object matches name: " + text);
}

// "node.attr" (the node part may be a DAG path).
ZStatus ResolvePlug(const std::string& text, ZPlug& plug, const AttrDef** def, Node** owner)
{
    size_t bar = text.rfind('|');
    size_t dot = text.find('.', bar == std::string::npos ? 0 : bar);
    if (dot == std::string::npos || dot == 0 || dot + 1 >= text.size())
        return ZStatus(ZStatus::kInvalidParameter, "'" + text + "' does not name an attribute (node.attribute)");
    Node* node = FindNode(text.substr(0, dot));
    if (!node)
        return NoObject(text.substr(0, dot));
    ZStatus st;
    plug = ParsePlug(node, text.substr(dot + 1), &st);
    if (st && def)
        *def = node->Attr(plug.attributeIndex());
    if (st && owner)
        *owner = node;
    return st;
}

ZStatus ExpectCount(const Parsed& p, size_t low, size_t high, const char* what)
{
    if (p.positional.size() < low || p.positional.size() > high)
        return ZStatus(ZStatus::kInvalidParameter, std::string("expected ") + what);
    return ZStatus();
}

std::string PathName(const std::vector<uint64_t>& ids)
{
    return ZDagPath(ids).partialPathName().str();
}

} // namespace cmd

namespace {

const cmd::CommandTable& Table()
{
    static const cmd::CommandTable table = [] {
        cmd::CommandTable all;
        cmd::AddSceneCommands(all);
        cmd::AddAttributeCommands(all);
        cmd::AddInterfaceCommands(all);
        cmd::AddAnimationCommands(all);
        cmd::AddDeformerCommands(all);
        cmd::AddOutputCommands(all);
        return all;
    }();
    return table;
}

} // namespace

CommandHandler FindBuiltin(const std::string& name)
{
    if (Host::Get().missingCommands.count(name))
        return nullptr;
    auto it = Table().find(name);
    return it == Table().end() ? nullptr : it->second;
}

} // namespace zelthost
