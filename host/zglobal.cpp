// The host object: scene, transcript, answers; ZGlobal and script running.
#include "host/zglobal.h"
#include "host/zhost.h"
#include "host/zinterp_private.h"
#include "host/zscene_private.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace zelthost {

namespace {

std::unique_ptr<Scene>& SceneSlot()
{
    static std::unique_ptr<Scene> scene;
    return scene;
}

} // namespace

Host::Host() = default;

Host& Host::Get()
{
    static Host host;
    return host;
}

Scene& Host::GetScene()
{
    auto& slot = SceneSlot();
    if (!slot)
    {
        slot = std::make_unique<Scene>();
        PopulateDefaultScene(*slot);
    }
    return *slot;
}

void Host::NewScene()
{
    SceneSlot().reset();
    GetScene();
}

void Host::Reset()
{
    SceneSlot().reset();
    GetScene();
    ResetUnits();
    mTranscript.clear();
    mAnswers.clear();
    mBatch = true;
    mUpAxis = "y";
    optionVars.clear();
    attributeEditorVisible = 1;
    channelBoxVisible = 1;
    openedWindows.clear();
    missingCommands.clear();
}

void Host::Record(TranscriptEntry::Kind kind, const std::string& text)
{
    mTranscript.push_back({kind, text});
    if (!mEcho)
        return;
    if (kind == TranscriptEntry::kError)
        std::cerr << "Error: " << text << "\n";
    else if (kind == TranscriptEntry::kWarning)
        std::cerr << "Warning: " << text << "\n";
    else if (kind == TranscriptEntry::kInfo)
        std::cout << text << "\n";
    else if (kind == TranscriptEntry::kDialog)
        std::cout << "Dialog: " << text << "\n";
}

std::vector<std::string> Host::Commands() const
{
    std::vector<std::string> out;
    for (const auto& e : mTranscript)
        if (e.kind == TranscriptEntry::kCommand)
            out.push_back(e.text);
    return out;
}

std::vector<std::string> Host::Errors() const
{
    std::vector<std::string> out;
    for (const auto& e : mTranscript)
        if (e.kind == TranscriptEntry::kError)
            out.push_back(e.text);
    return out;
}

void Host::QueueDialogAnswers(const std::vector<int>& answers)
{
    mAnswers.insert(mAnswers.end(), answers.begin(), answers.end());
}

int Host::NextDialogAnswer()
{
    if (mAnswers.empty())
        return 0;
    int answer = mAnswers.front();
    mAnswers.pop_front();
    return answer;
}

ZStatus RunCommands(const std::vector<ScriptCommand>& commands, Result& result)
{
    for (const ScriptCommand& cmd : commands)
    {
        result.clear();
        ZStatus st;
        if (CommandHandler builtin = FindBuiltin(cmd.name))
            st = builtin(cmd, result);
        else
        {
            bool found = false;
            st = RunPluginCommand(cmd.name, cmd.args, result, found);
            if (!found)
                return ZStatus(ZStatus::kNotFound, "Cannot find procedure \"" + cmd.name + "\"");
        }
        if (!st)
            return ZStatus(st.statusCode(), cmd.name + ": " + st.errorString());
    }
    return ZStatus();
}

ZStatus Host::Execute(const std::string& text, std::vector<std::string>* result, bool display)
{
    Record(TranscriptEntry::kCommand, text);
    if (display && mEcho && mEchoDisplayed)
        std::cout << text << "\n";
    std::vector<ScriptCommand> commands;
    std::string error;
    int line = 0;
    Result local;
    Result& out = result ? *result : local;
    out.clear();
    if (!ParseScript(text, commands, error, line))
    {
        ZStatus st(ZStatus::kInvalidParameter, "Syntax error: " + error);
        Record(TranscriptEntry::kError, st.errorString());
        return st;
    }
    ZStatus st = RunCommands(commands, out);
    if (!st)
        Record(TranscriptEntry::kError, st.errorString());
    return st;
}

