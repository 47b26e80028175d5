// Dialogs, printing, plug-ins and scene listings.
#include "host/zcommands_private.h"

#include <fstream>

namespace zelthost {
namespace cmd {

namespace {

// ---- Dialogs and output ----

ZStatus CmdConfirmDialog(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd,
                            {{"t", "title", 1},
                             {"m", "message", 1},
                             {"b", "button", 1},
                             {"db", "defaultButton", 1},
                             {"cb", "cancelButton", 1},
                             {"ds", "dismissString", 1}},
                            p);
    if (!st || !(st = ExpectCount(p, 0, 0, "flags only")))
        return st;
    std::vector<std::string> buttons;
    if (p.Has("button"))
        for (const auto& b : p.flags.at("button"))
            buttons.push_back(b[0]);
    int answer = Host::Get().NextDialogAnswer();
    std::string pressed;
    if (buttons.empty())
        pressed = p.Has("dismissString") ? p.Value("dismissString") : "";
    else if (answer >= 0 && static_cast<size_t>(answer) < buttons.size())
        pressed = buttons[answer];
    else
        return ZStatus(ZStatus::kInvalidParameter,
                       "the scripted answer " + std::to_string(answer) + " names no button of the dialog");
    std::string text =
        (p.Has("title") ? p.Value("title") : "") + " | " + (p.Has("message") ? p.Value("message") : "") + " | [";
    for (size_t i = 0; i < buttons.size(); ++i)
        text += (i ? "][" : "") + buttons[i];
    Host::Get().Record(TranscriptEntry::kDialog, text + "] -> " + pressed);
    result.push_back(pressed);
    return ZStatus();
}

ZStatus CmdDialogAnswers(const ScriptCommand& cmd, Result&)
{
    std::vector<int> answers;
    for (const std::string& a : cmd.args)
    {
        int v;
        ZStatus st = IntArg(a, v);
        if (!st)
            return st;
        answers.push_back(v);
    }
    Host::Get().QueueDialogAnswers(answers);
    return ZStatus();
}

ZStatus CmdPrint(const ScriptCommand& cmd, Result& result)
{
    std::string text;
    for (size_t i = 0; i < cmd.args.size(); ++i)
        text += (i ? " " : "") + cmd.args[i];
    Host::Get().Record(TranscriptEntry::kInfo, text);
    result.push_back(text);
    return ZStatus();
}

ZStatus CmdLoadPlugin(const ScriptCommand& cmd, Result& result)
{
    if (cmd.args.size() != 1)
        return ZStatus(ZStatus::kInvalidParameter, "expected the plug-in's path");
    ZStatus st = Host::Get().LoadPlugin(cmd.args[0]);
    if (st)
        result.push_back(GetRegistry().plugins.back()->name);
    return st;
}

ZStatus CmdUnloadPlugin(const ScriptCommand& cmd, Result&)
{
    if (cmd.args.size() != 1)
        return ZStatus(ZStatus::kInvalidParameter, "expected the plug-in's name");
    return Host::Get().UnloadPlugin(cmd.args[0]);
}

void Lines(const std::string& text, Result& result)
{
    size_t start = 0;
    while (start < text.size())
    {
        size_t nl = text.find('\n', start);
        result.push_back(text.substr(start, nl - start));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
}

ZStatus CmdLs(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"type", "type", 1}}, p);
    if (!st || !(st = ExpectCount(p, 0, 0, "flags only")))
        return st;
    if (p.Has("type"))
    {
        for (const auto& n : CurrentScene().Nodes())
            if (n.second->type->name == p.Value("type"))
                result.push_back(n.second->name);
        for (const auto& r : result)
            Host::Get().Record(TranscriptEntry::kInfo, r);
        return ZStatus();
    }
    std::string text = Host::Get().ListDag();
    Lines(text, result);
    Host::Get().Record(TranscriptEntry::kInfo, text.empty() ? text : text.substr(0, text.size() - 1));
    return ZStatus();
}

ZStatus CmdInfo(const ScriptCommand& cmd, Result& result)
{
    if (!cmd.args.empty())
        return ZStatus(ZStatus::kInvalidParameter, "takes no arguments");
    std::string text = Host::Get().Info();
    Lines(text, result);
    Host::Get().Record(TranscriptEntry::kInfo, text.substr(0, text.size() - 1));
    return ZStatus();
}

ZStatus CmdDump(const ScriptCommand& cmd, Result& result)
{
    if (cmd.args.size() > 1)
        return ZStatus(ZStatus::kInvalidParameter, "expected at most a file name");
    std::string text = Host::Get().Dump();
    if (cmd.args.empty())
    {
        Host::Get().Record(TranscriptEntry::kInfo, text.substr(0, text.size() - 1));
        Lines(text, result);
        return ZStatus();
    }
    std::ofstream out(cmd.args[0], std::ios::binary);
    out << text;
    out.close();
    if (!out)
        return ZStatus(ZStatus::kFailure, "Cannot write " + cmd.args[0]);
    result.push_back(cmd.args[0]);
    return ZStatus();
}

} // namespace

void AddOutputCommands(CommandTable& table)
{
    table.insert({
        {"confirmDialog", CmdConfirmDialog},
        {"dialogAnswers", CmdDialogAnswers},
        {"dump", CmdDump},
        {"info", CmdInfo},
        {"loadPlugin", CmdLoadPlugin},
        {"ls", CmdLs},
        {"print", CmdPrint},
        {"unloadPlugin", CmdUnloadPlugin},
    });
}

} // namespace cmd
} // namespace zelthost