int Host::RunFile(const std::string& path, bool keepGoing)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        Record(TranscriptEntry::kError, "Cannot read the script " + path);
        return -1;
    }
    int failures = 0;
    std::string text;
    int lineNumber = 0;
    while (std::getline(in, text))
    {
        ++lineNumber;
        std::vector<ScriptCommand> commands;
        std::string error;
        int errorLine = 0;
        if (!ParseScript(text, commands, error, errorLine))
        {
            Record(TranscriptEntry::kError, path + ":" + std::to_string(lineNumber) + ": Syntax error: " + error);
            ++failures;
            if (!keepGoing)
                break;
            continue;
        }
        if (commands.empty())
            continue;
        Record(TranscriptEntry::kCommand, text);
        Result result;
        ZStatus st = RunCommands(commands, result);
        if (!st)
        {
            Record(TranscriptEntry::kError, path + ":" + std::to_string(lineNumber) + ": " + st.errorString());
            ++failures;
            if (!keepGoing)
                break;
            continue;
        }
        if (mEchoResults && !result.empty())
        {
            std::string line = "// Result:";
            for (const std::string& item : result)
                line += " " + item;
            std::cout << line << "\n";
        }
    }
    return failures;
}

} // namespace zelthost

using namespace zelthost;

ZStatus ZGlobal::executeCommand(const ZString& command, bool displayEnabled, bool)
{
    return Host::Get().Execute(command.str(), nullptr, displayEnabled);
}

ZStatus ZGlobal::executeCommand(const ZString& command, ZStringArray& result, bool displayEnabled, bool)
{
    std::vector<std::string> out;
    ZStatus st = Host::Get().Execute(command.str(), &out, displayEnabled);
    result.clear();
    for (const auto& s : out)
        result.append(ZString(s));
    return st;
}

ZStatus ZGlobal::executeCommand(const ZString& command, ZString& result, bool displayEnabled, bool)
{
    std::vector<std::string> out;
    ZStatus st = Host::Get().Execute(command.str(), &out, displayEnabled);
    result = ZString(out.empty() ? std::string() : out.front());
    return st;
}

ZStatus ZGlobal::executeCommand(const ZString& command, int& result, bool displayEnabled, bool)
{
    std::vector<std::string> out;
    ZStatus st = Host::Get().Execute(command.str(), &out, displayEnabled);
    if (!st)
        return st;
    if (out.empty() || !ZString(out.front()).isInt())
        return ZStatus(ZStatus::kFailure, "the command's result is not an integer");
    result = ZString(out.front()).asInt();
    return st;
}

ZStatus ZGlobal::executeCommand(const ZString& command, double& result, bool displayEnabled, bool)
{
    std::vector<std::string> out;
    ZStatus st = Host::Get().Execute(command.str(), &out, displayEnabled);
    if (!st)
        return st;
    if (out.empty() || !ZString(out.front()).isDouble())
        return ZStatus(ZStatus::kFailure, "the command's result is not a number");
    result = ZString(out.front()).asDouble();
    return st;
}

ZStatus ZGlobal::getActiveSelectionList(ZSelectionList& list)
{
    list = CurrentScene().selection;
    return ZStatus();
}

ZStatus ZGlobal::setActiveSelectionList(const ZSelectionList& list)
{
    CurrentScene().selection = list;
    return ZStatus();
}

ZStatus ZGlobal::deleteNode(ZObject& object)
{
    const auto& rep = object.rep();
    if (rep && rep->kind == ObjectRep::kAttribute && !rep->pack.empty())
    {
        // An attribute never added to a node: only the handle goes.
        object = ZObject();
        return ZStatus();
    }
    Node* node = NodeOf(object);
    if (!node || node->id == CurrentScene().World())
        return ZStatus(ZStatus::kInvalidParameter, "the object is not a node that can be deleted");
    CurrentScene().Delete(node->id);
    object = ZObject();
    return ZStatus();
}

ZStatus ZGlobal::displayError(const ZString& text)
{
    Host::Get().Record(TranscriptEntry::kError, text.str());
    return ZStatus();
}

ZStatus ZGlobal::displayWarning(const ZString& text)
{
    Host::Get().Record(TranscriptEntry::kWarning, text.str());
    return ZStatus();
}

ZStatus ZGlobal::displayInfo(const ZString& text)
{
    Host::Get().Record(TranscriptEntry::kInfo, text.str());
    return ZStatus();
}

bool ZGlobal::isBatchMode()
{
    return Host::Get().Batch();
}

ZString ZGlobal::apiVersion()
{
    return ZString("6.0");
}
